// Named temporary files that exist only while a result is being put in place.
// Each is created and removed or renamed under one lock, shared by the
// threads that do so and held alone by a process leaving on a signal, so
// that it can remove every one of them and leave none behind.
#pragma once

#include <functional>
#include <string>

namespace mv::engine::inflight {

// The name of a new temporary file in `folder`: hidden, and recognisable as
// ours by its "marrowvale" and ".tmp".
std::string temporaryName(const std::string& folder);

// Runs `create` (which makes the file and says whether it did) and records
// the path while it exists.
bool create(const std::string& path, const std::function<bool()>& createFile);
// Renames the temporary file over `target`, both in the folder open as
// `folderFd`; the errno value of a failure, or 0.
int renameOver(int folderFd, const std::string& path, const std::string& target);
// Runs `publishFile` (which links a finished unnamed file in under its
// final name and says whether it did) under the same lock as the rest;
// several threads may publish at once.
bool publish(const std::function<bool()>& publishFile);
// Called on the publishing thread, under the shared lock, after each result that
// renameOver or publish put in place: a process leaving on a signal then
// knows every result it published.
void setPublishObserver(void (*observer)());

// Removes the temporary file.
void remove(const std::string& path) noexcept;

// Removes every recorded file and keeps the lock, so that no other thread
// makes or publishes one afterwards: for a process that is about to leave.
void removeAllAndHold() noexcept;

}  // namespace mv::engine::inflight
