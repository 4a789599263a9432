// marrowvale-gen: deterministic records-style XML sources for the whole-file
// benchmark (bench/whole_file.sh). The same arguments give the same bytes.
//
//   marrowvale-gen records SIZE_BYTES FILE   one document of exactly SIZE_BYTES
//   marrowvale-gen tree COUNT DIR            COUNT documents of 1 to 20 KB in DIR
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "bench_data.h"

namespace {

using mv::bench::RecordsText;

constexpr std::size_t kFlushBytes = std::size_t{1} << 22;
constexpr std::uint64_t kSmallMin = 1024;
constexpr std::uint64_t kSmallMax = 20 * 1024;

int usage() {
    std::fputs(
        "usage: marrowvale-gen records SIZE_BYTES FILE\n"
        "       marrowvale-gen tree COUNT DIR\n",
        stderr);
    return 2;
}

bool parseCount(const char* text, std::uint64_t& value) {
    if (*text == '\0') return false;
    value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || value > (UINT64_MAX - 9) / 10) return false;
        value = value * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    return true;
}

class Output {
public:
    explicit Output(const std::string& path)
        : m_path(path), m_file(std::fopen(path.c_str(), "wb")) {
        if (m_file == nullptr) fail();
    }
    ~Output() {
        if (m_file != nullptr) std::fclose(m_file);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void write(std::string_view bytes) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size()) fail();
    }
    void close() {
        std::FILE* file = m_file;
        m_file = nullptr;
        if (std::fclose(file) != 0) fail();
    }

private:
    [[noreturn]] void fail() const {
        std::fprintf(stderr, "marrowvale-gen: %s: %s\n", m_path.c_str(), std::strerror(errno));
        std::exit(1);
    }

    std::string m_path;
    std::FILE* m_file;
};

// A whole document of exactly `size` bytes (or just its head and tail when
// `size` is smaller): records while they fit, then blanks before the end tag.
// Returns the next record number, so that consecutive files differ.
std::uint64_t writeRecords(const std::string& path, std::uint64_t size, std::uint64_t firstId) {
    Output out(path);
    const std::string tail = RecordsText::tail();
    std::string buffer = RecordsText::head();
    std::string record;
    std::uint64_t written = 0;
    std::uint64_t id = firstId;
    for (;; ++id) {
        record.clear();
        RecordsText::appendRecord(record, id);
        if (written + buffer.size() + record.size() + tail.size() > size) break;
        buffer += record;
        if (buffer.size() >= kFlushBytes) {
            out.write(buffer);
            written += buffer.size();
            buffer.clear();
        }
    }
    const std::uint64_t used = written + buffer.size() + tail.size();
    if (used < size) buffer.append(static_cast<std::size_t>(size - used), ' ');
    buffer += tail;
    out.write(buffer);
    out.close();
    return id;
}

int records(const char* sizeText, const char* path) {
    std::uint64_t size = 0;
    if (!parseCount(sizeText, size)) return usage();
    writeRecords(path, size, 1);
    return 0;
}

int tree(const char* countText, const char* dir) {
    std::uint64_t count = 0;
    if (!parseCount(countText, count)) return usage();
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "marrowvale-gen: %s: %s\n", dir, error.message().c_str());
        return 1;
    }
    const int width = static_cast<int>(std::to_string(count).size());
    std::uint64_t id = 1;
    for (std::uint64_t i = 1; i <= count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "s%0*llu.xml", width, static_cast<unsigned long long>(i));
        const std::uint64_t size = kSmallMin + mv::bench::mix(i) % (kSmallMax - kSmallMin + 1);
        id = writeRecords((std::filesystem::path(dir) / name).string(), size, id);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return usage();
    const std::string_view mode = argv[1];
    if (mode == "records") return records(argv[2], argv[3]);
    if (mode == "tree") return tree(argv[2], argv[3]);
    return usage();
}
