#include "cli/report_writer.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "cli/signals.h"
#include "engine/file_system.h"
#include "engine/in_flight.h"
#include "engine/native_text.h"
#include "report/failure.h"

namespace mv::cli {

const char* statusName(FileRecord::Status status) {
    switch (status) {
        case FileRecord::Status::Converted:
            return "converted";
        case FileRecord::Status::Failed:
            return "failed";
        case FileRecord::Status::Replaced:
            return "replaced";
        case FileRecord::Status::Unchanged:
            return "unchanged";
        case FileRecord::Status::Skipped:
            break;
    }
    return "skipped";
}

std::string hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

std::string jsonString(std::u16string_view text) {
    std::string out = "\"";
    char buffer[8];
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            engine::appendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00));
        } else if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == u'\n') {
            out += "\\n";
        } else if (c == u'\t') {
            out += "\\t";
        } else if (c == u'\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF)) {
            // Lone surrogates: a byte of a name that is not UTF-8 (U+DC80..U+DCFF).
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
            out += buffer;
        } else {
            engine::appendUtf8(out, c);
        }
    }
    return out + "\"";
}

std::string jsonLine(const FileRecord& record, std::string_view runFields) {
    std::string line = "{\"source\":" + jsonString(record.source) +
                       ",\"result\":" + jsonString(record.result) + ",\"status\":\"" +
                       statusName(record.status) +
                       "\",\"bytes_read\":" + std::to_string(record.bytesRead) +
                       ",\"bytes_written\":" + std::to_string(record.bytesWritten) +
                       ",\"chunks\":" + std::to_string(record.chunks) + ",\"reports\":[";
    for (std::size_t i = 0; i < record.reports.size(); ++i) {
        const auto& report = record.reports[i];
        if (i > 0) line += ',';
        line += "{\"description\":" + jsonString(engine::fromNative(report.description)) +
                ",\"procedure\":" + jsonString(engine::fromNative(report.procedure)) +
                ",\"step\":" + std::to_string(report.step) + "}";
    }
    line += ']';
    line += runFields;
    return line + "}";
}

namespace {

constexpr std::size_t kFlushAt = 1 << 16;

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The place itself: the folder made absolute and free of links.
std::string canonicalPlace(const std::string& path) {
    std::error_code error;
    auto folder = std::filesystem::weakly_canonical(folderOf(path), error);
    if (error) return path;
    return (folder / nameOf(path)).string();
}

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
    throw std::runtime_error("cannot write the report " + path + ": " + why);
}

}  // namespace

ReportWriter::ReportWriter(const std::string& path) {
    if (path == "-") {
        m_direct = true;
        m_fd = STDOUT_FILENO;
        return;
    }
    try {
        m_target = engine::writableTarget(path);
    } catch (const std::runtime_error&) {
        refuse(path, "a link that another user placed in a shared folder is not followed");
    }
    struct stat st {};
    if (stat(m_target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) refuse(path, "it is a folder");
        if (access(m_target.c_str(), W_OK) != 0) refuse(path, report::systemErrorText(errno));
        m_exists = true;
        m_device = st.st_dev;
        m_inode = st.st_ino;
        // A device or a pipe is written into; a file is replaced whole.
        m_direct = !S_ISREG(st.st_mode);
        m_keepMode = static_cast<int>(st.st_mode & 0777);
    } else if (errno != ENOENT || access(folderOf(m_target).c_str(), W_OK | X_OK) != 0) {
        // What stands there cannot be looked at, or a new file could not be made.
        refuse(path, report::systemErrorText(errno));
    }
    m_resolved = canonicalPlace(m_target);
}

void ReportWriter::setOrigin(const std::string& host, const std::string& shard) {
    m_runFields = ",\"host\":" + jsonString(engine::fromNative(host));
    if (!shard.empty()) m_runFields += ",\"shard\":" + jsonString(engine::fromNative(shard));
}

ReportWriter::~ReportWriter() {
    if (!m_finished) abandon();
}

bool ReportWriter::names(const std::string& nativePath, bool orWhereItLands) const {
    if (m_target.empty()) return false;
    struct stat st {};
    if (stat(nativePath.c_str(), &st) == 0) {
        return m_exists && st.st_dev == m_device && st.st_ino == m_inode;
    }
    if (!orWhereItLands) return false;
    std::string target;
    try {
        target = engine::writableTarget(nativePath);
    } catch (const std::runtime_error&) {
        return false;  // nothing will be written there
    }
    // Only a file of the same name can be the same place: most sources are
    // told apart without resolving their folder.
    return nameOf(target) == nameOf(m_resolved) && canonicalPlace(target) == m_resolved;
}

std::string clashWithReport(const ReportWriter& report, const std::u16string& source,
                            const std::u16string& result) {
    const std::string path = engine::toNative(source);
    if (report.names(path, false)) return "it is a source of this run, " + path;
    if (!result.empty() && report.names(engine::toNative(result), true)) {
        return "it is where the result of " + path + " goes";
    }
    return "";
}

void ReportWriter::open() {
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0 || m_finished) return;  // a signal's clean-up came first
    if (m_direct) {
        m_fd = ::open(m_target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0) refuse(m_target, report::systemErrorText(errno));
        return;
    }
    const std::string folder = folderOf(m_target);
    m_fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (m_fd < 0 && (errno == EOPNOTSUPP || errno == EINVAL || errno == EISDIR)) {
        // No unnamed files here: a named one, which kill -9 alone leaves.
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            std::string temp = engine::inflight::temporaryName(folder);
            m_fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd >= 0) m_namedTemp = temp;
            if (m_fd < 0 && errno != EEXIST) break;
        }
    }
    if (m_fd < 0) refuse(m_target, report::systemErrorText(errno));
}

void ReportWriter::write(const FileRecord& record) {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0 || m_error != 0) return;
    m_buffer += jsonLine(record, m_runFields);
    m_buffer += '\n';
    // A reader of a pipe or of standard output sees each line as it comes.
    if (m_direct || m_buffer.size() >= kFlushAt) flushLocked();
}

bool ReportWriter::flushLocked() {
    std::size_t done = 0;
    while (done < m_buffer.size() && m_error == 0) {
        ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            m_error = errno;
            if (m_error == EPIPE) brokenPipe();
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    m_buffer.clear();
    return m_error == 0;
}

bool ReportWriter::close() {
    std::lock_guard lock(m_mutex);
    if (m_finished) {
        errno = m_error;
        return m_error == 0;
    }
    m_finished = true;
    if (m_fd < 0) return true;  // never opened: nothing to put in place
    bool ok = flushLocked();
    if (m_direct) {
        if (m_fd != STDOUT_FILENO && ::close(m_fd) != 0 && ok) m_error = errno;
        m_fd = -1;
        errno = m_error;
        return m_error == 0;
    }
    if (ok && m_keepMode >= 0) fchmod(m_fd, static_cast<mode_t>(m_keepMode));
    // The text is on disk before it replaces an earlier report.
    if (ok && fdatasync(m_fd) != 0) m_error = errno;
    if (m_error == 0 && m_namedTemp.empty()) {
        // An unnamed file gets a name beside FILE first.
        const std::string proc = "/proc/self/fd/" + std::to_string(m_fd);
        for (int attempt = 0; attempt < 100 && m_namedTemp.empty(); ++attempt) {
            std::string temp = engine::inflight::temporaryName(folderOf(m_target));
            if (linkat(m_fd, "", AT_FDCWD, temp.c_str(), AT_EMPTY_PATH) == 0 ||
                linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                m_namedTemp = temp;
            } else if (errno != EEXIST) {
                m_error = errno;
                break;
            }
        }
    }
    if (m_error == 0 && ::close(std::exchange(m_fd, -1)) != 0) m_error = errno;
    if (m_error == 0 && ::rename(m_namedTemp.c_str(), m_target.c_str()) != 0) m_error = errno;
    if (m_error == 0) m_namedTemp.clear();
    abandonLocked();
    errno = m_error;
    return m_error == 0;
}

void ReportWriter::abandon() {
    std::lock_guard lock(m_mutex);
    m_finished = true;
    abandonLocked();
}

void ReportWriter::abandonLocked() {
    if (m_fd >= 0 && m_fd != STDOUT_FILENO) ::close(m_fd);
    m_fd = -1;
    if (!m_namedTemp.empty()) ::unlink(m_namedTemp.c_str());
    m_namedTemp.clear();
    m_buffer.clear();
}

}  // namespace mv::cli
