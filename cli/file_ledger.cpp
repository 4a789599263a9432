#include "cli/file_ledger.h"

#include <sys/stat.h>

#include "cli/escape.h"
#include "cli/sources.h"
#include "cli/up_to_date.h"
#include "engine/in_flight.h"
#include "engine/native_text.h"
#include "report/locations.h"

namespace mv::cli {

namespace {

thread_local std::int64_t* t_chunks = nullptr;
// The ledger and row of the file whose work runs on this thread.
thread_local FileLedger* t_ledger = nullptr;
thread_local std::int64_t t_index = 0;

std::string reportLine(const std::string& description, const report::Location& where, int step) {
    // The location text ends in a blank, so "at line" follows it as in the window.
    return description + " [" + where.text() + "at line " + std::to_string(step) + "]";
}

// A result by its full path, as sources are named, so that a record says
// where its result is wherever the report is read (-o may be relative).
std::u16string fullName(const std::u16string& path) {
    if (path.empty() || path.front() == u'/') return path;
    std::error_code gone;
    auto full = fullPath(engine::toNative(path), gone);
    return gone ? path : engine::fromNative(full);
}

}  // namespace

void countChunk() {
    if (t_chunks != nullptr) ++*t_chunks;
}

FileLedger::FileLedger(Terminal& terminal, bool verbose, ReportWriter* records)
    : m_terminal(terminal), m_verbose(verbose), m_records(records) {
    if (m_records) engine::inflight::setPublishObserver(&FileLedger::resultPublished);
}

// Runs under the lock of every publish, shared by the publishing threads,
// which a signal's clean-up holds alone before it records what is complete.
void FileLedger::resultPublished() {
    if (t_ledger == nullptr) return;
    std::lock_guard lock(t_ledger->m_mutex);
    t_ledger->entryLocked(t_index).published = true;
}

void FileLedger::Sink::show(const std::string& description, const report::Location& where,
                            int step) {
    FileRecord::Report report{description,
                              std::string(where.module) + "." + std::string(where.procedure), step,
                              reportLine(description, where, step)};
    m_owner.add(m_index, std::move(report));
}

FileLedger::Entry& FileLedger::entryLocked(std::int64_t index) {
    if (index < m_next) {
        if (m_dropped.empty()) m_dropped.emplace_back();
        return m_dropped.back().emplace_back(*this, index);
    }
    const auto at = static_cast<std::size_t>(index - m_next);
    while (m_entries.size() <= at)
        m_entries.emplace_back(*this, m_next + static_cast<std::int64_t>(m_entries.size()));
    return m_entries[at];
}

report::ErrorReport& FileLedger::forFile(std::int64_t index) {
    std::lock_guard lock(m_mutex);
    return entryLocked(index).sink;
}

void FileLedger::add(std::int64_t index, FileRecord::Report report) {
    std::lock_guard lock(m_mutex);
    m_anyReport = true;
    if (index < 0) {
        m_terminal.printLine("marrowvale-cli: " + escapeForTerminal(report.line));
        return;
    }
    auto& entry = entryLocked(index);
    // Nothing is published before a file's last step, so at its first report
    // the result path still holds what it held when the work began.
    if (entry.working && entry.record.reports.empty()) entry.before = stateOf(entry.record.result);
    entry.record.reports.push_back(std::move(report));
}

FileLedger::FileState FileLedger::stateOf(const std::u16string& path) {
    FileState state;
    struct stat st {};
    if (path.empty() || stat(engine::toNative(path).c_str(), &st) != 0) return state;
    state.exists = true;
    state.device = st.st_dev;
    state.inode = st.st_ino;
    state.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    state.size = st.st_size;
    return state;
}

void FileLedger::startRun(const std::vector<std::u16string>& rows) {
    std::lock_guard lock(m_mutex);
    m_rows = &rows;
    m_next = 1;
}

void FileLedger::submitted(const run::FileTask& task) {
    std::u16string result = fullName(task.output);
    std::lock_guard lock(m_mutex);
    auto& record = entryLocked(task.index).record;
    record.source = task.source;
    record.result = std::move(result);
}

void FileLedger::beginWork(std::int64_t index) {
    // Source sizes feed the progress line and the report; a plain run does
    // without the extra system call, and takes the lock once.
    const bool sized = m_records || m_terminal.showsProgress();
    std::unique_lock lock(m_mutex);
    Entry* entry = &entryLocked(index);
    entry->working = true;
    // Reports of the run's own steps came before the work began.
    if (!entry->record.reports.empty()) entry->before = stateOf(entry->record.result);
    std::int64_t size = 0;
    if (sized) {
        const std::u16string source = entry->record.source;
        lock.unlock();
        size = stateOf(source).size;
        lock.lock();
        entry = &entryLocked(index);
    }
    entry->record.bytesRead = size;
    t_chunks = &entry->record.chunks;
    t_ledger = this;
    t_index = index;
}

void FileLedger::endWork(std::int64_t index) {
    t_chunks = nullptr;
    t_ledger = nullptr;
    std::unique_lock lock(m_mutex);
    Entry* entry = &entryLocked(index);
    const bool reported = !entry->record.reports.empty();
    // A file without a report has its result written. Otherwise it was
    // written in this run when a file stands at the result path that was
    // not there before, or is another file, or was changed.
    FileState after;
    if (reported || m_records) {
        const std::u16string result = entry->record.result;
        lock.unlock();
        after = stateOf(result);
        lock.lock();
        entry = &entryLocked(index);
    }
    const FileState& before = entry->before;
    bool written = !reported || (after.exists &&
                                 (!before.exists || after.device != before.device ||
                                  after.inode != before.inode ||
                                  after.modified != before.modified || after.size != before.size));
    entry->record.status = !written          ? FileRecord::Status::Failed
                           : entry->replaced ? FileRecord::Status::Replaced
                                             : FileRecord::Status::Converted;
    entry->record.bytesWritten = written ? after.size : 0;
    entry->ended = true;
}

void FileLedger::unchanged(std::int64_t index) {
    std::lock_guard lock(m_mutex);
    entryLocked(index).record.status = FileRecord::Status::Unchanged;
}

void FileLedger::fileDone(std::int64_t index) {
    std::lock_guard lock(m_mutex);
    entryLocked(index).done = true;
    flushLocked();
}

void FileLedger::replacedLater(std::int64_t index) {
    std::lock_guard lock(m_mutex);
    entryLocked(index).replaced = true;
}

void FileLedger::addNote(std::int64_t index, std::string line) {
    std::lock_guard lock(m_mutex);
    entryLocked(index).notes.push_back(std::move(line));
}

void FileLedger::flushLocked() {
    while (!m_entries.empty() && m_entries.front().done) {
        tellLocked(m_entries.front().record, m_entries.front().notes);
        m_entries.pop_front();
        ++m_next;
    }
}

void FileLedger::endRun() {
    std::lock_guard lock(m_mutex);
    std::int64_t rows = m_rows ? static_cast<std::int64_t>(m_rows->size()) : 0;
    for (; m_next <= rows; ++m_next) {
        FileRecord record;
        std::vector<std::string> notes;
        bool done = false;
        if (!m_entries.empty()) {
            record = std::move(m_entries.front().record);
            notes = std::move(m_entries.front().notes);
            done = m_entries.front().done;
            m_entries.pop_front();
        }
        if (record.source.empty()) record.source = (*m_rows)[static_cast<std::size_t>(m_next - 1)];
        if (!done) record.status = FileRecord::Status::Skipped;
        tellLocked(record, notes);
    }
    m_entries.clear();
    m_dropped.clear();
    m_rows = nullptr;
    m_next = 1;
}

std::string FileLedger::labelOf(const std::u16string& path) const {
    auto it = m_labels.find(path);
    return engine::toNative(it == m_labels.end() ? path : it->second);
}

void FileLedger::tellLocked(const FileRecord& record, const std::vector<std::string>& notes) {
    ++m_told;
    if (record.status == FileRecord::Status::Converted) ++m_converted;
    if (record.status == FileRecord::Status::Replaced) {
        ++m_replaced;
        m_anyReport = true;
    }
    if (record.status == FileRecord::Status::Unchanged) ++m_unchanged;
    m_bytes += record.bytesRead;
    for (const auto& note : notes) m_terminal.printLine("marrowvale-cli: " + note);
    if (!record.reports.empty()) {
        ++m_withReports;
        std::string head = "marrowvale-cli: " + escapeForTerminal(labelOf(record.source)) + ": ";
        if (m_verbose) {
            for (const auto& report : record.reports)
                m_terminal.printLine(head + escapeForTerminal(report.line));
        } else {
            std::string line = head + escapeForTerminal(record.reports.front().line);
            if (record.reports.size() > 1) {
                line += " (" + std::to_string(record.reports.size() - 1) +
                        " more; --verbose shows them)";
            }
            m_terminal.printLine(line);
        }
    }
    recordLocked(record);
    countsChangedLocked();
}

void FileLedger::recordLocked(const FileRecord& record) {
    if (!m_records) return;
    if (m_labels.count(record.source) == 0) {
        m_records->write(record);
        return;
    }
    FileRecord shown = record;
    shown.source = m_labels.at(record.source);
    shown.result = shown.source;
    m_records->write(shown);
}

void FileLedger::recordWhatIsComplete() {
    std::lock_guard lock(m_mutex);
    for (auto& entry : m_entries) {
        if (!entry.done && !entry.ended && !entry.published) continue;
        FileRecord record = entry.record;
        if (!entry.ended) {
            record.status = FileRecord::Status::Converted;
            record.bytesWritten = stateOf(record.result).size;
        }
        recordLocked(record);
    }
    // A worker may yet report through a sink of these rows.
    m_dropped.emplace_back().swap(m_entries);
}

void FileLedger::countsChangedLocked() {
    m_terminal.setCounts(m_told, m_listed, m_listComplete, m_bytes);
}

void FileLedger::listed() {
    std::lock_guard lock(m_mutex);
    ++m_listed;
    countsChangedLocked();
}

void FileLedger::listComplete() {
    std::lock_guard lock(m_mutex);
    m_listComplete = true;
    countsChangedLocked();
}

void FileLedger::setLabel(std::u16string source, std::u16string label) {
    std::lock_guard lock(m_mutex);
    m_labels[std::move(source)] = std::move(label);
}

void FileLedger::notOnDisk(const std::u16string& source, const std::u16string& result,
                           const std::string& description) {
    const report::Location& where = report::locations::kPushButton7Click;
    FileRecord record;
    record.source = source;
    record.result = result;
    record.status = FileRecord::Status::Failed;
    record.reports.push_back({description,
                              std::string(where.module) + "." + std::string(where.procedure), 188,
                              reportLine(description, where, 188)});
    std::lock_guard lock(m_mutex);
    m_anyReport = true;
    // The source was told and counted as converted already.
    --m_told;
    --m_converted;
    tellLocked(record);
}

bool FileLedger::anyReport() const {
    std::lock_guard lock(m_mutex);
    return m_anyReport;
}

std::string FileLedger::summary() const {
    std::lock_guard lock(m_mutex);
    if (!m_anyReport && m_converted + m_unchanged == m_told) return "";
    std::string text = std::to_string(m_converted) + " of " + std::to_string(m_told) +
                       " files converted, " +
                       (m_unchanged > 0 ? std::to_string(m_unchanged) + " unchanged, " : "") +
                       std::to_string(m_withReports) + " with reports";
    if (m_replaced > 0) text += ", " + std::to_string(m_replaced) + " replaced by a later file";
    return text;
}

LedgerDispatcher::LedgerDispatcher(FileLedger& ledger, run::Dispatcher* inner, bool update)
    : m_ledger(ledger), m_inner(inner), m_update(update) {}

void LedgerDispatcher::submit(run::FileTask task, const Work& work) {
    m_ledger.submitted(task);
    // Decided on the worker: an earlier task with the same result is done by then.
    Work measured = [this, work](const run::FileTask& t, report::ErrorReport& report) {
        if (m_update && resultIsCurrent(t.source, t.output)) {
            m_ledger.unchanged(t.index);
            return;
        }
        m_ledger.beginWork(t.index);
        work(t, report);
        m_ledger.endWork(t.index);
    };
    if (m_inner) {
        m_inner->submit(std::move(task), measured);
        return;
    }
    // One after the other, an earlier file has made its result before this
    // one starts: a result missing from its folder's listing and claimed by
    // no earlier file is not there, and its writer need not look again.
    const auto row = static_cast<std::size_t>(task.index - 1);
    if (row < m_known.size() && !m_known[row].resultClaimedEarlier) {
        task.outputSeenFree = !m_listings.mayHold(engine::toNative(task.output));
    }
    measured(task, m_ledger.forFile(task.index));
    m_ledger.fileDone(task.index);
}

report::ErrorReport& LedgerDispatcher::reportFor(std::int64_t index) {
    return m_ledger.forFile(index);
}

void LedgerDispatcher::finish() {
    if (m_inner) m_inner->finish();
}

}  // namespace mv::cli
