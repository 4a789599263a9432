#include "engine/file_system.h"

#include <sys/stat.h>

#include <cerrno>

#include "engine/native_text.h"
#include "report/failure.h"

namespace mv::engine {

using report::Failure;
using report::FailureKind;
using report::systemFailure;

TextReader File::OpenAsTextStream(TextFormat format) const {
    return TextReader::open(nativePath, format);
}

File FileSystemObject::GetFile(std::u16string_view path) const {
    std::string native = toNative(path);
    struct stat st {};
    if (native.empty()) throw Failure(FailureKind::BadFileName);
    if (stat(native.c_str(), &st) != 0) throw systemFailure(errno, native);
    if (S_ISDIR(st.st_mode)) throw Failure(FailureKind::FileNotFound, native + " (a folder)");
    if (!S_ISREG(st.st_mode)) throw Failure(FailureKind::NotARegularFile, native);
    return File{native};
}

TextWriter FileSystemObject::OpenTextFile(std::u16string_view path, bool seenFree) const {
    std::string native = toNative(path);
    if (native.empty()) throw Failure(FailureKind::BadFileName);
    return TextWriter::create(native, seenFree);
}

const File& required(const std::optional<File>& file) {
    if (!file) throw Failure(FailureKind::ObjectNotSet);
    return *file;
}

}  // namespace mv::engine
