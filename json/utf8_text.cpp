#include "json/utf8_text.h"

#include "engine/native_text.h"

namespace mv::json {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
        return;
    }
    if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (cp & 0x3F));
}

}  // namespace

std::u16string textFromUtf8(std::string_view bytes) {
    // The native reading keeps each stray byte as a lone low surrogate and
    // decodes everything else into characters or whole pairs.
    std::u16string text = engine::fromNative(bytes);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isHigh(text[i])) {
            ++i;  // always followed by its partner here
        } else if (isLow(text[i])) {
            text[i] = kReplacement;
        }
    }
    return text;
}

std::string utf8FromText(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (isHigh(c) && i + 1 < text.size() && isLow(text[i + 1])) {
            appendUtf8(out, 0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            appendUtf8(out, isHigh(c) || isLow(c) ? kReplacement : c);
        }
    }
    return out;
}

}  // namespace mv::json
