/* The conversion run: "Start Converting" over every row of the file list.

   ConversionRun::PushButton7_Click walks the host's rows in order, works out
   each result path from the output options (outputPathFor), and hands the
   file to a Dispatcher, which runs convertFile (read, convert chunk by chunk,
   write) at once or on a worker. Every step reports its own failure under the
   run's location and goes on. A result is published only when it is whole;
   the file systems that received results are synced once, when the run ends. */
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "engine/durability.h"
#include "engine/file_system.h"
#include "engine/result_note.h"
#include "engine/text.h"
#include "report/error_report.h"
#include "run/file_conversion.h"
#include "run/host.h"

namespace mv::run {

inline constexpr std::u16string_view kNoFilesAdded = u"No files added.";
inline constexpr std::u16string_view kFolderMissing =
    u"Folder does not exist. Please select another folder.";
inline constexpr std::u16string_view kDone = u"Done.";
inline constexpr std::u16string_view kNotValidXml = engine::kNotValidXml16;
inline constexpr std::u16string_view kProcessing = u"Processing: ";
inline constexpr std::u16string_view kProgressIdle = u"Progress Bar";

// What a press of "Start Converting" did, besides the message it showed.
enum class RunOutcome { Converted, NoFiles, FolderMissing, AlreadyRunning };

// Where the work on one file runs. Tasks with the same paths must complete in
// the order they were submitted, so that the files on disk are those of a
// run that converts one file after the other.
class Dispatcher {
public:
    using Work = std::function<void(const FileTask&, report::ErrorReport&)>;
    virtual ~Dispatcher() = default;
    virtual void submit(FileTask task, const Work& work) = 0;
    // Returns when every submitted task is done.
    virtual void finish() = 0;
    // Where the run's own steps for a file report, so that they come out in
    // file order with the file's other reports.
    virtual report::ErrorReport& reportFor(std::int64_t index) = 0;
};

class ConversionRun {
public:
    // Without a dispatcher, each file is converted at once, in the run's own
    // thread, reporting to `report`. Without a ledger, the run syncs its
    // results when it ends; with one, it notes them there for the caller,
    // who syncs once after several runs.
    ConversionRun(Host& host, report::ErrorReport& report, Dispatcher* dispatcher = nullptr,
                  engine::SyncLedger* ledger = nullptr);

    // The whole run; a call while a run is going returns at once.
    RunOutcome PushButton7_Click();
    bool IsConverting() const { return m_isConverting; }

    // The result path of a source: its name with ".json" for its last
    // extension, in the output folder (option 1), beside the source (option 2),
    // or bare when neither option is on. Throws when the path helpers fail.
    static std::u16string outputPathFor(std::u16string_view source, bool option1, bool option2,
                                        std::u16string_view folderText);
    // The same, reporting a failed step under the run's location: the path
    // is then empty, which no result can be written to.
    static std::u16string outputPathFor(std::u16string_view source, bool option1, bool option2,
                                        std::u16string_view folderText,
                                        report::ErrorReport& report);

    // Reads, converts and writes one file. Safe to call from several threads
    // at once when the host's progress and yield are.
    void convertFile(const FileTask& task, report::ErrorReport& report);

    // Chunks go through the one-pass converter unless this is off; the
    // reference procedures give the same bytes and reports, more slowly.
    void setFastPath(bool on) { m_chunks.fastPath = on; }
    // How many threads convert the chunks of one file side by side (at least
    // one; by default one per core). The result and the report lines are
    // those of one thread. With `cores`, files converted at once share them
    // (see CoreBudget).
    void setChunkWorkers(unsigned workers, CoreBudget* cores = nullptr);

private:
    void convertRows();

    Host& m_host;
    report::ErrorReport& m_report;
    Dispatcher* m_dispatcher;
    engine::SyncLedger m_ownLedger;
    engine::SyncLedger* m_syncLedger;
    bool m_isConverting = false;
    ChunkSettings m_chunks{true, std::max(1u, std::thread::hardware_concurrency()), {}, nullptr};
};

}  // namespace mv::run
