#include "engine/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <utility>

#include "engine/codepage.h"
#include "engine/folder_walk.h"
#include "engine/in_flight.h"
#include "engine/native_text.h"
#include "engine/scan.h"
#include "engine/text.h"
#include "report/failure.h"

namespace mv::engine {

using report::Failure;
using report::FailureKind;
using report::systemFailure;

namespace {

constexpr std::size_t kReadBlock = 1 << 16;        // characters decoded per read
constexpr std::size_t kWriteBlock = 1 << 18;       // bytes gathered per write
constexpr off_t kSequentialFrom = off_t{1} << 20;  // sources read with more read-ahead
// A large result starts going to the disk every this many bytes while it is
// still being written, so the sync at the end of the run finds little left.
constexpr off_t kWriteOutStep = off_t{8} << 20;

[[noreturn]] void throwNotSet() {
    throw Failure(FailureKind::ObjectNotSet);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The kernel's protected-symlinks rule: a link in a sticky, world-writable
// folder is followed only when it belongs to us or to the folder's owner.
// Another user's link there could point a result at any file we may write.
void requireFollowable(const std::string& link, const struct stat& linkStat) {
    struct stat folder {};
    if (stat(folderOf(link).c_str(), &folder) != 0) return;
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    if (shared && linkStat.st_uid != geteuid() && linkStat.st_uid != folder.st_uid) {
        throw Failure(FailureKind::PermissionDenied,
                      link + " (a link another user placed in a shared folder)");
    }
}

// Follows a symbolic link at the target, so that the link stays and its file
// gets the result, as an editor's save does. Sets `found` to what stands at
// the returned path, if anything: the last lstat has told it already unless a
// link is left unfollowed.
std::string resolvedTarget(const std::string& path, std::optional<struct stat>& found) {
    std::string target = path;
    found.reset();
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        // Where lstat fails, so would stat: nothing stands there.
        if (lstat(target.c_str(), &st) != 0) return target;
        if (!S_ISLNK(st.st_mode)) {
            found = st;
            return target;
        }
        char buffer[4096];
        ssize_t n = readlink(target.c_str(), buffer, sizeof buffer);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) break;
        requireFollowable(target, st);
        std::string link(buffer, static_cast<std::size_t>(n));
        target = link.front() == '/' ? link : folderOf(target) + "/" + link;
    }
    struct stat st {};
    if (stat(target.c_str(), &st) == 0) found = st;
    return target;
}

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

std::string writableTarget(const std::string& path) {
    std::optional<struct stat> found;
    return resolvedTarget(path, found);
}

void forgetFolderFacts() {
    g_folderFactsEpoch.fetch_add(1, std::memory_order_relaxed);
}

TextReader::TextReader(TextReader&& other) noexcept {
    *this = std::move(other);
}

TextReader& TextReader::operator=(TextReader&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_format = other.m_format;
        m_path = std::move(other.m_path);
        m_text = std::move(other.m_text);
        m_pos = std::exchange(other.m_pos, 0);
        m_bytes = std::move(other.m_bytes);
        m_carry = std::exchange(other.m_carry, -1);
        m_totalChars = other.m_totalChars;
        m_openSize = other.m_openSize;
        m_openTime = other.m_openTime;
        m_offset = std::exchange(other.m_offset, 0);
        m_rawBytes = other.m_rawBytes;
        m_ended = other.m_ended;
    }
    return *this;
}

TextReader::~TextReader() {
    if (m_fd >= 0) ::close(m_fd);
}

TextReader TextReader::open(const std::string& nativePath, TextFormat format) {
    // O_NONBLOCK keeps the open itself from waiting on a FIFO without a writer.
    int fd = ::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) throw systemFailure(errno, nativePath);
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        int error = errno;
        ::close(fd);
        throw systemFailure(error, nativePath);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (S_ISDIR(st.st_mode))
            throw Failure(FailureKind::FileNotFound, nativePath + " (a folder)");
        throw Failure(FailureKind::NotARegularFile, nativePath);
    }
    TextReader reader;
    reader.m_fd = fd;
    reader.m_format = format;
    reader.m_path = nativePath;
    reader.m_openSize = st.st_size;
    reader.m_openTime = st.st_mtim;
    // A large source is read front to back once: the kernel may read further
    // ahead. A small one is read in one call and is spared the extra one.
    if (st.st_size >= kSequentialFrom) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::int64_t bytes = st.st_size;
    if (format == TextFormat::Utf16) {
        unsigned char bom[2];
        if (pread(fd, bom, 2, 0) == 2 && bom[0] == 0xFF && bom[1] == 0xFE) {
            lseek(fd, 2, SEEK_SET);
            reader.m_offset = 2;
            bytes -= 2;
        }
        reader.m_totalChars = bytes / 2;
    } else {
        reader.m_totalChars = bytes;
    }
    return reader;
}

void TextReader::requireOpen() const {
    if (m_fd < 0) throwNotSet();
}

bool TextReader::fill() {
    m_text.clear();
    m_pos = 0;
    // A byte reading that has met the end does not ask again.
    if (m_rawBytes && m_ended) {
        m_bytes.clear();
        return false;
    }
    std::size_t want = m_format == TextFormat::Utf16 ? kReadBlock * 2 : kReadBlock;
    m_bytes.resize(want);
    std::size_t got = 0;
    while (got < want) {
        ssize_t n = ::read(m_fd, m_bytes.data() + got, want - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            // Nothing of a failed read is handed out later as if it were text.
            int error = errno;
            m_bytes.clear();
            m_pos = 0;
            throw systemFailure(error, m_path);
        }
        if (n == 0) {
            m_ended = true;
            break;
        }
        const bool shortRead = static_cast<std::size_t>(n) < want - got;
        got += static_cast<std::size_t>(n);
        // A short read that brings us to the size the file had when it was
        // opened is its end; asking once more only to hear "nothing" costs a
        // call per small file. A file grown or cut meanwhile is still caught
        // when the reader is closed.
        if (shortRead && m_offset + static_cast<std::int64_t>(got) == m_openSize) {
            m_ended = true;
            break;
        }
    }
    m_offset += static_cast<std::int64_t>(got);
    if (m_rawBytes) {
        m_bytes.resize(got);
        m_pos = 0;
        return got > 0;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_bytes.data());
    if (m_format == TextFormat::Ansi) {
        decodeAnsi(bytes, got, m_text);
    } else {
        // Little-endian pairs; an odd byte waits for its partner in the next read.
        std::size_t i = 0;
        if (m_carry >= 0 && got > 0) {
            m_text += static_cast<char16_t>(m_carry | (bytes[0] << 8));
            m_carry = -1;
            i = 1;
        }
        std::size_t pairs = (got - i) / 2;
        std::size_t at = m_text.size();
        m_text.resize(at + pairs);
        for (std::size_t k = 0; k < pairs; ++k) {
            m_text[at + k] = static_cast<char16_t>(bytes[i + 2 * k] | (bytes[i + 2 * k + 1] << 8));
        }
        i += pairs * 2;
        if (i < got) m_carry = bytes[i];  // dropped if the file ends here
    }
    return !m_text.empty();
}

bool TextReader::AtEndOfStream() {
    requireOpen();
    return m_pos == buffered() && !fill();
}

void TextReader::keepBytes() {
    requireOpen();
    if (m_format != TextFormat::Ansi || !m_text.empty()) {
        throw Failure(FailureKind::InvalidArgument, "bytes from a decoded reading");
    }
    m_rawBytes = true;
}

void TextReader::readBytesInto(std::size_t count, std::string& out) {
    requireOpen();
    if (!m_rawBytes) throw Failure(FailureKind::InvalidArgument, "bytes from a decoded reading");
    if (m_pos == m_bytes.size() && !fill()) {
        out.clear();
        return;
    }
    // A whole block changes hands; the buffer given back is refilled in
    // place, without clearing it first.
    if (m_pos == 0 && m_bytes.size() == count) {
        out.swap(m_bytes);
        m_pos = m_bytes.size();
        return;
    }
    out.clear();
    while (out.size() < count) {
        if (m_pos == m_bytes.size() && !fill()) break;
        std::size_t take = std::min(count - out.size(), m_bytes.size() - m_pos);
        out.append(m_bytes, m_pos, take);
        m_pos += take;
    }
}

void TextReader::readInto(std::size_t count, std::u16string& out) {
    requireOpen();
    out.clear();
    // A whole decoded block that is exactly what was asked for changes hands
    // without a copy.
    if (m_pos == m_text.size() && !fill()) return;
    if (m_pos == 0 && m_text.size() == count) {
        out.swap(m_text);
        m_text.clear();
        return;
    }
    while (out.size() < count) {
        if (m_pos == m_text.size() && !fill()) break;
        std::size_t take = std::min(count - out.size(), m_text.size() - m_pos);
        out.append(m_text, m_pos, take);
        m_pos += take;
    }
}

unsigned TextReader::readLineFinding(std::span<const std::u16string_view> marks,
                                     const std::function<bool(unsigned)>& settled) {
    requireOpen();
    std::size_t longest = 1;
    for (auto mark : marks) longest = std::max(longest, mark.size());
    unsigned found = 0;
    std::u16string window;  // the part of the line still to be searched
    auto search = [&] {
        for (std::size_t i = 0; i < marks.size(); ++i) {
            if (!window.empty() && findFrom(Pos(1), window, marks[i], Case::Ignore).found()) {
                found |= 1u << i;
            }
        }
    };
    while (m_pos < m_text.size() || fill()) {
        // Marks and line breaks are ASCII; a stretch without ASCII holds
        // neither (the usual sight when ANSI text is read as UTF-16).
        std::size_t ascii = scan::ascii(m_text.data(), m_pos, m_text.size());
        if (ascii == scan::kNone) {
            window.clear();
            m_pos = m_text.size();
            continue;
        }
        if (ascii > m_pos) window.clear();
        m_pos = ascii;
        std::size_t brk = findEitherUnit(m_text, m_pos, u'\r', u'\n');
        std::size_t end = brk == std::u16string::npos ? m_text.size() : brk;
        window.append(m_text, m_pos, end - m_pos);
        m_pos = end;
        search();
        if (settled && settled(found)) return found;
        if (brk != std::u16string::npos) {
            char16_t c = m_text[m_pos++];
            if (c == u'\r' && (m_pos < m_text.size() || fill()) && m_text[m_pos] == u'\n') ++m_pos;
            return found;
        }
        // Keep only what a mark could still need across the next block.
        if (window.size() >= longest) window.erase(0, window.size() - (longest - 1));
    }
    return found;
}

bool TextReader::changedSinceOpen() const {
    struct stat st {};
    if (fstat(m_fd, &st) != 0) return true;
    return st.st_size != m_openSize || m_offset != m_openSize ||
           st.st_mtim.tv_sec != m_openTime.tv_sec || st.st_mtim.tv_nsec != m_openTime.tv_nsec;
}

void TextReader::Close() {
    requireOpen();
    // Only a reading that went to the end can tell a whole file from a file
    // cut short or grown under it.
    const bool changed = m_ended && changedSinceOpen();
    ::close(m_fd);
    m_fd = -1;
    if (changed) throw Failure(FailureKind::FileChanged, m_path);
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

TextWriter TextWriter::create(const std::string& nativePath) {
    TextWriter writer;
    std::optional<struct stat> found;
    writer.m_target = resolvedTarget(nativePath, found);
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

void TextWriter::flush() {
    std::size_t done = 0;
    while (done < m_buffer.size()) {
        ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
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
    m_written += static_cast<off_t>(m_buffer.size());
    m_buffer.clear();
    if (m_written - m_writtenOut >= kWriteOutStep) {
        // Only starts the write-out and does not wait for it; a failure
        // here is found again by the sync at the end, which reports it.
        ::sync_file_range(m_fd, m_writtenOut, m_written - m_writtenOut, SYNC_FILE_RANGE_WRITE);
        m_writtenOut = m_written;
    }
}

void TextWriter::Write(std::u16string_view text) {
    if (m_fd < 0) throwNotSet();
    encodeAnsi(text, m_buffer);
    if (m_buffer.size() >= kWriteBlock) flush();
}

void TextWriter::WriteBytes(std::string_view bytes) {
    if (m_fd < 0) throwNotSet();
    m_buffer.append(bytes);
    if (m_buffer.size() >= kWriteBlock) flush();
}

void TextWriter::Close() {
    if (abandoned()) {
        throw Failure(FailureKind::NotWritten, m_target + " (" + m_abandonedBecause +
                                                   "; an earlier result stays as it was)");
    }
    if (m_fd < 0) throwNotSet();
    // Whatever fails below, the temporary file goes and the target stays as it was.
    struct DiscardOnExit {
        TextWriter& writer;
        ~DiscardOnExit() { writer.discard(); }
    } guard{*this};
    flush();
    // A descriptor of the same open file, for the sync at the end: it tells
    // a failed write-back of this text, and only of it.
    struct Kept {
        int fd;
        ~Kept() {
            if (fd >= 0) ::close(fd);
        }
    } kept{m_keepForSync ? fcntl(m_fd, F_DUPFD_CLOEXEC, 0) : -1};
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
            // A file system that reports a failed write only at the close
            // (none that has unnamed files does) loses the new result again.
            if (int error = closeDescriptor()) {
                ::unlinkat(folderFd(), nameOf(m_target).c_str(), 0);
                throw notWritten(error);
            }
            m_syncFd = std::exchange(kept.fd, -1);
            return;
        }
        m_namedTemp = linkUnnamed();
    }
    // The text is on disk before it takes an earlier result's name, where the
    // file system does not see to that order itself.
    if (m_keepMode >= 0 && !m_ordersRenames && ::fdatasync(m_fd) != 0 && errno != EINVAL) {
        throw notWritten(errno);
    }
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
    return Failure(FailureKind::NotWritten,
                   m_target + " (" + std::strerror(error) + "; an earlier result stays as it was)");
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

TextWriter FileSystemObject::OpenTextFile(std::u16string_view path) const {
    std::string native = toNative(path);
    if (native.empty()) throw Failure(FailureKind::BadFileName);
    return TextWriter::create(native);
}

const File& required(const std::optional<File>& file) {
    if (!file) throwNotSet();
    return *file;
}

}  // namespace mv::engine
