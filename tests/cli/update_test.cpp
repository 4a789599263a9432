// convert --update: a rerun converts only what is missing or stale.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/test_support.h"

namespace mv::test {
namespace {

namespace fs = std::filesystem;

std::string document(int seed, std::size_t bytes) {
    std::string text = "<?xml version=\"1.0\"?><list>";
    for (int i = seed; text.size() < bytes; ++i) text += "<v>" + std::to_string(i) + "</v>";
    return text + "</list>";
}

// Each --report line's result path and status.
std::map<std::string, std::string> statusByResult(const std::string& report) {
    std::map<std::string, std::string> statuses;
    std::istringstream lines(report);
    auto field = [](const std::string& line, const std::string& name) {
        auto at = line.find("\"" + name + "\":\"");
        if (at == std::string::npos) return std::string();
        at += name.size() + 4;
        return line.substr(at, line.find('"', at) - at);
    };
    for (std::string line; std::getline(lines, line);)
        statuses[field(line, "result")] = field(line, "status");
    return statuses;
}

// A run stopped by a signal midway, rerun with --update (and more jobs):
// every result is that of a plain run, and no source is converted twice.
TEST(CliUpdate, InterruptedRunResumesWithoutConvertingASourceTwice) {
    TempDir dir;
    constexpr int kFiles = 40;
    for (int i = 0; i < kFiles; ++i) {
        fs::path file = dir / "src" / (i % 2 ? "odd" : "") / ("f " + std::to_string(i) + ".xml");
        fs::create_directories(file.parent_path());
        writeBytes(file, document(i, 1'000'000));
    }
    fs::create_directory(dir / "plain");
    ASSERT_EQ(runCli(dir.path(), {"convert", "-q", "-o", "plain", "src"}).exitCode, 0);
    const fs::path out = dir / "out";
    fs::create_directory(out);
    auto results = [&] {
        std::map<fs::path, fs::file_time_type> found;
        for (const auto& entry : fs::recursive_directory_iterator(out))
            if (entry.path().extension() == ".json") found[entry.path()] = entry.last_write_time();
        return found;
    };

    pid_t pid = spawnCli({"convert", "-q", "-j", "1", "-o", out.string(), (dir / "src").string()});
    ASSERT_GT(pid, 0);
    for (int wait = 0; wait < 20000 && results().empty(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    const auto before = results();
    ASSERT_FALSE(before.empty());
    ASSERT_LT(before.size(), static_cast<std::size_t>(kFiles)) << "the run ended before its signal";

    auto rerun =
        runCli(dir.path(), {"convert", "-q", "-j", "2", "-u", "--report", "-", "-o", "out", "src"});
    EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
    const auto statuses = statusByResult(rerun.out);
    ASSERT_EQ(statuses.size(), static_cast<std::size_t>(kFiles)) << rerun.out;
    std::size_t unchanged = 0;
    for (const auto& [result, said] : statuses) {
        SCOPED_TRACE(result);
        auto kept = before.find(result);
        EXPECT_EQ(said, kept == before.end() ? "converted" : "unchanged");
        if (kept != before.end()) {
            ++unchanged;
            EXPECT_TRUE(fs::last_write_time(result) == kept->second) << "written again";
        }
        fs::path relative = fs::path(result).lexically_relative(out);
        EXPECT_TRUE(readBytes(result) == readBytes(dir / "plain" / relative));
    }
    EXPECT_EQ(unchanged, before.size());
}

TEST(CliUpdate, OnlyMissingOrOlderResultsAreConverted) {
    TempDir dir;
    const auto then = fs::file_time_type::clock::now() - std::chrono::hours(1);
    struct Row {
        std::string name;
        std::optional<int> resultShift;  // seconds after the source; none: no result
        const char* status;
    } rows[] = {
        {"missing", std::nullopt, "converted"}, {"older", -10, "converted"},
        {"same-time", 0, "unchanged"},          {"newer", 10, "unchanged"},
        {"in-the-way", std::nullopt, "failed"},  // a folder where the result goes
    };
    std::vector<std::string> sources;
    for (const auto& row : rows) {
        writeBytes(dir / (row.name + ".xml"), "<a>new</a>");
        fs::last_write_time(dir / (row.name + ".xml"), then);
        if (row.resultShift) {
            writeBytes(dir / (row.name + ".json"), "old");
            fs::last_write_time(dir / (row.name + ".json"),
                                then + std::chrono::seconds(*row.resultShift));
        }
        sources.push_back(row.name + ".xml");
    }
    fs::create_directory(dir / "in-the-way.json");
    std::vector<std::string> args = {"convert", "-u", "--dry-run"};
    args.insert(args.end(), sources.begin(), sources.end());
    auto dry = runCli(dir.path(), args);
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(std::count(dry.out.begin(), dry.out.end(), '\n'), 3) << dry.out;
    EXPECT_EQ(dry.out.find("newer.xml"), std::string::npos) << dry.out;

    args[2] = "--report=-";
    auto run = runCli(dir.path(), args);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("2 of 5 files converted, 2 unchanged, 1 with reports"),
              std::string::npos)
        << run.err;
    auto statuses = statusByResult(run.out);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::path result = dir / (row.name + ".json");
        EXPECT_EQ(statuses[result.string()], row.status);
        if (row.resultShift) {
            EXPECT_EQ(readBytes(result) == "old", *row.resultShift >= 0);
        }
    }
    // Unchanged counts as done.
    auto again = runCli(dir.path(), {"convert", "-u", "missing.xml", "newer.xml"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.err, "");
}

}  // namespace
}  // namespace mv::test
