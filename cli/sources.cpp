#include "cli/sources.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

#include "cli/file_list_reader.h"
#include "engine/native_text.h"
#include "engine/text.h"
#include "paths/paths.h"
#include "report/locations.h"
#include "report/step_runner.h"
#include "walk/folder_scan.h"

namespace mv::cli {

namespace {

constexpr char16_t kSep = paths::kNativeSeparator;

bool isJsonFile(std::u16string_view path) {
    constexpr std::u16string_view kJson = u".json";
    if (path.size() < kJson.size()) return false;
    auto tail = path.substr(path.size() - kJson.size());
    for (std::size_t i = 0; i < kJson.size(); ++i) {
        if (engine::foldCase(tail[i]) != kJson[i]) return false;
    }
    return true;
}

}  // namespace

// The command never changes its current folder, so one look at it serves
// every relative name of the run; a current folder that is gone stays gone.
// Joined as text: a name is neither split into parts nor tidied.
std::string fullPath(const std::string& argument, std::error_code& error) {
    if (argument.empty()) return std::filesystem::absolute(argument, error).string();
    if (argument.front() == '/') {
        error.clear();
        return argument;
    }
    static const auto current = [] {
        std::error_code failure;
        auto path = std::filesystem::current_path(failure);
        return std::pair{path.string(), failure};
    }();
    error = current.second;
    if (error) return {};
    std::string full = current.first;
    if (full.empty() || full.back() != '/') full += '/';
    return full += argument;
}

namespace {

// The full path of an argument as the window's rows hold it, or nothing,
// reported, when it has none. Rows hold full paths, as the window's list
// does; a relative name would otherwise put its result "beside" it in the
// root folder. `native` gets the same path as the system spells it.
bool locate(const std::string& argument, report::ErrorReport& report, std::u16string& path,
            std::string* native = nullptr) {
    std::error_code error;
    auto full = fullPath(argument, error);
    if (error) {
        // A relative name whose current folder is gone has no full path;
        // its result would land in the root folder.
        report::StepRunner step(report, report::locations::kPushButton7Click);
        step(118, [&] {
            throw report::Failure(report::FailureKind::PathNotFound,
                                  argument + " (the current folder is gone)");
        });
        return false;
    }
    path = engine::fromNative(full);
    if (native != nullptr) *native = std::move(full);
    return true;
}

// A folder argument: its path as the walk starts from it, and how the files
// found below it are named.
struct FolderArgument {
    std::u16string path;
    std::size_t base = 0;  // where the part below the folder begins in a file's path
    std::string listed;    // the argument with one separator after it
};

FolderArgument folderArgument(std::u16string path, const std::string& argument) {
    FolderArgument folder;
    while (path.size() > 1 && path.back() == kSep) path.pop_back();
    folder.path = paths::CollapseBackslashes(path);
    folder.listed = argument;
    while (folder.listed.size() > 1 && folder.listed.back() == '/') folder.listed.pop_back();
    if (folder.listed != "/") folder.listed += '/';
    folder.base = folder.path.size() == 1 ? 1 : folder.path.size() + 1;
    return folder;
}

Source sourceAt(const FolderArgument& folder, const std::u16string& file) {
    Source source;
    source.path = file;
    std::u16string below = file.substr(std::min(folder.base, file.size()));
    auto slash = below.find_last_of(kSep);
    if (slash != std::u16string::npos) source.subfolder = below.substr(0, slash + 1);
    source.name = folder.listed + engine::toNative(below);
    return source;
}

void walkFolder(const FolderArgument& folder, bool allFiles,
                const std::function<void(const std::u16string& file)>& take,
                report::ErrorReport& report,
                const std::function<void(const std::u16string& folder)>& passedOver) {
    walk::ScanFolderTree(
        folder.path, allFiles ? u"*.*" : u"*.xml",
        [&](const std::u16string& file) {
            if (allFiles && isJsonFile(file)) return;
            take(file);
        },
        {}, report, true, passedOver);
}

}  // namespace

void forEachSource(const std::string& argument, bool allFiles,
                   const std::function<void(const Source& source)>& take,
                   report::ErrorReport& report,
                   const std::function<void(const std::u16string& folder)>& passedOver) {
    std::u16string path;
    if (!locate(argument, report, path)) return;
    if (!paths::IsFolder(path)) {
        take(Source{path, {}, argument, {}});
        return;
    }
    const FolderArgument folder = folderArgument(std::move(path), argument);
    walkFolder(
        folder, allFiles, [&](const std::u16string& file) { take(sourceAt(folder, file)); }, report,
        passedOver);
}

namespace {

// Record tags: a folder argument begins with its argument, then come the
// folders of its files, each before its files' names, the places where a
// kept event comes, and the end of the argument.
constexpr char kArgumentTag = 'a';
constexpr char kFolderTag = 'D';
constexpr char kFileTag = 'f';
constexpr char kEventTag = 'e';
constexpr char kEndTag = 'z';
// The record is written and read in large pieces.
constexpr std::size_t kRecordBuffer = std::size_t{1} << 20;

// Keeps every report of a walk beside telling it.
class KeptReport : public report::ErrorReport {
public:
    KeptReport(report::ErrorReport& told,
               const std::function<void(report::Location, int, const std::string&)>& keep)
        : m_told(told), m_keep(keep) {}
    void show(const std::string& description, const report::Location& where, int step) override {
        m_keep(where, step, description);
        m_told.show(description, where, step);
    }

private:
    report::ErrorReport& m_told;
    const std::function<void(report::Location, int, const std::string&)>& m_keep;
};

// Tells the reports of a walk that come after its first `skip` events.
class SkippedReport : public report::ErrorReport {
public:
    SkippedReport(report::ErrorReport& told, std::size_t& events, std::size_t skip)
        : m_told(told), m_events(events), m_skip(skip) {}
    void show(const std::string& description, const report::Location& where, int step) override {
        if (++m_events > m_skip) m_told.show(description, where, step);
    }

private:
    report::ErrorReport& m_told;
    std::size_t& m_events;
    std::size_t m_skip;
};

}  // namespace

SourceSpool::SourceSpool() = default;

SourceSpool::~SourceSpool() {
    if (m_file != nullptr) std::fclose(m_file);
}

void SourceSpool::startPass() {
    ++m_pass;
    m_argument = 0;
    m_event = 0;
    if (m_pass > 1) m_looked = {};  // the first pass has taken what it needed
    if (m_pass > 1 && m_file != nullptr) {
        if (std::fflush(m_file) != 0 || std::ferror(m_file) != 0) m_kept = false;
        std::rewind(m_file);
    }
}

void SourceSpool::put(char tag, const void* data, std::size_t bytes) {
    if (!m_kept) return;
    const auto size = static_cast<std::uint32_t>(bytes);
    if (std::fputc(tag, m_file) == EOF || std::fwrite(&size, sizeof size, 1, m_file) != 1 ||
        (bytes > 0 && std::fwrite(data, 1, bytes, m_file) != bytes)) {
        m_kept = false;
    }
}

bool SourceSpool::get(char& tag, std::string& data) {
    int c = std::fgetc(m_file);
    std::uint32_t size = 0;
    if (c == EOF || std::fread(&size, sizeof size, 1, m_file) != 1) return false;
    tag = static_cast<char>(c);
    data.resize(size);
    return size == 0 || std::fread(data.data(), 1, size, m_file) == size;
}

void SourceSpool::recordFolder(
    const std::string& argument, bool allFiles, const std::u16string& path,
    const std::function<void(const Source& source)>& take, report::ErrorReport& report,
    const std::function<void(const std::u16string& folder)>& passedOver) {
    if (m_kept && m_file == nullptr) {
        try {
            m_file = unnamedTemporaryFile("the list of sources");
            m_buffer = std::make_unique<char[]>(kRecordBuffer);
            std::setvbuf(m_file, m_buffer.get(), _IOFBF, kRecordBuffer);
        } catch (const std::runtime_error&) {
            m_kept = false;  // every pass walks
        }
    }
    put(kArgumentTag, argument.data(), argument.size());
    auto keepEvent = [&](Event event) {
        m_events.push_back(std::move(event));
        put(kEventTag, nullptr, 0);
    };
    std::function<void(report::Location, int, const std::string&)> keepReport =
        [&](report::Location where, int step, const std::string& description) {
            keepEvent(Event{true, description, where, step, {}});
        };
    KeptReport kept(report, keepReport);
    const FolderArgument folder = folderArgument(path, argument);
    std::u16string lastFolder;
    walkFolder(
        folder, allFiles,
        [&](const std::u16string& file) {
            const auto cut = file.find_last_of(kSep) + 1;
            std::u16string_view at(file.data(), cut);
            if (at != lastFolder) {
                lastFolder.assign(at);
                put(kFolderTag, at.data(), at.size() * sizeof(char16_t));
            }
            put(kFileTag, file.data() + cut, (file.size() - cut) * sizeof(char16_t));
            take(sourceAt(folder, file));
        },
        kept,
        [&](const std::u16string& skipped) {
            keepEvent(Event{false, {}, {}, 0, skipped});
            if (passedOver) passedOver(skipped);
        });
    put(kEndTag, nullptr, 0);
}

bool SourceSpool::replayFolder(const std::string& argument, const std::u16string& path,
                               const std::function<void(const Source& source)>& take,
                               report::ErrorReport& report,
                               const std::function<void(const std::u16string& folder)>& passedOver,
                               Replayed& done) {
    const FolderArgument folder = folderArgument(path, argument);
    char tag = 0;
    std::string data;
    if (!get(tag, data) || tag != kArgumentTag || data != argument) return false;
    std::u16string at, file;
    auto text = [&](std::u16string& into) {
        into.assign(reinterpret_cast<const char16_t*>(data.data()), data.size() / 2);
    };
    while (get(tag, data)) {
        switch (tag) {
            case kFolderTag:
                text(at);
                break;
            case kFileTag:
                text(file);
                file.insert(0, at);
                ++done.files;
                take(sourceAt(folder, file));
                break;
            case kEventTag: {
                if (m_event >= m_events.size()) return false;
                const Event& event = m_events[m_event++];
                ++done.events;
                if (event.isReport) {
                    report.show(event.description, event.where, event.step);
                } else if (passedOver) {
                    passedOver(event.folder);
                }
                break;
            }
            case kEndTag:
                return true;
            default:
                return false;
        }
    }
    return false;
}

namespace {

// What stands at a named source: a folder, or a plain file and its identity.
// A link is followed only to tell a folder.
std::pair<bool, SeenFile> lookAtNamed(const std::string& native) {
    struct stat st {};
    if (native.empty() || lstat(native.c_str(), &st) != 0) return {false, {}};
    if (S_ISLNK(st.st_mode)) return {stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode), {}};
    return {S_ISDIR(st.st_mode),
            {S_ISREG(st.st_mode), static_cast<std::uint64_t>(st.st_dev),
             static_cast<std::uint64_t>(st.st_ino)}};
}

}  // namespace

void SourceSpool::lookAhead(const std::vector<std::string>& arguments, unsigned threads) {
    // A few names are not worth a thread, nor many threads worth more looks
    // at once.
    constexpr std::size_t kPerThread = 256;
    constexpr unsigned kMostThreads = 16;
    constexpr std::size_t kStride = 64;
    const std::size_t count = std::min(arguments.size(), kMostSeen);
    threads =
        static_cast<unsigned>(std::min<std::size_t>({threads, kMostThreads, count / kPerThread}));
    if (threads < 2) return;
    m_looked.assign(count, {});
    std::atomic<std::size_t> next{0};
    auto look = [&] {
        for (std::size_t from = next.fetch_add(kStride); from < count;
             from = next.fetch_add(kStride)) {
            for (std::size_t i = from; i < std::min(from + kStride, count); ++i) {
                std::error_code error;
                std::string native = fullPath(arguments[i], error);
                if (error) continue;
                std::tie(m_looked[i].folder, m_looked[i].seen) = lookAtNamed(native);
                m_looked[i].native = std::move(native);
            }
        }
    };
    std::vector<std::thread> helpers;
    try {
        for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(look);
    } catch (const std::system_error&) {
        // No more threads: those started and this one look at every name.
    }
    look();
    for (auto& helper : helpers) helper.join();
}

void SourceSpool::forEachSource(
    const std::string& argument, bool allFiles,
    const std::function<void(const Source& source)>& take, report::ErrorReport& report,
    const std::function<void(const std::u16string& folder)>& passedOver) {
    const std::size_t index = m_argument++;
    if (m_pass > 1 && (!m_kept || index >= m_isFolder.size())) {
        mv::cli::forEachSource(argument, allFiles, take, report, passedOver);
        return;
    }
    std::u16string path;
    std::string native;
    if (!locate(argument, report, path, &native)) {
        if (m_pass <= 1) m_isFolder.push_back(false);
        return;
    }
    if (m_pass <= 1) {
        const bool looked = index < m_looked.size() && m_looked[index].native == native;
        const auto [folder, seen] =
            looked ? std::pair{m_looked[index].folder, m_looked[index].seen} : lookAtNamed(native);
        m_isFolder.push_back(folder);
        if (!folder) {
            if (index < kMostSeen) {
                m_seen.resize(index + 1);
                m_seen[index] = seen;
            }
            take(Source{path, {}, argument, seen});
            return;
        }
        recordFolder(argument, allFiles, path, take, report, passedOver);
        return;
    }
    if (!m_isFolder[index]) {
        take(Source{path, {}, argument, index < m_seen.size() ? m_seen[index] : SeenFile{}});
        return;
    }
    Replayed done;
    if (replayFolder(argument, path, take, report, passedOver, done)) return;
    // The record cannot be read back: the folder is walked again, and what
    // was already handed out of it is not handed out twice. Later arguments
    // are walked too.
    m_kept = false;
    std::int64_t files = 0;
    std::size_t events = 0;
    const FolderArgument folder = folderArgument(path, argument);
    SkippedReport skipped(report, events, done.events);
    walkFolder(
        folder, allFiles,
        [&](const std::u16string& file) {
            if (++files > done.files) take(sourceAt(folder, file));
        },
        skipped,
        [&](const std::u16string& over) {
            if (++events > done.events && passedOver) passedOver(over);
        });
}

bool placeUnderParents(Source& source) {
    std::string below;
    std::size_t start = 0;
    const std::string& name = source.name;
    while (start < name.size()) {
        std::size_t end = std::min(name.find('/', start), name.size());
        std::string_view part(name.data() + start, end - start);
        if (part == "..") return false;
        // Empty and "." parts add nothing; the last part is the file's name.
        if (end < name.size() && !part.empty() && part != ".") {
            below.append(part);
            below += '/';
        }
        start = end + 1;
    }
    source.subfolder = engine::fromNative(below);
    return true;
}

}  // namespace mv::cli
