#include "engine/read_ahead.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <linux/magic.h>
#include <algorithm>
#include <string>
#include <vector>

#include "engine/onepass/source_probe.h"
#include "engine/text_reader.h"
#include "report/failure.h"
#include "tests/support/test_support.h"

namespace mv::engine {
namespace {

class ReadAheadOn {
public:
    explicit ReadAheadOn(bool on) { setReadAhead(on); }
    ~ReadAheadOn() { setReadAhead(false); }
};

std::string patterned(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + (i * 7 + i / 977) % 26);
    return bytes;
}

// The chunks a large source gives are the same, read ahead on a thread or
// not (then several blocks a call), around the sizes where the reading ahead
// starts and the last block or call ends.
TEST(ReadAhead, ALargeSourceGivesTheSameChunksReadAheadOrNot) {
    test::TempDir dir;
    const std::size_t sizes[] = {(1u << 20) - 1,         1u << 20,
                                 (1u << 20) + 1,         (1u << 20) + 65536,
                                 (1u << 20) + 3 * 65536, 3 * 65536 * 17 + 12345};
    for (std::size_t size : sizes) {
        const std::string bytes = patterned(size);
        const auto path = dir / ("f" + std::to_string(size));
        test::writeBytes(path, bytes);
        for (bool on : {false, true}) {
            SCOPED_TRACE(std::to_string(size) + (on ? " read ahead" : ""));
            ReadAheadOn ahead(on);
            auto source = onepass::OneReadSource::open(test::u16(path));
            ASSERT_TRUE(source.has_value());
            std::string all;
            SourceChunk chunk;
            std::size_t chunks = 0;
            while (source->next(chunk)) {
                EXPECT_LE(chunk.bytes.size(), kChunkChars);
                all += chunk.bytes;
                ++chunks;
            }
            EXPECT_FALSE(source->failed());
            EXPECT_NO_THROW(source->close());
            EXPECT_TRUE(all == bytes);
            EXPECT_EQ(static_cast<std::int64_t>(chunks), source->expectedChunks());
        }
    }
}

constexpr std::size_t kBlock = 65536;

// Leaves only the bytes outside [from, to) of a file in the page cache, and
// tells whether those inside are out of it. Written pages are dropped once
// they are on disk, and the rest read back one by one without the kernel's
// read-ahead: a range of them may share one large page that is dropped whole.
bool evictBytes(const std::string& path, std::size_t from, std::size_t to) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    struct stat st {};
    ::fstat(fd, &st);
    const auto size = static_cast<std::size_t>(st.st_size);
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::string bytes(page, '\0');
    for (std::size_t at = 0; at < size; at += page) {
        if (at < from || at >= to) ::pread(fd, bytes.data(), page, at);
    }
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    std::vector<unsigned char> resident((size + page - 1) / page);
    EXPECT_EQ(::mincore(map, size, resident.data()), 0);
    ::munmap(map, size);
    ::close(fd);
    for (std::size_t p = (from + page - 1) / page; p < std::min(resident.size(), to / page); ++p) {
        if (resident[p] & 1u) return false;
    }
    return true;
}

bool onTmpfs(const std::string& path) {
    struct statfs fs {};
    return ::statfs(path.c_str(), &fs) == 0 && fs.f_type == TMPFS_MAGIC;
}

// A large source on disk is read block by block to the same bytes whichever
// of its blocks are in the page cache; a thread reads ahead only from the
// first block that is not, if what follows it is not cached either, and
// never with one core or for a file in memory.
TEST(ReadAhead, ALargeSourceIsReadAheadOnlyFromItsFirstBlockNotCached) {
    constexpr std::size_t kBlocks = 40;
    const std::string bytes = patterned(kBlocks * kBlock + 12345);
    struct Shape {
        const char* name;
        bool inMemory;
        bool on;
        std::size_t evictFrom, evictTo;
        bool thread;
    };
    const Shape shapes[] = {
        {"all cached", false, true, 0, 0, false},
        {"none cached", false, true, 0, bytes.size(), true},
        // The first block not cached whole starts with cached bytes.
        {"cached, then not", false, true, 10 * kBlock + 12288, bytes.size(), true},
        {"cached, not, cached again", false, true, 10 * kBlock, 20 * kBlock, true},
        // A page dropped from a file read before: the rest is still cached.
        {"one page not cached", false, true, 10 * kBlock + 8192, 10 * kBlock + 12288, false},
        {"none cached, one core", false, false, 0, bytes.size(), false},
        {"in memory", true, true, 0, 0, false},
    };
    test::TempDir dir;
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        std::string path = (dir / "big.xml").string();
        if (shape.inMemory) {
            path = "/dev/shm/mv-read-ahead-test-" + std::to_string(::getpid()) + ".xml";
            if (!onTmpfs("/dev/shm")) continue;
        }
        // A read told not to wait still starts the disk, and a virtual disk
        // cached by its host may answer before the read looks again: then no
        // read waited and no thread was due. Such a run is tried again.
        bool started = false;
        for (int attempt = 0; attempt == 0 || (shape.thread && !started && attempt < 4);
             ++attempt) {
            test::writeBytes(path, bytes);
            if (!evictBytes(path, shape.evictFrom, shape.evictTo) && !shape.inMemory) {
                ::unlink(path.c_str());
                GTEST_SKIP() << "the page cache keeps " << path << " whole";
            }
            ReadAheadOn ahead(shape.on);
            auto reader = TextReader::open(path, TextFormat::Ansi);
            reader.keepBytes();
            std::string all, block;
            std::vector<std::size_t> sizes;
            while (true) {
                reader.readBytesInto(kBlock, block);
                if (block.empty()) break;
                sizes.push_back(block.size());
                all += block;
            }
            EXPECT_NO_THROW(reader.Close());
            EXPECT_TRUE(all == bytes);
            ASSERT_EQ(sizes.size(), kBlocks + 1);
            EXPECT_EQ(std::count(sizes.begin(), sizes.end(), kBlock), kBlocks);
            started = reader.readAheadStarted();
        }
        EXPECT_EQ(started, shape.thread);
        if (shape.inMemory) ::unlink(path.c_str());
    }
}

// A small source read with more than one core gives readBlock's bytes and
// end, and a block that has to wait for the disk wakes the prefetching of the
// next sources.
TEST(ReadAhead, ABlockNotCachedIsReadWholeAndNotedAsSlow) {
    const std::string bytes = patterned(3 * kBlock + 777);
    test::TempDir dir;
    const std::string path = (dir / "small.xml").string();
    // As above, a disk cached by its host may answer a read told not to wait
    // before it looks again; such a run is tried again.
    for (int attempt = 0; attempt < 4 && !slowReadSeen(); ++attempt) {
        test::writeBytes(path, bytes);
        if (!evictBytes(path, kBlock + 4096, bytes.size()))
            GTEST_SKIP() << "the cache keeps it whole";
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        std::string all;
        std::int64_t offset = 0;
        for (bool ended = false; !ended;) {
            std::string block(kBlock, '\0');
            const BlockRead read = readBlockNotingSlow(fd, 0, block.data(), kBlock, offset,
                                                       static_cast<std::int64_t>(bytes.size()));
            ASSERT_EQ(read.error, 0);
            all.append(block, 0, read.got);
            offset += static_cast<std::int64_t>(read.got);
            ended = read.ended;
            if (!ended) {
                EXPECT_EQ(read.got, kBlock);
            }
        }
        ::close(fd);
        EXPECT_TRUE(all == bytes);
    }
    EXPECT_TRUE(slowReadSeen());
}

// A source that grows after it was opened is caught when it is closed, read
// ahead or not; one left early is closed without a word, as before.
TEST(ReadAhead, ASourceChangedWhileReadIsStillCaught) {
    test::TempDir dir;
    const auto path = dir / "grows.xml";
    for (bool readToEnd : {true, false}) {
        for (bool on : {false, true}) {
            SCOPED_TRACE(std::string(readToEnd ? "to the end" : "left early") +
                         (on ? ", read ahead" : ""));
            test::writeBytes(path, patterned(3 << 20));
            ReadAheadOn ahead(on);
            auto source = onepass::OneReadSource::open(test::u16(path));
            ASSERT_TRUE(source.has_value());
            std::filesystem::resize_file(path, (3 << 20) + 100);
            SourceChunk chunk;
            if (readToEnd) {
                while (source->next(chunk)) {
                }
            } else {
                source->next(chunk);
            }
            const auto kind = test::failureKindOf([&] { source->close(); });
            if (readToEnd) {
                EXPECT_EQ(kind, report::FailureKind::FileChanged);
            } else {
                EXPECT_EQ(kind, std::nullopt);
            }
        }
    }
}

// Stopped while it waits for the conversion to catch up, a prefetch of a long
// list (missing names, a FIFO, a folder among them) ends instead of hanging.
TEST(ReadAhead, APrefetchWaitingForTheConversionStopsWhenAsked) {
    test::TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo.xml").c_str(), 0600), 0);
    std::vector<std::u16string> paths{(dir / "fifo.xml").u16string(), dir.path().u16string(),
                                      (dir / "missing.xml").u16string()};
    for (int i = 0; i < 300; ++i) {
        const auto path = dir / ("s" + std::to_string(i) + ".xml");
        test::writeBytes(path, "<a>x</a>");
        paths.push_back(path.u16string());
    }
    { SourcePrefetch prefetch(paths); }
    // The first one gone, a second one may start and stop again.
    { SourcePrefetch again(paths); }
}

}  // namespace
}  // namespace mv::engine
