// Where a written file lands: symbolic links at the target are followed, as an
// editor's save does, except one the kernel's protected-symlinks rule would
// not let us follow.
#pragma once

#include <optional>
#include <string>

#include <sys/stat.h>

namespace mv::engine {

// The last name of a path, and the folder that holds it ("." for a bare name).
std::string nameOf(const std::string& path);
std::string folderOf(const std::string& path);

// Follows symbolic links at `path` and returns where a file written there
// lands. Sets `found` to what stands at the returned path, if anything.
// Throws the "permission denied" failure for a link another user planted in
// a sticky, world-writable folder.
std::string resolvedTarget(const std::string& path, std::optional<struct stat>& found);

// Where a file written at `path` lands, as a result does: its symbolic links
// followed, except one that another user planted in a shared folder, which
// throws the "permission denied" failure. Other files the run writes (the
// report) keep the same rule.
std::string writableTarget(const std::string& path);

}  // namespace mv::engine
