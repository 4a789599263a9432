#include "engine/text_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <optional>
#include <utility>

#include "engine/codepage.h"
#include "engine/folder_walk.h"
#include "engine/in_flight.h"
#include "engine/link_rules.h"
#include "report/failure.h"

namespace mv::engine {

using report::Failure;
using report::FailureKind;
using report::systemFailure;

namespace {

constexpr std::size_t kWriteBlock = 1 << 18;   // bytes gathered per write
constexpr std::size_t kWriteDirect = 1 << 14;  // a piece written without gathering
// A large result starts going to the disk every this many bytes while it is
// still being written, so the sync at the end of the run finds little left.
constexpr off_t kWriteOutStep = off_t{8} << 20;

// What a result needs to know of its folder: the longest name it takes and
// its file system. Results of a run go to one folder or a few, so each worker
// keeps the facts of the folder it wrote to last instead of asking per file.
struct FolderFacts {
    std::string folder;
    long nameMax = -1;
    dev_t device = 0;
    bool ordersRenames = false;
    std::shared_ptr<const FolderHandle> handle;
};

// Whether the file system writes a file's data before a rename over an
// earlier file becomes durable. ext4 does (unless mounted noauto_da_alloc or
// data=writeback), and so does btrfs; tmpfs keeps nothing over a crash. On
// any other (XFS, NFS, ...) a crash could leave the name pointing at an empty
// file, and the earlier result lost with it.
bool ordersRenames(int folderFd, dev_t device) {
    constexpr long kExt4 = 0xEF53, kBtrfs = 0x9123683E, kTmpfs = 0x01021994;
    struct statfs fs {};
    if (fstatfs(folderFd, &fs) != 0) return false;
    if (fs.f_type == kBtrfs || fs.f_type == kTmpfs) return true;
    if (fs.f_type != kExt4) return false;
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string id = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    for (std::string line; std::getline(mounts, line);) {
        std::size_t at = line.find(' ', line.find(' ') + 1);
        if (at == std::string::npos || line.compare(at + 1, id.size() + 1, id + " ") != 0) continue;
        return line.find("noauto_da_alloc") == std::string::npos &&
               line.find("data=writeback") == std::string::npos;
    }
    return false;
}

thread_local FolderFacts t_lastFolder;
thread_local unsigned t_lastFolderEpoch = 0;
std::atomic<unsigned> g_folderFactsEpoch{0};

const FolderFacts* factsOf(const std::string& folder, const std::string& shown) {
    const unsigned epoch = g_folderFactsEpoch.load(std::memory_order_relaxed);
    if (t_lastFolderEpoch == epoch && !t_lastFolder.folder.empty() &&
        t_lastFolder.folder == folder) {
        return &t_lastFolder;
    }
    t_lastFolder = {};
    // Throws when a name on the way is missing or a link the rule refuses.
    auto handle = openFolder(folder, shown);
    struct stat st {};
    if (fstat(handle->fd(), &st) != 0) throw systemFailure(errno, shown);
    t_lastFolder = {folder, pathconf(folder.c_str(), _PC_NAME_MAX), st.st_dev,
                    ordersRenames(handle->fd(), st.st_dev), std::move(handle)};
    t_lastFolderEpoch = epoch;
    return &t_lastFolder;
}

void forgetFacts() {
    t_lastFolder = {};
}

}  // namespace

void forgetFolderFacts() {
    g_folderFactsEpoch.fetch_add(1, std::memory_order_relaxed);
}

TextWriter::TextWriter(TextWriter&& other) noexcept {
    *this = std::move(other);
}

TextWriter& TextWriter::operator=(TextWriter&& other) noexcept {
    if (this != &other) {
        discard();
        m_fd = std::exchange(other.m_fd, -1);
        m_target = std::move(other.m_target);
        m_folder = std::move(other.m_folder);
        m_folderHandle = std::move(other.m_folderHandle);
        m_device = other.m_device;
        m_ordersRenames = other.m_ordersRenames;
        m_keepForSync = other.m_keepForSync;
        if (m_syncFd >= 0) ::close(m_syncFd);
        m_syncFd = std::exchange(other.m_syncFd, -1);
        m_namedTemp = std::move(other.m_namedTemp);
        other.m_namedTemp.clear();
        m_buffer = std::move(other.m_buffer);
        m_written = std::exchange(other.m_written, 0);
        m_writtenOut = std::exchange(other.m_writtenOut, 0);
        m_keepMode = other.m_keepMode;
        m_keepOwner = other.m_keepOwner;
        m_abandonedBecause = std::move(other.m_abandonedBecause);
        other.m_abandonedBecause.clear();
    }
    return *this;
}

TextWriter::~TextWriter() {
    discard();
    if (m_syncFd >= 0) ::close(m_syncFd);
}

int TextWriter::releaseSyncDescriptor() {
    return std::exchange(m_syncFd, -1);
}

void TextWriter::discard() noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_namedTemp.empty()) inflight::remove(m_namedTemp);
    m_namedTemp.clear();
    m_buffer.clear();
}

void TextWriter::Abandon(const std::string& reason) noexcept {
    if (m_fd < 0) return;
    discard();
    if (!reason.empty()) m_abandonedBecause = reason;
}

TextWriter TextWriter::create(const std::string& nativePath, bool seenFree) {
    TextWriter writer;
    std::optional<struct stat> found;
    writer.m_target = seenFree ? nativePath : resolvedTarget(nativePath, found);
    const std::string& target = writer.m_target;
    if (found) {
        const struct stat& st = *found;
        if (S_ISDIR(st.st_mode)) throw Failure(FailureKind::PathFileAccessError, nativePath);
        // A device or pipe at the result's place is never replaced by a file.
        if (!S_ISREG(st.st_mode)) throw Failure(FailureKind::NotARegularFile, nativePath);
        if (access(target.c_str(), W_OK) != 0) throw systemFailure(errno, nativePath);
        // Only the permission bits carry over: a set-user-ID, set-group-ID or
        // sticky bit on an earlier result must not arm the new text.
        writer.m_keepMode = static_cast<int>(st.st_mode & 0777);
        writer.m_keepOwner = {st.st_uid, st.st_gid};
    }
    std::string folder = folderOf(target);
    writer.m_folder = folder;
    // The name is only used when the file is complete; refuse it now if the
    // folder could never hold it.
    const FolderFacts* facts = factsOf(folder, nativePath);
    writer.m_folderHandle = facts->handle;
    writer.m_device = facts->device;
    writer.m_ordersRenames = facts->ordersRenames;
    const int dir = facts->handle->fd();
    long nameMax = facts->nameMax;
    std::size_t nameLength = target.size() - target.find_last_of('/') - 1;
    auto tooLong = [&] { return nameMax > 0 && nameLength > static_cast<std::size_t>(nameMax); };
    if (tooLong()) {
        // A refusal rests on the folder as it is now, not as it was.
        forgetFacts();
        nameMax = fpathconf(dir, _PC_NAME_MAX);
    }
    if (tooLong()) throw systemFailure(ENAMETOOLONG, nativePath);
    int fd = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EINVAL || errno == EISDIR)) {
        // No unnamed files here (NFS, most FUSE mounts): a named one, which a
        // signal's clean-up can find.
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            std::string temp = inflight::temporaryName(folder);
            inflight::create(temp, [&] {
                fd = ::openat(dir, nameOf(temp).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              0666);
                return fd >= 0;
            });
            if (fd >= 0) writer.m_namedTemp = temp;
            if (fd < 0 && errno != EEXIST) break;
        }
    }
    if (fd < 0) {
        int error = errno;
        forgetFacts();
        throw systemFailure(error, nativePath);
    }
    writer.m_fd = fd;
    writer.m_buffer.reserve(kWriteBlock);
    return writer;
}

void TextWriter::flush(std::string_view more) {
    const std::size_t total = m_buffer.size() + more.size();
    for (std::string_view piece : {std::string_view(m_buffer), more}) {
        std::size_t done = 0;
        while (done < piece.size()) {
            ssize_t n = ::write(m_fd, piece.data() + done, piece.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                // Text that did not reach the file leaves a hole in it: the
                // result is abandoned, never published with the hole.
                int error = errno;
                Abandon("a write failed");
                throw systemFailure(error, m_target + " (the result is not written)");
            }
            done += static_cast<std::size_t>(n);
        }
    }
    m_written += static_cast<off_t>(total);
    m_buffer.clear();
    if (m_written - m_writtenOut >= kWriteOutStep) {
        // Only starts the write-out and does not wait for it; a failure
        // here is found again by the sync at the end, which reports it.
        ::sync_file_range(m_fd, m_writtenOut, m_written - m_writtenOut, SYNC_FILE_RANGE_WRITE);
        m_writtenOut = m_written;
    }
}

void TextWriter::Write(std::u16string_view text) {
    if (m_fd < 0) throw Failure(FailureKind::ObjectNotSet);
    encodeAnsi(text, m_buffer);
    if (m_buffer.size() >= kWriteBlock) flush();
}

void TextWriter::WriteBytes(std::string_view bytes) {
    if (m_fd < 0) throw Failure(FailureKind::ObjectNotSet);
    // A large piece goes to the file as it is, after what is gathered, rather
    // than being copied into the buffer first.
    if (bytes.size() >= kWriteDirect) {
        flush(bytes);
        return;
    }
    m_buffer.append(bytes);
    if (m_buffer.size() >= kWriteBlock) flush();
}

void TextWriter::Close() {
    if (abandoned()) {
        throw Failure(FailureKind::NotWritten, m_target + " (" + m_abandonedBecause +
                                                   "; an earlier result stays as it was)");
    }
    if (m_fd < 0) throw Failure(FailureKind::ObjectNotSet);
    // Whatever fails below, the temporary file goes and the target stays as it was.
    struct DiscardOnExit {
        TextWriter& writer;
        ~DiscardOnExit() { writer.discard(); }
    } guard{*this};
    flush();
    if (m_keepMode >= 0) {
        // A replaced result keeps its mode and, where we may set it, its owner.
        fchmod(m_fd, static_cast<mode_t>(m_keepMode));
        if (m_keepOwner.first != geteuid() || m_keepOwner.second != getegid()) {
            [[maybe_unused]] int ignored = fchown(m_fd, m_keepOwner.first, m_keepOwner.second);
        }
    }
    if (m_namedTemp.empty()) {
        // A new result is linked in under its own name at once: it appears
        // complete, and the folder changes once instead of three times.
        if (m_keepMode < 0 && inflight::publish([&] { return linkTo(m_target); })) {
            // The descriptor itself is kept for the sync at the end: it tells
            // a failed write-back of this text, and only of it; its close
            // there tells what a file system tells only at the close.
            if (m_keepForSync) {
                m_syncFd = std::exchange(m_fd, -1);
                return;
            }
            // A file system that reports a failed write only at the close
            // (none that has unnamed files does) loses the new result again.
            if (int error = closeDescriptor()) {
                ::unlinkat(folderFd(), nameOf(m_target).c_str(), 0);
                throw notWritten(error);
            }
            return;
        }
        m_namedTemp = linkUnnamed();
    }
    // The text is on disk before it takes an earlier result's name, where the
    // file system does not see to that order itself.
    if (m_keepMode >= 0 && !m_ordersRenames && ::fdatasync(m_fd) != 0 && errno != EINVAL) {
        throw notWritten(errno);
    }
    // A descriptor of the same open file, for the sync at the end.
    struct Kept {
        int fd;
        ~Kept() {
            if (fd >= 0) ::close(fd);
        }
    } kept{m_keepForSync ? fcntl(m_fd, F_DUPFD_CLOEXEC, 0) : -1};
    // The last word of the file system on the text comes before it is published.
    if (int error = closeDescriptor()) throw notWritten(error);
    if (int error = inflight::renameOver(folderFd(), m_namedTemp, m_target)) {
        throw notWritten(error);
    }
    m_namedTemp.clear();
    m_syncFd = std::exchange(kept.fd, -1);
}

int TextWriter::closeDescriptor() {
    int fd = std::exchange(m_fd, -1);
    return ::close(fd) != 0 && errno != EINTR ? errno : 0;
}

Failure TextWriter::notWritten(int error) const {
    return Failure(FailureKind::NotWritten, m_target + " (" + report::systemErrorText(error) +
                                                "; an earlier result stays as it was)");
}

// Links the unnamed temporary file in under `name`; false when the name is
// taken. Without the privilege for AT_EMPTY_PATH, the link goes through /proc.
bool TextWriter::linkTo(const std::string& name) {
    const std::string own = nameOf(name);
    if (linkat(m_fd, "", folderFd(), own.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
    std::string procPath = "/proc/self/fd/" + std::to_string(m_fd);
    if (linkat(AT_FDCWD, procPath.c_str(), folderFd(), own.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    if (errno == EEXIST) return false;
    throw systemFailure(errno, m_target);
}

// Gives the unnamed temporary file a free name beside the target.
std::string TextWriter::linkUnnamed() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = inflight::temporaryName(m_folder);
        if (inflight::create(temp, [&] { return linkTo(temp); })) return temp;
    }
    throw Failure(FailureKind::PathFileAccessError, m_target);
}

bool TextWriter::targetExists() const {
    struct stat st {};
    if (m_target.empty()) return false;
    if (!m_folderHandle) return stat(m_target.c_str(), &st) == 0;
    return fstatat(folderFd(), nameOf(m_target).c_str(), &st, 0) == 0;
}

int TextWriter::folderFd() const {
    return m_folderHandle ? m_folderHandle->fd() : AT_FDCWD;
}

}  // namespace mv::engine
