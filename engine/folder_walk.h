// Folders opened one name at a time. A path is walked from its first folder
// down, each name opened without following a link; a symbolic link on the
// way is followed only where the kernel's protected-symlinks rule would
// follow it (in a sticky, world-writable folder, only a link that belongs to
// us or to the folder's owner). Another user's link there could otherwise
// lead a result, or a folder made for results, anywhere we may write. The
// descriptor that comes back names the folder that was checked, whatever
// is renamed meanwhile.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace mv::engine {

// An open folder (O_PATH): for the *at calls of a result, never read.
class FolderHandle {
public:
    explicit FolderHandle(int fd) : m_fd(fd) {}
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    ~FolderHandle();
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// Opens the folder `path`; throws a report::Failure about `shown` (or
// `path`) when a name on the way is missing or no folder, and one naming
// the link when the rule refuses a link.
std::shared_ptr<const FolderHandle> openFolder(const std::string& path,
                                               const std::string& shown = {});

// Opens `base` as openFolder does, then makes or enters each name of
// `relative` below it under the same rule. The folders it made, in order,
// go to `made`; they stay made when a later name fails.
std::shared_ptr<const FolderHandle> makeFolders(const std::string& base,
                                                const std::string& relative,
                                                std::vector<std::string>& made);

}  // namespace mv::engine
