#include "tests/cli/cli_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "tests/support/test_support.h"

namespace mv::test {

namespace fs = std::filesystem;

std::string quoted(const std::string& word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string cliPath() {
    const char* cli = std::getenv("MV_CLI");
    if (cli == nullptr) throw std::runtime_error("MV_CLI is not set");
    return cli;
}

std::string commandLine(const std::string& program, const std::vector<std::string>& args) {
    std::string command = quoted(program);
    for (const auto& arg : args) command += " " + quoted(arg);
    return command;
}

namespace {

// A file outside every folder under test, so that listing a folder sees only
// what the CLI left there.
fs::path captureFile() {
    std::string pattern = (fs::temp_directory_path() / "mv-capture-XXXXXX").string();
    int fd = mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    return pattern;
}

}  // namespace

// Runs `command` in `cwd` under a time limit: a hang ends as exit 124 instead
// of stopping the suite.
Result runShell(const fs::path& cwd, const std::string& command, const std::string& input) {
    fs::path out = captureFile();
    fs::path err = captureFile();
    std::string line = "cd " + quoted(cwd.string()) + " && timeout -k 5 60 " + command + " >" +
                       quoted(out.string()) + " 2>" + quoted(err.string()) + " <" + quoted(input);
    int status = std::system(line.c_str());
    Result r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readBytes(out);
    r.err = readBytes(err);
    fs::remove(out);
    fs::remove(err);
    return r;
}

Result runCli(const fs::path& cwd, const std::vector<std::string>& args, const std::string& wrapper,
              const std::string& cli) {
    return runShell(cwd, wrapper + commandLine(cli, args));
}

Result runInTerminal(const fs::path& cwd, const std::vector<std::string>& args) {
    return runShell(cwd, "script -qec " + quoted("env TERM=xterm " + commandLine(cliPath(), args)) +
                             " /dev/null");
}

bool haveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Unprivileged::prepare(const TempDir& dir) {
    if (geteuid() != 0) return "";
    if (!haveTool("setpriv")) return "setpriv is not installed";
    m_wrapper = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    // The CLI may sit in a folder the user cannot enter; run a copy.
    fs::copy_file(cliPath(), dir / "cli");
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    m_cli = (dir / "cli").string();
    if (runCli(dir.path(), {"--version"}, m_wrapper, m_cli).exitCode != 0) {
        return "setpriv cannot run the CLI as an unprivileged user here";
    }
    return "";
}

void Unprivileged::giveAway(const fs::path& path) const {
    if (geteuid() == 0) {
        EXPECT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
    }
}

Result Unprivileged::run(const TempDir& dir, const std::vector<std::string>& args) const {
    return runCli(dir.path(), args, m_wrapper, m_cli.empty() ? cliPath() : m_cli);
}

pid_t spawnCli(const std::vector<std::string>& args, const std::vector<std::string>& extra,
               const std::string& input) {
    std::vector<std::string> argv = {cliPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> arguments;
    for (auto& arg : argv) arguments.push_back(arg.data());
    arguments.push_back(nullptr);
    std::vector<std::string> env = extra;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    std::vector<char*> environment;
    for (auto& word : env) environment.push_back(word.data());
    environment.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!input.empty()) posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int error =
        posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, arguments.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

}  // namespace mv::test
