// Reading sources ahead of their conversion where more than one core is
// given: the next blocks of a large source on a thread of its own, so that
// waiting for the disk and filling the page cache overlap the conversion, and
// the next sources of a list asked of the kernel before they are opened.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace mv::engine {

// Whether a large source may be read ahead on a thread of its own. Off until
// a caller that was given more than one core turns it on.
void setReadAhead(bool on);
bool readAheadOn();

// The source readers tell each opening, so that the next sources are asked
// for a bounded distance ahead of the conversion.
void noteSourceOpened();

// One read of up to `want` bytes into `into`, as many calls as it takes:
// fewer bytes only at the end of the file. A short read that reaches the size
// the file had when it was opened is its end (`offset` bytes were read
// before), which spares a call that would only hear "nothing".
struct BlockRead {
    std::size_t got = 0;
    bool ended = false;
    int error = 0;  // errno of a failed read; `got` is then meaningless
};
BlockRead readBlock(int fd, char* into, std::size_t want, std::int64_t offset,
                    std::int64_t openSize);

// Up to `into.size()` blocks (at most kMostBlocksACall) of `want` bytes
// read with one call where it gives them all, each as readBlock would have
// read it: `reads` gets one entry a block read, and the count is returned.
// Only the last may be short (the end), hold the end of an empty read, or
// hold a failure; a call that came back short stops at the block it reached.
constexpr std::size_t kMostBlocksACall = 16;
std::size_t readBlocks(int fd, std::span<char* const> into, std::size_t want, std::int64_t offset,
                       std::int64_t openSize, std::span<BlockRead> reads);

// One block read as readBlock reads it, but only while its bytes are in the
// page cache, so that a reader can tell when a thread reading ahead would
// start to pay. Unless `complete`, the block stopped at the first bytes not
// in the cache (`read.got` bytes before them are kept, the file position
// after them) or the file system cannot read without waiting (`refused`).
struct CachedRead {
    BlockRead read;
    bool complete = false;
    bool refused = false;
};
CachedRead readCachedBlock(int fd, char* into, std::size_t want, std::int64_t offset,
                           std::int64_t openSize);

// The rest of a block that a cached read left short after `read.got` bytes,
// read as readBlock reads it: the block as readBlock would have given it.
BlockRead finishBlock(int fd, char* into, std::size_t want, std::int64_t offset,
                      std::int64_t openSize, BlockRead read);

// readBlock, told first to take only bytes in the page cache; where it finds
// some that are not, or cannot tell on a file system that is not in memory,
// it notes a slow read and reads the rest as readBlock does. The bytes, the
// end and a failure are readBlock's. `device` is the file's.
BlockRead readBlockNotingSlow(int fd, std::uint64_t device, char* into, std::size_t want,
                              std::int64_t offset, std::int64_t openSize);

// Whether a read has had to wait for the disk since the program started.
// Until one has, the next sources of a list are not asked for ahead: they are
// in memory or in the cache, and asking would only cost calls.
bool slowReadSeen();
void noteSlowRead();

// Whether at least seven pages in eight of the file's bytes [offset,
// offset + length) are in the page cache, asked without reading them; false
// where the kernel cannot tell. A reader that found a page missing looks
// ahead with it: a page or two dropped from the cache of a file read before
// do not make the rest of it worth a thread.
bool mostlyCached(int fd, std::int64_t offset, std::int64_t length);

// Whether the file lives in memory (tmpfs, ramfs): there is no disk to wait
// for, so nothing to gain from a thread reading ahead.
bool inMemory(int fd);

// The blocks of one file, read in order on a thread of its own a bounded
// number of blocks ahead of their use. The file is read exactly as the
// reader would read it: the same calls in the same order, a failure handed
// out in its place, nothing read after a failure or the end.
class BlockReadAhead {
public:
    struct Block {
        std::string bytes;
        bool ended = false;
        int error = 0;
    };

    BlockReadAhead(int fd, std::int64_t offset, std::int64_t openSize, std::size_t blockSize);
    // Waits for a read in progress; the descriptor stays open.
    ~BlockReadAhead();
    BlockReadAhead(const BlockReadAhead&) = delete;
    BlockReadAhead& operator=(const BlockReadAhead&) = delete;

    // The next block, once it is read; `spare` is a buffer to read into later.
    Block next(std::string&& spare);

private:
    void readLoop();

    const int m_fd;
    const std::int64_t m_openSize;
    const std::size_t m_blockSize;
    std::int64_t m_offset;  // of the reading thread
    std::mutex m_mutex;
    std::condition_variable m_filled;  // the owner: a block is waiting
    std::condition_variable m_freed;   // the thread: there is room ahead
    std::deque<Block> m_ready;
    std::vector<std::string> m_spares;
    bool m_ownerWaits = false;
    bool m_readerWaits = false;
    bool m_done = false;  // the thread has read its last block
    bool m_stop = false;
    std::thread m_thread;
};

// Asks the kernel for the first bytes of each source of a list, a bounded
// number of sources ahead of the ones opened so far, on a thread of its own,
// so that a source is in the page cache when its conversion opens it. Only
// regular files are opened, never a FIFO or device. One at a time: a second
// one made while the first lives does nothing.
class SourcePrefetch {
public:
    // `sources` must outlive the object. Each is spelt as the system spells
    // it only when it is asked for, so a run whose sources are all cached
    // pays nothing for the list.
    explicit SourcePrefetch(const std::vector<std::u16string>& sources);
    ~SourcePrefetch();
    SourcePrefetch(const SourcePrefetch&) = delete;
    SourcePrefetch& operator=(const SourcePrefetch&) = delete;

private:
    void prefetchLoop();

    const std::vector<std::u16string>& m_sources;
    bool m_active = false;
    std::thread m_thread;
};

}  // namespace mv::engine
