// marrowvale-cli as a real process: runs it in a folder with its output in
// files (so nothing blocks on a pipe) and under a time limit (so a hang ends
// as exit 124 instead of stopping the suite).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace mv::test {

class TempDir;

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The word quoted for the shell.
std::string quoted(const std::string& word);
// The CLI that CTest names in MV_CLI.
std::string cliPath();
std::string commandLine(const std::string& program, const std::vector<std::string>& args);
// Runs a shell command in `cwd`, its standard input read from `input`.
Result runShell(const std::filesystem::path& cwd, const std::string& command,
                const std::string& input = "/dev/null");
// `wrapper` goes between the time limit and the CLI (setpriv, for one).
Result runCli(const std::filesystem::path& cwd, const std::vector<std::string>& args,
              const std::string& wrapper = "", const std::string& cli = cliPath());
// Runs the CLI with a terminal for its stdin, stdout and stderr; everything
// it printed comes back in `out`.
Result runInTerminal(const std::filesystem::path& cwd, const std::vector<std::string>& args);

// Starts the CLI in the background with its output to /dev/null and `extra`
// words ("NAME=value") ahead of this environment, its standard input read
// from `input` when one is named; the pid, or -1.
pid_t spawnCli(const std::vector<std::string>& args, const std::vector<std::string>& extra = {},
               const std::string& input = "");

// Whether a command is on the PATH.
bool haveTool(const std::string& name);

// Runs the CLI as user 65534 when the tests run as root, who ignores
// permission bits; as itself otherwise.
class Unprivileged {
public:
    static constexpr uid_t kNobody = 65534;

    // Empty when ready; the reason why not otherwise (for GTEST_SKIP).
    std::string prepare(const TempDir& dir);
    // Hands the path to the unprivileged user.
    void giveAway(const std::filesystem::path& path) const;
    Result run(const TempDir& dir, const std::vector<std::string>& args) const;

private:
    std::string m_wrapper;
    std::string m_cli;
};

}  // namespace mv::test
