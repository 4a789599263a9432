// Text as printable ASCII for failure messages, shared by the tests and the
// benchmarks' checks: \r, \n, \t, \\ and \uXXXX for the rest.
#pragma once

#include <string>
#include <string_view>

namespace mv::test {

inline std::string printable(std::u16string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char16_t c : text) {
        if (c == u'\r') {
            out += "\\r";
        } else if (c == u'\n') {
            out += "\\n";
        } else if (c == u'\t') {
            out += "\\t";
        } else if (c == u'\\') {
            out += "\\\\";
        } else if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 15];
        }
    }
    return out;
}

// Bytes shown one character each, as an ANSI reading sees them.
inline std::string printable(std::string_view bytes) {
    std::u16string widened;
    for (unsigned char b : bytes) widened += static_cast<char16_t>(b);
    return printable(widened);
}

}  // namespace mv::test
