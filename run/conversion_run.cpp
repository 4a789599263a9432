#include "run/conversion_run.h"

#include <algorithm>
#include <utility>

#include "paths/paths.h"
#include "report/failure.h"
#include "report/locations.h"
#include "report/step_runner.h"

namespace mv::run {

namespace {

// Runs steps without a report: a failure goes to the caller.
struct PassFailuresUp {
    template <class Body>
    bool operator()(int, Body&& body) {
        body();
        return true;
    }
    template <class Test>
    bool test(int, Test&& condition) {
        return condition();
    }
};

// Steps 140 to 150: the result path of one source. A path that could not be
// worked out (a source path beyond the helpers' limits) stays empty, which no
// result can be created at: never the bare name in the current folder, and
// never the path of the file before.
template <class Steps>
std::u16string resultPath(Steps& step, std::u16string_view source, bool option1, bool option2,
                          std::u16string_view folderText) {
    std::u16string name;
    bool complete = step(140, [&] { name = paths::GetFileName(source); });
    complete = step(142, [&] { name = paths::RemoveExtension(name) + u".json"; }) && complete;
    std::u16string output = name;
    if (step.test(144, [&] { return option1; })) {
        complete = step(146,
                        [&] {
                            output = paths::CollapseBackslashes(std::u16string(folderText) +
                                                                paths::kNativeSeparator + name);
                        }) &&
                   complete;
    } else if (step.test(148, [&] { return option2; })) {
        complete = step(150,
                        [&] {
                            output = paths::CollapseBackslashes(paths::GetFolderPath(source) +
                                                                paths::kNativeSeparator + name);
                        }) &&
                   complete;
    }
    if (!complete) output.clear();
    return output;
}

class InlineDispatcher : public Dispatcher {
public:
    explicit InlineDispatcher(report::ErrorReport& report) : m_report(report) {}
    void submit(FileTask task, const Work& work) override { work(task, m_report); }
    void finish() override {}
    report::ErrorReport& reportFor(std::int64_t) override { return m_report; }

private:
    report::ErrorReport& m_report;
};

}  // namespace

ConversionRun::ConversionRun(Host& host, report::ErrorReport& report, Dispatcher* dispatcher,
                             engine::SyncLedger* ledger)
    : m_host(host),
      m_report(report),
      m_dispatcher(dispatcher),
      m_syncLedger(ledger ? ledger : &m_ownLedger) {}

std::u16string ConversionRun::outputPathFor(std::u16string_view source, bool option1, bool option2,
                                            std::u16string_view folderText) {
    PassFailuresUp step;
    return resultPath(step, source, option1, option2, folderText);
}

std::u16string ConversionRun::outputPathFor(std::u16string_view source, bool option1, bool option2,
                                            std::u16string_view folderText,
                                            report::ErrorReport& report) {
    report::StepRunner step(report, report::locations::kPushButton7Click);
    return resultPath(step, source, option1, option2, folderText);
}

RunOutcome ConversionRun::PushButton7_Click() {
    report::StepRunner step(m_report, report::locations::kPushButton7Click);
    if (step.test(102, [&] { return m_isConverting; })) return RunOutcome::AlreadyRunning;
    step(104, [&] { m_isConverting = true; });
    RunOutcome outcome = RunOutcome::Converted;
    if (step.test(106, [&] { return m_host.rowCount() == 0; })) {
        step(200, [&] { m_host.showMessage(std::u16string(kNoFilesAdded)); });
        outcome = RunOutcome::NoFiles;
    } else if (step.test(108, [&] {
                   return paths::IsFolder(m_host.folderText(0)) || m_host.option2();
               })) {
        convertRows();
        step(190, [&] { m_host.setPointer(Pointer::Default); });
        step(192, [&] { m_host.setProgressValue(0); });
        step(194, [&] { m_host.setProgressText(std::u16string(kProgressIdle)); });
        step(196, [&] { m_host.showMessage(std::u16string(kDone)); });
    } else {
        step(198, [&] { m_host.showMessage(std::u16string(kFolderMissing)); });
        outcome = RunOutcome::FolderMissing;
    }
    step(202, [&] { m_isConverting = false; });
    return outcome;
}

void ConversionRun::convertRows() {
    report::StepRunner step(m_report, report::locations::kPushButton7Click);
    InlineDispatcher inlineDispatcher(m_report);
    Dispatcher& dispatcher = m_dispatcher ? *m_dispatcher : inlineDispatcher;
    const Dispatcher::Work work = [this](const FileTask& task, report::ErrorReport& report) {
        convertFile(task, report);
    };
    const Dispatcher::Work nothing = [](const FileTask&, report::ErrorReport&) {};
    std::int64_t count = 0;
    step(114, [&] { count = m_host.rowCount(); });  // fixed for the whole run
    for (std::int64_t i = 1; i <= count; ++i) {
        FileTask task;
        task.index = i;
        // The file's own reports, in file order with those of its conversion.
        report::StepRunner fileStep(dispatcher.reportFor(i), report::locations::kPushButton7Click);
        fileStep(116, [&] { m_host.setPointer(Pointer::Hourglass); });
        // A row removed during the run has nothing to convert; going on with
        // the previous row's path would convert that file a second time.
        if (!fileStep(118, [&] { task.source = m_host.rowText(i); })) {
            dispatcher.submit(std::move(task), nothing);
            continue;
        }
        fileStep(120, [&] { m_host.setProgressValue(percent(i, m_host.rowCount())); });
        fileStep(122, [&] {
            m_host.setProgressText(std::u16string(kProcessing) + paths::GetFileName(task.source));
        });
        fileStep(124, [&] { m_host.yield(); });
        task.output = resultPath(fileStep, task.source, m_host.option1(), m_host.option2(),
                                 m_host.folderText(i));
        dispatcher.submit(std::move(task), work);
    }
    dispatcher.finish();
    // Every result of the run on stable storage, one sync per file system.
    if (m_syncLedger == &m_ownLedger) step(188, [&] { m_ownLedger.syncAll(); });
}

void ConversionRun::setChunkWorkers(unsigned workers, CoreBudget* cores) {
    m_chunks.workers = std::max(1u, workers);
    m_chunks.cores = cores;
}

void ConversionRun::convertFile(const FileTask& task, report::ErrorReport& report) {
    FileConversion(m_host, task, report, *m_syncLedger, m_chunks).run();
}

}  // namespace mv::run
