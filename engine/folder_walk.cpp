#include "engine/folder_walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <utility>

#include "report/failure.h"

namespace mv::engine {

using report::Failure;
using report::FailureKind;
using report::systemFailure;

namespace {

constexpr int kMostLinks = 40;  // as the kernel, before it says ELOOP

// The names of a path, empty ones and "." left out.
void pushNames(const std::string& path, std::deque<std::string>& names, bool atFront) {
    std::deque<std::string> found;
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t slash = path.find('/', at);
        if (slash == std::string::npos) slash = path.size();
        std::string name = path.substr(at, slash - at);
        if (!name.empty() && name != ".") found.push_back(std::move(name));
        at = slash + 1;
    }
    if (atFront) {
        names.insert(names.begin(), found.begin(), found.end());
    } else {
        names.insert(names.end(), found.begin(), found.end());
    }
}

int openStart(const std::string& path) {
    return ::open(path.starts_with('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
}

class Walk {
public:
    explicit Walk(std::string shown) : m_shown(std::move(shown)) {}
    ~Walk() {
        if (m_fd >= 0) ::close(m_fd);
    }

    void start(const std::string& path) {
        m_fd = openStart(path);
        if (m_fd < 0) fail(errno);
        m_at.assign(path.starts_with('/') ? 0 : 1, '.');
    }

    // Enters `name` below the current folder; makes it first when `made`
    // is given and it is missing.
    void enter(const std::string& name, std::deque<std::string>& rest,
               std::vector<std::string>* made, const std::string& madePath) {
        int next = ::openat(m_fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && made != nullptr) {
            if (::mkdirat(m_fd, name.c_str(), 0777) == 0) {
                made->push_back(madePath);
            } else if (errno != EEXIST) {
                fail(errno);
            }
            next = ::openat(m_fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        }
        if (next < 0) fail(errno);
        struct stat st {};
        if (fstat(next, &st) != 0) {
            int error = errno;
            ::close(next);
            fail(error);
        }
        if (S_ISDIR(st.st_mode)) {
            ::close(std::exchange(m_fd, next));
            m_at += "/" + name;
            return;
        }
        if (!S_ISLNK(st.st_mode)) {
            ::close(next);
            fail(ENOTDIR);
        }
        follow(next, name, st, rest);
    }

    // Enters each name of the queue, and the names of the links met on the
    // way, without making anything.
    void enterAll(std::deque<std::string>& names) {
        while (!names.empty()) {
            std::string name = std::move(names.front());
            names.pop_front();
            enter(name, names, nullptr, {});
        }
    }

    std::shared_ptr<const FolderHandle> release() {
        return std::make_shared<const FolderHandle>(std::exchange(m_fd, -1));
    }

private:
    [[noreturn]] void fail(int error) const { throw systemFailure(error, m_shown); }

    // Goes on along the link's text, if the rule lets us.
    void follow(int link, const std::string& name, const struct stat& linkStat,
                std::deque<std::string>& rest) {
        char text[4096];
        ssize_t n = ::readlinkat(link, "", text, sizeof text);
        ::close(link);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof text) fail(n < 0 ? errno : ELOOP);
        if (++m_links > kMostLinks) fail(ELOOP);
        struct stat folder {};
        if (fstat(m_fd, &folder) != 0) fail(errno);
        const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
        if (shared && linkStat.st_uid != geteuid() && linkStat.st_uid != folder.st_uid) {
            throw Failure(FailureKind::PermissionDenied,
                          m_at + "/" + name + " (a link another user placed in a shared folder)");
        }
        std::string target(text, static_cast<std::size_t>(n));
        if (target.starts_with('/')) {
            int root = openStart(target);
            if (root < 0) fail(errno);
            ::close(std::exchange(m_fd, root));
            m_at.clear();
        }
        pushNames(target, rest, true);
    }

    std::string m_shown;
    std::string m_at;  // the folder entered last, for a refused link's message
    int m_fd = -1;
    int m_links = 0;
};

}  // namespace

FolderHandle::~FolderHandle() {
    if (m_fd >= 0) ::close(m_fd);
}

std::shared_ptr<const FolderHandle> openFolder(const std::string& path, const std::string& shown) {
    Walk walk(shown.empty() ? path : shown);
    walk.start(path);
    std::deque<std::string> names;
    pushNames(path, names, false);
    walk.enterAll(names);
    return walk.release();
}

std::shared_ptr<const FolderHandle> makeFolders(const std::string& base,
                                                const std::string& relative,
                                                std::vector<std::string>& made) {
    Walk walk(base + "/" + relative);
    walk.start(base);
    std::deque<std::string> names;
    pushNames(base, names, false);
    walk.enterAll(names);
    // Below the base, each name is made where it is missing; a link's own
    // names are only entered.
    std::deque<std::string> own;
    pushNames(relative, own, false);
    std::string path = base;
    for (const auto& name : own) {
        path += "/" + name;
        std::deque<std::string> viaLink;
        walk.enter(name, viaLink, &made, path);
        walk.enterAll(viaLink);
    }
    return walk.release();
}

}  // namespace mv::engine
