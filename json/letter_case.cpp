#include "json/letter_case.h"

namespace mv::json {

namespace {

char16_t lower(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
    if (c < 0xC0) return c;
    if (c <= 0xDE) return c == 0xD7 ? c : static_cast<char16_t>(c + 0x20);
    // Latin Extended-A pairs capitals on even codes up to U+0137 and on odd
    // codes from U+0139 to U+0148, then on even codes again up to U+017E.
    if (c >= 0x0100 && c <= 0x0137 && c != 0x0130) return c % 2 ? c : static_cast<char16_t>(c + 1);
    if (c >= 0x0139 && c <= 0x0148) return c % 2 ? static_cast<char16_t>(c + 1) : c;
    if (c >= 0x014A && c <= 0x0177) return c % 2 ? c : static_cast<char16_t>(c + 1);
    if (c == 0x0178) return 0x00FF;
    if (c >= 0x0179 && c <= 0x017E) return c % 2 ? static_cast<char16_t>(c + 1) : c;
    if (c >= 0x0391 && c <= 0x03AB && c != 0x03A2) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 0x50);
    if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 0x20);
    return c;
}

char16_t upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c < 0xE0) return c;
    if (c <= 0xFE) return c == 0xF7 ? c : static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x0178;
    if (c >= 0x0100 && c <= 0x0137 && c != 0x0131) return c % 2 ? static_cast<char16_t>(c - 1) : c;
    if (c >= 0x0139 && c <= 0x0148) return c % 2 ? c : static_cast<char16_t>(c - 1);
    if (c >= 0x014A && c <= 0x0177) return c % 2 ? static_cast<char16_t>(c - 1) : c;
    if (c >= 0x0179 && c <= 0x017E) return c % 2 ? c : static_cast<char16_t>(c - 1);
    if (c >= 0x03B1 && c <= 0x03CB && c != 0x03C2) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x0430 && c <= 0x044F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x0450 && c <= 0x045F) return static_cast<char16_t>(c - 0x50);
    return c;
}

template <class Map>
std::u16string mapped(std::u16string_view text, Map map) {
    std::u16string out(text);
    for (char16_t& c : out) c = map(c);
    return out;
}

}  // namespace

std::u16string lowerCase(std::u16string_view text) {
    return mapped(text, lower);
}

std::u16string upperCase(std::u16string_view text) {
    return mapped(text, upper);
}

}  // namespace mv::json
