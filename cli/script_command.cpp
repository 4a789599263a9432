#include "cli/script_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "json/script.h"
#include "json/utf8_text.h"
#include "report/failure.h"
#include "report/step_runner.h"

namespace mv::cli {

namespace {

// Messages may hold any character, NUL included: written by length, whole.
void writeWhole(std::FILE* to, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}

void printError(const std::string& text) {
    writeWhole(stderr, "marrowvale-cli: " + text + "\n");
}

// The whole script, or standard input for "-"; throws report::Failure. A
// script beyond kMaxScriptBytes is refused before it fills memory: a stream
// such as /dev/zero would otherwise be read for ever.
std::string readAll(const std::string& file) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> owned(nullptr, std::fclose);
    std::FILE* in = stdin;
    if (file != "-") {
        owned.reset(std::fopen(file.c_str(), "rb"));
        if (!owned) throw report::systemFailure(errno, file);
        in = owned.get();
    }
    const std::string tooLarge = (file == "-" ? std::string("standard input") : file) +
                                 ": a script may not be larger than 1 GiB (" +
                                 std::to_string(kMaxScriptBytes) + " bytes)";
    struct stat status {};
    if (fstat(fileno(in), &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::uint64_t>(status.st_size) > kMaxScriptBytes) {
        throw report::Failure(report::FailureKind::Overflow, tooLarge);
    }
    std::string bytes;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        if (got > kMaxScriptBytes - bytes.size()) {
            throw report::Failure(report::FailureKind::Overflow, tooLarge);
        }
        bytes.append(buffer, got);
    }
    if (std::ferror(in)) throw report::systemFailure(errno, file);
    return bytes;
}

// Lines of the reader's errors end in CR LF; the terminal wants LF.
std::string terminalLines(const std::u16string& text) {
    std::string lines;
    for (char c : json::utf8FromText(text)) {
        if (c != '\r') lines += c;
    }
    if (!lines.empty() && lines.back() != '\n') lines += '\n';
    return lines;
}

}  // namespace

void TerminalDialogs::alert(const std::u16string& title, const std::u16string& message) {
    std::string line = title.empty() ? std::string() : json::utf8FromText(title) + ": ";
    line += json::utf8FromText(message);
    writeWhole(m_messages, line + "\n");
}

std::u16string TerminalDialogs::input(const std::u16string& prompt, const std::u16string& title,
                                      const std::u16string& preset) {
    std::string ask = title.empty() ? std::string() : json::utf8FromText(title) + ": ";
    ask += json::utf8FromText(prompt);
    if (!preset.empty()) ask += " [" + json::utf8FromText(preset) + "]";
    writeWhole(m_messages, ask + ": ");

    char* line = nullptr;
    std::size_t capacity = 0;
    ssize_t got = getline(&line, &capacity, m_in);
    std::unique_ptr<char, void (*)(void*)> owned(line, std::free);
    if (got < 0) {  // the end of input cancels
        writeWhole(m_messages, "\n");
        return {};
    }
    // An answer typed on a terminal ends its own line; a piped one does not show.
    if (!isatty(fileno(m_in))) writeWhole(m_messages, "\n");
    std::string answer(line, static_cast<std::size_t>(got));
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
    return answer.empty() ? preset : json::textFromUtf8(answer);
}

void TerminalDialogs::parserError(const std::u16string& errors) {
    m_parserErrorShown = true;
    writeWhole(m_messages, "marrowvale-cli: " + json::utf8FromText(json::kParserErrorCaption) +
                               "\n" + terminalLines(errors));
}

int runScript(const std::string& file) {
    std::string bytes;
    if (auto failure = report::failureOf([&] { bytes = readAll(file); })) {
        printError(*failure);
        return 1;
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);

    TerminalDialogs dialogs(stdin, stderr);
    json::cJSONScript script(dialogs);
    std::string text;
    if (auto failure = report::failureOf([&] {
            std::u16string source = json::textFromUtf8(bytes);
            std::string().swap(bytes);  // the script's bytes are not needed any more
            text = json::utf8FromText(script.Eval(source));
        })) {
        printError("the script failed: " + *failure);
        return 1;
    }
    if (dialogs.parserErrorShown()) return 1;

    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        printError(std::string("cannot write the output: ") + report::systemErrorText(errno));
        return 1;
    }
    return 0;
}

}  // namespace mv::cli
