#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "engine/durability.h"
#include "engine/in_flight.h"
#include "engine/text_writer.h"
#include "tests/support/test_support.h"

namespace mv::engine {
namespace {

using namespace std::chrono_literals;

// Two writing threads publish at once: each one's publish waits inside the
// lock for the other's to begin. Under a lock held by one thread at a time
// the first would give up waiting.
TEST(Publishing, ThreadsPublishSideBySide) {
    std::promise<void> firstIn, secondIn;
    auto first = std::async(std::launch::async, [&] {
        bool metTheOther = false;
        inflight::publish([&] {
            firstIn.set_value();
            metTheOther = secondIn.get_future().wait_for(5s) == std::future_status::ready;
            return true;
        });
        return metTheOther;
    });
    ASSERT_EQ(firstIn.get_future().wait_for(5s), std::future_status::ready);
    const bool published = inflight::publish([&] {
        secondIn.set_value();
        return true;
    });
    EXPECT_TRUE(published);
    EXPECT_TRUE(first.get());
}

// A writer told that nothing stands at its result does not look again: what
// appears there while it writes is replaced, never written through, and no
// temporary file is left.
TEST(Publishing, AResultSeenFreeReplacesWhatAppearsMeanwhile) {
    namespace fs = std::filesystem;
    for (const char* appears : {"nothing", "a file", "a link"}) {
        SCOPED_TRACE(appears);
        test::TempDir dir;
        const fs::path result = dir / "r.json";
        TextWriter writer = TextWriter::create(result.string(), true);
        test::writeBytes(dir / "other", "kept");
        if (std::string(appears) == "a file") test::writeBytes(result, "old");
        if (std::string(appears) == "a link") fs::create_symlink(dir / "other", result);
        writer.WriteBytes("new");
        writer.Close();
        EXPECT_FALSE(fs::is_symlink(result));
        EXPECT_EQ(test::readBytes(result), "new");
        EXPECT_EQ(test::readBytes(dir / "other"), "kept");
        EXPECT_EQ(test::entryNames(dir.path()), (std::vector<std::string>{"other", "r.json"}));
    }
}

int descriptorSlots() {
    std::ifstream status("/proc/self/status");
    std::string key;
    for (std::string value; status >> key >> value;) {
        if (key == "FDSize:") return std::stoi(value);
        status.ignore(4096, '\n');
    }
    return -1;
}

// The table has room for the descriptors a run keeps, so that it does not
// grow, and stall every thread, during the run.
TEST(Publishing, ReservedDescriptorTableHoldsWhatARunKeeps) {
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < 512) GTEST_SKIP() << "limit too low";
    reserveDescriptors();
    EXPECT_GE(descriptorSlots(), 512);
}

}  // namespace
}  // namespace mv::engine
