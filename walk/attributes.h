// File attribute bits, derived from what Linux keeps: directory for folders,
// archive for regular files, hidden for a name that begins with ".", read-only
// without the owner's write permission, alias for a symbolic link. Linux has
// no system bit, so it is never set.
#pragma once

#include <string_view>

namespace mv::walk {

inline constexpr int kReadOnly = 1;
inline constexpr int kHidden = 2;
inline constexpr int kSystem = 4;
inline constexpr int kDirectory = 16;
inline constexpr int kArchive = 32;
inline constexpr int kAlias = 1024;

// The attribute value of a path; throws report::Failure when it cannot be read.
int FileAttributes(std::u16string_view path);

}  // namespace mv::walk
