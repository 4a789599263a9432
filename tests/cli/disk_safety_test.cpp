// What reaches the disk and where, through marrowvale-cli as a real process:
// links planted below the output folder, failed syncs (real failures from the
// fault library), the mode of a replaced result and a read-only disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/test_support.h"

namespace mv::test {
namespace {

namespace fs = std::filesystem;

const std::string kNoteXml = "<?xml version=\"1.0\"?>\r\n<note><to>Tove</to></note>\r\n";
const std::string kOld = "an earlier result, still wanted\r\n";

std::string faultWrapper(const std::vector<std::string>& words) {
    std::string wrapper = "env " + quoted(std::string("LD_PRELOAD=") + MV_FAULT_LIB);
    for (const auto& word : words) wrapper += " " + quoted(word);
    return wrapper + " ";
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// A sub-folder of the mirrored tree that another user replaced with a link
// in the shared output folder leads no result, and no folder, through it;
// our own link there is entered.
TEST(DiskSafety, MirroredFoldersFollowOnlyTrustedLinks) {
    if (geteuid() != 0) GTEST_SKIP() << "links of another user need root to make";
    struct Row {
        const char* name;
        uid_t linkOwner;
        bool followed;
    } rows[] = {
        {"another user's link", Unprivileged::kNobody, false},
        {"our own link", 0, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        fs::create_directories(dir / "src" / "sub" / "deeper");
        writeBytes(dir / "src" / "sub" / "x.xml", kNoteXml);
        writeBytes(dir / "src" / "sub" / "deeper" / "y.xml", kNoteXml);
        fs::create_directory(dir / "precious");
        fs::create_directory(dir / "shared");
        ASSERT_EQ(chmod((dir / "shared").c_str(), 01777), 0);
        fs::create_directory_symlink(dir / "precious", dir / "shared" / "sub");
        ASSERT_EQ(lchown((dir / "shared" / "sub").c_str(), row.linkOwner, row.linkOwner), 0);
        auto run = runCli(dir.path(), {"convert", "-q", "-o", "shared", "src"});
        if (row.followed) {
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(entryNames(dir / "precious"), (std::vector<std::string>{"deeper", "x.json"}));
        } else {
            EXPECT_EQ(run.exitCode, 1) << run.err;
            EXPECT_EQ(count(run.err, "a link another user placed in a shared folder"), 2u)
                << run.err;
            EXPECT_TRUE(entryNames(dir / "precious").empty());
        }
        EXPECT_TRUE(fs::is_symlink(dir / "shared" / "sub"));
    }
}

// A failed sync is told at the end, whichever sync saw it: each result that
// may not be on disk gets a report and a failed record, and the run exits 3.
// A run of few results syncs them one by one, so a failure of the whole
// file system's sync (another process's data) does not touch it.
TEST(DiskSafety, FailedSyncsAreNeverLost) {
    struct Row {
        const char* name;
        int files;
        std::vector<std::string> environment;
        int exitCode;
        bool allLost;        // else some
        bool large = false;  // a large file first, still written when the sync fails
    } rows[] = {
        {"a failed sync of each result", 2, {"MV_FAULT=fdatasync:/out/:0:5"}, 3, true},
        {"a failed folder sync", 2, {"MV_FAULT=fsync:/out:0:5"}, 3, true},
        // A result's own descriptor is the one it was written through.
        {"a failed close of each result", 2, {"MV_FAULT=close:/out/:0:5"}, 3, true},
        {"a failing file system sync, not used for few results",
         2,
         {"MV_FAULT=syncfs:/out:0:5"},
         0,
         false},
        // Enough files for one sync of the file system, slow enough that
        // the background sync sees the failure and the last one does not.
        {"a background sync failing once",
         300,
         {"MV_FAULT=syncfs:/out:0:5:once", "MV_READ_DELAY_US=6000"},
         3,
         false},
        // The failure may be about a result not published yet: it is told.
        {"a background sync failing while a large result is written",
         300,
         {"MV_FAULT=syncfs:/out:0:5:once", "MV_READ_DELAY_US=1000"},
         3,
         false,
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        fs::create_directory(dir / "out");
        std::vector<std::string> args = {"convert",  "-q",        "-j", "1",
                                         "--report", "rep.jsonl", "-o", "out"};
        if (row.large) {
            std::string big = "<r>";
            while (big.size() < (std::size_t{33} << 20)) big += "<a>x</a><b>y</b>";
            writeBytes(dir / "big.xml", big + "</r>");
            args.push_back("big.xml");
        }
        for (int i = 0; i < row.files; ++i) {
            std::string name = "f" + std::to_string(i) + ".xml";
            writeBytes(dir / name, kNoteXml);
            args.push_back(name);
        }
        auto run = runCli(dir.path(), args, faultWrapper(row.environment));
        EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
        const std::string records = readBytes(dir / "rep.jsonl");
        const std::size_t lost = count(run.err, "may not be on disk");
        EXPECT_EQ(count(records, "\"status\":\"failed\""), lost);
        if (row.exitCode == 0) {
            EXPECT_EQ(lost, 0u) << run.err;
        } else if (row.allLost) {
            EXPECT_EQ(lost, static_cast<std::size_t>(row.files)) << run.err;
        } else {
            EXPECT_GT(lost, 0u) << run.err;
        }
        if (row.large) {
            EXPECT_TRUE(contains(run.err, "big.json (may not be on disk)")) << run.err;
        }
    }
}

// A replaced result keeps its permission bits, never a set-user-ID,
// set-group-ID or sticky bit; a read-only disk is called so.
TEST(DiskSafety, ReplacedModesAndReadOnlyDisks) {
    TempDir dir;
    writeBytes(dir / "x.xml", kNoteXml);
    fs::create_directory(dir / "out");
    writeBytes(dir / "out" / "x.json", kOld);
    ASSERT_EQ(chmod((dir / "out" / "x.json").c_str(), 07755), 0);
    auto run = runCli(dir.path(), {"convert", "-q", "-o", "out", "x.xml"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    struct stat st {};
    ASSERT_EQ(stat((dir / "out" / "x.json").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);

    run = runCli(dir.path(), {"convert", "-q", "-o", "out", "x.xml"},
                 faultWrapper({"MV_FAULT=write:/out/:0:30"}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(contains(run.err, "Read-only file system")) << run.err;
    EXPECT_FALSE(contains(run.err, "Permission denied")) << run.err;
}

// What stands at a result is seen also once the files before it have made
// the run read the output folder's listing, one job or two.
TEST(DiskSafety, EarlierResultsAreSeenAfterTheListingIsRead) {
    for (const char* jobs : {"1", "2"}) {
        SCOPED_TRACE(jobs);
        TempDir dir;
        fs::create_directory(dir / "out");
        std::vector<std::string> args{"convert", "-q", "-j", jobs, "-o", "out"};
        for (int i = 0; i < 12; ++i) {
            args.push_back("f" + std::to_string(i) + ".xml");
            writeBytes(dir / args.back(), kNoteXml);
        }
        writeBytes(dir / "out" / "f10.json", kOld);
        ASSERT_EQ(chmod((dir / "out" / "f10.json").c_str(), 0600), 0);
        fs::create_directory(dir / "out" / "f11.json");
        auto run = runCli(dir.path(), args);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_EQ(count(run.err, "f11.json"), 1u) << run.err;
        struct stat st {};
        ASSERT_EQ(stat((dir / "out" / "f10.json").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_NE(readBytes(dir / "out" / "f10.json"), kOld);
        EXPECT_TRUE(fs::is_directory(dir / "out" / "f11.json"));
    }
}

}  // namespace
}  // namespace mv::test
