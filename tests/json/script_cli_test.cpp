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
Result runScript(const TempDir& dir, const std::vector<std::string>& args,
                 const std::string& input) {
    const char* cli = std::getenv("MV_CLI");
    if (cli == nullptr) throw std::runtime_error("MV_CLI is not set");
    writeBytes(dir / ".stdin", input);
    std::string command = "cd " + quoted(dir.path().string()) + " && " + quoted(cli);
    for (const auto& arg : args) command += " " + quoted(arg);
    command += " <.stdin >.stdout 2>.stderr";
    int status = std::system(command.c_str());
    Result r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readBytes(dir / ".stdout");
    r.err = readBytes(dir / ".stderr");
    return r;
}

TEST(ScriptCommand, RunsAScriptFromAFileOrStandardInput) {
    struct Row {
        const char* name;
        std::string script;  // written to s.json
        std::vector<std::string> args;
        std::string input;
        int exitCode;
        std::string out;
        std::string errPart;
    } rows[] = {
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
        {"no file", "", {}, "", 2, "", "FILE is required"},
    };
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

TEST(ScriptCommand, ConvertStillWorksBesideIt) {
    TempDir dir;
    writeBytes(dir / "a.xml", "<a>1</a>");
    Result r = runScript(dir, {"convert", "-q", "a.xml"}, "");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readBytes(dir / "a.json"), " { \r\n{\"a\":\"1\"},\r\n{}\r\n } ");
}

}  // namespace
}  // namespace mv::test
