// Folders given to marrowvale-cli: scanned as the folder button scans them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/test_support.h"

namespace mv::test {
namespace {

namespace fs = std::filesystem;

void touch(const fs::path& file, const std::string& body = "<a>1</a>") {
    fs::create_directories(file.parent_path());
    writeBytes(file, body);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST(CliFolders, DryRunListsFilesAndFoldersInScanOrder) {
    TempDir dir;
    touch(dir / "one.xml");
    touch(dir / "tree" / "top.xml");
    touch(dir / "tree" / "notes.txt");
    touch(dir / "tree" / "~lock.xml");
    touch(dir / "tree" / "sub" / "deep.XML");
    auto r = runCli(dir.path(), {"convert", "--dry-run", "one.xml", "tree/"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string base = dir.path().string();
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{
                                base + "/one.xml\t" + base + "/one.json",
                                base + "/tree/top.xml\t" + base + "/tree/top.json",
                                base + "/tree/sub/deep.XML\t" + base + "/tree/sub/deep.json",
                            }));
    auto all = runCli(dir.path(), {"convert", "--dry-run", "--all-files", "tree"});
    EXPECT_EQ(lines(all.out).size(), 3u);  // notes.txt joins; "~" files stay out
    EXPECT_NE(all.out.find("notes.txt"), std::string::npos);
}

TEST(CliFolders, ConvertsAWholeTreeAndAnEmptyOneAddsNothing) {
    TempDir dir;
    for (int i = 0; i < 30; ++i)
        touch(dir / "t" / std::to_string(i % 4) / ("f" + std::to_string(i) + ".xml"));
    fs::create_directory(dir / "empty");
    auto r = runCli(dir.path(), {"convert", "-q", "-j", "2", "t"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    int results = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir / "t")) {
        results += entry.path().extension() == ".json";
    }
    EXPECT_EQ(results, 30);
    auto none = runCli(dir.path(), {"convert", "empty"});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.err.find("No files added."), std::string::npos);
}

// More files than one run of the conversion takes: the command streams them
// through several runs and its results and exit code are those of one.
TEST(CliFolders, LargeTreesStreamThroughSeveralRuns) {
    TempDir dir;
    for (int i = 0; i < 4200; ++i) writeBytes(dir / ("f" + std::to_string(i) + ".xml"), "<a>1</a>");
    writeBytes(dir / "empty.xml", "");
    auto r = runCli(dir.path(), {"convert", "-q", "-o", ".", "."});
    EXPECT_EQ(r.exitCode, 1);  // the empty source's report
    EXPECT_NE(r.err.find("at line 160"), std::string::npos);
    int results = 0;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        results += entry.path().extension() == ".json";
    EXPECT_EQ(results, 4201);
}

// A sub-folder that cannot be listed gives no files and no message. Root
// lists anything, so that case runs as an unprivileged user.
TEST(CliFolders, UnlistableSubFolderIsSkippedSilently) {
    TempDir dir;
    Unprivileged user;
    std::string why = user.prepare(dir);
    if (!why.empty()) GTEST_SKIP() << why;
    touch(dir / "t" / "ok.xml");
    touch(dir / "t" / "closed" / "hidden.xml");
    fs::permissions(dir / "t" / "closed", fs::perms::none);
    auto r = user.run(dir, {"convert", "--dry-run", "t"});
    fs::permissions(dir / "t" / "closed", fs::perms::owner_all);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(lines(r.out).size(), 1u);
    EXPECT_NE(r.out.find("ok.xml"), std::string::npos);
}

TEST(CliFolders, LinkLoopsDoNotMultiplyTheWalk) {
    TempDir dir;
    touch(dir / "t" / "a.xml");
    touch(dir / "t" / "s" / "b.xml");
    fs::create_directory_symlink("..", dir / "t" / "s" / "up");
    fs::create_directory_symlink(dir / "t", dir / "t" / "self");
    auto r = runCli(dir.path(), {"convert", "--dry-run", "t"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(lines(r.out).size(), 2u);
}

}  // namespace
}  // namespace mv::test
