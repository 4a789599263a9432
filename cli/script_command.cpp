#include "cli/script_command.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "engine/native_text.h"
#include "json/script.h"
#include "report/failure.h"
#include "report/step_runner.h"

namespace mv::cli {

namespace {

void printError(const std::string& text) {
    std::fprintf(stderr, "marrowvale-cli: %s\n", text.c_str());
}

// The whole file, or standard input for "-"; throws report::Failure.
std::string readAll(const std::string& file) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> owned(nullptr, std::fclose);
    std::FILE* in = stdin;
    if (file != "-") {
        owned.reset(std::fopen(file.c_str(), "rb"));
        if (!owned) throw report::systemFailure(errno, file);
        in = owned.get();
    }
    std::string bytes;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, got);
    if (std::ferror(in)) throw report::systemFailure(errno, file);
    return bytes;
}

// Lines of the reader's errors end in CR LF; the terminal wants LF.
std::string terminalLines(const std::u16string& text) {
    std::string lines;
    for (char c : engine::toNative(text)) {
        if (c != '\r') lines += c;
    }
    if (!lines.empty() && lines.back() != '\n') lines += '\n';
    return lines;
}

}  // namespace

void TerminalDialogs::alert(const std::u16string& title, const std::u16string& message) {
    std::string line = title.empty() ? std::string() : engine::toNative(title) + ": ";
    line += engine::toNative(message);
    std::fprintf(m_messages, "%s\n", line.c_str());
    std::fflush(m_messages);
}

std::u16string TerminalDialogs::input(const std::u16string& prompt, const std::u16string& title,
                                      const std::u16string& preset) {
    std::string ask = title.empty() ? std::string() : engine::toNative(title) + ": ";
    ask += engine::toNative(prompt);
    if (!preset.empty()) ask += " [" + engine::toNative(preset) + "]";
    std::fprintf(m_messages, "%s: ", ask.c_str());
    std::fflush(m_messages);

    char* line = nullptr;
    std::size_t capacity = 0;
    ssize_t got = getline(&line, &capacity, m_in);
    std::unique_ptr<char, void (*)(void*)> owned(line, std::free);
    if (got < 0) {  // the end of input cancels
        std::fputc('\n', m_messages);
        return {};
    }
    // An answer typed on a terminal ends its own line; a piped one does not show.
    if (!isatty(fileno(m_in))) std::fputc('\n', m_messages);
    std::string answer(line, static_cast<std::size_t>(got));
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
    return answer.empty() ? preset : engine::fromNative(answer);
}

void TerminalDialogs::parserError(const std::u16string& errors) {
    m_parserErrorShown = true;
    std::fprintf(m_messages, "marrowvale-cli: %s\n%s",
                 engine::toNative(json::kParserErrorCaption).c_str(),
                 terminalLines(errors).c_str());
    std::fflush(m_messages);
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
    std::u16string output;
    if (auto failure =
            report::failureOf([&] { output = script.Eval(engine::fromNative(bytes)); })) {
        printError("the script failed: " + *failure);
        return 1;
    }
    if (dialogs.parserErrorShown()) return 1;

    std::string text = engine::toNative(output);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        printError(std::string("cannot write the output: ") + std::strerror(errno));
        return 1;
    }
    return 0;
}

}  // namespace mv::cli
