// Vector kernels that copy text while they convert or filter it: the code
// page's widening and narrowing, and the flattening's last pass. Each call
// runs the widest variant cpu::activeIsa() allows; every variant writes the
// same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mv::engine::cpu {

// Copies src[0, n) to dst without its carriage returns, line feeds, "/", ">"
// and "<"; returns how many characters it kept. dst has room for n.
std::size_t copyWithoutMarkup(const char16_t* src, std::size_t n, char16_t* dst);

// dst[i] = toChar[bytes[i]] for each of the count bytes; toChar has 256 entries.
void widenBytes(const unsigned char* bytes, std::size_t count, const char16_t* toChar,
                char16_t* dst);

// dst[i] = the code of src[i]: the character itself below 128, toCode[src[i]]
// from 128 up; toCode has an entry for every 16-bit character.
void narrowChars(const char16_t* src, std::size_t n, const std::uint8_t* toCode, char* dst);

// Where narrowing turned a character outside the code page into "?".
struct NarrowNote {
    bool foreign = false;         // some character became "?"
    bool foreignAfterLt = false;  // one of them right after a "<"
};

// narrowChars, noting the characters outside the code page.
NarrowNote narrowCharsNoting(const char16_t* src, std::size_t n, const std::uint8_t* toCode,
                             char* dst);

}  // namespace mv::engine::cpu
