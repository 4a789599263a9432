#include "cli/file_list_reader.h"

#include <cstdlib>
#include <memory>

namespace mv::cli {

bool readNames(std::FILE* stream, char delimiter,
               const std::function<void(const std::string& name)>& take) {
    char* raw = nullptr;
    std::size_t capacity = 0;
    std::string name;
    while (true) {
        ssize_t length = getdelim(&raw, &capacity, delimiter, stream);
        if (length < 0) break;
        name.assign(raw, static_cast<std::size_t>(length));
        if (!name.empty() && name.back() == delimiter) name.pop_back();
        if (!name.empty()) take(name);
    }
    std::free(raw);
    return !std::ferror(stream);
}

}  // namespace mv::cli
