// A report sink that can hold what it is shown and pass it on later, so that
// work done ahead (reading the next chunks, a conversion that may be redone)
// still reports in the order of work done one step after the other.
#pragma once

#include <string>
#include <vector>

#include "report/error_report.h"

namespace mv::report {

class HeldReports : public ErrorReport {
public:
    struct Entry {
        std::string description;
        Location where;
        int step = 0;
    };

    explicit HeldReports(ErrorReport& target) : m_target(target) {}
    HeldReports(const HeldReports&) = delete;
    HeldReports& operator=(const HeldReports&) = delete;

    void show(const std::string& description, const Location& where, int step) override;
    // Keeps what is shown from now on.
    void hold() { m_holding = true; }
    // What was kept; what is shown from now on passes straight through.
    std::vector<Entry> take();
    // Passes the entries on, in order, and empties them.
    void release(std::vector<Entry>& entries);

private:
    ErrorReport& m_target;
    bool m_holding = false;
    std::vector<Entry> m_held;
};

}  // namespace mv::report
