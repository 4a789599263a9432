// Windows-1252, the code page that stands for the system's ANSI code page:
// how source bytes become characters, how characters get their code for
// escaping, and how result text becomes bytes again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mv::engine {

// The character that a byte reads as. Every byte has one: the five bytes
// that Windows-1252 leaves undefined (81 8D 8F 90 9D) read as U+0081 etc.
char16_t ansiChar(std::uint8_t byte);

// The code of a character in the code page (0 to 255), or 63 ("?") when the
// code page cannot represent it.
std::uint8_t ansiCode(char16_t c);
// ansiCode of every 16-bit character, indexed by the character: the table
// the vector kernels narrow whole texts with.
const std::uint8_t* ansiCodeTable();

// Appends `count` bytes decoded as ANSI text.
void decodeAnsi(const unsigned char* bytes, std::size_t count, std::u16string& out);
// Appends the text encoded as ANSI bytes, "?" for characters outside the code page.
void encodeAnsi(std::u16string_view text, std::string& out);

}  // namespace mv::engine
