/* What happened to every source of a convert command, told in list order.

   A run converts files out of order with -j above 1; the ledger holds each
   file's reports and figures until every earlier file is done, then prints
   its reports under its name (the first line and a count of the rest, or
   all of them with --verbose), writes its --report record and moves the
   progress line on. LedgerDispatcher is the run's dispatcher for the command:
   it measures each file around the work of an inner dispatcher (in place for
   -j 1, ParallelDispatcher otherwise). */
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cli/folder_listings.h"
#include "cli/report_writer.h"
#include "cli/sources.h"
#include "cli/terminal.h"
#include "report/error_report.h"
#include "run/conversion_run.h"

namespace mv::cli {

// Counts one chunk for the file whose work runs on this thread, if any.
void countChunk();

class FileLedger {
public:
    FileLedger(Terminal& terminal, bool verbose, ReportWriter* records);

    // The sink for reports that are not about one file: printed at once.
    report::ErrorReport& immediate() { return m_immediate; }
    // The sink for the reports of row `index` of the current run.
    report::ErrorReport& forFile(std::int64_t index);
    // The row's reports and record may go out once all earlier rows are done.
    void fileDone(std::int64_t index);
    // A later source of the command replaces the row's result: once written,
    // its record says so.
    void replacedLater(std::int64_t index);
    // A line told just before the row's own reports.
    void addNote(std::int64_t index, std::string line);

    // A run over these rows begins; `rows` lives until endRun.
    void startRun(const std::vector<std::u16string>& rows);
    // Rows the run never started are told as skipped; the next run counts
    // its rows from 1 again.
    void endRun();
    // The run hands row `task.index` to be converted.
    void submitted(const run::FileTask& task);
    // Called on the worker around the conversion of the row.
    void beginWork(std::int64_t index);
    void endWork(std::int64_t index);
    // The row's result is current (--update): it is left as it stands.
    void unchanged(std::int64_t index);

    // One more source listed; the list is complete.
    void listed();
    void listComplete();
    // The name shown for a source (standard input is "-").
    void setLabel(std::u16string source, std::u16string label);

    // For a process that leaves on a signal: writes the record of every file
    // that is done or whose result is published, though earlier files are
    // not done yet, so that no published result lacks its record.
    void recordWhatIsComplete();
    // A result told as converted may not be on disk: one more record for
    // its source, status failed, with the report of the failed sync.
    void notOnDisk(const std::u16string& source, const std::u16string& result,
                   const std::string& description);

    bool anyReport() const;
    // "N of M files converted, K with reports" when anything failed, and how
    // many results later sources replaced.
    std::string summary() const;

private:
    class Sink : public report::ErrorReport {
    public:
        Sink(FileLedger& owner, std::int64_t index) : m_owner(owner), m_index(index) {}
        void show(const std::string& description, const report::Location& where, int step) override;

    private:
        FileLedger& m_owner;
        std::int64_t m_index;
    };
    struct FileState {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        std::int64_t modified = 0;
        std::int64_t size = 0;
    };
    struct Entry {
        Entry(FileLedger& owner, std::int64_t index) : sink(owner, index) {}
        Sink sink;
        FileRecord record;
        FileState before;
        bool working = false;
        bool ended = false;      // its status is known
        bool published = false;  // its result is in place
        bool done = false;
        bool replaced = false;
        std::vector<std::string> notes;
    };
    // The entry of a row not told yet, made when first asked for; a row told
    // already gets a dropped one, whose news goes nowhere.
    Entry& entryLocked(std::int64_t index);
    static FileState stateOf(const std::u16string& path);
    void add(std::int64_t index, FileRecord::Report report);
    void flushLocked();
    void tellLocked(const FileRecord& record, const std::vector<std::string>& notes = {});
    void recordLocked(const FileRecord& record);
    static void resultPublished();
    std::string labelOf(const std::u16string& path) const;
    void countsChangedLocked();

    Terminal& m_terminal;
    bool m_verbose;
    ReportWriter* m_records;
    Sink m_immediate{*this, -1};
    mutable std::mutex m_mutex;
    // The rows from m_next on, in order: a row's entry and sink stay where
    // they are until it is told.
    std::deque<Entry> m_entries;
    // Entries dropped while their sinks may still be in use (a row asked for
    // after it was told, or every row at a signal), kept until the run ends.
    std::deque<std::deque<Entry>> m_dropped;
    const std::vector<std::u16string>* m_rows = nullptr;
    std::int64_t m_next = 1;  // the first row not told yet
    std::map<std::u16string, std::u16string> m_labels;
    bool m_anyReport = false;
    std::int64_t m_listed = 0;
    bool m_listComplete = false;
    std::int64_t m_told = 0;
    std::int64_t m_converted = 0;
    std::int64_t m_unchanged = 0;
    std::int64_t m_withReports = 0;
    std::int64_t m_replaced = 0;
    std::int64_t m_bytes = 0;
};

class LedgerDispatcher : public run::Dispatcher {
public:
    // `inner` runs the work; without one, each file is converted at once.
    // With `update`, a file whose result is current is not converted.
    LedgerDispatcher(FileLedger& ledger, run::Dispatcher* inner, bool update = false);
    void submit(run::FileTask task, const Work& work) override;
    void finish() override;
    // Where the run's own steps for a file report, so that they come out in
    // file order with the file's other reports.
    report::ErrorReport& reportFor(std::int64_t index) override;
    // Without an inner dispatcher: the rows of the next run, in order.
    void knowRows(std::vector<KnownRow> rows) { m_known = std::move(rows); }

private:
    FileLedger& m_ledger;
    run::Dispatcher* m_inner;
    bool m_update;
    std::vector<KnownRow> m_known;
    FolderListings m_listings;
};

}  // namespace mv::cli
