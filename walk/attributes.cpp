#include "walk/attributes.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "engine/native_text.h"
#include "report/failure.h"

namespace mv::walk {

int FileAttributes(std::u16string_view path) {
    std::string native = engine::toNative(path);
    struct stat link {};
    if (native.empty()) throw report::Failure(report::FailureKind::BadFileName);
    if (lstat(native.c_str(), &link) != 0) throw report::systemFailure(errno, native);
    struct stat st = link;
    int value = 0;
    if (S_ISLNK(link.st_mode)) {
        value |= kAlias;
        if (stat(native.c_str(), &st) != 0) st = link;  // a dangling link is still a link
    }
    if (S_ISDIR(st.st_mode)) value |= kDirectory;
    if (S_ISREG(st.st_mode)) value |= kArchive;
    if ((st.st_mode & S_IWUSR) == 0) value |= kReadOnly;
    std::string_view trimmed(native);
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.remove_suffix(1);
    auto slash = trimmed.find_last_of('/');
    std::string_view name = slash == std::string_view::npos ? trimmed : trimmed.substr(slash + 1);
    if (!name.empty() && name.front() == '.' && name != "." && name != "..") value |= kHidden;
    return value;
}

}  // namespace mv::walk
