// marrowvale-cli as a real process in temporary folders.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/test_support.h"

namespace mv::test {
namespace {

namespace fs = std::filesystem;

const std::string kNoteXml =
    "<?xml version=\"1.0\"?>\r\n<note>\r\n  <to>Tove</to>\r\n  <from>Jani</from>\r\n</note>\r\n";
const std::string kNoteJson =
    " { \r\n{\"note\":\"  toTove\"},\r\n{\"from\":\"Jani\"},\r\n{\"note\":\"\"}\r\n } ";

TEST(Cli, HelpAndVersion) {
    TempDir dir;
    auto version = runCli(dir.path(), {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find("marrowvale-cli "), std::string::npos);
    auto help = runCli(dir.path(), {"convert", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--output-dir"), std::string::npos);
}

TEST(Cli, UsageErrorsExitWithTwo) {
    TempDir dir;
    writeBytes(dir / "a.xml", kNoteXml);
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string message;
    } rows[] = {
        {"no files", {"convert"}, "No files added."},
        {"missing output folder",
         {"convert", "-o", "nowhere", "a.xml"},
         "Folder does not exist. Please select another folder."},
        {"output folder is a file",
         {"convert", "-o", "a.xml", "a.xml"},
         "Folder does not exist. Please select another folder."},
        {"both output options", {"convert", "-o", ".", "--beside", "a.xml"}, ""},
        {"no command", {}, ""},
        {"unknown option", {"convert", "--frobnicate", "a.xml"}, ""},
        {"zero jobs", {"convert", "-j", "0", "a.xml"}, ""},
        {"dry run without files", {"convert", "--dry-run"}, "No files added."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto r = runCli(dir.path(), row.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "a.json"));
}

TEST(Cli, ConvertsBesideSourcesByDefaultAndIntoAFolderWithO) {
    TempDir dir;
    fs::create_directories(dir / "in" / "sub");
    fs::create_directories(dir / "out");
    writeBytes(dir / "in" / "a.xml", kNoteXml);
    writeBytes(dir / "in" / "sub" / "b.final.XML", "<b>1</b>");

    auto beside = runCli(dir.path(), {"convert", "in/a.xml", "in/sub/b.final.XML"});
    EXPECT_EQ(beside.exitCode, 0) << beside.err;
    EXPECT_EQ(beside.err, "");  // not a terminal: no progress
    EXPECT_EQ(readBytes(dir / "in" / "a.json"), kNoteJson);
    EXPECT_EQ(readBytes(dir / "in" / "sub" / "b.final.json"), " { \r\n{\"b\":\"1\"},\r\n{}\r\n } ");

    auto intoFolder = runCli(dir.path(), {"convert", "-q", "-o", "out", "in/a.xml"});
    EXPECT_EQ(intoFolder.exitCode, 0) << intoFolder.err;
    EXPECT_EQ(readBytes(dir / "out" / "a.json"), kNoteJson);
}

TEST(Cli, FailuresAreReportedWithLocationAndStepAndExitWithOne) {
    TempDir dir;
    writeBytes(dir / "good.xml", kNoteXml);
    writeBytes(dir / "empty.xml", "");
    auto r = runCli(dir.path(), {"convert", "missing.xml", "empty.xml", "good.xml"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("File not found: " + (dir / "missing.xml").string() +
                         " [in Tessaline2021/08/31.Main.CheckFirsrStringFSO at line 102]"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Subscript out of range [in Tessaline2021/08/31.Form1.PushButton7_Click "
                         "at line 160]"),
              std::string::npos);
    EXPECT_EQ(readBytes(dir / "good.json"), kNoteJson);
    EXPECT_EQ(readBytes(dir / "empty.json"), "");
}

TEST(Cli, DryRunListsSourcesAndResultsAndWritesNothing) {
    TempDir dir;
    fs::create_directory(dir / "out");
    writeBytes(dir / "a.b.xml", kNoteXml);
    auto r = runCli(dir.path(), {"convert", "--dry-run", "-o", "out/", "a.b.xml", "missing.xml"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (dir / "a.b.xml").string() + "\tout/a.b.json\n" +
                         (dir / "missing.xml").string() + "\tout/missing.json\n");
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}

// Sources whose results collide, and a result that is another source: a
// parallel run must leave exactly what a sequential one leaves.
TEST(Cli, ParallelRunsLeaveTheSameFilesAsSequentialOnes) {
    TempDir dir;
    std::vector<std::string> args;
    for (int i = 0; i < 40; ++i) {
        fs::path folder = dir / "in" / std::to_string(i % 7);
        fs::create_directories(folder);
        std::string name = "f" + std::to_string(i % 5) + ".xml";
        std::string body =
            "<r><n>" + std::to_string(i) + "</n>" + std::string(i * 997, 'x') + "</r>";
        writeBytes(folder / name, body);
        args.push_back((folder / name).string());
    }
    // a.xml's result is the next source; it must be read after a.xml is done.
    writeBytes(dir / "in" / "a.xml", "<a>from a</a>");
    writeBytes(dir / "in" / "a.json", "<old>json</old>");
    args.push_back((dir / "in" / "a.xml").string());
    args.push_back((dir / "in" / "a.json").string());

    std::vector<std::string> results;
    for (const char* jobs : {"1", "4"}) {
        fs::path out = dir / (std::string("out") + jobs);
        fs::create_directory(out);
        std::vector<std::string> call = {"convert", "-q", "-j", jobs, "-o", out.string()};
        call.insert(call.end(), args.begin(), args.end());
        auto r = runCli(dir.path(), call);
        EXPECT_EQ(r.exitCode, 1) << r.err;  // each replaced result is told
        std::string all;
        for (int k = 0; k < 5; ++k) {
            all.append(readBytes(out / ("f" + std::to_string(k) + ".json"))).append("|");
        }
        all += readBytes(out / "a.json");
        results.push_back(all);
    }
    EXPECT_EQ(results[0], results[1]);
    EXPECT_NE(results[0].find("{\"r\":\"n39\"}"), std::string::npos);  // the last f4.xml wins
}

TEST(Cli, ParallelReportsComeInFileOrder) {
    TempDir dir;
    std::vector<std::string> call = {"convert", "-j", "3"};
    for (int i = 0; i < 12; ++i) {
        std::string name = "e" + std::to_string(i) + ".xml";
        writeBytes(dir / name, i % 2 ? std::string(200000, 'z') : std::string());
        call.push_back(name);
    }
    auto r = runCli(dir.path(), call);
    EXPECT_EQ(r.exitCode, 1);
    // Each empty source gives one report at step 160, in the order listed.
    std::string::size_type at = 0;
    int reports = 0;
    while ((at = r.err.find("at line 160", at)) != std::string::npos) {
        ++reports;
        ++at;
    }
    EXPECT_EQ(reports, 6);
}

TEST(Cli, SourceConvertedBesideItselfKeepsItsFullContentUntilDone) {
    TempDir dir;
    std::string big = "<r>";
    while (big.size() < 300000) big += "<v>value</v>";
    big += "</r>";
    writeBytes(dir / "self.json", big);
    auto r = runCli(dir.path(), {"convert", "self.json"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::string json = readBytes(dir / "self.json");
    EXPECT_EQ(json.rfind(" { ", 0), 0u);
    EXPECT_GT(json.size(), 300000u);
}

// More chunks than a 16-bit index can count: a sparse file of 2 GiB and one
// chunk more reads as NUL characters, every chunk of which gives the note.
TEST(Cli, SeveralGigabyteSourceKeepsCountingChunks) {
    TempDir dir;
    const std::uint64_t chunks = 32768 + 1;
    fs::path source = dir / "sparse.xml";
    { std::ofstream touch(source); }
    fs::resize_file(source, chunks * 65536);
    auto r = runCli(dir.path(), {"convert", "-q", "sparse.xml"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string note = "May be not a valid XML file.";
    EXPECT_EQ(fs::file_size(dir / "sparse.json"), chunks * note.size());
}

}  // namespace
}  // namespace mv::test
