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
            engine::appendUtf8(out,
                               0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            engine::appendUtf8(out, isHigh(c) || isLow(c) ? kReplacement : c);
        }
    }
    return out;
}

}  // namespace mv::json
