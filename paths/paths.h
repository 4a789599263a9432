// Path helpers: file name, folder and extension of a path text, and the
// clean-up of doubled separators after joining. They work on the text alone
// (IsFolder and FileExists ask the file system) and know one separator, given
// as a parameter: "/" on Linux, "\" for the Windows rules.
#pragma once

#include <string>
#include <string_view>

namespace mv::paths {

inline constexpr char16_t kNativeSeparator = u'/';

// The text after the last separator; the whole text without one.
std::u16string GetFileName(std::u16string_view path, char16_t sep = kNativeSeparator);
// The text up to and including the last separator, or empty text.
std::u16string GetFolderPath(std::u16string_view path, char16_t sep = kNativeSeparator);
// The text before its last "."; unchanged without a dot or with only a leading one.
std::u16string RemoveExtension(std::u16string_view nameOrPath);
// Doubled separators halved from left to right. A leading run of separators
// becomes the network prefix "\\" under the Windows rules, and one "/" under
// the Linux rules.
std::u16string CollapseBackslashes(std::u16string_view path, char16_t sep = kNativeSeparator);
// Whether the path names a folder; false for anything that cannot be asked.
bool IsFolder(std::u16string_view path);
// Whether the path's modification time can be read; never fails.
bool FileExists(std::u16string_view path);

}  // namespace mv::paths
