/* One file of the run, from its source to its published result.

   A FileConversion reads the source once, converting its chunks with the
   one-pass converter while the first line is followed (OneReadSource). When
   that reading cannot decide the result (the file declares UTF-16, or the
   declaration answer guessed for chunks that flattened to nothing was wrong)
   its result and reports are dropped and the reference readers read the file
   again. Either reading sends the chunks round a ring of slots: helper
   threads convert them (ChunkPipeline) while this thread reads ahead and
   writes the oldest, so the result and every report come out in chunk order. */
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/durability.h"
#include "engine/onepass/chunk_converter.h"
#include "engine/onepass/narrow_text.h"
#include "engine/onepass/output_bytes.h"
#include "engine/onepass/source_probe.h"
#include "engine/source_reader.h"
#include "engine/text.h"
#include "engine/text_writer.h"
#include "report/error_report.h"
#include "report/held_reports.h"
#include "report/step_runner.h"
#include "run/host.h"

namespace mv::run {

class CoreBudget;

struct FileTask {
    std::int64_t index = 0;  // the row, counted from 1
    std::u16string source;
    std::u16string output;
    // The dispatcher saw no file at the output, and nothing of the run writes
    // there before this task: the writer need not look again.
    bool outputSeenFree = false;
};

// How the chunks of every file of a run are converted.
struct ChunkSettings {
    // The one-pass converter where it takes a chunk; off, the reference
    // procedures convert every chunk (same bytes and reports, more slowly).
    bool fastPath = true;
    // Threads converting the chunks of one file side by side, this one included.
    unsigned workers = 1;
    // For tests: runs before chunk `index` (from 0) is converted, on the
    // thread that converts it, so that a test can make that conversion fail.
    std::function<void(std::int64_t index)> beforeConvert;
    // Where several files are converted at once, the cores they share: the
    // helpers of a file convert only on a core no file is using. Without
    // it they convert whenever a chunk waits.
    CoreBudget* cores = nullptr;
};

// The progress bar's value for `part` of `whole`; throws the division failure
// when `whole` is zero.
double percent(std::int64_t part, std::int64_t whole);

class FileConversion {
public:
    // Reports go to `report`; the result's file system is noted in `ledger`.
    // The task, the host, the report and the ledger must outlive the object.
    FileConversion(Host& host, const FileTask& task, report::ErrorReport& report,
                   engine::SyncLedger& ledger, const ChunkSettings& settings);
    FileConversion(const FileConversion&) = delete;
    FileConversion& operator=(const FileConversion&) = delete;
    ~FileConversion() { endLarge(); }

    // Reads, converts and writes the file; publishes the result when it is whole.
    void run();

private:
    // One chunk on its way: as read, narrowed, and converted when the
    // one-pass converter took it.
    struct ChunkSlot {
        std::int64_t index = 0;
        engine::SourceChunk chunk;
        engine::onepass::NarrowText narrow;
        engine::onepass::OutputBytes out;
        engine::onepass::FileRoot ownRoot;
        engine::onepass::ChunkOutcome outcome = engine::onepass::ChunkOutcome::Declined;
        std::vector<report::HeldReports::Entry> readReports;
    };

    // The one reading; true when it decided the result.
    bool convertOnce();
    // The reading of the reference readers.
    void convertByReference();
    // Step 158: begins the result, of m_expected chunks.
    void beginResult();
    // A large result is written: the ledger's write-out need not keep pace.
    void endLarge();
    // Every chunk of the reading under way, converted and written in order.
    void convertChunks();
    // The chunks after the first, round the ring.
    void convertLaterChunks();
    // Reads the next chunk into the slot; false at the end.
    bool readInto(ChunkSlot& slot);
    // Converts a slot; on any thread.
    void convertSlot(ChunkSlot& slot, bool first);
    // Writes the oldest chunk; false when nothing more of this result can be
    // published.
    bool writeChunk(ChunkSlot& slot, const std::exception_ptr& failure);
    void writeConverted(report::StepRunner& step, ChunkSlot& slot);
    void writeByReference(report::StepRunner& step, ChunkSlot& slot);
    // Step 182: puts the result in place and tells the sync ledger.
    void publish();
    report::StepRunner steps() const;

    Host& m_host;
    const FileTask& m_task;
    report::ErrorReport& m_report;
    engine::SyncLedger& m_ledger;
    const ChunkSettings m_settings;

    // The one reading holds all of its reports until it is known to decide
    // the result; the reports of reading wait for their chunk to be written.
    report::HeldReports m_onceReport;
    report::HeldReports m_onceReads;
    report::HeldReports m_referenceReads;
    std::optional<engine::onepass::OneReadSource> m_once;
    std::optional<engine::ChunkReader> m_reader;

    // The reading under way: where it reports, what it writes to.
    report::ErrorReport* m_sink = nullptr;
    report::HeldReports* m_reads = nullptr;
    engine::TextWriter m_output;
    engine::Flag16 m_declarationMissing = engine::kNo;
    bool m_readable = false;
    std::int64_t m_expected = 0;
    bool m_large = false;  // told to the ledger as large, not ended yet

    // The ring and the chunks so far.
    std::vector<ChunkSlot> m_slots;
    std::vector<report::HeldReports::Entry> m_lastReads;
    bool m_more = false;
    std::int64_t m_read = 0;
    std::int64_t m_written = 0;
    bool m_anyEmpty = false;
    engine::onepass::FileRoot m_fileRoot;
    std::u16string m_fileRootTag;
    std::u16string m_text;
};

}  // namespace mv::run
