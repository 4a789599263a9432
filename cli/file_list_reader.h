// --files-from: names read one at a time from a list, so a list of any length
// runs in flat memory and never meets the limit on the size of a command's
// arguments.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace mv::cli {

// Calls `take` with every name of the stream, ended by `delimiter` ('\n' or
// '\0'; a CR before a '\n' is kept, as it may be part of a name). Empty names
// are passed over. Returns false when reading failed.
bool readNames(std::FILE* stream, char delimiter,
               const std::function<void(const std::string& name)>& take);

}  // namespace mv::cli
