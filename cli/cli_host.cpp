#include "cli/cli_host.h"

#include "cli/escape.h"
#include "cli/file_ledger.h"
#include "engine/native_text.h"
#include "report/failure.h"
#include "run/conversion_run.h"

namespace mv::cli {

CliHost::CliHost(std::vector<std::u16string> rows, bool toFolder, std::u16string folder,
                 Terminal& terminal, std::vector<std::u16string> rowFolders)
    : m_rows(std::move(rows)),
      m_toFolder(toFolder),
      m_folder(std::move(folder)),
      m_rowFolders(std::move(rowFolders)),
      m_terminal(terminal) {}

std::int64_t CliHost::rowCount() const {
    return static_cast<std::int64_t>(m_rows.size());
}

std::u16string CliHost::rowText(std::int64_t row) const {
    if (row < 1 || row > rowCount()) {
        throw report::Failure(report::FailureKind::SubscriptOutOfRange);
    }
    return m_rows[static_cast<std::size_t>(row - 1)];
}

std::u16string CliHost::folderText(std::int64_t row) const {
    if (row < 1 || row > static_cast<std::int64_t>(m_rowFolders.size())) return m_folder;
    return m_rowFolders[static_cast<std::size_t>(row - 1)];
}

// The bar's share alternates between files begun and chunks done; the
// terminal shows files and bytes done instead, which only grow.
void CliHost::setProgressValue(double) {}

// The record counts the chunks of its file.
void CliHost::chunkProgress(std::int64_t, std::int64_t) {
    countChunk();
}

void CliHost::setProgressText(const std::u16string& text) {
    // The idle bar's caption means the run is over: the line goes away.
    if (text == run::kProgressIdle) {
        m_terminal.clearProgress();
        return;
    }
    m_terminal.setCurrent(text);
}

void CliHost::showMessage(const std::u16string& text) {
    // "Done." closes a run of files; the command says it once at its end.
    // The other messages say why nothing was converted.
    if (text == run::kDone) return;
    // The window shows its box beside the folder's box; here it names it.
    std::u16string line = text == run::kFolderMissing ? text + u" (" + m_folder + u")" : text;
    m_terminal.printLine("marrowvale-cli: " + escapeForTerminal(engine::toNative(line)));
}

}  // namespace mv::cli
