#include "paths/paths.h"

#include <sys/stat.h>

#include "engine/native_text.h"
#include "report/failure.h"

namespace mv::paths {

namespace {

// The 1-based position of the last `c`, 0 when absent. Two of the helpers
// keep it in a 16-bit number, so a longer text is an overflow there.
std::size_t lastPosition(std::u16string_view text, char16_t c) {
    auto i = text.rfind(c);
    return i == std::u16string_view::npos ? 0 : i + 1;
}

std::size_t checked16(std::size_t position) {
    if (position > 32767) throw report::Failure(report::FailureKind::Overflow);
    return position;
}

// Every pair of adjacent separators becomes one, left to right, no overlap.
std::u16string halvePairs(std::u16string_view text, char16_t sep) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == sep && i + 1 < text.size() && text[i + 1] == sep) ++i;
    }
    return out;
}

}  // namespace

std::u16string GetFileName(std::u16string_view path, char16_t sep) {
    return std::u16string(path.substr(lastPosition(path, sep)));
}

std::u16string GetFolderPath(std::u16string_view path, char16_t sep) {
    std::size_t p = checked16(lastPosition(path, sep));
    return std::u16string(path.substr(0, p));
}

std::u16string RemoveExtension(std::u16string_view nameOrPath) {
    if (nameOrPath.empty()) return {};
    std::size_t p = checked16(lastPosition(nameOrPath, u'.'));
    if (p >= 2) return std::u16string(nameOrPath.substr(0, p - 1));
    return std::u16string(nameOrPath);
}

std::u16string CollapseBackslashes(std::u16string_view path, char16_t sep) {
    if (path.empty() || path.front() != sep) return halvePairs(path, sep);
    std::size_t rest = path.find_first_not_of(sep, 1);
    if (rest == std::u16string_view::npos) rest = path.size();
    std::u16string prefix(sep == u'\\' ? 2 : 1, sep);
    return prefix + halvePairs(path.substr(rest), sep);
}

bool IsFolder(std::u16string_view path) {
    struct stat st {};
    std::string native = engine::toNative(path);
    return !native.empty() && stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(std::u16string_view path) {
    struct stat st {};
    std::string native = engine::toNative(path);
    return !native.empty() && stat(native.c_str(), &st) == 0;
}

}  // namespace mv::paths
