/* --report FILE: one JSON object per source, one per line (JSON Lines), in
   list order:

     {"source":"/d/a.xml","result":"/d/a.json","status":"converted",
      "bytes_read":120,"bytes_written":96,"chunks":1,
      "reports":[{"description":"...","procedure":"Main.ReplaceXML","step":108}]}

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
