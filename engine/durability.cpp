#include "engine/durability.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <utility>

#include "engine/file_system.h"

namespace mv::engine {

namespace {
// How often results written so far are pushed out while a run goes on. A
// sync costs about as long as the data that came since the one before takes
// to store, and the sync at the end waits for all that came since the last
// one began: 50 ms keeps that short (10,000 small files on disk: 0.55 s
// with 200 ms, 0.50 s with 50 ms; a journaled ext4 gains as much).
constexpr auto kWriteBackPeriod = std::chrono::milliseconds(50);
// The write-out syncs whole file systems, other processes' data included,
// which a run of few results, each synced alone at the end, never waits on:
// it begins once the run has published more results than may be synced
// alone, or a large result is begun, or a result comes this long after the
// run's first. Its thread starts only then: a run of one small file, as a
// script converting file by file makes, starts no thread for it.
constexpr auto kWriteBackDelay = std::chrono::milliseconds(1000);
// A result this large is written out as it is made anyway; syncing while it
// is written lets the disk's cache take it step by step instead of all at
// the end, and the small results beside it go along.
constexpr std::int64_t kLargeResultBytes = std::int64_t{32} << 20;
// The pause between syncs while a large result is written. A sync waits for
// the disk's cache to store what came since the one before (a virtual disk
// here stores 1.5 GB/s and only at a sync), so the sync at the end waits for
// everything written since the last one began: back to back, that is what
// the last sync's own time let in, not 200 ms more of output.
constexpr auto kLargeWriteBackPause = std::chrono::milliseconds(10);
// Up to this many results a run may sync each on its own. One sync of the
// file system costs about 20 ms with little data waiting, plus the time to
// write what waits (1 GB took about 0.9 s here); a sync per result about 8 ms
// each. So a sync per file pays for a few results always, and for up to a
// hundred or so while a GB of other data waits (bench/sync_cost.sh).
constexpr std::size_t kMostSyncedAlone = 256;
constexpr std::size_t kAlwaysSyncedAlone = 4;
constexpr double kSyncPerFileMs = 8;
constexpr double kSyncWholeMs = 20;
constexpr double kWaitingMsPerMiB = 0.9;

// Descriptors reserved at the start: the kept ones and room for the open ones.
constexpr int kReservedDescriptors = static_cast<int>(kMostSyncedAlone) + 256;

// Data of every process that waits to be written, in MiB.
double waitingMiB() {
    std::ifstream meminfo("/proc/meminfo");
    double kib = 0;
    std::string key;
    for (double value; meminfo >> key >> value;) {
        if (key == "Dirty:" || key == "Writeback:") kib += value;
        meminfo.ignore(64, '\n');
    }
    return kib / 1024;
}

bool syncEachAlone(std::size_t results) {
    if (results <= kAlwaysSyncedAlone) return true;
    return static_cast<double>(results) * kSyncPerFileMs <
           kSyncWholeMs + waitingMiB() * kWaitingMsPerMiB;
}

std::string parentOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Closes a result's kept descriptor. It may be the one its text was written
// through, so a file system that tells a failed write only at the close
// tells it here: the errno value, or 0.
int closeKept(int& fd) {
    if (fd < 0) return 0;
    return ::close(std::exchange(fd, -1)) != 0 && errno != EINTR ? errno : 0;
}

// The errno value of a failed fsync of the folder, or 0.
int syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    // A folder that takes no fsync (some FUSE mounts) has nothing more to give.
    return error == EINVAL || error == EROFS ? 0 : error;
}
}  // namespace

void reserveDescriptors() {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    int top = kReservedDescriptors - 1;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= static_cast<rlim_t>(top)) {
        top = static_cast<int>(limit.rlim_cur) - 1;
    }
    const int any = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (any < 0) return;
    // The table grows to hold the highest descriptor; closing it keeps the room.
    const int high = fcntl(any, F_DUPFD_CLOEXEC, top);
    if (high >= 0) ::close(high);
    ::close(any);
}

SyncLedger::SyncLedger() {
    forgetFolderFacts();
}

SyncLedger::~SyncLedger() {
    stopWriteBack();
    for (auto& [device, handle] : m_handles) {
        if (handle.fd >= 0) ::close(handle.fd);
    }
    for (auto& pending : m_pending) {
        if (pending.fd >= 0) ::close(pending.fd);
    }
}

bool SyncLedger::note(dev_t device, const std::string& folder, std::int64_t expectedBytes) {
    std::lock_guard guard(m_mutex);
    const bool large = expectedBytes >= kLargeResultBytes;
    if (large) {
        m_writeBackNow = true;
        if (m_largeWriting++ == 0) m_wake.notify_all();
    }
    auto [it, fresh] = m_handles.try_emplace(device);
    if (fresh) {
        it->second.folder = folder;
        it->second.fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (it->second.fd < 0) it->second.openError = errno;
    }
    writeBackWhenDueLocked();
    return large;
}

void SyncLedger::writeBackWhenDueLocked() {
    if (m_writeBack.joinable()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!m_runBegan) m_runBegan = now;
    if (now - *m_runBegan >= kWriteBackDelay) m_writeBackNow = true;
    // Results go on being written out while the run converts, so that the
    // sync at the end has little left to wait for.
    if (m_writeBackNow) m_writeBack = std::thread([this] { writeBackLoop(); });
}

void SyncLedger::largeEnded() {
    std::lock_guard guard(m_mutex);
    if (m_largeWriting > 0) --m_largeWriting;
}

bool SyncLedger::wantsDescriptor() const {
    std::lock_guard guard(m_mutex);
    return m_descriptors < kMostSyncedAlone;
}

void SyncLedger::published(dev_t device, const std::string& folder, const std::string& result,
                           const std::string& source, int fd) {
    std::lock_guard guard(m_mutex);
    if (fd >= 0) ++m_descriptors;
    m_pending.push_back({++m_serial, device, folder, result, source, fd, fd >= 0});
    if (++m_publishedInRun > kMostSyncedAlone) m_writeBackNow = true;
    writeBackWhenDueLocked();
}

void SyncLedger::noteMadeFolders(const std::vector<std::string>& made) {
    std::lock_guard guard(m_mutex);
    for (const auto& folder : made) m_madeParents.insert(parentOf(folder));
}

void SyncLedger::loseLocked(Pending& pending, int error) {
    if (pending.fd >= 0) ::close(std::exchange(pending.fd, -1));
    pending.lost = true;
    m_lost.push_back({pending.result, pending.source,
                      report::systemFailure(error, pending.result + " (may not be on disk)")});
}

void SyncLedger::settleLocked(dev_t device, std::uint64_t serial, int error) {
    auto settled = [&](Pending& pending) {
        if (pending.device != device || pending.serial > serial) return false;
        if (error == 0) {
            // A clean sync after a failed one does not undo the failure.
            if (pending.backgroundError != 0) return false;
            if (int closeError = closeKept(pending.fd)) failResultLocked(pending, closeError);
            return true;
        }
        // A result with a descriptor of its own is judged by its own sync:
        // the error may be another process's.
        if (pending.own) {
            pending.backgroundError = error;
            return false;
        }
        loseLocked(pending, error);
        if (!m_firstFailure) {
            m_firstFailure = report::systemFailure(error, m_handles[device].folder);
        }
        return true;
    };
    std::erase_if(m_pending, settled);
}

void SyncLedger::writeBackLoop() {
    std::unique_lock lock(m_mutex);
    while (true) {
        const bool large = m_largeWriting > 0;
        // A large result begun meanwhile cuts the pause short.
        if (m_wake.wait_for(lock, large ? kLargeWriteBackPause : kWriteBackPeriod,
                            [&] { return m_stopping || (!large && m_largeWriting > 0); }) &&
            m_stopping)
            return;
        std::vector<std::pair<dev_t, int>> fds;
        for (const auto& [device, handle] : m_handles) {
            if (handle.fd >= 0) fds.emplace_back(device, handle.fd);
        }
        const std::uint64_t serial = m_serial;
        lock.unlock();
        std::vector<int> errors;
        errors.reserve(fds.size());
        for (const auto& [device, fd] : fds) errors.push_back(::syncfs(fd) == 0 ? 0 : errno);
        lock.lock();
        // The kernel tells an error once: it is kept for the end, and no later
        // clean sync clears it.
        for (std::size_t i = 0; i < fds.size(); ++i) {
            int& kept = m_handles[fds[i].first].backgroundError;
            if (kept == 0) kept = errors[i];
            settleLocked(fds[i].first, serial, kept);
        }
    }
}

void SyncLedger::stopWriteBack() {
    {
        std::lock_guard guard(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_writeBack.joinable()) m_writeBack.join();
    std::lock_guard guard(m_mutex);
    m_stopping = false;
    m_writeBackNow = false;
    m_publishedInRun = 0;
    m_runBegan.reset();
}

void SyncLedger::failLocked(int error, const std::string& about) {
    if (!m_firstFailure) m_firstFailure = report::systemFailure(error, about);
}

void SyncLedger::failResultLocked(Pending& pending, int error) {
    failLocked(error, pending.result);
    loseLocked(pending, error);
}

void SyncLedger::leaveOwnSyncsLocked(std::vector<Pending>& pending) {
    std::size_t own = 0;
    for (const auto& p : pending) own += p.own ? 1 : 0;
    if (own == 0 || syncEachAlone(own)) return;
    // One sync of each file system costs less: a failure that its
    // background sync saw already is not told again.
    for (auto& p : pending) {
        if (!p.own) continue;
        p.own = false;
        const int closeError = closeKept(p.fd);
        if (int error = p.backgroundError != 0 ? p.backgroundError : closeError) {
            failResultLocked(p, error);
        }
    }
}

void SyncLedger::syncOwnResultsLocked(std::vector<Pending>& pending,
                                      std::set<std::string>& folders) {
    // Each kept result starts its write-out first, so that their syncs below
    // overlap instead of waiting one after the other.
    for (const auto& p : pending) {
        if (p.own) ::sync_file_range(p.fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    for (auto& p : pending) {
        if (p.lost || !p.own) continue;
        if (::fdatasync(p.fd) != 0) {
            failResultLocked(p, errno);
            continue;
        }
        folders.insert(p.folder);
    }
}

void SyncLedger::syncFoldersLocked(const std::set<std::string>& folders,
                                   std::vector<Pending>& pending) {
    // The names of new results and folders are in their folders' entries.
    for (const auto& folder : folders) {
        int error = syncFolder(folder);
        if (error == 0) continue;
        failLocked(error, folder);
        for (auto& p : pending) {
            if (p.own && !p.lost && p.folder == folder) loseLocked(p, error);
        }
    }
}

void SyncLedger::syncFileSystemsLocked(const std::set<dev_t>& wholeSystems,
                                       std::vector<Pending>& pending) {
    for (auto& [device, handle] : m_handles) {
        int error = handle.openError;
        const bool whole = wholeSystems.count(device) != 0;
        if (whole && handle.fd >= 0 && ::syncfs(handle.fd) != 0) error = errno;
        if (error == 0) error = handle.backgroundError;
        if (handle.fd >= 0) ::close(handle.fd);
        if (error == 0 || !whole) continue;
        failLocked(error, handle.folder);
        for (auto& p : pending) {
            if (!p.own && !p.lost && p.device == device) loseLocked(p, error);
        }
    }
    m_handles.clear();
}

void SyncLedger::syncAll() {
    stopWriteBack();
    std::lock_guard guard(m_mutex);
    std::vector<Pending> pending;
    pending.swap(m_pending);
    m_descriptors = 0;
    leaveOwnSyncsLocked(pending);
    std::set<dev_t> wholeSystems;
    for (const auto& p : pending) {
        if (!p.own && !p.lost) wholeSystems.insert(p.device);
    }
    // The sync of a whole file system takes the folders made there along.
    std::set<std::string> folders;
    if (wholeSystems.empty()) folders = std::move(m_madeParents);
    m_madeParents.clear();
    syncOwnResultsLocked(pending, folders);
    syncFoldersLocked(folders, pending);
    syncFileSystemsLocked(wholeSystems, pending);
    for (auto& p : pending) {
        int error = closeKept(p.fd);
        if (error != 0 && !p.lost) failResultLocked(p, error);
    }
    if (m_firstFailure) throw *std::exchange(m_firstFailure, std::nullopt);
}

std::vector<SyncLedger::Lost> SyncLedger::takeLost() {
    std::lock_guard guard(m_mutex);
    return std::exchange(m_lost, {});
}

}  // namespace mv::engine
