#include "engine/read_ahead.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <limits>
#include <utility>
#include <vector>

#include "engine/fresh_memory.h"
#include "engine/native_text.h"

namespace mv::engine {

namespace {

std::atomic<bool> g_readAhead{false};

// Sources opened since the program started, and the count at which the
// prefetching thread, waiting for the conversion to catch up, wants waking.
std::atomic<std::uint64_t> g_opened{0};
constexpr std::uint64_t kNobodyWaits = std::numeric_limits<std::uint64_t>::max();
std::atomic<std::uint64_t> g_wakeAt{kNobodyWaits};
std::mutex g_wakeMutex;
std::condition_variable g_wake;
bool g_stopPrefetch = false;  // under g_wakeMutex
std::atomic<bool> g_prefetching{false};
std::atomic<bool> g_slowSeen{false};
// The last device found in memory where reads cannot be told not to wait
// (tmpfs on some kernels): its files are never waited for.
std::atomic<std::uint64_t> g_memoryDevice{~std::uint64_t{0}};

// Blocks read ahead of the reader: 2 MiB at 64 KiB a block, beside the
// kernel's own read-ahead into the page cache. The thread sleeps once that
// many wait and is woken when half of them are taken, not at every block.
constexpr std::size_t kBlocksAhead = 32;

// Sources asked for ahead of the conversion, and bytes of each: a larger
// source reads its own blocks ahead once it is opened.
constexpr std::uint64_t kFilesAhead = 64;
constexpr std::uint64_t kWakeStep = kFilesAhead / 4;
constexpr std::int64_t kFirstBytes = std::int64_t{1} << 20;
constexpr std::int64_t kBytesAhead = std::int64_t{32} << 20;

// Waits until `target` sources have been opened; false when told to stop.
bool waitForOpenings(std::uint64_t target) {
    std::unique_lock lock(g_wakeMutex);
    g_wakeAt.store(target);
    g_wake.wait(lock, [&] { return g_stopPrefetch || g_opened.load() >= target; });
    g_wakeAt.store(kNobodyWaits);
    return !g_stopPrefetch;
}

bool inMemoryType(const struct statfs& fs) {
    return fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC;
}

// A file system in memory has nothing to read ahead.
bool inMemory(const std::string& path) {
    struct statfs fs {};
    return statfs(path.c_str(), &fs) == 0 && inMemoryType(fs);
}

}  // namespace

bool inMemory(int fd) {
    struct statfs fs {};
    return fstatfs(fd, &fs) == 0 && inMemoryType(fs);
}

void setReadAhead(bool on) {
    g_readAhead.store(on);
}

bool readAheadOn() {
    return g_readAhead.load(std::memory_order_relaxed);
}

bool slowReadSeen() {
    return g_slowSeen.load(std::memory_order_relaxed);
}

void noteSlowRead() {
    if (g_slowSeen.exchange(true)) return;
    std::lock_guard lock(g_wakeMutex);
    g_wake.notify_all();
}

BlockRead readBlockNotingSlow(int fd, std::uint64_t device, char* into, std::size_t want,
                              std::int64_t offset, std::int64_t openSize) {
    if (device == g_memoryDevice.load(std::memory_order_relaxed))
        return readBlock(fd, into, want, offset, openSize);
    const CachedRead cached = readCachedBlock(fd, into, want, offset, openSize);
    if (cached.complete) return cached.read;
    if (cached.refused && inMemory(fd)) {
        g_memoryDevice.store(device, std::memory_order_relaxed);
    } else {
        noteSlowRead();
    }
    return finishBlock(fd, into, want, offset, openSize, cached.read);
}

BlockRead finishBlock(int fd, char* into, std::size_t want, std::int64_t offset,
                      std::int64_t openSize, BlockRead read) {
    const BlockRead rest = readBlock(fd, into + read.got, want - read.got,
                                     offset + static_cast<std::int64_t>(read.got), openSize);
    read.error = rest.error;
    read.ended = rest.ended;
    read.got += rest.got;
    return read;
}

bool mostlyCached(int fd, std::int64_t offset, std::int64_t length) {
    const auto page = static_cast<std::int64_t>(::sysconf(_SC_PAGESIZE));
    if (page <= 0 || offset < 0 || length <= 0) return false;
    const std::int64_t start = offset / page * page;
    const auto span = static_cast<std::size_t>(offset + length - start);
    // A mapping that is never touched reads nothing; mincore only looks.
    void* map = ::mmap(nullptr, span, PROT_READ, MAP_SHARED, fd, start);
    if (map == MAP_FAILED) return false;
    std::vector<unsigned char> resident((span + static_cast<std::size_t>(page) - 1) /
                                        static_cast<std::size_t>(page));
    const bool known = ::mincore(map, span, resident.data()) == 0;
    ::munmap(map, span);
    if (!known) return false;
    const auto cached = static_cast<std::size_t>(
        std::count_if(resident.begin(), resident.end(), [](unsigned char r) { return r & 1; }));
    return cached * 8 >= resident.size() * 7;
}

void noteSourceOpened() {
    const std::uint64_t opened = g_opened.fetch_add(1) + 1;
    if (opened == g_wakeAt.load()) {
        std::lock_guard lock(g_wakeMutex);
        g_wake.notify_one();
    }
}

namespace {

// Calls `readSome(into, count)` until the block is full or its end is met:
// no bytes, or a short read that reaches the size at open (a file grown or
// cut meanwhile is still caught when it is closed). The errno of a failed
// call, EINTR retried, or 0.
template <class ReadSome>
int fillBlock(BlockRead& read, ReadSome readSome, char* into, std::size_t want, std::int64_t offset,
              std::int64_t openSize) {
    while (read.got < want) {
        const ssize_t n = readSome(into + read.got, want - read.got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) {
            read.ended = true;
            break;
        }
        const bool shortRead = static_cast<std::size_t>(n) < want - read.got;
        read.got += static_cast<std::size_t>(n);
        if (shortRead && offset + static_cast<std::int64_t>(read.got) == openSize) {
            read.ended = true;
            break;
        }
    }
    return 0;
}

}  // namespace

BlockRead readBlock(int fd, char* into, std::size_t want, std::int64_t offset,
                    std::int64_t openSize) {
    BlockRead result;
    result.error = fillBlock(
        result, [fd](char* at, std::size_t count) { return ::read(fd, at, count); }, into, want,
        offset, openSize);
    return result;
}

std::size_t readBlocks(int fd, std::span<char* const> into, std::size_t want, std::int64_t offset,
                       std::int64_t openSize, std::span<BlockRead> reads) {
    std::array<iovec, kMostBlocksACall> parts{};
    const std::size_t count = std::min(into.size(), parts.size());
    for (std::size_t i = 0; i < count; ++i) parts[i] = {into[i], want};
    ssize_t n = 0;
    do {
        n = ::preadv2(fd, parts.data(), static_cast<int>(count), -1, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        reads[0] = BlockRead{0, n == 0, n < 0 ? errno : 0};
        return 1;
    }
    const auto got = static_cast<std::size_t>(n);
    const std::size_t full = got / want;
    for (std::size_t i = 0; i < full; ++i) reads[i] = BlockRead{want, false, 0};
    const std::size_t rest = got % want;
    if (rest == 0) return full;
    // The block the call stopped in ends there if the file did, as with
    // readBlock; otherwise the rest of it is read the same way.
    const std::int64_t at = offset + static_cast<std::int64_t>(full * want);
    BlockRead last{rest, at + static_cast<std::int64_t>(rest) == openSize, 0};
    if (!last.ended) last = finishBlock(fd, into[full], want, at, openSize, last);
    reads[full] = last;
    return full + 1;
}

CachedRead readCachedBlock(int fd, char* into, std::size_t want, std::int64_t offset,
                           std::int64_t openSize) {
    // The same calls as readBlock, each told not to wait for the disk: a
    // short one stops where the cache does, and the next tells whether that
    // is the end or bytes that are not there yet.
    CachedRead result;
    const int error = fillBlock(
        result.read,
        [fd](char* at, std::size_t count) {
            iovec part{at, count};
            return ::preadv2(fd, &part, 1, -1, RWF_NOWAIT);
        },
        into, want, offset, openSize);
    if (error == EAGAIN) return result;
    if (error == EOPNOTSUPP || error == EINVAL || error == ENOSYS) {
        result.refused = true;
        return result;
    }
    result.read.error = error;
    result.complete = true;
    return result;
}

BlockReadAhead::BlockReadAhead(int fd, std::int64_t offset, std::int64_t openSize,
                               std::size_t blockSize)
    : m_fd(fd), m_openSize(openSize), m_blockSize(blockSize), m_offset(offset) {
    m_thread = std::thread([this] { readLoop(); });
}

BlockReadAhead::~BlockReadAhead() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_freed.notify_one();
    m_thread.join();
}

BlockReadAhead::Block BlockReadAhead::next(std::string&& spare) {
    std::unique_lock lock(m_mutex);
    if (spare.capacity() >= m_blockSize && m_spares.size() < kBlocksAhead) {
        m_spares.push_back(std::move(spare));
    }
    while (m_ready.empty()) {
        // Nothing follows the last block: a reader asking again hears the end.
        if (m_done) return Block{{}, true, 0};
        m_ownerWaits = true;
        m_filled.wait(lock);
        m_ownerWaits = false;
    }
    Block block = std::move(m_ready.front());
    m_ready.pop_front();
    if (m_readerWaits && m_ready.size() <= kBlocksAhead / 2) m_freed.notify_one();
    return block;
}

void BlockReadAhead::readLoop() {
    std::unique_lock lock(m_mutex);
    while (true) {
        if (!m_stop && m_ready.size() >= kBlocksAhead) {
            m_readerWaits = true;
            m_freed.wait(lock, [&] { return m_stop || m_ready.size() <= kBlocksAhead / 2; });
            m_readerWaits = false;
        }
        if (m_stop) return;
        std::string buffer;
        if (!m_spares.empty()) {
            buffer = std::move(m_spares.back());
            m_spares.pop_back();
        }
        lock.unlock();
        resizeFaultedIn(buffer, m_blockSize);
        const BlockRead read = readBlock(m_fd, buffer.data(), m_blockSize, m_offset, m_openSize);
        Block block;
        if (read.error != 0) {
            buffer.clear();
            block.error = read.error;
        } else {
            buffer.resize(read.got);
            m_offset += static_cast<std::int64_t>(read.got);
            block.ended = read.ended;
        }
        block.bytes = std::move(buffer);
        const bool last = read.error != 0 || read.ended;
        lock.lock();
        m_ready.push_back(std::move(block));
        m_done = last;
        if (m_ownerWaits) m_filled.notify_one();
        if (last) return;
    }
}

SourcePrefetch::SourcePrefetch(const std::vector<std::u16string>& sources) : m_sources(sources) {
    if (m_sources.size() < 2 || g_prefetching.exchange(true)) return;
    m_active = true;
    m_thread = std::thread([this] { prefetchLoop(); });
}

SourcePrefetch::~SourcePrefetch() {
    if (!m_active) return;
    {
        std::lock_guard lock(g_wakeMutex);
        g_stopPrefetch = true;
    }
    g_wake.notify_all();
    m_thread.join();
    {
        std::lock_guard lock(g_wakeMutex);
        g_stopPrefetch = false;
    }
    g_prefetching.store(false);
}

void SourcePrefetch::prefetchLoop() {
    const std::uint64_t start = g_opened.load();
    {
        // Sources that are all cached, or in memory, are never asked for.
        std::unique_lock lock(g_wakeMutex);
        g_wake.wait(lock, [] { return g_stopPrefetch || g_slowSeen.load(); });
        if (g_stopPrefetch) return;
    }
    // Sources asked for and not opened yet, by their place in the list.
    std::deque<std::pair<std::uint64_t, std::int64_t>> ahead;
    std::int64_t aheadBytes = 0;
    std::vector<std::pair<dev_t, bool>> memoryDevices;
    // The sources opened before the first slow read are behind the reader.
    for (std::uint64_t i = g_opened.load() - start; i < m_sources.size(); ++i) {
        while (true) {
            const std::uint64_t reached = g_opened.load() - start;
            while (!ahead.empty() && ahead.front().first < reached) {
                aheadBytes -= ahead.front().second;
                ahead.pop_front();
            }
            if (i < reached + kFilesAhead && aheadBytes < kBytesAhead) break;
            if (!waitForOpenings(start + reached + kWakeStep)) return;
        }
        const std::string path = toNative(m_sources[i]);
        // Looked at before it is opened: only a regular file is opened.
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) continue;
        auto known = std::find_if(memoryDevices.begin(), memoryDevices.end(),
                                  [&](const auto& d) { return d.first == st.st_dev; });
        if (known == memoryDevices.end()) {
            memoryDevices.emplace_back(st.st_dev, inMemory(path));
            known = std::prev(memoryDevices.end());
        }
        if (known->second) continue;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) continue;
        struct stat opened {};
        const std::int64_t bytes = std::min<std::int64_t>(st.st_size, kFirstBytes);
        if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
            ::posix_fadvise(fd, 0, bytes, POSIX_FADV_WILLNEED);
            ahead.emplace_back(i, bytes);
            aheadBytes += bytes;
        }
        ::close(fd);
    }
}

}  // namespace mv::engine
