// The one failure type of the system: a kind with a fixed description, plus
// the detail (usually a path) that makes the text useful to a reader.
#pragma once

#include <stdexcept>
#include <string>

namespace mv::report {

// Kinds carry the numbers the platform used for them; the folder walk tells
// "permission denied" (70) and "path not found" (76) apart by number.
enum class FailureKind : int {
    InvalidArgument = 5,
    Overflow = 6,
    OutOfMemory = 7,
    SubscriptOutOfRange = 9,
    DivisionByZero = 11,
    TypeMismatch = 13,
    BadFileName = 52,
    FileNotFound = 53,
    DeviceIoError = 57,
    DiskFull = 61,
    PermissionDenied = 70,
    PathFileAccessError = 75,
    PathNotFound = 76,
    ObjectNotSet = 91,
    InvalidPicture = 481,
    NotARegularFile = 1001,
    Unexpected = 1002,
    FileChanged = 1003,
    NotWritten = 1004,
    ReadOnlyFileSystem = 1005,
};

// The fixed description of a kind, e.g. "Subscript out of range".
const char* describe(FailureKind kind);

class Failure : public std::runtime_error {
public:
    explicit Failure(FailureKind kind, const std::string& detail = {});
    FailureKind kind() const { return m_kind; }
    int code() const { return static_cast<int>(m_kind); }

private:
    FailureKind m_kind;
};

// Maps an errno value from a failed system call to a failure about `path`.
Failure systemFailure(int errnoValue, const std::string& path);

// The system's text for an errno value ("No such file or directory"), as
// strerror gives it, but safe to call from several threads at once.
std::string systemErrorText(int error);

// The description of the exception in flight; call only inside a catch block.
std::string describeCurrentFailure();
// The same, except that a runtime error is told by its own text, which names
// what failed in the user's terms (a list or a report that cannot be opened).
std::string describeCurrentError();
// The failure kind of the exception in flight (Unexpected when it is not a Failure).
FailureKind currentFailureKind();

}  // namespace mv::report
