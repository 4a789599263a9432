// The sources of a convert command, in conversion order and as a stream: a
// file is taken as given (as a full path), a folder is scanned as the folder
// button scans it, its files handed over while the scan goes on. The command
// lists a folder's files and sub-folders in name order, so every machine
// lists one tree alike.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "report/error_report.h"

namespace mv::cli {

// What the first look at a named source found: a plain file (not a link)
// and where it lies on disk, so that a later pass need not look again.
struct SeenFile {
    bool plain = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// What the listing learned of a row before the run.
struct KnownRow {
    SeenFile source;
    bool resultClaimedEarlier = false;  // an earlier source of the command has the same result
};

struct Source {
    std::u16string path;       // full path, as the window's rows hold it
    std::u16string subfolder;  // below the folder it was found in, "a/b/"; empty for a file
    std::string name;  // as listed: the argument, or the folder argument and the path below it
    SeenFile seen;     // a named file's, as the first pass found it
};

// The full path of a name as given, relative to the current folder; an error
// when the name is relative and the current folder is gone.
std::string fullPath(const std::string& argument, std::error_code& error);

// `allFiles` takes every file of a folder except its .json files, whose
// results would replace them; otherwise only *.xml. A sub-folder passed over
// for the length of its path goes to `passedOver`.
void forEachSource(const std::string& argument, bool allFiles,
                   const std::function<void(const Source& source)>& take,
                   report::ErrorReport& report,
                   const std::function<void(const std::u16string& folder)>& passedOver = {});

// The sources of a command's arguments, listed once however often they are
// gone over. The first pass walks the folders and keeps what it met: the
// files taken, by folder, in an unnamed temporary file, and in memory the few
// other things a walk meets (its reports, the sub-folders it passes over)
// and, for each argument, whether it was a folder and, for the first named
// files, what the first pass saw of them. A later pass, over the
// same arguments in the same order, hands out the same sources, reports and
// passed-over folders in the same order without looking at the disk again.
// Where nothing can be kept (no temporary file) or the record cannot be
// read back, a pass walks the folders again as the first one did.
class SourceSpool {
public:
    SourceSpool();
    ~SourceSpool();
    SourceSpool(const SourceSpool&) = delete;
    SourceSpool& operator=(const SourceSpool&) = delete;

    // Called before every pass over the arguments.
    void startPass();
    // Looks at the named arguments on `threads` threads at once, for the
    // first pass, which then takes what they saw instead of looking itself:
    // the one look at each of thousands of names is most of that pass.
    void lookAhead(const std::vector<std::string>& arguments, unsigned threads);
    // As forEachSource, for the next argument of the pass.
    void forEachSource(const std::string& argument, bool allFiles,
                       const std::function<void(const Source& source)>& take,
                       report::ErrorReport& report,
                       const std::function<void(const std::u16string& folder)>& passedOver = {});

private:
    struct Event {
        bool isReport = false;
        std::string description;
        report::Location where;
        int step = 0;
        std::u16string folder;  // passed over, when not a report
    };
    struct Replayed {
        std::int64_t files = 0;
        std::size_t events = 0;
    };
    void recordFolder(const std::string& argument, bool allFiles, const std::u16string& path,
                      const std::function<void(const Source& source)>& take,
                      report::ErrorReport& report,
                      const std::function<void(const std::u16string& folder)>& passedOver);
    bool replayFolder(const std::string& argument, const std::u16string& path,
                      const std::function<void(const Source& source)>& take,
                      report::ErrorReport& report,
                      const std::function<void(const std::u16string& folder)>& passedOver,
                      Replayed& done);
    void put(char tag, const void* data, std::size_t bytes);
    bool get(char& tag, std::string& data);

    int m_pass = 0;
    bool m_kept = true;  // every folder of the first pass is in the record
    std::FILE* m_file = nullptr;
    std::unique_ptr<char[]> m_buffer;
    std::vector<bool> m_isFolder;  // by argument, as the first pass found it
    static constexpr std::size_t kMostSeen = std::size_t{1} << 16;  // a list's first files
    std::vector<SeenFile> m_seen;  // by argument, of the named files among the first
    struct Looked {
        std::string native;  // the path looked at; empty where none was
        bool folder = false;
        SeenFile seen;
    };
    std::vector<Looked> m_looked;  // by argument, ahead of the first pass
    std::size_t m_argument = 0;    // of the pass
    std::vector<Event> m_events;
    std::size_t m_event = 0;  // of the pass
};

// --parents: the source's result keeps the path it was listed by below the
// output folder, without a leading "/" or "./" ("/data/a/x.xml" gives
// "data/a/"). False for a name with a ".." component, which would climb out.
bool placeUnderParents(Source& source);

}  // namespace mv::cli
