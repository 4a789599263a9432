#include "walk/folder_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <optional>

#include "engine/codepage.h"
#include "engine/native_text.h"
#include "engine/text.h"
#include "paths/paths.h"
#include "report/failure.h"
#include "report/locations.h"
#include "report/step_runner.h"
#include "walk/attributes.h"
#include "walk/name_order.h"

namespace mv::walk {

namespace {

using report::Failure;
using report::FailureKind;

constexpr char16_t kSep = paths::kNativeSeparator;
constexpr std::size_t kLongPath = 260;
// Hidden, system and directory; the same as an alias.
constexpr int kExcludedFolder = kHidden | kSystem | kDirectory;
constexpr int kExcludedAlias = kExcludedFolder | kAlias;
// Exactly hidden and archive.
constexpr int kHiddenFile = kHidden | kArchive;

bool isRoot(std::u16string_view folder) {
    return !folder.empty() && folder.find_first_not_of(kSep) == std::u16string_view::npos;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

DirHandle openFolder(const std::string& native) {
    DIR* dir = opendir(native.c_str());
    if (dir == nullptr) throw report::systemFailure(errno, native);
    return DirHandle(dir);
}

// The kind of an entry without following a link; DT_UNKNOWN asks lstat.
unsigned char entryType(const std::string& folder, const dirent& entry) {
    if (entry.d_type != DT_UNKNOWN) return entry.d_type;
    struct stat st {};
    if (lstat((folder + "/" + entry.d_name).c_str(), &st) != 0) return DT_UNKNOWN;
    if (S_ISDIR(st.st_mode)) return DT_DIR;
    if (S_ISLNK(st.st_mode)) return DT_LNK;
    return DT_REG;
}

bool excludedFolder(std::u16string_view folder) {
    if (isRoot(folder)) return false;
    int value = FileAttributes(folder);
    return value == kExcludedFolder || value == kExcludedAlias;
}

void removeFirst(FolderList& list, const std::u16string& entry) {
    auto it = std::find(list.begin(), list.end(), entry);
    if (it != list.end()) list.erase(it);
}

// Case-ignoring match of `pattern` against `name` from the given offsets.
bool matchFrom(std::u16string_view pattern, std::u16string_view name) {
    std::size_t p = 0, n = 0, star = std::u16string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == u'?' || engine::foldCase(pattern[p]) == engine::foldCase(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = n;
        } else if (star != std::u16string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

// Orders each folder's sub-folders by name, and the groups of one level by
// the new order of their parents; the list stays breadth-first by level.
void orderByName(FolderList& folders) {
    if (folders.empty()) return;
    const std::size_t base = folders.front().size();
    std::vector<std::vector<std::u16string>> levels;
    for (auto& entry : folders) {
        auto below = std::u16string_view(entry).substr(std::min(base, entry.size()));
        auto depth = static_cast<std::size_t>(std::count(below.begin(), below.end(), kSep));
        if (levels.size() <= depth) levels.resize(depth + 1);
        levels[depth].push_back(std::move(entry));
    }
    std::map<std::u16string, std::size_t, std::less<>> rank;
    auto parentOf = [](std::u16string_view entry) {
        return entry.substr(0, entry.find_last_of(kSep, entry.size() - 2) + 1);
    };
    auto rankOf = [&](std::u16string_view entry) {
        auto it = rank.find(parentOf(entry));
        return it == rank.end() ? rank.size() : it->second;
    };
    folders.clear();
    for (auto& level : levels) {
        std::stable_sort(level.begin(), level.end(), [&](const auto& a, const auto& b) {
            auto ra = rankOf(a), rb = rankOf(b);
            if (ra != rb) return ra < rb;
            return NameLess(std::u16string_view(a).substr(parentOf(a).size()),
                            std::u16string_view(b).substr(parentOf(b).size()));
        });
        for (auto& entry : level) {
            rank.emplace(entry, rank.size());
            folders.push_back(std::move(entry));
        }
    }
}

// Hands over each sub-folder of `folder` (which ends in the separator), in
// name order.
void forEachSubFolder(const std::u16string& folder, const Append& take) {
    std::string native = engine::toNative(folder);
    DIR* raw = opendir(native.c_str());
    if (raw == nullptr) return;
    DirHandle dir(raw);
    std::vector<std::u16string> names;
    while (const dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name != "." && name != ".." && entryType(native, *entry) == DT_DIR)
            names.push_back(engine::fromNative(name));
    }
    std::sort(names.begin(), names.end(), NameLess);
    for (const auto& name : names) take(folder + name + kSep);
}

// A file of a folder listing, and whether the scan takes it when the listing
// and one look relative to the folder already settle that.
struct FolderFile {
    std::u16string name;
    std::optional<bool> taken;
};

// Whether the scan takes a regular file, from what lstat says of it: not
// exactly hidden and archive (a writable file whose name begins with ".").
bool takenRegular(const std::string& name, const struct stat& st) {
    return !(name.front() == '.' && (st.st_mode & S_IWUSR) != 0);
}

// ListFolderFiles, with what each file's own test at the scan would say where
// it costs no look by path: the listing tells a plain file without a stat
// (the files of a folder that cannot be searched cannot be looked at, so
// there every test is left to the paths), a link or an entry of unknown type
// is looked at once, relative to the folder.
std::vector<FolderFile> listFolderFiles(std::u16string_view folder, std::u16string_view pattern) {
    std::u16string base(folder);
    if (base.empty() || base.back() != kSep) base += kSep;
    std::vector<FolderFile> files;
    DIR* raw = opendir(engine::toNative(base).c_str());
    if (raw == nullptr) return files;
    DirHandle dir(raw);
    const int fd = dirfd(dir.get());
    std::optional<bool> searchable;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string native = entry->d_name;
        std::u16string name = engine::fromNative(native);
        if (!MatchesPattern(pattern, name)) continue;
        if (!searchable) {
            struct stat self {};
            searchable = fstatat(fd, ".", &self, 0) == 0;
        }
        // A name that does not come back to the same bytes is found by its
        // path as the scan spells it, or not at all.
        if (!*searchable || engine::toNative(name) != native) {
            const bool ask = entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
            if (entry->d_type == DT_REG || (ask && IsOpenableFile(base + name)))
                files.push_back({std::move(name), std::nullopt});
            continue;
        }
        struct stat st {};
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            if (fstatat(fd, native.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            type = S_ISREG(st.st_mode) ? DT_REG : S_ISLNK(st.st_mode) ? DT_LNK : DT_UNKNOWN;
        } else if (type == DT_REG && native.front() == '.') {
            // Only a name that begins with "." can make a hidden file.
            if (fstatat(fd, native.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISREG(st.st_mode)) {
                files.push_back({std::move(name), std::nullopt});
                continue;
            }
        } else if (type == DT_REG) {
            st.st_mode = S_IFREG;
        }
        if (type == DT_REG) {
            const bool taken = takenRegular(native, st);
            files.push_back({std::move(name), taken});
        } else if (type == DT_LNK) {
            // A link is an alias, never a hidden file: taken when it leads to
            // a regular file.
            if (fstatat(fd, native.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode))
                files.push_back({std::move(name), true});
        }
    }
    return files;
}

}  // namespace

bool IsOpenableFile(std::u16string_view path) {
    std::string native = engine::toNative(path);
    if (native.empty()) return false;
    // Like opening for neither reading nor writing, a stat needs no
    // permission on the file itself, only on the folders on its way.
    struct stat st {};
    return stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool HasBadCharacters(std::u16string_view name) {
    return std::any_of(name.begin(), name.end(), [](char16_t c) {
        int code = engine::ansiCode(c);
        return (code > 126 && code < 160) || code < 32 || code == '?';
    });
}

bool MatchesPattern(std::u16string_view pattern, std::u16string_view name) {
    if (pattern == u"*.*" || pattern == u"*") return true;
    return matchFrom(pattern, name);
}

std::vector<std::u16string> ListFolderFiles(std::u16string_view folder,
                                            std::u16string_view pattern) {
    std::vector<std::u16string> names;
    for (auto& file : listFolderFiles(folder, pattern)) names.push_back(std::move(file.name));
    return names;
}

namespace {

// A failure that drops the folder from the walk's list, where others are
// passed over.
bool dropsTheFolder(FailureKind failure) {
    return failure == FailureKind::PermissionDenied || failure == FailureKind::PathNotFound ||
           failure == FailureKind::FileNotFound;
}

bool usableFolderName(const std::u16string& name) {
    return name.size() < kLongPath && !HasBadCharacters(name) &&
           name.find(u'?') == std::u16string::npos && name != u"." && name != u"..";
}

// Adds the sub-folders of `folder` (`native` on disk) that the walk can use
// to `found`.
void addSubFolders(const std::u16string& folder, const std::string& native, const Yield& yield,
                   FolderList& found) {
    DirHandle dir = openFolder(native);
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
        if (yield) yield();  // (120)
        // Links to folders are not followed: a loop would never end.
        if (entryType(native, *entry) != DT_DIR) continue;
        std::u16string name = engine::fromNative(entry->d_name);  // (122)
        // (124 to 130), then (132, 134)
        if (usableFolderName(name)) found.push_back(folder + name + kSep);
    }
    if (errno != 0) throw report::systemFailure(errno, native);
}

}  // namespace

void GetSubDirectories2016(FolderList& F, bool recursive, const Yield& yield,
                           report::ErrorReport& report, const Append& passedOver) {
    report::StepRunner step(report, report::locations::kGetSubDirectories2016);
    FolderList N;
    // Once a folder has passed the attribute test, a failure while walking
    // ends that folder's round: "permission denied" and "path not found" drop
    // the folder from F, other failures are passed over without a word.
    bool failureRule = false;
    const FolderList entries = F;
    for (const std::u16string& v : entries) {
        auto run = [&](int number, auto&& body) {
            if (!failureRule) {
                step(number, body);
                return true;
            }
            auto failure = step.quietly(body);
            if (!failure) return true;
            if (dropsTheFolder(*failure)) removeFirst(F, v);
            return false;
        };
        bool isFolder = false;
        if (!run(108, [&] { isFolder = paths::IsFolder(v); }) || !isFolder) continue;
        if (v.size() >= kLongPath) {  // (110)
            if (passedOver) forEachSubFolder(v, passedOver);
            continue;
        }
        std::string native;
        if (!run(112, [&] {
                native = engine::toNative(v);
                struct stat st {};
                if (stat(native.c_str(), &st) != 0) throw report::systemFailure(errno, native);
            })) {
            continue;
        }
        if (yield) yield();  // (114)
        bool walk = true;
        if (!run(116, [&] { walk = !excludedFolder(v); }) || !walk) continue;
        failureRule = true;
        run(118, [&] { addSubFolders(v, native, yield, N); });
    }
    if (recursive && !N.empty())
        step(150, [&] { GetSubDirectories2016(N, true, yield, report, passedOver); });
    for (const std::u16string& w : N) {  // (152)
        if (!step.test(154, [&] { return paths::IsFolder(w); })) continue;
        if (yield) yield();  // (156)
        if (step.test(158, [&] { return !excludedFolder(w); })) step(160, [&] { F.push_back(w); });
    }
}

void ScanFolderTree(std::u16string_view folder, std::u16string_view pattern, const Append& append,
                    const Yield& yield, report::ErrorReport& report, bool byName,
                    const Append& passedOver) {
    report::StepRunner step(report, report::locations::kPushButton9Click);
    FolderList folders;
    step(114, [&] { folders = {std::u16string(folder) + kSep}; });
    step(116, [&] { GetSubDirectories2016(folders, true, yield, report, passedOver); });
    if (byName) orderByName(folders);
    for (const std::u16string& entry : folders) {  // (118)
        std::u16string dir;
        std::vector<FolderFile> files;
        step(120, [&] { dir = entry.substr(0, entry.size() - 1); });
        step(122, [&] { files = listFolderFiles(dir, pattern); });
        if (byName) {
            std::sort(files.begin(), files.end(), [](const FolderFile& a, const FolderFile& b) {
                return NameLess(a.name, b.name);
            });
        }
        for (const FolderFile& file : files) {  // (124)
            const std::u16string& name = file.name;
            if (step.test(126, [&] { return !name.empty() && name.front() == u'~'; })) continue;
            std::u16string path;
            step(128, [&] {
                path = dir;
                path += kSep;
                path += name;
            });
            if (step.test(132, [&] {
                    if (file.taken) return *file.taken;
                    return IsOpenableFile(path) && FileAttributes(path) != kHiddenFile;
                })) {
                append(paths::CollapseBackslashes(path));
            }
        }
    }
}

}  // namespace mv::walk
