// Names and texts on their way to a terminal or a log: control characters
// (C0, DEL, C1), the bidirectional overrides and bytes that are not UTF-8
// are written as escapes, so a file name can neither forge a report line nor
// recolour the terminal. "\n", "\t", "\r" and "\\" keep their usual spelling;
// other bytes become "\xHH" and other characters "\uHHHH".
#pragma once

#include <string>
#include <string_view>

namespace mv::cli {

std::string escapeForTerminal(std::string_view bytes);

// The number of terminal columns the (escaped) text takes: wide East Asian
// characters count two, combining marks none.
std::size_t displayWidth(std::string_view text);
// The longest head of the text that fits in `columns`, cut between characters.
std::string fitWidth(std::string_view text, std::size_t columns);

}  // namespace mv::cli
