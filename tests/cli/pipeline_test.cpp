// marrowvale-cli in pipelines: standard streams, file lists, mirrored trees,
// shards, the JSON Lines report and what reaches a terminal.
#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cpu_count.h"
#include "cli/escape.h"
#include "cli/shard.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/test_support.h"

namespace mv::test {
namespace {

namespace fs = std::filesystem;

const std::string kNoteXml = "<?xml version=\"1.0\"?>\r\n<note>\r\n  <to>Tove</to>\r\n</note>\r\n";
const std::string kNoteJson = " { \r\n{\"note\":\"  toTove\"},\r\n{\"note\":\"\"}\r\n } ";

void touch(const fs::path& file, const std::string& body = kNoteXml) {
    fs::create_directories(file.parent_path());
    writeBytes(file, body);
}

std::vector<std::string> split(const std::string& text, char delimiter) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, delimiter);) out.push_back(item);
    return out;
}

TEST(CliPipeline, DashReadsStandardInputAndWritesStandardOutput) {
    TempDir dir;
    writeBytes(dir / "in.xml", kNoteXml);
    writeBytes(dir / "empty", "");
    auto r = runShell(dir.path(), commandLine(cliPath(), {"convert", "-"}), "in.xml");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, kNoteJson);
    EXPECT_FALSE(fs::exists(dir / "-.json"));
    auto empty = runShell(dir.path(), commandLine(cliPath(), {"convert", "-"}), "empty");
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_EQ(empty.err.rfind("marrowvale-cli: -: Subscript out of range", 0), 0u) << empty.err;

    const std::vector<std::vector<std::string>> misuses = {
        {"convert", "-", "in.xml"},
        {"convert", "-o", ".", "-"},
        {"convert", "--beside", "-"},
        {"convert", "--files-from", "in.xml", "-"},
        {"convert", "--report", "-", "-"},
        {"convert", "--files-from", "no-such-list", "in.xml"},  // opened before any work
    };
    for (const auto& args : misuses) {
        EXPECT_EQ(runCli(dir.path(), args).exitCode, 2) << args.back();
    }
    EXPECT_FALSE(fs::exists(dir / "in.json"));
}

// Names with blanks, tabs and line ends pass through a NUL-separated list in
// order, and the list never becomes an argument list.
TEST(CliPipeline, TwentyThousandNamesStreamThroughANulSeparatedList) {
    TempDir dir;
    std::string list;
    std::vector<std::string> names;
    for (int i = 0; i < 20000; ++i) {
        std::string name = "/data/" + std::to_string(i) + (i % 3 == 0 ? " a\tb\nc.xml" : ".xml");
        names.push_back(name);
        list += name + '\0';
    }
    writeBytes(dir / "list", list);
    auto r = runShell(dir.path(),
                      commandLine(cliPath(), {"convert", "--dry-run", "-0", "--files-from", "-"}),
                      "list");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto fields = split(r.out, '\0');
    ASSERT_EQ(fields.size(), 2 * names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(fields[2 * i], names[i]);
        ASSERT_EQ(fields[2 * i + 1], names[i].substr(0, names[i].size() - 4) + ".json");
    }

    // A line list converts, names relative to the current folder.
    touch(dir / "a.xml");
    touch(dir / "sub" / "b.xml");
    writeBytes(dir / "lines", "a.xml\n\nsub\n");
    auto real = runCli(dir.path(), {"convert", "-q", "--files-from", "lines"});
    EXPECT_EQ(real.exitCode, 0) << real.err;
    EXPECT_EQ(readBytes(dir / "a.json"), kNoteJson);
    EXPECT_EQ(readBytes(dir / "sub" / "b.json"), kNoteJson);
}

TEST(CliPipeline, ShardsAreDisjointAndCoverTheList) {
    // The documented hash: 64-bit FNV-1a, shard = hash mod N + 1.
    EXPECT_EQ(cli::fnv1a64(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(cli::fnv1a64("a"), 0xaf63dc4c8601ec8cull);
    TempDir dir;
    std::string list;
    for (int i = 0; i < 500; ++i) list += "d/f" + std::to_string(i) + ".xml\n";
    writeBytes(dir / "list", list);
    std::multiset<std::string> seen;
    for (int k = 1; k <= 3; ++k) {
        auto r = runCli(dir.path(), {"convert", "--dry-run", "--files-from", "list", "--shard",
                                     std::to_string(k) + "/3"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        auto lines = split(r.out, '\n');
        EXPECT_GT(lines.size(), 100u);  // each shard gets a fair share
        for (const auto& line : lines) seen.insert(line.substr(0, line.find('\t')));
    }
    EXPECT_EQ(seen.size(), 500u);
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), 500u);
    for (const char* bad : {"0/3", "4/3", "1/0", "x", "1/"}) {
        EXPECT_EQ(runCli(dir.path(), {"convert", "--dry-run", "a.xml", "--shard", bad}).exitCode,
                  2);
    }
}

TEST(CliPipeline, OutputFolderMirrorsTheTree) {
    TempDir dir;
    touch(dir / "tree" / "x.xml", "<a>top</a>");
    touch(dir / "tree" / "a" / "x.xml", "<a>mid</a>");
    touch(dir / "tree" / "a" / "sub" / "x.xml", "<a>deep</a>");
    touch(dir / "single.xml", "<a>flat</a>");
    fs::create_directory(dir / "out");
    auto r = runCli(dir.path(), {"convert", "-q", "-o", "out", "tree/", "single.xml"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (auto [path, word] : {std::pair{"out/x.json", "top"},
                              {"out/a/x.json", "mid"},
                              {"out/a/sub/x.json", "deep"},
                              {"out/single.json", "flat"}}) {
        EXPECT_NE(readBytes(dir / path).find(word), std::string::npos) << path;
    }
}

TEST(CliPipeline, AllFilesTwiceLeavesEveryJsonIntact) {
    TempDir dir;
    touch(dir / "t" / "config.json", "{\"keep\": true}");
    touch(dir / "t" / "UPPER.JSON", "[1]");
    touch(dir / "t" / "notes.txt", "<a>1</a>");
    touch(dir / "t" / "s" / "data.xml", "<a>2</a>");
    ASSERT_EQ(runCli(dir.path(), {"convert", "-q", "--all-files", "t"}).exitCode, 0);
    const std::string notes = readBytes(dir / "t" / "notes.json");
    auto again = runCli(dir.path(), {"convert", "-q", "--all-files", "t"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(readBytes(dir / "t" / "config.json"), "{\"keep\": true}");
    EXPECT_EQ(readBytes(dir / "t" / "UPPER.JSON"), "[1]");
    EXPECT_EQ(readBytes(dir / "t" / "notes.json"), notes);
    EXPECT_NE(readBytes(dir / "t" / "s" / "data.json").find("\"a\":\"2\""), std::string::npos);
}

// Every machine lists a folder alike: by name as a file manager sorts,
// letter case ignored and numbers by value, still level by level.
TEST(CliPipeline, FoldersAreListedInNameOrderLevelByLevel) {
    TempDir dir;
    for (const char* name :
         {"t/b/z.xml", "t/x10.xml", "t/A/z.xml", "t/x9.xml", "t/B.xml", "t/a.xml", "t/A/a/z.xml"}) {
        touch(dir / name);
    }
    auto r = runCli(dir.path(), {"convert", "--dry-run", "t"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> sources;
    for (const auto& line : split(r.out, '\n'))
        sources.push_back(line.substr(dir.path().string().size() + 1,
                                      line.find('\t') - dir.path().string().size() - 1));
    EXPECT_EQ(sources, (std::vector<std::string>{"t/a.xml", "t/B.xml", "t/x9.xml", "t/x10.xml",
                                                 "t/A/z.xml", "t/b/z.xml", "t/A/a/z.xml"}));
}

TEST(CliPipeline, ReportsNameTheFileAndCountTheRest) {
    TempDir dir;
    touch(dir / "good.xml");
    fs::create_directories(dir / "blocked.json");  // its result cannot be written
    touch(dir / "blocked.xml");
    auto r = runCli(dir.path(), {"convert", "missing.xml", "good.xml", "blocked.xml"});
    EXPECT_EQ(r.exitCode, 1);
    auto lines = split(r.err, '\n');
    ASSERT_EQ(lines.size(), 3u) << r.err;
    const std::string base = "marrowvale-cli: " + dir.path().string() + "/";
    EXPECT_EQ(lines[0].rfind(base + "missing.xml: File not found: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("at line 102] (20 more; --verbose shows them)"), std::string::npos);
    EXPECT_EQ(lines[1].rfind(base + "blocked.xml: ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], "marrowvale-cli: 2 of 3 files converted, 2 with reports");
    auto verbose = runCli(dir.path(), {"convert", "-v", "missing.xml"});
    EXPECT_EQ(split(verbose.err, '\n').size(), 22u);  // 21 reports and the summary
}

TEST(CliPipeline, ForgedNamesAreEscaped) {
    TempDir dir;
    const std::string forged = "x\nmarrowvale-cli: all fine\x1b[31m\t.xml";
    writeBytes(dir / forged, "");
    auto r = runCli(dir.path(), {"convert", forged});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
    EXPECT_NE(r.err.find("x\\nmarrowvale-cli: all fine\\x1b[31m\\t.xml: "), std::string::npos)
        << r.err;
    EXPECT_EQ(split(r.err, '\n').size(), 2u);                     // the report and the summary
    auto option = runCli(dir.path(), {"convert", "--\x1b[31m"});  // a name taken for an option
    EXPECT_EQ(option.exitCode, 2);
    EXPECT_EQ(option.err.find('\x1b'), std::string::npos) << option.err;
    EXPECT_EQ(cli::escapeForTerminal("a\\b\xff\xc2\x85\xe2\x80\xae"), "a\\\\b\\xff\\u0085\\u202e");
}

TEST(CliPipeline, ReportIsJsonLinesInListOrder) {
    if (!haveTool("jq")) GTEST_SKIP() << "jq is not installed";
    TempDir dir;
    touch(dir / "a.xml");
    writeBytes(dir / "empty.xml", "");
    writeBytes(dir / "bad\xff\".xml", "<a>1</a>");
    auto r = runCli(dir.path(), {"convert", "-q", "-j", "2", "--report", "-", "a.xml", "empty.xml",
                                 "bad\xff\".xml", "missing.xml"});
    EXPECT_EQ(r.exitCode, 1);
    auto lines = split(r.out, '\n');
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_NE(lines[2].find("bad\\udcff\\\".xml"), std::string::npos) << lines[2];
    writeBytes(dir / "report", r.out);
    auto summary = runShell(dir.path(),
                            "jq -r '[(.source|split(\"/\")|last), .status, .bytes_read, "
                            ".bytes_written, .chunks, (.reports|length), "
                            "(.reports[0].step // 0), (.reports[0].procedure // \"\")] | @tsv'",
                            "report");
    ASSERT_EQ(summary.exitCode, 0) << summary.err;
    EXPECT_EQ(split(summary.out, '\n'),
              (std::vector<std::string>{
                  "a.xml\tconverted\t" + std::to_string(kNoteXml.size()) + "\t" +
                      std::to_string(kNoteJson.size()) + "\t1\t0\t0\t",
                  "empty.xml\tconverted\t0\t0\t0\t1\t160\tForm1.PushButton7_Click",
                  "bad\xef\xbf\xbd\".xml\tconverted\t8\t24\t1\t0\t0\t",
                  "missing.xml\tconverted\t0\t0\t0\t21\t102\tMain.CheckFirsrStringFSO",
              }));
}

TEST(CliPipeline, TerminalManners) {
    TempDir dir;
    for (int i = 0; i < 20; ++i)
        touch(dir / ("a-rather-long-file-name-" + std::to_string(i) + ".xml"));
    auto full = runShell(
        dir.path(),
        "sh -c " + quoted(commandLine(cliPath(), {"convert", "--dry-run", "."}) + " >/dev/full"));
    EXPECT_EQ(full.exitCode, 3);
    EXPECT_NE(full.err.find("cannot write to standard output"), std::string::npos);
    auto unknown = runCli(dir.path(), {"frob"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("unknown command 'frob'"), std::string::npos);
    auto help = runCli(dir.path(), {"convert", "--help"});
    for (const char* placeholder : {"-j,--jobs N", "-o,--output-dir DIR", "FILE|FOLDER"})
        EXPECT_NE(help.out.find(placeholder), std::string::npos) << placeholder;
    help.out += runCli(dir.path(), {"script", "--help"}).out;
    for (const char* type : {"TEXT", "UINT", "Excludes"})
        EXPECT_EQ(help.out.find(type), std::string::npos) << type;

    if (!haveTool("script")) GTEST_SKIP() << "script (util-linux) is not installed";
    auto inTerminal = [&](const std::string& env) {
        return runShell(dir.path(),
                        "script -qec " +
                            quoted(env + " " + commandLine(cliPath(), {"convert", "."})) +
                            " /dev/null");
    };
    auto narrow = inTerminal("env COLUMNS=30 TERM=xterm");
    EXPECT_EQ(narrow.exitCode, 0) << narrow.out;
    for (const auto& piece : split(narrow.out, '\r')) {
        std::string text = piece.substr(0, piece.find('\n'));
        if (text.rfind("\x1b[K", 0) == 0) text = text.substr(3);
        EXPECT_LE(cli::displayWidth(text), 29u) << text;
    }
    EXPECT_NE(narrow.out.find("/20 files"), std::string::npos) << narrow.out;
    auto dumb = inTerminal("env TERM=dumb");
    EXPECT_EQ(dumb.exitCode, 0) << dumb.out;
    EXPECT_EQ(dumb.out.find('\x1b'), std::string::npos);
}

TEST(CliPipeline, DefaultJobsFollowTheAffinityMask) {
    cpu_set_t saved, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    CPU_ZERO(&one);
    int first = 0;
    while (first < CPU_SETSIZE && !CPU_ISSET(first, &saved)) ++first;
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(cli::usableCpus(), 1u);
    ASSERT_EQ(sched_setaffinity(0, sizeof saved, &saved), 0);
    EXPECT_GE(cli::usableCpus(), 1u);
    if (!haveTool("taskset")) return;
    TempDir dir;
    auto help = runShell(dir.path(), "taskset -c " + std::to_string(first) + " " +
                                         commandLine(cliPath(), {"convert", "--help"}));
    EXPECT_NE(help.out.find("may use, here 1)"), std::string::npos) << help.out;
}

}  // namespace
}  // namespace mv::test
