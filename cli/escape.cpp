#include "cli/escape.h"

#include <cstdio>

namespace mv::cli {

namespace {

// Length of the valid UTF-8 sequence at s[i] and its code point, or 0.
std::size_t decode(std::string_view s, std::size_t i, char32_t& cp) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = byte(i);
    std::size_t len = c < 0x80                 ? 1
                      : c >= 0xC2 && c <= 0xDF ? 2
                      : c >= 0xE0 && c <= 0xEF ? 3
                      : c >= 0xF0 && c <= 0xF4 ? 4
                                               : 0;
    if (len == 0 || i + len > s.size()) return 0;
    cp = len == 1 ? c : c & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    return len;
}

bool needsEscape(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069) || cp == 0x2028 || cp == 0x2029 || cp == u'\\';
}

int columns(char32_t cp) {
    if ((cp >= 0x300 && cp <= 0x36F) || cp == 0x200B || (cp >= 0xFE00 && cp <= 0xFE0F)) return 0;
    bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1FAFF) ||
                (cp >= 0x20000 && cp <= 0x3FFFD);
    return wide ? 2 : 1;
}

}  // namespace

std::string escapeForTerminal(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    char buffer[12];
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        std::size_t len = decode(bytes, i, cp);
        if (len == 0) {
            std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned char>(bytes[i]));
            out += buffer;
            ++i;
            continue;
        }
        if (!needsEscape(cp)) {
            out.append(bytes.substr(i, len));
        } else if (cp == u'\n') {
            out += "\\n";
        } else if (cp == u'\t') {
            out += "\\t";
        } else if (cp == u'\r') {
            out += "\\r";
        } else if (cp == u'\\') {
            out += "\\\\";
        } else if (cp < 0x80) {
            std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned>(cp));
            out += buffer;
        } else {
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(cp));
            out += buffer;
        }
        i += len;
    }
    return out;
}

std::size_t displayWidth(std::string_view text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        std::size_t len = decode(text, i, cp);
        width += len == 0 ? 1 : static_cast<std::size_t>(columns(cp));
        i += len == 0 ? 1 : len;
    }
    return width;
}

std::string fitWidth(std::string_view text, std::size_t limit) {
    std::size_t width = 0, i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        std::size_t len = decode(text, i, cp);
        std::size_t w = len == 0 ? 1 : static_cast<std::size_t>(columns(cp));
        if (width + w > limit) break;
        width += w;
        i += len == 0 ? 1 : len;
    }
    return std::string(text.substr(0, i));
}

}  // namespace mv::cli
