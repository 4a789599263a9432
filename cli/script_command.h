/* marrowvale-cli script FILE: runs a script written as JSON (json/script.h)
   and prints its output on standard output, exactly, as UTF-8. The script is
   read as UTF-8 too (json/utf8_text.h) and may be at most 1 GiB.

   The script's boxes use the terminal: "alert" writes to standard error;
   "input" asks on standard error and reads one line from standard input. */
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "json/script_dialogs.h"

namespace mv::cli {

inline constexpr std::size_t kMaxScriptBytes = std::size_t{1} << 30;

// Exit status 0 when the script ran; 1 when it could not be read or was too
// large, the reader did not accept it, it failed (memory running out too), or
// its output could not be written.
int runScript(const std::string& file);

class TerminalDialogs : public json::ScriptDialogs {
public:
    TerminalDialogs(std::FILE* in, std::FILE* messages) : m_in(in), m_messages(messages) {}

    // "title: message" (or the message alone) as one line.
    void alert(const std::u16string& title, const std::u16string& message) override;
    // Asks "title: prompt [preset]: " and reads one line: an empty line takes
    // the preset, the end of input cancels (an empty text).
    std::u16string input(const std::u16string& prompt, const std::u16string& title,
                         const std::u16string& preset) override;
    // "Parser Error" and the reader's lines.
    void parserError(const std::u16string& errors) override;

    bool parserErrorShown() const { return m_parserErrorShown; }

private:
    std::FILE* m_in;
    std::FILE* m_messages;
    bool m_parserErrorShown = false;
};

}  // namespace mv::cli
