#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "engine/durability.h"
#include "engine/in_flight.h"

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
