// "Report the failed numbered step, then go on": the one place that catches.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "report/error_report.h"
#include "report/failure.h"

namespace mv::report {

// Runs `body` for code that turns a failure into its own output (an error
// line, an exit status, a stand-in value): the failure's description, or
// nothing when the body completed.
template <class Body>
std::optional<std::string> failureOf(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return std::nullopt;
    } catch (...) {
        return describeCurrentFailure();
    }
}

// The same, for a body whose runtime errors are the output: their own text.
template <class Body>
std::optional<std::string> errorTextOf(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return std::nullopt;
    } catch (...) {
        return describeCurrentError();
    }
}

// Runs the numbered steps of one reporting procedure. A step that throws is
// shown on the report under its number and counts as done; the value it was to
// produce keeps what it held, because assignment happens only after the body's
// computation returns.
class StepRunner {
public:
    StepRunner(ErrorReport& report, const Location& where) : m_report(report), m_where(where) {}

    // Returns whether the step completed.
    template <class Body>
    bool operator()(int step, Body&& body) noexcept {
        try {
            std::forward<Body>(body)();
            return true;
        } catch (...) {
            reportCurrent(step);
            return false;
        }
    }

    // The test of an if: a failed test enters the branch.
    template <class Test>
    bool test(int step, Test&& condition) noexcept {
        try {
            return std::forward<Test>(condition)();
        } catch (...) {
            reportCurrent(step);
            return true;
        }
    }

    // The test of a loop: a failed test enters the body, like an if. A loop
    // test that fails on two passes in a row would fail forever, so the second
    // failure leaves the loop instead.
    template <class Test>
    bool loopTest(int step, Test&& condition) noexcept {
        try {
            bool result = std::forward<Test>(condition)();
            if (m_failedLoopTest == step) m_failedLoopTest = 0;
            return result;
        } catch (...) {
            reportCurrent(step);
            bool again = m_failedLoopTest == step;
            m_failedLoopTest = step;
            return !again;
        }
    }

    // A step whose failure the procedure handles itself: nothing is reported;
    // the kind of the failure comes back, or nothing when the step completed.
    template <class Body>
    std::optional<FailureKind> quietly(Body&& body) noexcept {
        try {
            std::forward<Body>(body)();
            return std::nullopt;
        } catch (...) {
            return currentFailureKind();
        }
    }

private:
    void reportCurrent(int step) noexcept {
        try {
            m_report.show(describeCurrentFailure(), m_where, step);
        } catch (...) {
            // A sink that cannot show a report must not take the procedure down.
        }
    }

    ErrorReport& m_report;
    const Location& m_where;
    int m_failedLoopTest = 0;
};

}  // namespace mv::report
