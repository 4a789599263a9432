// The command line's manners: options as GNU tools take them, usage errors
// in the program's own words.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/test_support.h"

namespace mv::test {
namespace {

namespace fs = std::filesystem;

TEST(CliConventions, UsageErrorsSpeakTheProgramsWords) {
    TempDir dir;
    writeBytes(dir / "a.xml", "<a>1</a>");
    struct Row {
        std::vector<std::string> args;
        std::string says;
    } rows[] = {
        {{"convert", "-j", "abc", "a.xml"}, "--jobs takes a number from 1 to 1024: abc"},
        {{"convert", "-j", "0", "a.xml"}, "--jobs takes a number from 1 to 1024: 0"},
        {{"convert", "--jobs=1025", "a.xml"}, "--jobs takes a number from 1 to 1024: 1025"},
        {{"convert", "-j", "-3", "a.xml"}, "--jobs takes a number from 1 to 1024: -3"},
        {{"convert", "-q", "-v", "a.xml"}, "--quiet and --verbose cannot go together"},
        {{"convert", "--verbose", "--quiet", "a.xml"}, "--quiet and --verbose cannot go together"},
        {{"convert", "-o", ".", "--beside", "a.xml"},
         "--output-dir and --beside cannot go together"},
        {{"convert", "a.xml", "-o"}, "--output-dir needs a value (DIR)"},
        {{"convert", "a.xml", "--shard"}, "--shard needs a value (K/N)"},
        {{"convert", "--dry-run=maybe", "a.xml"}, "--dry-run takes no value"},
        {{"convert", "--frobnicate", "a.xml"},
         "unknown option '--frobnicate' (--help shows the options)"},
        {{"--frobnicate", "convert", "a.xml"},
         "unknown option '--frobnicate' (--help shows the options)"},
        {{}, "a command is needed (commands: convert, script)"},
        {{"script"}, "script needs a FILE (- reads standard input)"},
        {{"script", "a.xml", "b.xml"}, "one argument too many: 'b.xml'"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(commandLine("marrowvale-cli", row.args));
        auto r = runCli(dir.path(), row.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err.rfind("marrowvale-cli: " + row.says + "\n", 0), 0u) << r.err;
        EXPECT_EQ(entryNames(dir.path()), std::vector<std::string>{"a.xml"});
    }
}

TEST(CliConventions, ARepeatedOptionTakesItsLastValue) {
    TempDir dir;
    writeBytes(dir / "a.xml", "<a>1</a>");
    fs::create_directory(dir / "first");
    fs::create_directory(dir / "last");
    auto r = runCli(dir.path(), {"convert", "-o", "first", "-j", "0", "--report", "first.jsonl",
                                 "-o", "last", "-j", "2", "--report", "last.jsonl", "a.xml"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "last" / "a.json"));
    EXPECT_TRUE(fs::is_empty(dir / "first"));
    EXPECT_FALSE(fs::exists(dir / "first.jsonl"));
    EXPECT_NE(readBytes(dir / "last.jsonl").find("a.json"), std::string::npos);
}

TEST(CliConventions, EveryCommandTellsTheVersion) {
    TempDir dir;
    auto version = runCli(dir.path(), {"--version"});
    ASSERT_EQ(version.exitCode, 0);
    ASSERT_EQ(version.out.rfind("marrowvale-cli ", 0), 0u) << version.out;
    for (const char* command : {"convert", "script"}) {
        auto r = runCli(dir.path(), {command, "--version"});
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_EQ(r.out, version.out) << command;
    }
}

// MARROWVALE_ISA forces a vector variant for a bug report; --version's second
// line names the one that runs, and a name that is none is a usage error.
TEST(CliConventions, AForcedVectorVariantIsNamedOrRefused) {
    TempDir dir;
    struct Row {
        const char* value;
        int exitCode;
        const char* told;
    };
    for (const Row& row :
         {Row{"scalar", 0, "\nvector scans: scalar\n"}, Row{"sse2", 0, "\nvector scans: sse2\n"},
          Row{"AVX2", 2, "MARROWVALE_ISA=AVX2 names no variant"}}) {
        auto r =
            runCli(dir.path(), {"--version"}, std::string("env MARROWVALE_ISA=") + row.value + " ");
        EXPECT_EQ(r.exitCode, row.exitCode) << row.value;
        EXPECT_NE((r.out + r.err).find(row.told), std::string::npos) << r.out << r.err;
    }
}

}  // namespace
}  // namespace mv::test
