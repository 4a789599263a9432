// Windows-1252 as the tests expect it, written out independently of the
// engine's tables: bytes 80..9F carry the typographic characters (with the
// five undefined bytes read as the C1 controls of the same number); every
// other byte reads as the character with its own number.
#pragma once

#include <cstdint>
#include <string>

namespace mv::test {

inline constexpr char16_t kWindows1252From80To9F[32] = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

inline char16_t windows1252(std::uint8_t byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kWindows1252From80To9F[byte - 0x80];
    return byte;
}

// The characters of the given bytes, one each.
inline std::u16string windows1252(const std::string& bytes) {
    std::u16string text;
    for (char b : bytes) text += windows1252(static_cast<std::uint8_t>(b));
    return text;
}

}  // namespace mv::test
