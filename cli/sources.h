// The sources of a convert command, in conversion order and as a stream: a
// file is taken as given (as a full path), a folder is scanned as the folder
// button scans it, its files handed over while the scan goes on.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "report/error_report.h"

namespace mv::cli {

void forEachSource(const std::vector<std::string>& arguments, std::u16string_view pattern,
                   const std::function<void(const std::u16string& path)>& take,
                   report::ErrorReport& report);

}  // namespace mv::cli
