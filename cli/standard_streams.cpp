#include "cli/standard_streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "cli/signals.h"
#include "report/failure.h"

namespace mv::cli {

namespace {

std::string temporaryFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + report::systemErrorText(errno));
}

// Copies everything from one descriptor to another; false on a failed write.
bool pump(int from, int to, const char* readWhat, const char* writeWhat) {
    char buffer[1 << 16];
    while (true) {
        ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(readWhat);
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(to, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                if (errno == EPIPE) leaveOnBrokenPipe();  // the reader went away
                fail(writeWhat);
            }
            done += w;
        }
    }
}

}  // namespace

StreamedSource::StreamedSource() {
    const std::string tmp = temporaryFolder();
    std::string folder = tmp + "/marrowvale-stdout-XXXXXX";
    m_removeOnSignal.emplace([this] { removeFolder(); },
                             [&] {
                                 if (mkdtemp(folder.data()) != nullptr) m_folder = folder;
                             });
    if (m_folder.empty()) fail("cannot create a temporary folder in " + tmp);
    try {
        spool(tmp);
    } catch (...) {
        m_removeOnSignal.reset();
        removeFolder();
        if (m_fd >= 0) ::close(m_fd);
        throw;
    }
}

void StreamedSource::spool(const std::string& tmp) {
    m_fd = ::open(tmp.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    m_source = "/proc/self/fd/" + std::to_string(m_fd);
    if (m_fd < 0 || ::access(m_source.c_str(), R_OK) != 0) {
        // No unnamed files there, or no /proc to reopen one by: a named file
        // in the private folder, removed with it.
        if (m_fd >= 0) ::close(m_fd);
        m_source = m_folder + "/-";
        m_fd = ::open(m_source.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
        if (m_fd < 0) fail("cannot create a temporary file in " + m_folder);
    }
    pump(STDIN_FILENO, m_fd, "cannot read standard input", "cannot spool standard input");
}

StreamedSource::~StreamedSource() {
    m_removeOnSignal.reset();
    removeFolder();
    if (m_fd >= 0) ::close(m_fd);
}

void StreamedSource::removeFolder() const noexcept {
    if (m_folder.empty()) return;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder, ignored))
        std::filesystem::remove(entry.path(), ignored);
    std::filesystem::remove(m_folder, ignored);
}

void StreamedSource::copyOut(const std::string& path) const {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;  // no result: the reports say why
    try {
        pump(fd, STDOUT_FILENO, "cannot read the result", "cannot write to standard output");
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
}

}  // namespace mv::cli
