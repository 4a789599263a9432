#include "report/error_report.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "report/failure.h"
#include "report/held_reports.h"
#include "report/locations.h"
#include "report/step_runner.h"

namespace mv::report {
namespace {

TEST(ErrorReport, MessageTextPieceByPiece) {
    struct Row {
        const char* name;
        std::string description;
        const Location& where;
        int step;
        std::string message;  // without the support address that closes it
    };
    const Row rows[] = {
        {"a step of the conversion run", "File not found: /data/a.xml",
         locations::kPushButton7Click, 158,
         "File not found: /data/a.xml\r\nin Tessaline2021/08/31.Form1.PushButton7_Click at line "
         "158\r\rPlease email screenshot of this message to "},
        {"the first step of the JSON writer", "Out of memory", locations::kStringToJSON, 100,
         "Out of memory\r\nin Tessaline2021/08/31.JSON.StringToJSON at line 100\r\r"
         "Please email screenshot of this message to "},
        {"the folder scan's own project name", "Permission denied",
         locations::kGetSubDirectories2016, 333,
         "Permission denied\r\nin Corvane2021/08/31.AddFolder.GetSubDirectories2016 at line "
         "333\r\rPlease email screenshot of this message to "},
        {"an empty description", "", locations::kReplaceXML, 1000,
         "\r\nin Tessaline2021/08/31.Main.ReplaceXML at line 1000\r\r"
         "Please email screenshot of this message to "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(reportMessage(row.description, row.where, row.step),
                  row.message + std::string(supportEmail()));
    }
}

TEST(ErrorReport, SupportAddressIsSet) {
    const std::string address(supportEmail());
    EXPECT_NE(address.find('@'), std::string::npos) << address;
    EXPECT_EQ(address.find_first_of(" \r\n"), std::string::npos) << address;
}

TEST(ErrorReport, TheThirteenLocations) {
    struct Row {
        const Location& where;
        const char* text;
    };
    const Row rows[] = {
        {locations::kFormLoad, "in Tessaline2021/08/31.Form1.Form_Load "},
        {locations::kPushButton1Click, "in Tessaline2021/08/31.Form1.PushButton1_Click "},
        {locations::kPushButton4Click, "in Tessaline2021/08/31.Form1.PushButton4_Click "},
        {locations::kPushButton5Click, "in Tessaline2021/08/31.Form1.PushButton5_Click "},
        {locations::kPushButton7Click, "in Tessaline2021/08/31.Form1.PushButton7_Click "},
        {locations::kPushButton8Click, "in Tessaline2021/08/31.Form1.PushButton8_Click "},
        {locations::kPushButton9Click, "in Tessaline2021/08/31.Form1.PushButton9_Click "},
        {locations::kReadFileToStringFSO, "in Tessaline2021/08/31.Main.ReadFileToStringFSO "},
        {locations::kCheckFirsrStringFSO, "in Tessaline2021/08/31.Main.CheckFirsrStringFSO "},
        {locations::kSetMainXMLTag, "in Tessaline2021/08/31.Main.SetMainXMLTag "},
        {locations::kReplaceXML, "in Tessaline2021/08/31.Main.ReplaceXML "},
        {locations::kStringToJSON, "in Tessaline2021/08/31.JSON.StringToJSON "},
        {locations::kGetSubDirectories2016,
         "in Corvane2021/08/31.AddFolder.GetSubDirectories2016 "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.where.text(), row.text);
    }
}

int failingComputation() {
    throw Failure(FailureKind::FileNotFound, "a.xml");
}

TEST(StepRunner, AFailedStepIsReportedAndTheNextStepRuns) {
    RecordingReport report;
    StepRunner step(report, locations::kReplaceXML);
    int target = 7;
    int next = 0;
    EXPECT_FALSE(step(100, [&] { target = failingComputation(); }));
    EXPECT_TRUE(step(102, [&] { next = 1; }));
    EXPECT_EQ(target, 7);  // the failed step produced nothing
    EXPECT_EQ(next, 1);
    ASSERT_EQ(report.size(), 1u);
    const auto entry = report.entries()[0];
    EXPECT_EQ(entry.description, std::string(describe(FailureKind::FileNotFound)) + ": a.xml");
    EXPECT_EQ(entry.location, "in Tessaline2021/08/31.Main.ReplaceXML ");
    EXPECT_EQ(entry.step, 100);
}

TEST(StepRunner, EveryLaterFailureIsReportedAgain) {
    RecordingReport report;
    StepRunner step(report, locations::kStringToJSON);
    for (int n : {100, 102, 104}) step(n, [] { failingComputation(); });
    step(106, [] {});
    step(108, [] { failingComputation(); });
    EXPECT_EQ(report.steps(), (std::vector<std::string>{
                                  "in Tessaline2021/08/31.JSON.StringToJSON @100",
                                  "in Tessaline2021/08/31.JSON.StringToJSON @102",
                                  "in Tessaline2021/08/31.JSON.StringToJSON @104",
                                  "in Tessaline2021/08/31.JSON.StringToJSON @108",
                              }));
}

TEST(StepRunner, AFailedIfTestEntersTheBranch) {
    RecordingReport report;
    StepRunner step(report, locations::kSetMainXMLTag);
    EXPECT_TRUE(step.test(110, []() -> bool { throw Failure(FailureKind::InvalidArgument); }));
    EXPECT_FALSE(step.test(112, [] { return false; }));
    EXPECT_TRUE(step.test(114, [] { return true; }));
    EXPECT_EQ(report.steps(),
              (std::vector<std::string>{"in Tessaline2021/08/31.Main.SetMainXMLTag @110"}));
    EXPECT_EQ(report.entries()[0].description, describe(FailureKind::InvalidArgument));
}

TEST(StepRunner, ALoopWhoseTestFailsTwiceInARowIsLeft) {
    RecordingReport report;
    StepRunner step(report, locations::kReplaceXML);
    int passes = 0;
    while (step.loopTest(106, []() -> bool { throw Failure(FailureKind::InvalidArgument); })) {
        ++passes;
        ASSERT_LT(passes, 10) << "the loop never ends";
    }
    EXPECT_EQ(passes, 1);  // the first failure enters the body, as an if's does
    EXPECT_EQ(report.steps(),
              (std::vector<std::string>{"in Tessaline2021/08/31.Main.ReplaceXML @106",
                                        "in Tessaline2021/08/31.Main.ReplaceXML @106"}));
}

TEST(StepRunner, ALoopTestThatRecoversBetweenFailuresGoesOn) {
    RecordingReport report;
    StepRunner step(report, locations::kReplaceXML);
    enum Outcome { Fail, Enter, Leave };
    const Outcome script[] = {Fail, Enter, Fail, Enter, Fail, Leave};
    int pass = 0;
    int bodies = 0;
    while (step.loopTest(106, [&] {
        Outcome outcome = script[pass++];
        if (outcome == Fail) throw Failure(FailureKind::InvalidArgument);
        return outcome == Enter;
    })) {
        ++bodies;
        ASSERT_LT(bodies, 10) << "the loop never ends";
    }
    EXPECT_EQ(bodies, 5);
    EXPECT_EQ(report.size(), 3u);
}

TEST(StepRunner, DescriptionsOfOtherFailures) {
    struct Row {
        const char* name;
        void (*raise)();
        std::string description;
    };
    const Row rows[] = {
        {"lack of memory", [] { throw std::bad_alloc(); }, describe(FailureKind::OutOfMemory)},
        {"an index out of range", [] { throw std::out_of_range("at"); },
         describe(FailureKind::SubscriptOutOfRange)},
        {"a failure with detail", [] { throw Failure(FailureKind::PermissionDenied, "/x"); },
         std::string(describe(FailureKind::PermissionDenied)) + ": /x"},
        {"something that is no exception type", [] { throw 42; },
         describe(FailureKind::Unexpected)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingReport report;
        StepRunner step(report, locations::kFormLoad);
        step(100, row.raise);
        ASSERT_EQ(report.size(), 1u);
        EXPECT_EQ(report.entries()[0].description, row.description);
    }
}

// The texts go into reports byte for byte, so they must be strerror's own,
// unknown numbers included.
TEST(SystemErrorText, IsTheTextOfStrerror) {
    for (int error : {ENOENT, EACCES, EIO, ENOSPC, 0, -1, 4095}) {
        SCOPED_TRACE(error);
        EXPECT_EQ(systemErrorText(error), std::strerror(error));
    }
}

class ThrowingReport : public ErrorReport {
public:
    void show(const std::string&, const Location&, int) override {
        ++shown;
        throw std::runtime_error("no screen");
    }
    int shown = 0;
};

TEST(StepRunner, ASinkThatFailsDoesNotStopTheProcedure) {
    ThrowingReport report;
    StepRunner step(report, locations::kFormLoad);
    int after = 0;
    step(100, [] { failingComputation(); });
    step(102, [&] { after = 1; });
    EXPECT_EQ(report.shown, 1);
    EXPECT_EQ(after, 1);
}

TEST(HeldReports, HeldLinesWaitAndThenKeepTheirOrder) {
    RecordingReport sink;
    HeldReports held(sink);
    held.show("direct", locations::kReplaceXML, 100);
    held.hold();
    held.show("first", locations::kReplaceXML, 102);
    held.show("second", locations::kReplaceXML, 104);
    EXPECT_EQ(sink.size(), 1u);
    std::vector<HeldReports::Entry> kept = held.take();
    held.show("after", locations::kReplaceXML, 106);  // passes straight through again
    held.release(kept);
    EXPECT_TRUE(kept.empty());
    std::vector<int> steps;
    for (const auto& entry : sink.entries()) steps.push_back(entry.step);
    EXPECT_EQ(steps, (std::vector<int>{100, 106, 102, 104}));
}

}  // namespace
}  // namespace mv::report
