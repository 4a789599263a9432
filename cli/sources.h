// The sources of a convert command, in conversion order and as a stream: a
// file is taken as given (as a full path), a folder is scanned as the folder
// button scans it, its files handed over while the scan goes on. The command
// lists a folder's files and sub-folders in name order, so every machine
// lists one tree alike.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

#include "report/error_report.h"

namespace mv::cli {

struct Source {
    std::u16string path;       // full path, as the window's rows hold it
    std::u16string subfolder;  // below the folder it was found in, "a/b/"; empty for a file
    std::string name;  // as listed: the argument, or the folder argument and the path below it
};

// The full path of a name as given, relative to the current folder; an error
// when the name is relative and the current folder is gone.
std::filesystem::path fullPath(const std::string& argument, std::error_code& error);

// `allFiles` takes every file of a folder except its .json files, whose
// results would replace them; otherwise only *.xml. A sub-folder passed over
// for the length of its path goes to `passedOver`.
void forEachSource(const std::string& argument, bool allFiles,
                   const std::function<void(const Source& source)>& take,
                   report::ErrorReport& report,
                   const std::function<void(const std::u16string& folder)>& passedOver = {});

// --parents: the source's result keeps the path it was listed by below the
// output folder, without a leading "/" or "./" ("/data/a/x.xml" gives
// "data/a/"). False for a name with a ".." component, which would climb out.
bool placeUnderParents(Source& source);

}  // namespace mv::cli
