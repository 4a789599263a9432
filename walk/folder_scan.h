/* The folder scan: every file of a folder tree, in the order the folder
   button lists them. Used by the folder button and drops in the window and by
   marrowvale-cli for folder arguments; no Qt.

   GetSubDirectories2016 extends a folder list breadth-first, level by level;
   ListFolderFiles lists one folder's openable files that match a pattern;
   ScanFolderTree puts the two together (the folder's own files first, then
   its sub-folders' by level), skipping "~" files and hidden-plus-archive
   files. Symbolic links to folders are not followed, so a link loop cannot
   multiply the walk. */
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "report/error_report.h"

namespace mv::walk {

// Folder paths, each ending in the separator.
using FolderList = std::vector<std::u16string>;
using Yield = std::function<void()>;
using Append = std::function<void(const std::u16string& path)>;

// The path is an existing regular file that can be opened; never fails.
bool IsOpenableFile(std::u16string_view path);
// The name holds a character the ANSI code page cannot show, a control
// character, one of its codes 127 to 159, or "?".
bool HasBadCharacters(std::u16string_view name);
// Case-ignoring wildcard match with "*" and "?"; "*.*" takes every name.
bool MatchesPattern(std::u16string_view pattern, std::u16string_view name);
// The names of the folder's openable files that match the pattern, in the
// order the file system lists them; empty when there are none.
std::vector<std::u16string> ListFolderFiles(std::u16string_view folder,
                                            std::u16string_view pattern);
// Appends the sub-folders of every folder in the list, breadth-first; a
// folder whose sub-folders cannot be listed is dropped from the list. The
// sub-folders of a folder whose path is too long are passed over; each is
// handed to `passedOver`, when given.
void GetSubDirectories2016(FolderList& folders, bool recursive, const Yield& yield,
                           report::ErrorReport& report, const Append& passedOver = {});
// Appends every file of the tree under `folder` that matches the pattern.
// Failures of the walk are reported under its own location, the others
// under the folder button's. `byName` lists each folder's files and
// sub-folders in name order (name_order.h) instead of the file system's, so
// that every machine lists one tree alike.
void ScanFolderTree(std::u16string_view folder, std::u16string_view pattern, const Append& append,
                    const Yield& yield, report::ErrorReport& report, bool byName = false,
                    const Append& passedOver = {});

}  // namespace mv::walk
