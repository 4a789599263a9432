#include "cli/file_list_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "report/failure.h"

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
        // A list written on Windows ends its lines with CR LF; a name that
        // really ends in CR cannot travel in a line list, only with NUL.
        if (delimiter == '\n' && !name.empty() && name.back() == '\r') name.pop_back();
        if (!name.empty()) take(name);
    }
    std::free(raw);
    return !std::ferror(stream);
}

std::FILE* unnamedTemporaryFile(const std::string& what) {
    const char* dir = std::getenv("TMPDIR");
    std::string folder = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // File systems without O_TMPFILE: a named file, unlinked at once.
        std::string name = folder + "/.marrowvale-list-XXXXXX";
        fd = mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) unlink(name.c_str());
    }
    std::FILE* file = fd < 0 ? nullptr : fdopen(fd, "w+");
    if (file == nullptr) {
        int error = errno;
        if (fd >= 0) close(fd);
        throw std::runtime_error("cannot keep " + what + " in " + folder + ": " +
                                 report::systemErrorText(error));
    }
    return file;
}

namespace {
constexpr std::size_t kListBlock = std::size_t{64} << 10;

// Before the stream's first read or write; a failure keeps its own buffer.
std::unique_ptr<char[]> useLargeBlocks(std::FILE* stream) {
    auto block = std::make_unique_for_overwrite<char[]>(kListBlock);
    std::setvbuf(stream, block.get(), _IOFBF, kListBlock);
    return block;
}
}  // namespace

NameList::NameList(const std::string& path) : m_path(path) {
    if (path == "-") {
        // Standard input outlives the list: it keeps its own buffer.
        m_file = stdin;
        return;
    }
    m_file = std::fopen(path.c_str(), "r");
    if (m_file == nullptr) throw std::runtime_error(path + ": " + report::systemErrorText(errno));
    m_owned = true;
    m_fileBlock = useLargeBlocks(m_file);
}

NameList::~NameList() {
    if (m_owned) std::fclose(m_file);
    if (m_copy != nullptr) std::fclose(m_copy);
}

void NameList::forEach(char delimiter, const std::function<void(const std::string& name)>& take) {
    if (m_copy != nullptr) {
        std::rewind(m_copy);
        if (!readNames(m_copy, '\0', take))
            throw std::runtime_error("cannot read the copy of the list " + m_path + ": " +
                                     report::systemErrorText(errno));
        return;
    }
    m_copy = unnamedTemporaryFile("a copy of the list");
    m_copyBlock = useLargeBlocks(m_copy);
    bool copied = true;
    bool read = readNames(m_file, delimiter, [&](const std::string& name) {
        copied = copied && std::fwrite(name.c_str(), 1, name.size() + 1, m_copy) == name.size() + 1;
        take(name);
    });
    if (!read) throw std::runtime_error(m_path + ": " + report::systemErrorText(errno));
    if (!copied || std::fflush(m_copy) != 0)
        throw std::runtime_error("cannot keep a copy of the list " + m_path + ": " +
                                 report::systemErrorText(errno));
}

}  // namespace mv::cli
