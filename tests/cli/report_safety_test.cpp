// The --report file, standard input mode and signals through marrowvale-cli
// as a real process: the report touches nothing before every check has
// passed, never follows another user's link, never replaces a source or a
// result, holds only whole lines under its name and a line for every result
// published before a signal; no temporary file or folder outlives a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/test_support.h"

namespace mv::test {
namespace {

namespace fs = std::filesystem;

const std::string kNoteXml = "<?xml version=\"1.0\"?>\r\n<note><to>Tove</to></note>\r\n";
const std::string kKeep = "kept as it was\n";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Whether the folder holds a temporary file of ours.
bool holdsTemporary(const fs::path& folder) {
    for (const auto& name : entryNames(folder))
        if (name.rfind(".marrowvale-", 0) == 0) return true;
    return false;
}

int waitExit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Waits up to ten seconds for the condition.
bool waitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 10000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// A report that would replace a source or a result, or a command with a
// usage error, leaves the report's path and everything else as it was.
TEST(ReportSafety, NothingIsTouchedBeforeEveryCheckPasses) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        const char* untouched;  // a file that must keep kKeep
        const char* absent;     // a file that must not appear
    } rows[] = {
        {"usage error", {"-o", "nowhere", "--report", "keep.txt", "a.xml"}, "keep.txt", ""},
        {"a source", {"--report", "keep.xml", "a.xml", "keep.xml"}, "keep.xml", "a.json"},
        {"a hard link of a source", {"--report", "hard.txt", "keep.xml"}, "keep.xml", "keep.json"},
        {"a source in a folder", {"--report", "sub/keep.xml", "sub"}, "sub/keep.xml", ""},
        {"a source in a list", {"--files-from", "list", "--report", "keep.xml"}, "keep.xml", ""},
        {"an existing result", {"--report", "old.json", "a.xml", "old.xml"}, "old.json", "a.json"},
        {"a result still to come",
         {"-o", "out", "--report", "out/a.json", "a.xml"},
         "",
         "out/a.json"},
        {"a dry run's source", {"--dry-run", "--report", "keep.xml", "keep.xml"}, "keep.xml", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        writeBytes(dir / "a.xml", kNoteXml);
        writeBytes(dir / "old.xml", kNoteXml);
        for (const char* name : {"keep.txt", "keep.xml", "old.json"}) writeBytes(dir / name, kKeep);
        fs::create_hard_link(dir / "keep.xml", dir / "hard.txt");
        fs::create_directory(dir / "sub");
        fs::create_directory(dir / "out");
        writeBytes(dir / "sub" / "keep.xml", kKeep);
        writeBytes(dir / "list", "a.xml\nkeep.xml\n");
        auto before = entryNames(dir.path());
        std::vector<std::string> args = {"convert", "-q"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        auto run = runCli(dir.path(), args);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        if (*row.untouched) {
            EXPECT_EQ(readBytes(dir / row.untouched), kKeep);
        }
        if (*row.absent) {
            EXPECT_FALSE(fs::exists(dir / row.absent));
        }
        EXPECT_EQ(entryNames(dir.path()), before);
        EXPECT_TRUE(entryNames(dir / "out").empty());
    }
}

// A report path that is another user's link in a sticky shared folder is
// refused and its target stays; our own link there is written through.
TEST(ReportSafety, PlantedLinksAreNotFollowed) {
    if (geteuid() != 0) GTEST_SKIP() << "links of another user need root to make";
    for (uid_t linkOwner : {Unprivileged::kNobody, uid_t{0}}) {
        SCOPED_TRACE(linkOwner);
        TempDir dir;
        writeBytes(dir / "a.xml", kNoteXml);
        writeBytes(dir / "secret", kKeep);
        fs::create_directory(dir / "shared");
        ASSERT_EQ(chmod((dir / "shared").c_str(), 01777), 0);
        fs::create_symlink(dir / "secret", dir / "shared" / "rep.jsonl");
        ASSERT_EQ(lchown((dir / "shared" / "rep.jsonl").c_str(), linkOwner, linkOwner), 0);
        auto run = runCli(dir.path(), {"convert", "-q", "--report", "shared/rep.jsonl", "a.xml"});
        EXPECT_TRUE(fs::is_symlink(dir / "shared" / "rep.jsonl"));
        EXPECT_EQ(entryNames(dir / "shared"), std::vector<std::string>{"rep.jsonl"});
        if (linkOwner == 0) {
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(lines(readBytes(dir / "secret")).size(), 1u);
        } else {
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_NE(run.err.find("another user"), std::string::npos) << run.err;
            EXPECT_EQ(readBytes(dir / "secret"), kKeep);
            EXPECT_FALSE(fs::exists(dir / "a.json"));
        }
    }
}

// Interrupted during a run of many files, the report under its name ends on
// a whole line and names every result that was published; after kill -9 it
// is the earlier report, whole.
TEST(ReportSafety, SignalsLeaveAWholeReportWithEveryPublishedResult) {
    TempDir dir;
    fs::create_directory(dir / "in");
    for (int i = 0; i < 3000; ++i) writeBytes(dir / "in" / (std::to_string(i) + ".xml"), kNoteXml);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
        SCOPED_TRACE("signal " + std::to_string(signal));
        fs::path out = dir / ("out" + std::to_string(signal));
        fs::create_directory(out);
        fs::path report = dir / ("report" + std::to_string(signal));
        writeBytes(report, kKeep);
        pid_t pid = spawnCli({"convert", "-q", "-j", "2", "-o", out.string(), "--report",
                              report.string(), (dir / "in").string()});
        ASSERT_GT(pid, 0);
        bool started = waitFor([&] { return entryNames(out).size() >= 100; });
        kill(pid, signal);
        EXPECT_EQ(waitExit(pid), 128 + signal);
        ASSERT_TRUE(started);
        std::string text = readBytes(report);
        EXPECT_FALSE(holdsTemporary(dir.path()));
        if (signal == SIGKILL) {
            EXPECT_EQ(text, kKeep);
            continue;
        }
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n');
        std::set<std::string> recorded;
        for (const auto& line : lines(text)) {
            ASSERT_TRUE(line.front() == '{' && line.back() == '}') << line;
            auto at = line.find("\"result\":\"");
            ASSERT_NE(at, std::string::npos);
            at += 10;
            recorded.insert(fs::path(line.substr(at, line.find('"', at) - at)).filename());
        }
        for (const auto& name : entryNames(out)) EXPECT_EQ(recorded.count(name), 1u) << name;
    }
}

// A reader that goes away (`--report - | head -1`) ends the run as SIGPIPE
// does, with no temporary file left, also where files cannot be unnamed.
TEST(ReportSafety, BrokenPipeRemovesTemporaryFiles) {
    TempDir dir;
    fs::create_directory(dir / "in");
    fs::create_directory(dir / "out");
    // Files big enough that a temporary file is in flight most of the time.
    std::string list = "<?xml version=\"1.0\"?><list>";
    for (int i = 0; i < 20000; ++i) list += "<v>" + std::to_string(i) + "</v>";
    list += "</list>";
    for (int i = 0; i < 100; ++i) {
        writeBytes(dir / "in" / (std::to_string(i) + ".xml"), list);
        writeBytes(dir / "out" / (std::to_string(i) + ".json"), kKeep);  // named temporaries
    }
    const std::string command =
        "env LD_PRELOAD=" + quoted(MV_FAULT_LIB) + " MV_NO_TMPFILE=1 " +
        commandLine(cliPath(), {"convert", "-q", "-j", "2", "-o", "out", "--report", "-", "in"});
    for (int attempt = 0; attempt < 5; ++attempt) {
        auto run = runShell(dir.path(), "bash -c " + quoted(command + " | head -1 >/dev/null; echo "
                                                                      "${PIPESTATUS[0]}"));
        EXPECT_EQ(run.out, "141\n") << run.err;
        EXPECT_FALSE(holdsTemporary(dir / "out"));
    }
}

// `convert -` keeps its private folder in TMPDIR only while it runs: a
// signal, a reader that goes away or an exit removes it.
TEST(ReportSafety, StandardInputModeLeavesNoFolder) {
    TempDir dir;
    fs::create_directory(dir / "tmp");
    const std::string tmpdir = "TMPDIR=" + (dir / "tmp").string();
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        SCOPED_TRACE("signal " + std::to_string(signal));
        // Held open for writing, so that the CLI waits for more input.
        int writer = open((dir / "fifo").c_str(), O_RDWR);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(write(writer, "<a>", 3), 3);
        pid_t pid = spawnCli({"convert", "-"}, {tmpdir}, (dir / "fifo").string());
        ASSERT_GT(pid, 0);
        bool spooling = waitFor([&] { return !entryNames(dir / "tmp").empty(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        kill(pid, signal);
        EXPECT_EQ(waitExit(pid), 128 + signal);
        close(writer);
        EXPECT_TRUE(spooling);
        EXPECT_TRUE(entryNames(dir / "tmp").empty());
    }
    std::string big = "<?xml version=\"1.0\"?><list>";
    for (int i = 0; big.size() < 2'000'000; ++i) big += "<v>" + std::to_string(i) + "</v>";
    writeBytes(dir / "big.xml", big + "</list>");
    auto run = runShell(dir.path(), "bash -c " + quoted("env " + tmpdir + " " +
                                                        commandLine(cliPath(), {"convert", "-"}) +
                                                        " <big.xml | true; echo ${PIPESTATUS[0]}"));
    EXPECT_EQ(run.out, "141\n") << run.err;
    EXPECT_TRUE(entryNames(dir / "tmp").empty());
}

// A report or a standard output that cannot be written fails the run (3),
// apart from a source's report (1).
TEST(ReportSafety, UnwritableReportOrOutputExitsWithThree) {
    TempDir dir;
    writeBytes(dir / "a.xml", kNoteXml);
    const std::vector<std::string> commands = {
        commandLine(cliPath(), {"convert", "-q", "--report", "/dev/full", "a.xml"}),
        commandLine(cliPath(), {"convert", "-q", "--report", "-", "a.xml"}) + " >/dev/full",
        commandLine(cliPath(), {"convert", "-"}) + " <a.xml >/dev/full",
    };
    for (const auto& command : commands) {
        auto run = runShell(dir.path(), "sh -c " + quoted(command));
        EXPECT_EQ(run.exitCode, 3) << command << "\n" << run.err;
    }
}

}  // namespace
}  // namespace mv::test
