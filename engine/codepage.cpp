#include "engine/codepage.h"

#include <array>

#include "engine/cpu/copy.h"

namespace mv::engine {

namespace {

// Bytes 80..9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

struct Tables {
    std::array<char16_t, 256> toChar{};
    std::array<std::uint8_t, 65536> toCode{};
    Tables() {
        toCode.fill('?');
        for (unsigned b = 0; b < 256; ++b) {
            char16_t c =
                (b >= 0x80 && b < 0xA0) ? kHighControls[b - 0x80] : static_cast<char16_t>(b);
            toChar[b] = c;
            toCode[c] = static_cast<std::uint8_t>(b);
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

}  // namespace

char16_t ansiChar(std::uint8_t byte) {
    return tables().toChar[byte];
}

std::uint8_t ansiCode(char16_t c) {
    return tables().toCode[c];
}

const std::uint8_t* ansiCodeTable() {
    return tables().toCode.data();
}

void decodeAnsi(const unsigned char* bytes, std::size_t count, std::u16string& out) {
    std::size_t at = out.size();
    out.resize(at + count);
    cpu::widenBytes(bytes, count, tables().toChar.data(), out.data() + at);
}

void encodeAnsi(std::u16string_view text, std::string& out) {
    std::size_t at = out.size();
    out.resize(at + text.size());
    cpu::narrowChars(text.data(), text.size(), tables().toCode.data(), out.data() + at);
}

}  // namespace mv::engine
