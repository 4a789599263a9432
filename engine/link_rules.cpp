#include "engine/link_rules.h"

#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "report/failure.h"

namespace mv::engine {

using report::Failure;
using report::FailureKind;

std::string nameOf(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

namespace {

// The kernel's protected-symlinks rule: a link in a sticky, world-writable
// folder is followed only when it belongs to us or to the folder's owner.
// Another user's link there could point a result at any file we may write.
void requireFollowable(const std::string& link, const struct stat& linkStat) {
    struct stat folder {};
    if (stat(folderOf(link).c_str(), &folder) != 0) return;
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    if (shared && linkStat.st_uid != geteuid() && linkStat.st_uid != folder.st_uid) {
        throw Failure(FailureKind::PermissionDenied,
                      link + " (a link another user placed in a shared folder)");
    }
}

}  // namespace

// Follows a symbolic link at the target, so that the link stays and its file
// gets the result, as an editor's save does. Sets `found` to what stands at
// the returned path, if anything: the last lstat has told it already unless a
// link is left unfollowed.
std::string resolvedTarget(const std::string& path, std::optional<struct stat>& found) {
    std::string target = path;
    found.reset();
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        // Where lstat fails, so would stat: nothing stands there.
        if (lstat(target.c_str(), &st) != 0) return target;
        if (!S_ISLNK(st.st_mode)) {
            found = st;
            return target;
        }
        char buffer[4096];
        ssize_t n = readlink(target.c_str(), buffer, sizeof buffer);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) break;
        requireFollowable(target, st);
        std::string link(buffer, static_cast<std::size_t>(n));
        if (link.front() == '/') {
            target = std::move(link);
        } else {
            target = folderOf(target);
            target += '/';
            target += link;
        }
    }
    struct stat st {};
    if (stat(target.c_str(), &st) == 0) found = st;
    return target;
}

std::string writableTarget(const std::string& path) {
    std::optional<struct stat> found;
    return resolvedTarget(path, found);
}

}  // namespace mv::engine
