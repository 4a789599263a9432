// --report records of many machines joined: absolute paths, the host and the
// shard in every record, checked with the one jq line that users are given.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <sstream>
#include <string>

#include "tests/cli/cli_runner.h"
#include "tests/support/test_support.h"

namespace mv::test {
namespace {

namespace fs = std::filesystem;

// Every source of the list told exactly once, and converted or unchanged.
const std::string kJoinCheck =
    "jq -se --argjson n 30 'length == $n and (map(.source) | unique | length) == $n and "
    "all(.status == \"converted\" or .status == \"unchanged\")'";

TEST(CliReportOrigin, ShardReportsJoinIntoOneCheck) {
    if (!haveTool("jq")) GTEST_SKIP() << "jq is not installed";
    TempDir dir;
    fs::create_directories(dir / "in" / "a");
    for (int i = 0; i < 30; ++i)
        writeBytes(dir / "in" / (i % 3 ? "a" : "") / ("n" + std::to_string(i) + ".xml"), "<a/>");
    char host[HOST_NAME_MAX + 1] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    fs::create_directory(dir / "out");
    for (const char* shard : {"1/2", "2/2"}) {
        std::string name = std::string("r") + shard[0] + ".jsonl";
        auto r = runCli(dir.path(),
                        {"convert", "-q", "--shard", shard, "--report", name, "-o", "out", "in"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::istringstream lines(readBytes(dir / name));
        for (std::string line; std::getline(lines, line);) {
            SCOPED_TRACE(line);
            EXPECT_NE(line.find("\"result\":\"" + (dir / "out").string() + "/"), std::string::npos);
            EXPECT_NE(
                line.find(",\"host\":\"" + std::string(host) + "\",\"shard\":\"" + shard + "\"}"),
                std::string::npos);
        }
    }
    auto joined = runShell(dir.path(), kJoinCheck + " r1.jsonl r2.jsonl");
    EXPECT_EQ(joined.exitCode, 0) << joined.out << joined.err;
    auto oneShardMissing = runShell(dir.path(), kJoinCheck + " r1.jsonl");
    EXPECT_EQ(oneShardMissing.exitCode, 1) << oneShardMissing.out;
    auto toldTwice = runShell(dir.path(), kJoinCheck + " r1.jsonl r1.jsonl");
    EXPECT_EQ(toldTwice.exitCode, 1) << toldTwice.out;

    auto unsharded = runCli(dir.path(), {"convert", "-q", "--report", "-", "in/n0.xml"});
    EXPECT_NE(unsharded.out.find(",\"host\":\"" + std::string(host) + "\"}"), std::string::npos)
        << unsharded.out;
}

}  // namespace
}  // namespace mv::test
