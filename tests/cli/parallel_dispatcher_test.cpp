#include "cli/parallel_dispatcher.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace mv::cli {
namespace {

// Far more keys than the room first made for them, some spread over the
// table and some that all start at one slot: the table grows and forgets
// none, and once cleared it knows none.
TEST(LastUsers, KeepsEveryKeyAsItGrowsAndForgetsThemWhenCleared) {
    constexpr std::int64_t kTasks = 3000;
    const auto spread = [](std::int64_t task) -> PathKey {
        return static_cast<PathKey>(task) * 0x9E3779B97F4A7C15ULL;
    };
    const auto sameStart = [](std::int64_t task) -> PathKey {
        return static_cast<PathKey>(task) << 40;
    };
    for (const auto& keyOf : {+spread, +sameStart}) {
        LastUsers users(4);
        for (std::int64_t task = 1; task <= kTasks; ++task)
            ASSERT_EQ(users.exchange(keyOf(task), task), 0) << task;
        for (std::int64_t task = 1; task <= kTasks; ++task)
            ASSERT_EQ(users.exchange(keyOf(task), kTasks + task), task) << task;
        users.clear();
        EXPECT_EQ(users.exchange(keyOf(1), 1), 0);
        EXPECT_EQ(users.exchange(keyOf(kTasks), 2), 0);
    }
}

}  // namespace
}  // namespace mv::cli
