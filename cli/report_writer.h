/* --report FILE: one JSON object per source, one per line (JSON Lines), in
   list order:

     {"source":"/d/a.xml","result":"/d/a.json","status":"converted",
      "bytes_read":120,"bytes_written":96,"chunks":1,
      "reports":[{"description":"...","procedure":"Main.ReplaceXML","step":108}]}

   status: "converted" the run wrote the result (it may still carry reports),
   "failed" it did not, "skipped" the file was never started, "replaced" the
   run wrote the result and a later source of the same run replaced it. A
   record that is not "converted", or holds reports, goes with an exit status
   of 1 or more (convert_command.h).

   Texts are UTF-8. A byte of a name that is not part of valid UTF-8 is
   written as the escape "\udcHH" (HH the byte, a lone low surrogate), the
   rule Python calls surrogateescape: os.fsencode() gives the exact name
   back. */
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace mv::cli {

struct FileRecord {
    enum class Status { Converted, Failed, Skipped, Replaced };
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

// The text as a JSON string, quotes included.
std::string jsonString(std::u16string_view text);
// One record as one line of JSON, without its line end.
std::string jsonLine(const FileRecord& record);

class ReportWriter {
public:
    // "-" writes to standard output. Throws std::runtime_error when the file
    // cannot be created.
    explicit ReportWriter(const std::string& path);
    ~ReportWriter();
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    void write(const FileRecord& record);
    // Flushes and closes; false when anything could not be written.
    bool close();

private:
    std::FILE* m_file = nullptr;
    bool m_owned = false;
};

}  // namespace mv::cli
