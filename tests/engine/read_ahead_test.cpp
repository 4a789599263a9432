#include "engine/read_ahead.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "engine/onepass/source_probe.h"
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
// not, around the sizes where the reading ahead starts and the last block
// ends.
TEST(ReadAhead, ALargeSourceGivesTheSameChunksReadAheadOrNot) {
    test::TempDir dir;
    const std::size_t sizes[] = {(1u << 20) - 1, 1u << 20, (1u << 20) + 1, 3 * 65536 * 17 + 12345};
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
    std::vector<std::string> paths{(dir / "fifo.xml").string(), dir.path().string(),
                                   (dir / "missing.xml").string()};
    for (int i = 0; i < 300; ++i) {
        const auto path = dir / ("s" + std::to_string(i) + ".xml");
        test::writeBytes(path, "<a>x</a>");
        paths.push_back(path.string());
    }
    { SourcePrefetch prefetch(paths); }
    // The first one gone, a second one may start and stop again.
    { SourcePrefetch again(paths); }
}

}  // namespace
}  // namespace mv::engine
