#include "report/failure.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <system_error>

namespace mv::report {

const char* describe(FailureKind kind) {
    switch (kind) {
        case FailureKind::InvalidArgument:
            return "Invalid procedure call or argument";
        case FailureKind::Overflow:
            return "Overflow";
        case FailureKind::OutOfMemory:
            return "Out of memory";
        case FailureKind::SubscriptOutOfRange:
            return "Subscript out of range";
        case FailureKind::DivisionByZero:
            return "Division by zero";
        case FailureKind::TypeMismatch:
            return "Type mismatch";
        case FailureKind::InvalidPicture:
            return "Invalid picture";
        case FailureKind::BadFileName:
            return "Bad file name or number";
        case FailureKind::FileNotFound:
            return "File not found";
        case FailureKind::DeviceIoError:
            return "Device I/O error";
        case FailureKind::DiskFull:
            return "Disk full";
        case FailureKind::PermissionDenied:
            return "Permission denied";
        case FailureKind::PathFileAccessError:
            return "Path/File access error";
        case FailureKind::PathNotFound:
            return "Path not found";
        case FailureKind::ObjectNotSet:
            return "Object variable or With block variable not set";
        case FailureKind::NotARegularFile:
            return "Not a regular file";
        case FailureKind::Unexpected:
            return "Unexpected failure";
        case FailureKind::FileChanged:
            return "File changed while it was read";
        case FailureKind::NotWritten:
            return "Result not written";
        case FailureKind::ReadOnlyFileSystem:
            return "Read-only file system";
    }
    return "Unexpected failure";
}

namespace {
std::string textFor(FailureKind kind, const std::string& detail) {
    std::string text = describe(kind);
    if (!detail.empty()) text += ": " + detail;
    return text;
}

// strerror_r comes in two forms: the GNU one returns the text (which may be
// a constant rather than the buffer), the XSI one returns 0 and fills the
// buffer. Overloads on its result take either.
[[maybe_unused]] const char* errorTextOf(const char* gnuResult, const char* /*buffer*/) {
    return gnuResult;
}
[[maybe_unused]] const char* errorTextOf(int xsiResult, const char* buffer) {
    return xsiResult == 0 ? buffer : nullptr;
}
}  // namespace

std::string systemErrorText(int error) {
    std::array<char, 256> buffer{};
    const char* text = errorTextOf(strerror_r(error, buffer.data(), buffer.size()), buffer.data());
    if (text == nullptr || *text == '\0') return "Unknown error " + std::to_string(error);
    return text;
}

Failure::Failure(FailureKind kind, const std::string& detail)
    : std::runtime_error(textFor(kind, detail)), m_kind(kind) {}

Failure systemFailure(int errnoValue, const std::string& path) {
    switch (errnoValue) {
        case ENOENT:
            return Failure(FailureKind::FileNotFound, path);
        case ENOTDIR:
            return Failure(FailureKind::PathNotFound, path);
        case EACCES:
        case EPERM:
        case ETXTBSY:
            return Failure(FailureKind::PermissionDenied, path);
        // Mounted read-only, or turned read-only after a fault (an aborted
        // journal): the user must look at the disk, not at permissions.
        case EROFS:
            return Failure(FailureKind::ReadOnlyFileSystem, path);
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return Failure(FailureKind::DiskFull, path);
        case ENAMETOOLONG:
            return Failure(FailureKind::BadFileName, path + " (name too long)");
        case EISDIR:
        case ELOOP:
        case EBUSY:
            return Failure(FailureKind::PathFileAccessError, path);
        case ENOMEM:
            return Failure(FailureKind::OutOfMemory, path);
        default:
            return Failure(FailureKind::DeviceIoError,
                           path + " (" + systemErrorText(errnoValue) + ")");
    }
}

std::string describeCurrentFailure() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return describe(FailureKind::OutOfMemory);
    } catch (const std::out_of_range&) {
        return describe(FailureKind::SubscriptOutOfRange);
    } catch (const std::overflow_error&) {
        return describe(FailureKind::Overflow);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return describe(FailureKind::Unexpected);
    }
}

std::string describeCurrentError() {
    try {
        throw;
    } catch (const std::runtime_error& e) {
        return e.what();
    } catch (...) {
        return describeCurrentFailure();
    }
}

FailureKind currentFailureKind() {
    try {
        throw;
    } catch (const Failure& f) {
        return f.kind();
    } catch (const std::bad_alloc&) {
        return FailureKind::OutOfMemory;
    } catch (const std::out_of_range&) {
        return FailureKind::SubscriptOutOfRange;
    } catch (...) {
        return FailureKind::Unexpected;
    }
}

}  // namespace mv::report
