#include "app/run/conversion_run.h"

#include <algorithm>
#include <optional>

#include "app/run/paths.h"
#include "engine/fast/chunk_converter.h"
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

// Steps 140 to 150: the result path of one source.
template <class Steps>
std::u16string resultPath(Steps& step, std::u16string_view source, bool option1, bool option2,
                          std::u16string_view folderText) {
    std::u16string name;
    step(140, [&] { name = GetFileName(source); });
    step(142, [&] { name = RemoveExtension(name) + u".json"; });
    std::u16string output = name;
    if (step.test(144, [&] { return option1; })) {
        step(146, [&] {
            output = CollapseBackslashes(std::u16string(folderText) + kNativeSeparator + name);
        });
    } else if (step.test(148, [&] { return option2; })) {
        step(150, [&] {
            output = CollapseBackslashes(GetFolderPath(source) + kNativeSeparator + name);
        });
    }
    return output;
}

class InlineDispatcher : public Dispatcher {
public:
    explicit InlineDispatcher(report::ErrorReport& report) : m_report(report) {}
    void submit(FileTask task, const Work& work) override { work(task, m_report); }
    void finish() override {}

private:
    report::ErrorReport& m_report;
};

double percent(std::int64_t part, std::int64_t whole) {
    if (whole == 0) throw Failure(FailureKind::DivisionByZero);
    return static_cast<double>(part) / static_cast<double>(whole) * 100.0;
}

}  // namespace

ConversionRun::ConversionRun(Host& host, report::ErrorReport& report, Dispatcher* dispatcher)
    : m_host(host), m_report(report), m_dispatcher(dispatcher) {}

std::u16string ConversionRun::outputPathFor(std::u16string_view source, bool option1, bool option2,
                                            std::u16string_view folderText) {
    PassFailuresUp step;
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
    std::int64_t count = 0;
    step(114, [&] { count = m_host.rowCount(); });  // fixed for the whole run
    for (std::int64_t i = 1; i <= count; ++i) {
        FileTask task;
        task.index = i;
        step(116, [&] { m_host.setPointer(Pointer::Hourglass); });
        // A row removed during the run has nothing to convert; going on with
        // the previous row's path would convert that file a second time.
        if (!step(118, [&] { task.source = m_host.rowText(i); })) continue;
        step(120, [&] { m_host.setProgressValue(percent(i, m_host.rowCount())); });
        step(122, [&] {
            m_host.setProgressText(std::u16string(kProcessing) + GetFileName(task.source));
        });
        step(124, [&] { m_host.yield(); });
        task.output =
            resultPath(step, task.source, m_host.option1(), m_host.option2(), m_host.folderText());
        dispatcher.submit(std::move(task), work);
    }
    dispatcher.finish();
}

template <class Steps>
void ConversionRun::convertChunkByReference(Steps& step, std::u16string_view chunk,
                                            engine::Flag16 declarationMissing,
                                            engine::TextWriter& output,
                                            report::ErrorReport& report) {
    std::u16string rootTag, flattened, json;
    step(166, [&] { rootTag = engine::SetMainXMLTag(chunk, report); });
    bool stripped = step(168, [&] {
        flattened = engine::ReplaceXML(engine::StripXmlProlog(chunk, rootTag, kNo, kNo), report);
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
    step(158, [&] { output = fso.OpenTextFile(task.output); });

    engine::SourceChunk chunk;
    engine::fast::NarrowText narrow;
    engine::fast::OutputBytes bytes;
    std::u16string text, rootTag, flattened, json;
    const std::int64_t expected = reader ? reader->expectedChunks() : 0;
    bool more = reader && reader->next(chunk);
    // A file without chunks has no last chunk index to loop to.
    if (!more) step(160, [&] { throw Failure(FailureKind::SubscriptOutOfRange); });
    for (std::int64_t j = 0; more; ++j) {
        step(162, [&] { m_host.yield(); });
        step(164, [&] { m_host.setProgressValue(percent(j + 1, std::max(expected, j + 1))); });
        if (chunk.utf16) {
            narrow = engine::fast::narrow(chunk.wide);
        } else {
            narrow.bytes.swap(chunk.bytes);
            narrow.foreign = narrow.foreignAfterLt = false;
        }
        bytes.clear();
        const engine::fast::ChunkJob job{&narrow, nullptr, kNo, kNo, declarationMissing.isYes()};
        if (m_fastPath && engine::fast::convertChunk(job, bytes)) {
            step(178, [&] { output.WriteBytes(bytes.view()); });
        } else {
            text = chunk.utf16 ? chunk.wide : engine::fast::widen(narrow.bytes);
            convertChunkByReference(step, text, declarationMissing, output, report);
        }
        more = reader->next(chunk);
    }
    if (reader) reader->close();
    // A source that could not be read, or not to its end, never replaces a
    // result that is already there: the reader has reported why, and the old
    // result stays whole instead of being emptied or cut short.
    if ((!reader || reader->failed()) && output.isOpen() && output.targetExists()) {
        output.Abandon();
        return;
    }
    step(182, [&] { output.Close(); });
}

}  // namespace mv::app
