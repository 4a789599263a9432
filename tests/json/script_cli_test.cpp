// marrowvale-cli script as a real process: output, the terminal's boxes and
// the exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace mv::test {
namespace {

namespace fs = std::filesystem;

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs the CLI in `dir` with `input` as standard input and its output in files.
// `shell` comes first in the command line, e.g. a ulimit.
Result runScript(const TempDir& dir, const std::vector<std::string>& args, const std::string& input,
                 const std::string& shell = "") {
    const char* cli = std::getenv("MV_CLI");
    if (cli == nullptr) throw std::runtime_error("MV_CLI is not set");
    writeBytes(dir / ".stdin", input);
    std::string command = "cd " + quoted(dir.path().string()) + " && " + shell + quoted(cli);
    for (const auto& arg : args) command += " " + quoted(arg);
    command += " <.stdin >.stdout 2>.stderr";
    int status = std::system(command.c_str());
    Result r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readBytes(dir / ".stdout");
    r.err = readBytes(dir / ".stderr");
    return r;
}

struct ScriptRow {
    const char* name;
    std::string script;  // written to s.json
    std::vector<std::string> args;
    std::string input;
    int exitCode;
    std::string out;
    std::string errPart;
};

// Scripts that run to their end: what they print, what their boxes ask.
std::vector<ScriptRow> scriptsThatRun() {
    return {
        {"texts and values",
         "[\"a\", [1.50, null, true], {\"t\": {\"x\": 1}}]",
         {"s.json"},
         "",
         0,
         "a1.5nulltrue<%T(1)%>",
         ""},
        {"from standard input", "", {"-"}, "[\"from stdin\"]", 0, "from stdin", ""},
        {"UTF-8 with a BOM",
         "\xEF\xBB\xBF[\"caf\xC3\xA9 \\u20AC\"]",
         {"s.json"},
         "",
         0,
         "caf\xC3\xA9 \xE2\x82\xAC",
         ""},
        {"alert on standard error",
         "[{\"alert\": {\"title\": \"Note\", \"message\": \"hello\"}}, \"done\"]",
         {"s.json"},
         "",
         0,
         "done",
         "Note: hello\n"},
        {"input reads a line",
         "[\"Hi \", {\"input\": {\"prompt\": \"Name?\", \"title\": \"T\", \"default\": \"Bob\"}}]",
         {"s.json"},
         "Ann\nrest\n",
         0,
         "Hi Ann",
         "T: Name? [Bob]: "},
        {"an empty line accepts the preset",
         "[\"Hi \", {\"input\": {\"prompt\": \"Name?\", \"default\": \"Bob\"}}]",
         {"s.json"},
         "\n",
         0,
         "Hi Bob",
         "Name? [Bob]: "},
        {"end of input cancels",
         "[\"<\", {\"input\": {\"prompt\": \"P\", \"default\": \"Bob\"}}, \">\"]",
         {"s.json"},
         "",
         0,
         "<>",
         "P [Bob]: "},
        {"two inputs read two lines",
         "[{\"input\": {\"prompt\": \"1\"}}, \"+\", {\"input\": {\"prompt\": \"2\"}}]",
         {"s.json"},
         "one\r\ntwo",
         0,
         "one+two",
         ""},
    };
}

// Scripts that cannot be read or fail, and a command line without one.
std::vector<ScriptRow> scriptsThatFail() {
    return {
        {"parser error", "[\"a\",", {"s.json"}, "", 1, "", "Parser Error\nMissing ']': [\"a\",\n"},
        {"parser error from standard input", "", {"-"}, "{", 1, "", "Invalid JSON"},
        {"failure ends the script",
         "[\"a\", 1]",
         {"s.json"},
         "",
         1,
         "",
         "the script failed: Invalid procedure call or argument: a script element is a number"},
        {"missing file", "", {"missing.json"}, "", 1, "", "File not found: missing.json"},
        {"a folder", "", {"."}, "", 1, "", "marrowvale-cli: "},
        {"no file", "", {}, "", 2, "", "script needs a FILE"},
    };
}

TEST(ScriptCommand, RunsAScriptFromAFileOrStandardInput) {
    for (const auto& rows : {scriptsThatRun(), scriptsThatFail()}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(row.name);
            TempDir dir;
            if (!row.script.empty()) writeBytes(dir / "s.json", row.script);
            std::vector<std::string> args = {"script"};
            args.insert(args.end(), row.args.begin(), row.args.end());
            Result r = runScript(dir, args, row.input);
            EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
            EXPECT_EQ(r.out, row.out);
            EXPECT_NE(r.err.find(row.errPart), std::string::npos) << r.err;
        }
    }
}

// broke: messages were printed up to their first NUL, losing the rest and the
// line end; lone surrogates came out as raw bytes or paired across one.
TEST(ScriptCommand, WritesEveryCharacterWholeAndAsWellFormedUtf8) {
    using namespace std::string_literals;
    struct Row {
        const char* name;
        std::string script;
        std::string input;
        std::string out;
        std::string err;  // all of standard error
    } rows[] = {
        {"alert", "[{'alert': {'title': 'T\0', 'message': 'a\0b'}}]"s, "", "", "T\0: a\0b\n"s},
        {"input prompt", "[{'input': {'prompt': 'P\0Q', 'default': 'd\0'}}]"s, "\n", "d\0"s,
         "P\0Q [d\0]: \n"s},
        {"parser error lines", "['a\0b'"s, "", "",
         "marrowvale-cli: Parser Error\nMissing ']': ['a\0b'\n"s},
        {"a script saved as UTF-16", utf16Bytes(u"['ab'", false), "", "",
         "marrowvale-cli: Parser Error\nInvalid procedure call or argument: \"\" is not a "
         "number: \0'\0a\0b\0'\0\n"s},
        {"failure line", "[{'a\0b': 1}]"s, "", "",
         "marrowvale-cli: the script failed: Invalid procedure call or argument: the value of "
         "\"a\\u0000b\" is a number; it must be a text, a map or a list\n"},
        {"a lone low surrogate", "['\\udcff']", "", "\xEF\xBF\xBD", ""},
        {"a lone high surrogate before a raw byte", "['\\ud83d\xB8']", "",
         "\xEF\xBF\xBD\xEF\xBF\xBD", ""},
        {"an escaped pair", "['\\ud83d\\ude00']", "", "\xF0\x9F\x98\x80", ""},
        {"a byte that is not UTF-8", "['caf\xE9']", "", "caf\xEF\xBF\xBD", ""},
        {"an answer that is not UTF-8", "['\\ud83d', {'input': {}}]", "\xB8\n",
         "\xEF\xBF\xBD\xEF\xBF\xBD", ": \n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        writeBytes(dir / "s.json", row.script);
        Result r = runScript(dir, {"script", "s.json"}, row.input);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err, row.err);
    }
}

TEST(ScriptCommand, RefusesAScriptBeyond1GiBAndEndsCleanlyWithoutMemory) {
    TempDir dir;
    // Sparse: refused by its size before anything is read.
    writeBytes(dir / "big.json", "");
    fs::resize_file(dir / "big.json", (std::uintmax_t{1} << 30) + 1);
    Result big = runScript(dir, {"script", "big.json"}, "");
    EXPECT_EQ(big.exitCode, 1);
    EXPECT_EQ(big.err,
              "marrowvale-cli: Overflow: big.json: a script may not be larger than 1 GiB "
              "(1073741824 bytes)\n");

    // Each step doubles a variable, far beyond the memory the process may take.
    std::string doubling = "[{set: {name: 'a', value: 'xx'}}";
    for (int i = 0; i < 31; ++i)
        doubling += ", {set: {name: 'a', value: [{get: {name: 'a'}}, {get: {name: 'a'}}]}}";
    writeBytes(dir / "s.json", doubling + ", 'not reached']");
    Result memory = runScript(dir, {"script", "s.json"}, "", "ulimit -v 262144 && ");
    EXPECT_EQ(memory.exitCode, 1);
    EXPECT_EQ(memory.out, "");
    EXPECT_EQ(memory.err, "marrowvale-cli: the script failed: Out of memory\n");
}

TEST(ScriptCommand, ConvertStillWorksBesideIt) {
    TempDir dir;
    writeBytes(dir / "a.xml", "<a>1</a>");
    Result r = runScript(dir, {"convert", "-q", "a.xml"}, "");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readBytes(dir / "a.json"), " { \r\n{\"a\":\"1\"},\r\n{}\r\n } ");
}

}  // namespace
}  // namespace mv::test
