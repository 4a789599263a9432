/* The conversion of listed sources, a few thousand at a time: each batch is
   one run::ConversionRun with a CliHost, so that a folder of any size streams
   through and memory stays flat. With -j above 1 a ParallelDispatcher
   converts several files of a batch at once. The results of every batch are
   synced once, at the end. */
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/convert_options.h"
#include "cli/exit_status.h"
#include "cli/file_ledger.h"
#include "cli/output_folder.h"
#include "cli/parallel_dispatcher.h"
#include "cli/result_claims.h"
#include "cli/sources.h"
#include "cli/terminal.h"
#include "engine/durability.h"
#include "report/error_report.h"

namespace mv::cli {

class BatchRun {
public:
    BatchRun(const ConvertOptions& options, std::u16string folder, ResultClaims& claims,
             Terminal& terminal, FileLedger& fileLedger);

    // Takes one source of the second pass; a full batch is converted at once.
    void take(const Source& source);
    // The output folder vanished after results were written: the remaining
    // sources are passed over.
    bool folderGone() const { return m_end.folderGone; }
    // Converts the last files once every source is listed; with none at all,
    // the run says "No files added." Then syncs every result written, and
    // tells how the conversion ended.
    RunEnd finish(bool listRead, std::int64_t listed, const OutputFolder& outputFolder);

private:
    ParallelDispatcher* startParallel();
    void runBatch();
    // Makes the folder a mirrored source's result goes to, once per folder.
    void makeFolderFor(const Source& source, const std::u16string& into);
    bool syncResults();

    const ConvertOptions& m_options;
    const std::u16string m_folder;
    ResultClaims& m_claims;
    Terminal& m_terminal;
    FileLedger& m_fileLedger;
    engine::SyncLedger m_ledger;
    std::optional<ParallelDispatcher> m_parallel;
    LedgerDispatcher m_dispatcher;
    report::SilentReport m_unheard;  // the run reports a result path that cannot be worked out
    RunEnd m_end;
    std::int64_t m_taken = 0;
    std::vector<std::u16string> m_batch, m_batchFolders;
    std::vector<KnownRow> m_known;  // by row of the batch
    // Rows of the batch whose result a later source replaces, and lines told
    // with rows that replace earlier results.
    std::vector<std::int64_t> m_replaced;
    std::vector<std::pair<std::int64_t, std::string>> m_notes;
    std::u16string m_lastMade;
};

}  // namespace mv::cli
