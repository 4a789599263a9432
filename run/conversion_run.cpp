#include "run/conversion_run.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "engine/file_system.h"
#include "engine/flatten.h"
#include "engine/json_writer.h"
#include "engine/native_text.h"
#include "engine/onepass/chunk_converter.h"
#include "engine/onepass/source_probe.h"
#include "engine/prolog.h"
#include "engine/source_reader.h"
#include "paths/paths.h"
#include "report/failure.h"
#include "report/held_reports.h"
#include "report/locations.h"
#include "report/step_runner.h"
#include "run/chunk_pipeline.h"

namespace mv::run {

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

namespace {

using report::HeldReports;

// One chunk on its way: as read, narrowed, and converted when the one-pass
// converter took it.
struct ChunkSlot {
    engine::SourceChunk chunk;
    engine::onepass::NarrowText narrow;
    engine::onepass::OutputBytes out;
    engine::onepass::FileRoot ownRoot;
    bool fast = false;
    std::vector<HeldReports::Entry> readReports;
};

// Slots of the ring per worker: enough that a worker always finds a chunk
// waiting, little enough that it holds at most a few MiB.
constexpr std::size_t kSlotsPerWorker = 8;

}  // namespace

template <class Steps>
std::u16string ConversionRun::convertChunkByReference(Steps& step, std::u16string_view chunk,
                                                      const std::u16string* fileRootTag,
                                                      engine::Flag16 declarationMissing,
                                                      engine::TextWriter& output,
                                                      report::ErrorReport& report, bool& wasNull) {
    std::u16string rootTag, flattened, json;
    step(166, [&] { rootTag = engine::SetMainXMLTag(chunk, report); });
    // The first chunk's root governs the file. A later chunk starts in the
    // middle of the document, wherever the boundary fell, often on a child's
    // start tag: it keeps its head and loses only what follows that root's
    // end tag, so no record before a stray declaration, DOCTYPE or start
    // tag, and none after a child's end tag, is cut away.
    bool stripped = step(168, [&] {
        flattened =
            engine::ReplaceXML(fileRootTag ? engine::StripXmlProlog(chunk, *fileRootTag, kYes, kNo)
                                           : engine::StripXmlProlog(chunk, rootTag, kNo, kNo),
                               report);
    });
    // A chunk whose prolog cannot be stripped is flattened as it stands,
    // never given another chunk's text.
    if (!stripped) flattened = engine::ReplaceXML(chunk, report);
    step(170, [&] { json = engine::StringToJSON(flattened, report); });
    if (step.test(172, [&] { return json == u"null"; })) {
        wasNull = true;
        if (step.test(174, [&] { return declarationMissing.isYes(); })) {
            step(176, [&] { json = kNotValidXml; });
        }
    }
    step(178, [&] { output.Write(json); });
    return rootTag;
}

void ConversionRun::setChunkWorkers(unsigned workers) {
    m_chunkWorkers = std::max(1u, workers);
}

// The chunks of a file, read by `read`, converted and written in order; the
// same for both ways of reading.
void ConversionRun::convertChunks(report::StepRunner& step, HeldReports& readerReport,
                                  const std::function<bool(engine::SourceChunk&)>& read,
                                  bool readable, std::int64_t expected, Flag16 declarationMissing,
                                  engine::TextWriter& output, report::ErrorReport& chunkReport,
                                  bool& anyNull) {
    // With several workers, chunks are read ahead into a ring of slots and
    // converted on the workers while this thread writes the oldest; the
    // results and every report still go out in chunk order.
    std::vector<ChunkSlot> slots(m_chunkWorkers > 1 ? m_chunkWorkers * kSlotsPerWorker : 1);
    bool more = readable;
    std::vector<HeldReports::Entry> lastReadReports;
    // Reads the next chunk into the slot; false at the end.
    auto readInto = [&](ChunkSlot& slot) {
        readerReport.hold();
        more = read(slot.chunk);
        slot.readReports = readerReport.take();
        if (!more) lastReadReports = std::move(slot.readReports);
        return more;
    };

    engine::onepass::FileRoot fileRoot;
    std::u16string fileRootTag;
    std::u16string text;
    // Only the first chunk strips with its own root tag; the workers read
    // the file's root tag, which is set before any later chunk starts.
    auto convert = [&](ChunkSlot& slot, bool first) {
        if (slot.chunk.utf16) {
            engine::onepass::narrowInto(slot.chunk.wide, slot.narrow);
        } else {
            slot.narrow.bytes.swap(slot.chunk.bytes);
            slot.narrow.foreign = slot.narrow.foreignAfterLt = false;
        }
        slot.out.clear();
        slot.fast = false;
        if (!m_fastPath) return;
        const engine::onepass::ChunkJob job{&slot.narrow, first ? nullptr : &fileRoot,
                                            first ? kNo : kYes, kNo, declarationMissing.isYes()};
        // On a failure the reference procedures convert the chunk and report it.
        if (report::failureOf(
                [&] { slot.fast = engine::onepass::convertChunk(job, slot.out, &slot.ownRoot); })) {
            slot.out.clear();
        }
        // A burst of large results must not keep its memory for later chunks.
        slot.out.shrinkTo(std::size_t{1} << 20);
    };
    std::int64_t j = 0;
    // Writes the converted chunk j; false when nothing more of this result
    // can be published after a failed write.
    auto write = [&](ChunkSlot& slot) {
        if (output.abandoned()) return false;
        if (j > 0) readerReport.release(slot.readReports);
        step(162, [&] { m_host.yield(); });
        step(164, [&] { m_host.setProgressValue(percent(j + 1, std::max(expected, j + 1))); });
        m_host.chunkProgress(j + 1, expected);
        if (slot.fast) {
            // A chunk that flattens to nothing: the declaration answer decided its text.
            anyNull = anyNull || slot.out.view().substr(0, 3) != " { ";
            step(178, [&] { output.WriteBytes(slot.out.view()); });
            if (j == 0) {
                fileRoot = slot.ownRoot;
                fileRootTag = slot.chunk.utf16
                                  ? slot.chunk.wide.substr(fileRoot.offset, fileRoot.tag.size())
                                  : engine::onepass::widen(fileRoot.tag);
            }
        } else {
            text = slot.chunk.utf16 ? slot.chunk.wide : engine::onepass::widen(slot.narrow.bytes);
            std::u16string rootTag =
                convertChunkByReference(step, text, j == 0 ? nullptr : &fileRootTag,
                                        declarationMissing, output, chunkReport, anyNull);
            if (j == 0) {
                fileRootTag = rootTag;
                fileRoot = engine::onepass::fileRootOf(rootTag);
            }
        }
        ++j;
        return true;
    };

    // The first chunk alone: its root tag governs the others.
    const bool any = more && readInto(slots[0]);
    readerReport.release(any ? slots[0].readReports : lastReadReports);
    if (any) {
        convert(slots[0], true);
        more = write(slots[0]) && more;
    } else {
        // A file without chunks has no last chunk index to loop to.
        step(160, [&] { throw Failure(FailureKind::SubscriptOutOfRange); });
    }
    // Only a file of more than one chunk starts the helpers; with one worker
    // there are none, and this thread converts each chunk as it reads it.
    if (more && readInto(slots[0])) {
        ChunkPipeline pipeline(m_chunkWorkers - 1, slots.size(),
                               [&](std::size_t i) { convert(slots[i], false); });
        pipeline.publish();  // the second chunk, in the first slot
        while (true) {
            while (more && !pipeline.full()) {
                if (readInto(slots[pipeline.nextSlot()])) pipeline.publish();
            }
            if (pipeline.empty()) break;
            const bool written = write(slots[pipeline.awaitOldest()]);
            pipeline.retire();
            if (!written) break;
        }
    }
    readerReport.release(lastReadReports);
}

void ConversionRun::convertFile(const FileTask& task, report::ErrorReport& report) {
    if (m_fastPath) {
        // One read of the source answers the first-line questions too. While
        // its first line read as UTF-16 is not settled (for ANSI text, until
        // the end of the file) the file may yet have to be read as UTF-16, or
        // the declaration answer guessed for it may be wrong, so its report
        // lines wait; in those rare cases it is read again below.
        std::optional<engine::onepass::OneReadSource> once =
            engine::onepass::OneReadSource::open(task.source);
        if (once && !once->declaresUtf16()) {
            HeldReports held(report);
            held.hold();
            report::StepRunner step(held, report::locations::kPushButton7Click);
            engine::FileSystemObject fso;
            engine::TextWriter output;
            if (step(158, [&] { output = fso.OpenTextFile(task.output); })) {
                m_syncLedger->note(output.device(), output.folder());
            }
            HeldReports noReadReports(static_cast<report::ErrorReport&>(held));
            // The declaration answer matters only to chunks that flatten to
            // nothing; until the first line is read it is guessed.
            const Flag16 guess = once->declarationGuess();
            bool anyNull = false;
            convertChunks(
                step, noReadReports, [&](engine::SourceChunk& c) { return once->next(c); }, true,
                once->expectedChunks(), guess, output, held, anyNull);
            const bool guessedRight = !anyNull || once->declarationMissing() == guess;
            // A source that changed while it was read publishes nothing; the
            // change is reported where the reference reading reports it.
            if (!report::StepRunner(report, report::locations::kReadFileToStringFSO)(
                    118, [&] { once->close(); })) {
                output.Abandon("the source was not read whole");
                publish(output, task, report);
                return;
            }
            if (!once->declaresUtf16() && !once->failed() && guessedRight) {
                std::vector<HeldReports::Entry> entries = held.take();
                held.release(entries);
                publish(output, task, report);
                return;
            }
            output.Abandon();
        }
    }

    report::StepRunner step(report, report::locations::kPushButton7Click);
    Flag16 declarationMissing = kNo;
    std::optional<engine::ChunkReader> reader;
    engine::FileSystemObject fso;
    engine::TextWriter output;
    HeldReports readerReport(report);
    step(152,
         [&] { declarationMissing = engine::CheckFirsrStringFSO(task.source, kNo, kYes, report); });
    step(154, [&] { reader.emplace(task.source, readerReport); });
    // The file system is noted as soon as a result is begun, so that its
    // text is written out while it is converted.
    if (step(158, [&] { output = fso.OpenTextFile(task.output); })) {
        m_syncLedger->note(output.device(), output.folder());
    }
    bool anyNull = false;
    convertChunks(
        step, readerReport, [&](engine::SourceChunk& c) { return reader->next(c); },
        reader.has_value(), reader ? reader->expectedChunks() : 0, declarationMissing, output,
        report, anyNull);
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
    publish(output, task, report);
}

void ConversionRun::publish(engine::TextWriter& output, const FileTask& task,
                            report::ErrorReport& report) {
    if (output.isOpen() && m_syncLedger->wantsDescriptor()) output.keepForSync();
    report::StepRunner step(report, report::locations::kPushButton7Click);
    if (step(182, [&] { output.Close(); })) {
        m_syncLedger->published(output.device(), output.folder(), output.target(),
                                engine::toNative(task.source), output.releaseSyncDescriptor());
    }
}

}  // namespace mv::run
