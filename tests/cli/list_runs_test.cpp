// marrowvale-cli over lists and trees at scale: results that sources of one
// run share, --parents, and exit statuses that tell the data's faults from
// the run's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/test_support.h"

namespace mv::test {
namespace {

namespace fs = std::filesystem;

void touch(const fs::path& file, const std::string& body) {
    fs::create_directories(file.parent_path());
    writeBytes(file, body);
}

bool holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// broke: the second source silently replaced the first's result, exit 0,
// both records said "converted".
TEST(CliListRuns, AResultThatALaterSourceReplacesIsTold) {
    TempDir dir;
    touch(dir / "data" / "a" / "x.xml", "<a>first</a>");
    touch(dir / "data" / "b" / "x.xml", "<a>second</a>");
    touch(dir / "data" / "y.xml", "<a>alone</a>");
    writeBytes(dir / "list", "data/a/x.xml\ndata/y.xml\ndata/b/x.xml\n");
    writeBytes(dir / "again", "data/a/x.xml\ndata/a/x.xml\n");
    const std::string a = (dir / "data/a/x.xml").string(), b = (dir / "data/b/x.xml").string();
    for (const char* jobs : {"1", "3"}) {
        SCOPED_TRACE(jobs);
        fs::remove_all(dir / "out");
        fs::create_directory(dir / "out");
        auto r = runCli(dir.path(), {"convert", "-j", jobs, "--files-from", "list", "-o", "out",
                                     "--report", "-"});
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_TRUE(holds(readBytes(dir / "out" / "x.json"), "second"));  // the last one stays
        EXPECT_TRUE(holds(r.err, a + ": its result out/x.json is replaced by that of " + b))
            << r.err;
        auto records = r.out;
        ASSERT_EQ(std::count(records.begin(), records.end(), '\n'), 3) << records;
        EXPECT_TRUE(holds(records.substr(0, records.find('\n')), "\"status\":\"replaced\""));
        EXPECT_EQ(records.find("replaced", records.find('\n')), std::string::npos) << records;
    }
    auto dry = runCli(dir.path(), {"convert", "--dry-run", "--files-from", "list", "-o", "out"});
    EXPECT_EQ(dry.exitCode, 1);
    EXPECT_TRUE(holds(dry.err, a + ": its result out/x.json is replaced by that of " + b));
    // The same source twice writes the same result: nothing is lost.
    auto twice = runCli(dir.path(), {"convert", "--files-from", "again", "-o", "out"});
    EXPECT_EQ(twice.exitCode, 0) << twice.err;
}

TEST(CliListRuns, ParentsKeepTheListedPathBelowTheOutputFolder) {
    TempDir dir;
    touch(dir / "data" / "a" / "x.xml", "<a>first</a>");
    touch(dir / "data" / "b" / "x.xml", "<a>second</a>");
    touch(dir / "tree" / "s" / "z.xml", "<a>deep</a>");
    fs::create_directory(dir / "out");
    const std::string absolute = (dir / "data/b/x.xml").string();
    writeBytes(dir / "list", "data/a/x.xml\n" + absolute + "\n");
    auto r =
        runCli(dir.path(), {"convert", "--parents", "--files-from", "list", "-o", "out", "./tree"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> results = {
        "out/data/a/x.json", "out" + absolute.substr(0, absolute.size() - 4) + ".json",
        "out/tree/s/z.json"};
    for (const auto& result : results) EXPECT_TRUE(fs::exists(dir / result)) << result;

    // A ".." anywhere in the list is found before anything is touched.
    fs::remove_all(dir / "out");
    fs::create_directory(dir / "out");
    writeBytes(dir / "climbs", "data/a/x.xml\ndata/../data/b/x.xml\n");
    const std::vector<std::vector<std::string>> refused = {
        {"convert", "--parents", "--files-from", "climbs", "-o", "out"},
        {"convert", "--parents", "data/a/x.xml"},  // nowhere to keep the path
    };
    for (const auto& args : refused) {
        auto refusal = runCli(dir.path(), args);
        EXPECT_EQ(refusal.exitCode, 2) << refusal.err;
    }
    EXPECT_TRUE(fs::is_empty(dir / "out"));
    EXPECT_FALSE(fs::exists(dir / "data" / "a" / "x.json"));
}

// broke: every name of a list written on Windows ended in CR, was "File not
// found", and left an empty result beside the real file.
TEST(CliListRuns, CrlfListsLoseTheirCrsNulListsKeepThem) {
    TempDir dir;
    touch(dir / "a.xml", "<a>1</a>");
    touch(dir / "c.xml\r", "<a>3</a>");
    writeBytes(dir / "lines", "a.xml\r\n");
    writeBytes(dir / "nuls", std::string("c.xml\r\0", 7));
    auto lines = runCli(dir.path(), {"convert", "--files-from", "lines"});
    EXPECT_EQ(lines.exitCode, 0) << lines.err;
    EXPECT_TRUE(holds(readBytes(dir / "a.json"), "\"a\":\"1\""));
    auto nuls = runCli(dir.path(), {"convert", "-0", "--files-from", "nuls"});
    EXPECT_EQ(nuls.exitCode, 0) << nuls.err;
    EXPECT_TRUE(holds(readBytes(dir / "c.json"), "\"a\":\"3\""));
    EXPECT_EQ(entryNames(dir.path()),
              (std::vector<std::string>{"a.json", "a.xml", "c.json", "c.xml\r", "lines", "nuls"}));
}

// broke: a list cut short by a read error, and an output folder gone
// mid-run, ended with 1, as a fault of the data would.
TEST(CliListRuns, ARunThatCouldNotBeCompletedExitsWithThree) {
    TempDir dir;
    touch(dir / "many" / "f0.xml", "<a>0</a>");
    std::string big = "<r>";
    for (int i = 0; i < 20000; ++i) big += "<a>" + std::to_string(i) + "</a>\n";
    touch(dir / "many" / "f1.xml", big + "</r>");  // written a byte at a time below
    touch(dir / "many" / "f2.xml", "<a>2</a>");
    fs::create_directory(dir / "out");
    // A list that cannot be read (a folder): nothing is converted.
    auto unread = runCli(dir.path(), {"convert", "--files-from", "many", "-o", "out"});
    EXPECT_EQ(unread.exitCode, 3) << unread.err;
    EXPECT_TRUE(holds(unread.err, "many: Is a directory")) << unread.err;
    EXPECT_TRUE(fs::is_empty(dir / "out"));

    // The folder goes once the first result is in, while the second is
    // written a byte at a time.
    const std::string script =
        "env " + quoted(std::string("LD_PRELOAD=") + MV_FAULT_LIB) + " MV_SHORT_WRITES=1 " +
        commandLine(cliPath(), {"convert", "-q", "-j", "1", "-o", "out", "many"}) +
        " 2>err & pid=$!; while [ ! -e out/f0.json ] && kill -0 $pid; do sleep 0.001; done;"
        " mv out moved; wait $pid";
    auto gone = runShell(dir.path(), "sh -c " + quoted(script));
    EXPECT_EQ(gone.exitCode, 3);
    EXPECT_TRUE(holds(readBytes(dir / "err"), "Please select another folder. (out)"));
}

// broke: an output folder the user cannot write failed file by file, a
// line for each of a million sources.
TEST(CliListRuns, AnUnwritableOutputFolderIsFoundBeforeTheFirstFile) {
    TempDir dir;
    Unprivileged user;
    std::string why = user.prepare(dir);
    if (!why.empty()) GTEST_SKIP() << why;
    touch(dir / "a.xml", "<a>1</a>");
    touch(dir / "b.xml", "<a>2</a>");
    fs::create_directory(dir / "locked");  // root's, 0755
    fs::create_directory(dir / "open");
    user.giveAway(dir / "open");
    for (const char* mode : {"--dry-run", "-q"}) {
        auto r = user.run(dir, {"convert", mode, "-o", "locked", "a.xml", "b.xml"});
        EXPECT_EQ(r.exitCode, 2) << mode;
        EXPECT_EQ(r.err,
                  "marrowvale-cli: cannot write into the output folder locked: Permission "
                  "denied\n");
    }
    EXPECT_TRUE(fs::is_empty(dir / "locked"));
    auto fine = user.run(dir, {"convert", "-q", "-o", "open", "a.xml", "b.xml"});
    EXPECT_EQ(fine.exitCode, 0) << fine.err;
}

// broke: sub-folders passed over for the length of their path went
// unmentioned, exit 0.
TEST(CliListRuns, FoldersPassedOverForTheirLengthAreTold) {
    TempDir dir;
    fs::path deep = dir / "t" / std::string(100, 'd') / std::string(100, 'e');
    while (deep.string().size() + 1 < 260) deep /= std::string(20, 'f');
    touch(deep / "x.xml", "<a>1</a>");
    touch(deep / "g" / "y.xml", "<a>2</a>");
    touch(deep / "h" / "z.xml", "<a>3</a>");
    auto told = runCli(dir.path(), {"convert", "t"});
    EXPECT_EQ(told.exitCode, 1);
    EXPECT_TRUE(holds(told.err, (deep / "g").string() +
                                    "/: folder passed over: its path has 260 characters or more"))
        << told.err;
    EXPECT_TRUE(holds(told.err, (deep / "h").string() + "/: folder passed over"));
    EXPECT_TRUE(fs::exists(deep / "x.json"));
    EXPECT_FALSE(fs::exists(deep / "g" / "y.json"));
    auto quiet = runCli(dir.path(), {"convert", "-q", "t"});
    EXPECT_EQ(quiet.exitCode, 1);
    EXPECT_EQ(quiet.err,
              "marrowvale-cli: 2 folders passed over: paths of 260 characters or more\n");
}

TEST(CliListRuns, TheHelpTellsEveryExitStatus) {
    TempDir dir;
    auto help = runCli(dir.path(), {"convert", "--help"});
    for (const char* status : {"0 every file", "1 a source", "2 usage", "3 the run", "128+N"})
        EXPECT_TRUE(holds(help.out, status)) << status;
    auto missing = runCli(dir.path(), {"convert", "-o", "no where", "a.xml"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(holds(missing.err, "Please select another folder. (no where)")) << missing.err;
}

}  // namespace
}  // namespace mv::test
