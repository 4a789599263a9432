#include "run/file_conversion.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "engine/durability.h"
#include "engine/result_note.h"
#include "report/error_report.h"
#include "report/locations.h"
#include "run/chunk_pipeline.h"
#include "tests/run/fake_host.h"
#include "tests/support/test_support.h"

namespace mv::run {
namespace {

using test::readBytes;
using test::TempDir;
using test::u16;
using test::writeBytes;

constexpr std::size_t kChunk = 65536;

// Records in a root, past `size` bytes: a file of several chunks.
std::string records(std::string text, std::size_t size) {
    for (int i = 0; text.size() < size; ++i) text += "<v>" + std::to_string(i) + "</v>\r\n";
    return text + "</r>";
}

struct Converted {
    std::string result;
    std::vector<report::RecordingReport::Entry> reports;
};

Converted convert(const TempDir& dir, const std::string& name, const ChunkSettings& settings) {
    const FileTask task{1, u16(dir / "source.xml"), u16(dir / name)};
    test::FakeHost host;
    report::RecordingReport report;
    engine::SyncLedger ledger;
    FileConversion(host, task, report, ledger, settings).run();
    return {readBytes(dir / name), report.entries()};
}

std::vector<std::string> described(const std::vector<report::RecordingReport::Entry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.description + " @" + std::to_string(e.step));
    return out;
}

// The one-pass converter on one and three workers against the reference
// procedures alone, on files of several chunks.
TEST(FileConversion, GivesTheReferenceBytesAndReportsOnAnyNumberOfWorkers) {
    const std::string header = "<?xml version=\"1.0\"?>\r\n<r>";
    std::string declined = records(header, 3 * kChunk);
    // The second chunk ends in a DOCTYPE without its ">": the one-pass
    // converter declines it, and the reference procedures report on it.
    declined.replace(2 * kChunk - 12, 12, "<!DOCTYPE ab");
    struct Case {
        const char* name;
        std::string source;
        bool reports;      // the reference reports on a chunk
        std::string note;  // what an empty-flattening chunk gives
    };
    const std::vector<Case> cases = {
        {"records", records(header, 3 * kChunk), false, ""},
        {"declined chunk", declined, true, ""},
        // The second chunk holds no mark at all: it flattens to nothing, and
        // the first line's declaration decides its text.
        {"empty chunk, declared", header + "<v>1</v>" + std::string(2 * kChunk, 'a'), false,
         "null"},
        {"empty chunk, undeclared", "<r><v>1</v>" + std::string(2 * kChunk, 'a'), false,
         std::string(engine::kNotValidXml)},
        // A first line that declares only at its end, after the chunks that
        // were converted with the answer guessed for it.
        {"empty chunk, declared late", "<r><v>1</v>" + std::string(2 * kChunk, 'a') + "xml version",
         false, "null"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeBytes(dir / "source.xml", c.source);
        const Converted reference = convert(dir, "reference.json", {false, 1, {}});
        EXPECT_EQ(!reference.reports.empty(), c.reports);
        EXPECT_NE(reference.result.find(" { "), std::string::npos);
        if (!c.note.empty()) {
            EXPECT_NE(reference.result.find(c.note), std::string::npos);
        }
        for (unsigned workers : {1u, 3u}) {
            const Converted fast = convert(dir, "fast.json", {true, workers, {}});
            EXPECT_TRUE(fast.result == reference.result) << workers << " workers";
            EXPECT_EQ(described(fast.reports), described(reference.reports))
                << workers << " workers";
        }
    }
}

// Out of memory while a chunk is converted, on a helper thread or on this
// one: reported at the chunk's write, and the result that was there stays.
TEST(FileConversion, AFailedChunkConversionIsReportedAndPublishesNothing) {
    struct Case {
        bool fastPath;
        unsigned workers;
        std::int64_t failingChunk;
    };
    for (const Case& c : {Case{true, 1, 1}, Case{true, 3, 2}, Case{false, 3, 0}}) {
        SCOPED_TRACE(testing::Message() << "fast " << c.fastPath << ", " << c.workers
                                        << " workers, chunk " << c.failingChunk);
        TempDir dir;
        writeBytes(dir / "source.xml", records("<?xml version=\"1.0\"?>\r\n<r>", 4 * kChunk));
        writeBytes(dir / "old.json", "old");
        ChunkSettings settings{c.fastPath, c.workers, [&](std::int64_t index) {
                                   if (index == c.failingChunk) throw std::bad_alloc();
                               }};
        const Converted converted = convert(dir, "old.json", settings);
        EXPECT_EQ(converted.result, "old");
        ASSERT_EQ(converted.reports.size(), 2u);
        EXPECT_EQ(described(converted.reports)[0], "Out of memory @178");
        EXPECT_EQ(converted.reports[0].location, report::locations::kPushButton7Click.text());
        EXPECT_EQ(converted.reports[1].step, 182);
        EXPECT_NE(converted.reports[1].description.find("a chunk could not be converted"),
                  std::string::npos);
    }
}

TEST(ChunkPipeline, CarriesAHelperThreadsFailureToTheOwner) {
    std::thread::id converter;
    // One helper and one chunk in the ring: the helper converts it.
    ChunkPipeline pipeline(1, 2, [&](std::size_t) {
        converter = std::this_thread::get_id();
        throw std::bad_alloc();
    });
    pipeline.publish();
    const std::size_t slot = pipeline.awaitOldest();
    EXPECT_NE(converter, std::this_thread::get_id());
    ASSERT_TRUE(pipeline.failure(slot));
    EXPECT_THROW(std::rethrow_exception(pipeline.failure(slot)), std::bad_alloc);
    pipeline.retire();
}

// With a budget of cores, a helper converts only on a free core: with none
// free the owner converts every chunk itself (and the ring still ends), with
// one free a helper takes chunks beside the owner.
TEST(ChunkPipeline, HelpersConvertOnlyOnFreeCores) {
    for (const bool coreFree : {false, true}) {
        SCOPED_TRACE(coreFree ? "a core free" : "no core free");
        CoreBudget cores(1);
        if (!coreFree) cores.acquire();
        const std::thread::id owner = std::this_thread::get_id();
        std::atomic<bool> helped{false};
        std::atomic<int> converted{0};
        {
            ChunkPipeline pipeline(
                2, 4,
                [&](std::size_t) {
                    if (std::this_thread::get_id() != owner) {
                        helped = true;
                    } else if (coreFree) {
                        // The owner's chunk waits for a helper to take the next.
                        const auto until =
                            std::chrono::steady_clock::now() + std::chrono::seconds(10);
                        while (!helped && std::chrono::steady_clock::now() < until)
                            std::this_thread::yield();
                    }
                    ++converted;
                },
                &cores);
            int published = 0;
            while (published < 20 || !pipeline.empty()) {
                for (; published < 20 && !pipeline.full(); ++published) pipeline.publish();
                pipeline.awaitOldest();
                pipeline.retire();
            }
        }
        EXPECT_EQ(converted, 20);
        EXPECT_EQ(helped, coreFree);
    }
}

}  // namespace
}  // namespace mv::run
