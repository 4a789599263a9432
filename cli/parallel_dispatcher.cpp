#include "cli/parallel_dispatcher.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "engine/native_text.h"

namespace mv::cli {

namespace {

PathKey mixed(std::uint64_t a, std::uint64_t b) {
    std::uint64_t x = a ^ (b + 0x9E3779B97F4A7C15ULL + (a << 6) + (a >> 2));
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

PathKey hashOf(std::string_view text, std::uint64_t seed) {
    std::uint64_t h = 0xCBF29CE484222325ULL ^ seed;
    for (unsigned char c : text) h = (h ^ c) * 0x100000001B3ULL;
    return mixed(h, text.size());
}

// The kinds of key, so that a file's identity and a place meet only by chance.
constexpr std::uint64_t kIdentity = 1;
constexpr std::uint64_t kPlace = 2;
constexpr std::uint64_t kWholePath = 3;
constexpr std::uint64_t kFolder = 4;
constexpr std::uint64_t kName = 5;

PathKey identityKey(dev_t device, ino_t inode) {
    return mixed(mixed(kIdentity, static_cast<std::uint64_t>(device)),
                 static_cast<std::uint64_t>(inode));
}

std::pair<std::string_view, std::string_view> folderAndName(std::string_view path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string_view::npos) return {".", path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

}  // namespace

// A list's files lie in few folders: each folder is looked up once a run.
bool FolderKeys::keyOf(std::string_view folder, PathKey& key) {
    if (!m_last.empty() && folder == m_last) {
        key = m_lastKey;
        return true;
    }
    std::string name(folder);
    auto found = m_keys.find(name);
    if (found == m_keys.end()) {
        struct stat st {};
        // A folder that is not there is looked for again: it may be made meanwhile.
        if (stat(name.c_str(), &st) != 0) return false;
        if (m_keys.size() >= kMostFolders) m_keys.clear();
        const PathKey made =
            mixed(mixed(kFolder, static_cast<std::uint64_t>(st.st_dev)), st.st_ino);
        found = m_keys.emplace(name, made).first;
    }
    m_last = std::move(name);
    m_lastKey = key = found->second;
    return true;
}

namespace {

// At most three slots in four used, so that looks stay short.
bool roomFor(std::size_t keys, std::size_t slots) {
    return 4 * keys <= 3 * slots;
}

std::size_t slotsFor(std::size_t keys) {
    std::size_t size = 16;
    while (!roomFor(keys, size)) size *= 2;
    return size;
}

}  // namespace

LastUsers::LastUsers(std::size_t expected) : m_firstSize(slotsFor(expected)) {}

std::int64_t LastUsers::exchange(PathKey key, std::int64_t task) {
    if (!roomFor(m_used + 1, m_slots.size())) grow();
    const std::size_t mask = m_slots.size() - 1;
    for (auto i = static_cast<std::size_t>(key) & mask;; i = (i + 1) & mask) {
        Slot& slot = m_slots[i];
        if (slot.task == 0) {
            slot = {key, task};
            ++m_used;
            return 0;
        }
        if (slot.key == key) return std::exchange(slot.task, task);
    }
}

void LastUsers::grow() {
    // Made at the first key rather than with the dispatcher: its pages are
    // touched while the workers convert, not before they start.
    std::vector<Slot> old(m_slots.empty() ? m_firstSize : 2 * m_slots.size());
    old.swap(m_slots);
    m_used = 0;
    for (const Slot& slot : old) {
        if (slot.task != 0) exchange(slot.key, slot.task);
    }
}

void LastUsers::clear() {
    if (m_used == 0) return;
    std::fill(m_slots.begin(), m_slots.end(), Slot{});
    m_used = 0;
}

namespace {

// The names one file goes by, so that every spelling of it meets: the file
// itself by device and inode when it exists (links and hard links to it
// meet there), and the folder it lies in by device and inode plus its name,
// after following symbolic links (a result that does not exist yet meets the
// source that names it). What the listing saw of a source, or a result
// folder's listing that lacks the name, spares the look at it; true when
// the listing did.
bool addPathKeys(const std::u16string& path, FolderKeys& folders, const SeenFile& seen,
                 FolderListings* listings, std::vector<PathKey>& keys) {
    if (path.empty()) return false;
    std::string native = engine::toNative(path);
    struct stat st {};
    bool found = false;
    bool isLink = false;
    bool look = true;
    if (seen.plain) {
        found = true;
        look = false;
        st.st_dev = static_cast<dev_t>(seen.device);
        st.st_ino = static_cast<ino_t>(seen.inode);
    } else if (listings != nullptr) {
        look = listings->mayHold(native);
    }
    if (look) {
        // Only a link needs a second look and its target read; a name that
        // is not there has neither.
        found = lstat(native.c_str(), &st) == 0;
        isLink = found && S_ISLNK(st.st_mode);
        if (isLink && stat(native.c_str(), &st) != 0) found = false;
    }
    if (found) keys.push_back(identityKey(st.st_dev, st.st_ino));
    for (int hops = 0; isLink && hops < 40; ++hops) {
        char link[4096];
        ssize_t n = readlink(native.c_str(), link, sizeof link);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof link) break;
        std::string target(link, static_cast<std::size_t>(n));
        auto slash = native.find_last_of('/');
        if (target.front() == '/' || slash == std::string::npos) {
            native = std::move(target);
        } else {
            native.resize(slash + 1);  // a relative link goes on from the link's folder
            native += target;
        }
    }
    const auto [folder, name] = folderAndName(native);
    PathKey folderKey = 0;
    if (folders.keyOf(folder, folderKey)) {
        keys.push_back(mixed(mixed(kPlace, folderKey), hashOf(name, kName)));
    } else {
        keys.push_back(hashOf(native, kWholePath));
    }
    return listings != nullptr && !look;
}

// Tasks a worker takes at once while many are ready: fewer trips to the
// shared lock, and fewer wake-ups, per file.
constexpr std::size_t kMostAtOnce = 8;
// Files ready per worker before the submitter wakes idle workers.
constexpr std::size_t kWakeFor = 2;
// Room for three keys each of a run of 4,096 files (a source's identity
// and place, a new result's place): growing holds the lock for a while.
constexpr std::size_t kKeysReserved = 12288;

}  // namespace

ParallelDispatcher::ParallelDispatcher(unsigned jobs, FileLedger& reports)
    : m_reports(reports),
      m_jobs(std::max(1u, jobs)),
      m_cores(m_jobs),
      m_lastUser(kKeysReserved),
      m_limit(std::max(64u, jobs * 16)) {
    for (unsigned i = 0; i < m_jobs; ++i) m_workers.emplace_back([this] { workerLoop(); });
}

ParallelDispatcher::~ParallelDispatcher() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_work.notify_all();
    for (auto& worker : m_workers) worker.join();
}

bool ParallelDispatcher::readyLocked(const Pending& pending) const {
    return std::none_of(pending.after.begin(), pending.after.end(), [&](std::int64_t index) {
        return m_open[static_cast<std::size_t>(index)];
    });
}

void ParallelDispatcher::unblockLocked() {
    for (auto it = m_blocked.begin(); it != m_blocked.end();) {
        if (readyLocked(*it)) {
            m_ready.push_back(std::move(*it));
            it = m_blocked.erase(it);
        } else {
            ++it;
        }
    }
}

void ParallelDispatcher::tellSubmitterLocked() {
    // The submitter waits for half the queue to drain, not for each place.
    if (m_submitterWaits && (queuedLocked() <= m_limit / 2 || m_openCount == 0))
        m_room.notify_one();
}

void ParallelDispatcher::submit(run::FileTask task, const Work& work) {
    Pending pending{std::move(task), work, {}};
    const auto row = static_cast<std::size_t>(pending.task.index - 1);
    const KnownRow known = row < m_known.size() ? m_known[row] : KnownRow{};
    std::vector<PathKey> keys;
    keys.reserve(4);
    addPathKeys(pending.task.source, m_folders, known.source, nullptr, keys);
    const bool outputUnlisted = addPathKeys(pending.task.output, m_folders, {}, &m_listings, keys);
    std::unique_lock lock(m_mutex);
    // Keep the queue short: a list of a million files must not be held twice.
    if (queuedLocked() >= m_limit) {
        wakeWorkersLocked();
        m_submitterWaits = true;
        m_room.wait(lock, [&] { return queuedLocked() <= m_limit / 2; });
        m_submitterWaits = false;
    }
    for (const PathKey key : keys) {
        const std::int64_t last = m_lastUser.exchange(key, pending.task.index);
        if (last != 0 && last != pending.task.index) pending.after.push_back(last);
    }
    // Nothing of the command writes the result before this task: its writer
    // need not look at it again.
    pending.task.outputSeenFree =
        outputUnlisted && pending.after.empty() && !known.resultClaimedEarlier;
    const auto index = static_cast<std::size_t>(pending.task.index);
    if (m_open.size() <= index) m_open.resize(std::max(index + 1, 2 * m_open.size()), 0);
    m_open[index] = 1;
    ++m_openCount;
    if (!readyLocked(pending)) {
        m_blocked.push_back(std::move(pending));
        return;
    }
    m_ready.push_back(std::move(pending));
    // Idle workers wake for a few files at once, not for each: a worker
    // woken for one small file takes the submitter's core from it.
    if (m_ready.size() >= kWakeFor * m_jobs) wakeWorkersLocked();
}

void ParallelDispatcher::wakeWorkersLocked() {
    if (m_idleWorkers > 0 && !m_ready.empty()) m_work.notify_all();
}

report::ErrorReport& ParallelDispatcher::reportFor(std::int64_t index) {
    return m_reports.forFile(index);
}

void ParallelDispatcher::finish() {
    std::unique_lock lock(m_mutex);
    wakeWorkersLocked();  // for the last files, however few
    m_submitterWaits = true;
    m_room.wait(lock, [&] { return m_openCount == 0; });
    m_submitterWaits = false;
    // The next run counts its files from 1 again, and looks at its folders anew.
    m_lastUser.clear();
    m_open.clear();
    m_folders.clear();
    m_known.clear();
}

void ParallelDispatcher::workerLoop() {
    std::vector<Pending> taken;
    bool holdsCore = false;
    std::unique_lock lock(m_mutex);
    while (true) {
        if (m_ready.empty() && holdsCore) {
            // An idle worker's core goes to the chunk helpers of the files
            // in hand.
            m_cores.release();
            holdsCore = false;
        }
        ++m_idleWorkers;
        m_work.wait(lock, [&] { return m_stopping || !m_ready.empty(); });
        --m_idleWorkers;
        if (m_ready.empty()) return;  // stopping with nothing left to start
        // A share of what is ready, so that the other workers find some too.
        const std::size_t count = std::clamp<std::size_t>(m_ready.size() / m_jobs, 1, kMostAtOnce);
        for (std::size_t i = 0; i < count; ++i) {
            taken.push_back(std::move(m_ready.front()));
            m_ready.pop_front();
        }
        tellSubmitterLocked();
        lock.unlock();
        if (!holdsCore) {
            m_cores.acquire();
            holdsCore = true;
        }
        for (auto& pending : taken) {
            pending.work(pending.task, m_reports.forFile(pending.task.index));
            m_reports.fileDone(pending.task.index);
        }
        lock.lock();
        for (const auto& pending : taken) m_open[static_cast<std::size_t>(pending.task.index)] = 0;
        m_openCount -= taken.size();
        taken.clear();
        // Tasks that waited for these may start now; finish() may return.
        if (!m_blocked.empty()) {
            unblockLocked();
            if (!m_ready.empty() && m_idleWorkers > 0) m_work.notify_all();
        }
        tellSubmitterLocked();
    }
}

}  // namespace mv::cli
