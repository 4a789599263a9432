#include "cli/file_list_reader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

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

NameList::NameList(const std::string& path) : m_path(path) {
    if (path == "-") {
        m_file = stdin;
        return;
    }
    m_file = std::fopen(path.c_str(), "r");
    if (m_file == nullptr) throw std::runtime_error(path + ": " + std::strerror(errno));
    m_owned = true;
}

NameList::~NameList() {
    if (m_owned) std::fclose(m_file);
}

void NameList::forEach(char delimiter, const std::function<void(const std::string& name)>& take) {
    if (!readNames(m_file, delimiter, take))
        throw std::runtime_error(m_path + ": " + std::strerror(errno));
}

}  // namespace mv::cli
