#include "app/run/conversion_run.h"

#include <algorithm>
#include <optional>

#include "app/run/paths.h"
#include "engine/file_system.h"
#include "engine/flatten.h"
#include "engine/json_writer.h"
#include "engine/prolog.h"
#include "engine/source_reader.h"
#include "report/failure.h"
#include "report/locations.h"
#include "report/step_runner.h"

namespace mv::app {

namespace {

using engine::Flag16;
using engine::kNo;
using engine::kYes;
using report::Failure;
using report::FailureKind;

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
    bool complete = step(140, [&] { name = GetFileName(source); });
    complete = step(142, [&] { name = RemoveExtension(name) + u".json"; }) && complete;
    std::u16string output = name;
    if (step.test(144, [&] { return option1; })) {
        complete = step(146,
                        [&] {
                            output = CollapseBackslashes(std::u16string(folderText) +
                                                         kNativeSeparator + name);
                        }) &&
                   complete;
    } else if (step.test(148, [&] { return option2; })) {
        complete =
            step(150,
                 [&] {
                     output = CollapseBackslashes(GetFolderPath(source) + kNativeSeparator + name);
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

double percent(std::int64_t part, std::int64_t whole) {
    if (whole == 0) throw Failure(FailureKind::DivisionByZero);
    return static_cast<double>(part) / static_cast<double>(whole) * 100.0;
}

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

void ConversionRun::PushButton7_Click() {
    report::StepRunner step(m_report, report::locations::kPushButton7Click);
    if (step.test(102, [&] { return m_isConverting; })) return;
    step(104, [&] { m_isConverting = true; });
    if (step.test(106, [&] { return m_host.rowCount() == 0; })) {
        step(200, [&] { m_host.showMessage(std::u16string(kNoFilesAdded)); });
    } else if (step.test(108, [&] { return IsFolder(m_host.folderText()) || m_host.option2(); })) {
        convertRows();
        step(190, [&] { m_host.setPointer(Pointer::Default); });
        step(192, [&] { m_host.setProgressValue(0); });
        step(194, [&] { m_host.setProgressText(std::u16string(kProgressIdle)); });
        step(196, [&] { m_host.showMessage(std::u16string(kDone)); });
    } else {
        step(198, [&] { m_host.showMessage(std::u16string(kFolderMissing)); });
    }
    step(202, [&] { m_isConverting = false; });
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
            m_host.setProgressText(std::u16string(kProcessing) + GetFileName(task.source));
        });
        fileStep(124, [&] { m_host.yield(); });
        task.output = resultPath(fileStep, task.source, m_host.option1(), m_host.option2(),
                                 m_host.folderText());
        dispatcher.submit(std::move(task), work);
    }
    dispatcher.finish();
    // Every result of the run on stable storage, one sync per file system.
    if (m_syncLedger == &m_ownLedger) step(188, [&] { m_ownLedger.syncAll(); });
}

void ConversionRun::convertFile(const FileTask& task, report::ErrorReport& report) {
    report::StepRunner step(report, report::locations::kPushButton7Click);
    Flag16 declarationMissing = kNo;
    std::optional<engine::ChunkReader> reader;
    engine::FileSystemObject fso;
    engine::TextWriter output;
    step(152,
         [&] { declarationMissing = engine::CheckFirsrStringFSO(task.source, kNo, kYes, report); });
    step(154, [&] { reader.emplace(task.source, report); });
    // The file system is noted as soon as a result is begun, so that its
    // text is written out while it is converted.
    if (step(158, [&] { output = fso.OpenTextFile(task.output); })) {
        m_syncLedger->note(output.device(), output.folder());
    }

    std::u16string chunk, rootTag, fileRootTag, flattened, json;
    const std::int64_t expected = reader ? reader->expectedChunks() : 0;
    bool more = reader && reader->next(chunk);
    // A file without chunks has no last chunk index to loop to.
    if (!more) step(160, [&] { throw Failure(FailureKind::SubscriptOutOfRange); });
    for (std::int64_t j = 0; more; ++j) {
        step(162, [&] { m_host.yield(); });
        step(164, [&] { m_host.setProgressValue(percent(j + 1, std::max(expected, j + 1))); });
        step(166, [&] { rootTag = engine::SetMainXMLTag(chunk, report); });
        // The first chunk's root governs the file. A later chunk starts in the
        // middle of the document, wherever the boundary fell, often on a child's
        // start tag: it keeps its head and loses only what follows that root's
        // end tag, so no record before a stray declaration, DOCTYPE or start
        // tag, and none after a child's end tag, is cut away.
        if (j == 0) fileRootTag = rootTag;
        bool stripped = step(168, [&] {
            flattened =
                engine::ReplaceXML(j == 0 ? engine::StripXmlProlog(chunk, rootTag, kNo, kNo)
                                          : engine::StripXmlProlog(chunk, fileRootTag, kYes, kNo),
                                   report);
        });
        // A chunk whose prolog cannot be stripped is flattened as it stands,
        // never given another chunk's text.
        if (!stripped) flattened = engine::ReplaceXML(chunk, report);
        step(170, [&] { json = engine::StringToJSON(flattened, report); });
        if (step.test(172, [&] { return json == u"null"; })) {
            if (step.test(174, [&] { return declarationMissing.isYes(); })) {
                step(176, [&] { json = kNotValidXml; });
            }
        }
        step(178, [&] { output.Write(json); });
        // After a failed write nothing of this result can be published.
        more = !output.abandoned() && reader->next(chunk);
    }
    if (reader) reader->close();
    // Only a source read whole gives a result: a partial one is never
    // published, and the reader has reported why.
    if (reader && reader->incomplete()) output.Abandon("the source was not read whole");
    // A source that could not be opened never replaces a result that is
    // already there: the old result stays whole instead of being emptied.
    if ((!reader || !reader->opened()) && output.isOpen() && output.targetExists()) {
        output.Abandon();
        return;
    }
    step(182, [&] { output.Close(); });
}

}  // namespace mv::app
