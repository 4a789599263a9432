// The window's own arguments: the files and folders to list at start, as
// "Open With" in a file manager passes them (marrowvale FILE...).
#pragma once

#include <QStringList>
#include <string>
#include <vector>

namespace mv::app {

struct StartArguments {
    QStringList paths;  // absolute, each name's exact bytes kept
    std::string error;  // a usage error to print; the window does not open
};

// `arguments` are those left after Qt took its own (argv[1] on). A relative
// path is taken from `currentFolder`; "--" ends the options, and any other
// argument that begins with "-" is an unknown option.
StartArguments parseStartArguments(const std::vector<std::string>& arguments,
                                   const std::string& currentFolder);

inline constexpr const char* kWindowUsage = "Usage: marrowvale [FILE|FOLDER]...";

}  // namespace mv::app
