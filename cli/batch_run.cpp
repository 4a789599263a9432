#include "cli/batch_run.h"

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_host.h"
#include "cli/escape.h"
#include "cli/source_passes.h"
#include "engine/folder_walk.h"
#include "engine/native_text.h"
#include "engine/read_ahead.h"
#include "paths/paths.h"
#include "report/locations.h"
#include "report/step_runner.h"
#include "run/conversion_run.h"

namespace mv::cli {

namespace {

// Files handed to one run of the conversion: a folder of any size streams
// through runs of this many files, so memory stays flat.
constexpr std::size_t kBatch = 4096;

}  // namespace

BatchRun::BatchRun(const ConvertOptions& options, std::u16string folder, ResultClaims& claims,
                   Terminal& terminal, FileLedger& fileLedger)
    : m_options(options),
      m_folder(std::move(folder)),
      m_claims(claims),
      m_terminal(terminal),
      m_fileLedger(fileLedger),
      m_dispatcher(fileLedger, startParallel(), options.update) {}

ParallelDispatcher* BatchRun::startParallel() {
    if (m_options.jobs <= 1) return nullptr;
    m_parallel.emplace(m_options.jobs, m_fileLedger);
    return &*m_parallel;
}

void BatchRun::take(const Source& source) {
    m_fileLedger.listed();
    m_batch.push_back(source.path);
    const auto row = static_cast<std::int64_t>(m_batch.size());
    const auto result = resultOf(m_options, m_folder, source, m_unheard);
    auto claim = m_claims.take(result, source.path);
    m_known.push_back({source.seen, !claim.replaces.empty()});
    if (claim.replaced) m_replaced.push_back(row);
    for (const auto& earlier : claim.replaces)
        m_notes.emplace_back(row, escapeForTerminal(replacedLine(earlier, result, source.path)));
    if (m_options.toFolder) {
        std::u16string into = resultFolder(m_folder, source);
        makeFolderFor(source, into);
        m_batchFolders.push_back(std::move(into));
    }
    if (++m_taken % kBatch == 0) runBatch();
}

void BatchRun::makeFolderFor(const Source& source, const std::u16string& into) {
    if (into == m_folder || into == m_lastMade) return;
    // A folder that cannot be made fails at the result's own step; a link on
    // the way is entered only as the result would enter it.
    std::vector<std::string> made;
    report::failureOf([&] {
        engine::makeFolders(m_options.outputDir, engine::toNative(source.subfolder), made);
    });
    m_ledger.noteMadeFolders(made);
    m_lastMade = into;
}

void BatchRun::runBatch() {
    const bool first = m_taken <= static_cast<std::int64_t>(kBatch);
    CliHost host(std::move(m_batch), m_options.toFolder, m_folder, m_terminal,
                 std::move(m_batchFolders));
    // The next sources are asked of the disk while the first are converted.
    // Made after the host, it is gone before the host's rows that it reads.
    std::optional<engine::SourcePrefetch> prefetch;
    if (m_options.jobs > 1 && host.rows().size() > 1) prefetch.emplace(host.rows());
    m_batch.clear();
    m_batchFolders.clear();
    if (m_parallel) {
        m_parallel->knowRows(std::move(m_known));
    } else {
        m_dispatcher.knowRows(std::move(m_known));
    }
    m_known.clear();
    m_fileLedger.startRun(host.rows());
    for (auto row : m_replaced) m_fileLedger.replacedLater(row);
    for (auto& [row, line] : m_notes) m_fileLedger.addNote(row, std::move(line));
    m_replaced.clear();
    m_notes.clear();
    run::ConversionRun conversion(host, m_fileLedger.immediate(), &m_dispatcher, &m_ledger);
    // Every file may have every worker on its chunks: its helpers take the
    // cores that the other files of the batch leave idle.
    conversion.setChunkWorkers(m_options.jobs, m_parallel ? &m_parallel->cores() : nullptr);
    const run::RunOutcome outcome = conversion.PushButton7_Click();
    m_fileLedger.endRun();
    if (outcome == run::RunOutcome::NoFiles) m_end.usageError = true;
    // A folder that vanished after earlier runs wrote their results is a
    // failure of this run, not a usage error: work was done.
    if (outcome == run::RunOutcome::FolderMissing)
        (first ? m_end.usageError : m_end.folderGone) = true;
}

RunEnd BatchRun::finish(bool listRead, std::int64_t listed, const OutputFolder& outputFolder) {
    m_end.listRead = listRead;
    // A shard that holds none of a list's files has simply nothing to do.
    if (!outputFolder.missing() && !m_end.folderGone &&
        (!m_batch.empty() || (listed == 0 && listRead)))
        runBatch();
    // A folder that vanished during the last run of files failed only its
    // files there; it is the run's failure all the same.
    if (m_options.toFolder && outputFolder.anySource() && !m_end.usageError &&
        !outputFolder.missing() && !m_end.folderGone && !paths::IsFolder(m_folder)) {
        outputFolder.tellMissing();
        m_end.folderGone = true;
    }
    m_end.synced = syncResults();
    if (outputFolder.missing()) m_end.usageError = true;
    return m_end;
}

// Every result written is on stable storage before the command returns; a
// result that may not be on disk is no converted result.
bool BatchRun::syncResults() {
    report::StepRunner step(m_fileLedger.immediate(), report::locations::kPushButton7Click);
    const bool synced = step(188, [&] { m_ledger.syncAll(); });
    for (const auto& lost : m_ledger.takeLost()) {
        m_fileLedger.notOnDisk(engine::fromNative(lost.source), engine::fromNative(lost.result),
                               lost.failure.what());
    }
    return synced;
}

}  // namespace mv::cli
