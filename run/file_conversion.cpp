#include "run/file_conversion.h"

#include <algorithm>
#include <utility>

#include "engine/file_system.h"
#include "engine/native_text.h"
#include "engine/source_reader.h"
#include "report/failure.h"
#include "report/locations.h"
#include "run/chunk_pipeline.h"
#include "run/reference_chunk.h"

namespace mv::run {

namespace {

using engine::kNo;
using engine::kYes;
using engine::onepass::ChunkOutcome;
using report::Failure;
using report::FailureKind;

// Slots of the ring per worker: enough that a worker always finds a chunk
// waiting, little enough that it holds at most a few MiB.
constexpr std::size_t kSlotsPerWorker = 3;

}  // namespace

double percent(std::int64_t part, std::int64_t whole) {
    if (whole == 0) throw Failure(FailureKind::DivisionByZero);
    return static_cast<double>(part) / static_cast<double>(whole) * 100.0;
}

FileConversion::FileConversion(Host& host, const FileTask& task, report::ErrorReport& report,
                               engine::SyncLedger& ledger, const ChunkSettings& settings)
    : m_host(host),
      m_task(task),
      m_report(report),
      m_ledger(ledger),
      m_settings(settings),
      m_onceReport(report),
      m_onceReads(static_cast<report::ErrorReport&>(m_onceReport)),
      m_referenceReads(report) {}

void FileConversion::run() {
    if (m_settings.fastPath) {
        const bool decided = convertOnce();
        m_once.reset();
        if (decided) return;
        m_output = engine::TextWriter();
    }
    convertByReference();
}

report::StepRunner FileConversion::steps() const {
    return report::StepRunner(*m_sink, report::locations::kPushButton7Click);
}

bool FileConversion::convertOnce() {
    // One read of the source answers the first-line questions too. While its
    // first line read as UTF-16 is not settled (for ANSI text, until the end
    // of the file) the file may yet have to be read as UTF-16, or the
    // declaration answer guessed for it may be wrong, so its report lines
    // wait; in those rare cases the reference readers read it again.
    m_once = engine::onepass::OneReadSource::open(m_task.source);
    if (!m_once || m_once->declaresUtf16()) return false;
    m_onceReport.hold();
    m_sink = &m_onceReport;
    m_reads = &m_onceReads;
    m_expected = m_once->expectedChunks();
    beginResult();
    // The declaration answer matters only to chunks that flatten to nothing;
    // until the first line is read it is guessed.
    m_declarationMissing = m_once->declarationGuess();
    m_readable = true;
    convertChunks();
    const bool guessedRight = !m_anyEmpty || m_once->declarationMissing() == m_declarationMissing;
    // A source that changed while it was read publishes nothing; the change
    // is reported where the reference reading reports it.
    if (!report::StepRunner(m_report, report::locations::kReadFileToStringFSO)(
            118, [&] { m_once->close(); })) {
        m_output.Abandon("the source was not read whole");
        publish();
        return true;
    }
    if (!m_once->declaresUtf16() && !m_once->failed() && guessedRight) {
        std::vector<report::HeldReports::Entry> entries = m_onceReport.take();
        m_onceReport.release(entries);
        publish();
        return true;
    }
    // Its result and its held reports are dropped: the second reading
    // writes and reports again.
    m_output.Abandon();
    return false;
}

void FileConversion::convertByReference() {
    m_sink = &m_report;
    m_reads = &m_referenceReads;
    report::StepRunner step = steps();
    m_declarationMissing = kNo;
    step(152, [&] {
        m_declarationMissing = engine::CheckFirsrStringFSO(m_task.source, kNo, kYes, m_report);
    });
    step(154, [&] { m_reader.emplace(m_task.source, m_referenceReads); });
    m_expected = m_reader ? m_reader->expectedChunks() : 0;
    beginResult();
    m_readable = m_reader.has_value();
    convertChunks();
    if (m_reader) m_reader->close();
    // Only a source read whole gives a result: a partial one is never
    // published, and the reader has reported why.
    if (m_reader && m_reader->incomplete()) m_output.Abandon("the source was not read whole");
    // A source that could not be opened never replaces a result that is
    // already there: the old result stays whole instead of being emptied.
    if ((!m_reader || !m_reader->opened()) && m_output.isOpen() && m_output.targetExists()) {
        m_output.Abandon();
        return;
    }
    publish();
}

void FileConversion::beginResult() {
    engine::FileSystemObject fso;
    // The file system is noted as soon as a result is begun, so that its
    // text is written out while it is converted.
    if (steps()(158, [&] { m_output = fso.OpenTextFile(m_task.output, m_task.outputSeenFree); })) {
        m_large = m_ledger.note(m_output.device(), m_output.folder(),
                                m_expected * static_cast<std::int64_t>(engine::kChunkChars));
    }
}

void FileConversion::endLarge() {
    if (std::exchange(m_large, false)) m_ledger.largeEnded();
}

void FileConversion::convertChunks() {
    // With several workers, chunks are read ahead into a ring of slots and
    // converted on the workers while this thread writes the oldest; the
    // results and every report still go out in chunk order.
    m_slots =
        std::vector<ChunkSlot>(m_settings.workers > 1 ? m_settings.workers * kSlotsPerWorker : 1);
    m_lastReads.clear();
    m_more = m_readable;
    m_read = m_written = 0;
    m_anyEmpty = false;
    m_fileRoot = {};
    m_fileRootTag.clear();

    // The first chunk alone: its root tag governs the others.
    const bool any = m_more && readInto(m_slots[0]);
    m_reads->release(any ? m_slots[0].readReports : m_lastReads);
    if (any) {
        const std::exception_ptr failure =
            failureCarriedFrom([&] { convertSlot(m_slots[0], true); });
        m_more = writeChunk(m_slots[0], failure) && m_more;
    } else {
        // A file without chunks has no last chunk index to loop to.
        steps()(160, [] { throw Failure(FailureKind::SubscriptOutOfRange); });
    }
    // Only a file of more than one chunk starts the helpers; with one worker
    // there are none, and this thread converts each chunk as it reads it.
    if (m_more && readInto(m_slots[0])) convertLaterChunks();
    m_reads->release(m_lastReads);
    endLarge();
}

void FileConversion::convertLaterChunks() {
    ChunkPipeline pipeline(
        m_settings.workers - 1, m_slots.size(),
        [this](std::size_t i) { convertSlot(m_slots[i], false); }, m_settings.cores);
    pipeline.publish();  // the second chunk, in the first slot
    while (true) {
        while (m_more && !pipeline.full()) {
            if (readInto(m_slots[pipeline.nextSlot()])) pipeline.publish();
        }
        if (pipeline.empty()) break;
        const std::size_t oldest = pipeline.awaitOldest();
        const bool written = writeChunk(m_slots[oldest], pipeline.failure(oldest));
        pipeline.retire();
        if (!written) break;
    }
}

bool FileConversion::readInto(ChunkSlot& slot) {
    m_reads->hold();
    m_more = m_once ? m_once->next(slot.chunk) : m_reader->next(slot.chunk);
    slot.readReports = m_reads->take();
    slot.index = m_read++;
    if (!m_more) m_lastReads = std::move(slot.readReports);
    return m_more;
}

void FileConversion::convertSlot(ChunkSlot& slot, bool first) {
    if (m_settings.beforeConvert) m_settings.beforeConvert(slot.index);
    if (slot.chunk.utf16) {
        engine::onepass::narrowInto(slot.chunk.wide, slot.narrow);
    } else {
        slot.narrow.bytes.swap(slot.chunk.bytes);
        slot.narrow.foreign = slot.narrow.foreignAfterLt = false;
    }
    slot.out.clear();
    slot.outcome = ChunkOutcome::Declined;
    if (!m_settings.fastPath) return;
    // Only the first chunk strips with its own root tag; the workers read
    // the file's root tag, which is set before any later chunk starts.
    const engine::onepass::ChunkJob job{&slot.narrow, first ? nullptr : &m_fileRoot,
                                        first ? kNo : kYes, kNo, m_declarationMissing.isYes()};
    // On a failure the reference procedures convert the chunk and report it.
    if (report::failureOf([&] {
            // The later chunks of a ring are converted on one thread and
            // written out on another.
            if (!first && m_slots.size() > 1) slot.out.claimRoom(slot.narrow.bytes.size());
            slot.outcome = engine::onepass::convertChunk(job, slot.out, &slot.ownRoot);
        })) {
        slot.out.clear();
    }
    // A burst of large results must not keep its memory for later chunks.
    slot.out.shrinkTo(std::size_t{1} << 20);
}

bool FileConversion::writeChunk(ChunkSlot& slot, const std::exception_ptr& failure) {
    if (m_output.abandoned()) return false;
    report::StepRunner step = steps();
    if (m_written > 0) m_reads->release(slot.readReports);
    step(162, [&] { m_host.yield(); });
    step(164, [&] {
        m_host.setProgressValue(percent(m_written + 1, std::max(m_expected, m_written + 1)));
    });
    m_host.chunkProgress(m_written + 1, m_expected);
    if (failure) {
        // A chunk that could not be converted, on whichever thread, fails
        // its write: nothing of this result is published.
        step(178, [&] { std::rethrow_exception(failure); });
        m_output.Abandon("a chunk could not be converted");
    } else if (slot.outcome != ChunkOutcome::Declined) {
        writeConverted(step, slot);
    } else {
        writeByReference(step, slot);
    }
    ++m_written;
    return true;
}

void FileConversion::writeConverted(report::StepRunner& step, ChunkSlot& slot) {
    m_anyEmpty = m_anyEmpty || slot.outcome == ChunkOutcome::Empty;
    step(178, [&] { m_output.WriteBytes(slot.out.view()); });
    if (m_written == 0) {
        m_fileRoot = slot.ownRoot;
        m_fileRootTag = slot.chunk.utf16
                            ? slot.chunk.wide.substr(m_fileRoot.offset, m_fileRoot.tag.size())
                            : engine::onepass::widen(m_fileRoot.tag);
    }
}

void FileConversion::writeByReference(report::StepRunner& step, ChunkSlot& slot) {
    m_text = slot.chunk.utf16 ? slot.chunk.wide : engine::onepass::widen(slot.narrow.bytes);
    const ReferenceChunk chunk =
        convertChunkByReference(step, m_text, m_written == 0 ? nullptr : &m_fileRootTag,
                                m_declarationMissing, m_output, *m_sink);
    m_anyEmpty = m_anyEmpty || chunk.empty;
    if (m_written == 0) {
        m_fileRootTag = chunk.rootTag;
        m_fileRoot = engine::onepass::fileRootOf(chunk.rootTag);
    }
}

void FileConversion::publish() {
    if (m_output.isOpen() && m_ledger.wantsDescriptor()) m_output.keepForSync();
    report::StepRunner step(m_report, report::locations::kPushButton7Click);
    if (step(182, [&] { m_output.Close(); })) {
        m_ledger.published(m_output.device(), m_output.folder(), m_output.target(),
                           engine::toNative(m_task.source), m_output.releaseSyncDescriptor());
    }
}

}  // namespace mv::run
