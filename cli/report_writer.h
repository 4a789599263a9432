/* --report FILE: one JSON object per source, one per line (JSON Lines), in
   list order:

     {"source":"/d/a.xml","result":"/d/a.json","status":"converted",
      "bytes_read":120,"bytes_written":96,"chunks":1,
      "reports":[{"description":"...","procedure":"Main.ReplaceXML","step":108}],
      "host":"node7","shard":"3/8"}

   Paths are absolute. The host and the shard (only with --shard) say where a
   record comes from, so that the reports of many machines can be joined.

   status: "converted" the run wrote the result (it may still carry reports),
   "failed" it did not, "skipped" the file was never started, "replaced" the
   run wrote the result and a later source of the same run replaced it,
   "unchanged" (--update) the result was newer than the source and was kept.
   A record that is neither "converted" nor "unchanged", or holds reports,
   goes with an exit status of 1 or more (convert_command.h). When the sync
   at the end fails, each result that may not be on disk gets a second
   record, "failed" with the sync's report, after every other: the last
   record of a source is the one that holds.

   Texts are UTF-8. A byte of a name that is not part of valid UTF-8 is
   written as the escape "\udcHH" (HH the byte, a lone low surrogate), the
   rule Python calls surrogateescape: os.fsencode() gives the exact name
   back. */
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace mv::cli {

struct FileRecord {
    enum class Status { Converted, Failed, Skipped, Replaced, Unchanged };
    struct Report {
        std::string description;
        std::string procedure;  // "Module.Procedure"
        int step = 0;
        std::string line;  // as printed: description, location and step
    };
    std::u16string source;
    std::u16string result;
    Status status = Status::Skipped;
    std::int64_t bytesRead = 0;
    std::int64_t bytesWritten = 0;
    std::int64_t chunks = 0;
    std::vector<Report> reports;
};

const char* statusName(FileRecord::Status status);

// The name of this machine, as records carry it.
std::string hostName();

// The text as a JSON string, quotes included.
std::string jsonString(std::u16string_view text);
// One record as one line of JSON, without its line end; `runFields` are
// further members (",\"host\":...") that every record of the run carries.
std::string jsonLine(const FileRecord& record, std::string_view runFields = {});

// The report goes to a temporary file beside FILE and is renamed over it
// at the end, as results are: FILE holds either what it held before or a
// whole report, every line complete. A signal puts in place what is complete
// at that moment (see signals.h). Standard output, a device or a pipe at
// FILE are written line by line instead.
class ReportWriter {
public:
    // "-" writes to standard output. Checks FILE and touches nothing: throws
    // std::runtime_error for a folder, a link another user planted in a
    // shared folder, or a place where no file can be written.
    explicit ReportWriter(const std::string& path);
    // Every record names this host, and the shard when there is one.
    void setOrigin(const std::string& host, const std::string& shard);
    ~ReportWriter();
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // Whether the report replaces a file at the end (not standard output,
    // a device or a pipe, which it writes into).
    bool replacesFile() const { return !m_target.empty() && !m_direct; }
    // Whether the file at `nativePath` is the report's file (the same file).
    // With `orWhereItLands`, also whether a file written at `nativePath`,
    // where none stands yet, would land where the report goes.
    bool names(const std::string& nativePath, bool orWhereItLands) const;

    // After every check: starts the report. Throws std::runtime_error.
    void open();
    void write(const FileRecord& record);
    // Puts the report in place; false, with errno set, when anything could
    // not be written (an earlier report then stays as it was).
    bool close();
    // Leaves FILE as it was.
    void abandon();

private:
    bool flushLocked();
    void abandonLocked();

    mutable std::mutex m_mutex;
    std::string m_target;    // FILE with its links followed
    std::string m_resolved;  // the same with a canonical folder
    bool m_exists = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    int m_keepMode = -1;
    bool m_direct = false;  // written in place, line by line
    int m_fd = -1;
    std::string m_namedTemp;
    std::string m_buffer;
    int m_error = 0;
    bool m_finished = false;
    std::string m_runFields;
};

// The report must not replace a file that the run reads or writes: what it
// would replace of this source or its result (for a message), or "".
std::string clashWithReport(const ReportWriter& report, const std::u16string& source,
                            const std::u16string& result);

}  // namespace mv::cli
