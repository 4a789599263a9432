#include "engine/json_writer.h"

#include <array>
#include <cstdint>

#include "engine/codepage.h"
#include "engine/string_builder.h"
#include "engine/text.h"
#include "report/locations.h"
#include "report/step_runner.h"

namespace mv::engine {

namespace {

constexpr std::u16string_view kHexDigits = u"0123456789ABCDEF";

// Whether an ASCII character is written as itself.
constexpr std::array<bool, 128> kPlain = [] {
    std::array<bool, 128> plain{};
    for (int c = 32; c < 128; ++c) plain[c] = true;
    for (char c : {'"', '\'', '\\', '{', '}'}) plain[static_cast<unsigned char>(c)] = false;
    return plain;
}();

void appendCodeEscape(std::u16string& out, unsigned code) {
    char16_t e[6] = {u'\\',
                     u'u',
                     kHexDigits[(code >> 12) & 15],
                     kHexDigits[(code >> 8) & 15],
                     kHexDigits[(code >> 4) & 15],
                     kHexDigits[code & 15]};
    out.append(e, 6);
}

// Appends the escaped form of `text` to `out`; EscapeJsonText's one body.
void appendEscaped(std::u16string& out, std::u16string_view text) {
    const char16_t* p = text.data();
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = i;
        while (run < n && p[run] < 128 && kPlain[p[run]]) ++run;
        out.append(p + i, run - i);
        if (run == n) break;
        char16_t c = p[run];
        i = run + 1;
        switch (c) {
            case 8:
                out += u"\\b";
                continue;
            case 9:
                out += u"\\t";
                continue;
            case 10:
                out += u"\\n";
                continue;
            case 12:
                out += u"\\f";
                continue;
            case 13:
                out += u"\\r";
                continue;
            case 34:
                out += u"\\\"";
                continue;
            case 39:
                out += u"\\'";
                continue;
            case 92:
                out += u"\\\\";
                continue;
            default:
                break;
        }
        unsigned code = c < 128 ? c : ansiCode(c);
        // A character outside the code page has the code of "?", which is
        // written as the character; the ANSI writer turns it into "?".
        if (c >= 128 && code == '?') {
            out += c;
        } else {
            appendCodeEscape(out, code);
        }
    }
}

}  // namespace

std::u16string EscapeJsonText(std::u16string_view text) {
    std::u16string out;
    appendEscaped(out, text);
    return out;
}

std::u16string StringToJSON(std::u16string_view flattened, report::ErrorReport& report) {
    report::StepRunner step(report, report::locations::kStringToJSON);
    std::u16string result;
    std::int64_t rowCounter = 0;
    cStringBuilder builder;
    std::u16string line;
    step(100, [&] { rowCounter = 0; });
    if (step.test(102, [&] { return flattened.empty(); })) {
        step(104, [&] { result = u"null"; });
        return result;
    }
    // Rows are the pieces between "|", fields the pieces of a row between "~";
    // both are walked in place instead of being split into arrays.
    std::size_t rowStart = 0;
    for (bool more = true; more;) {
        std::size_t bar = findUnit(flattened, rowStart, u'|');
        more = bar != std::u16string_view::npos;
        std::u16string_view row =
            flattened.substr(rowStart, (more ? bar : flattened.size()) - rowStart);
        rowStart = bar + 1;
        step(110, [&] { line.clear(); });
        std::size_t fieldStart = 0;
        while (true) {
            std::size_t keyEnd = findUnit(row, fieldStart, u'~');
            if (keyEnd == std::u16string_view::npos) break;  // no partner for this field
            std::size_t valueEnd = findUnit(row, keyEnd + 1, u'~');
            std::u16string_view key = row.substr(fieldStart, keyEnd - fieldStart);
            std::u16string_view value = row.substr(keyEnd + 1, valueEnd == std::u16string_view::npos
                                                                   ? std::u16string_view::npos
                                                                   : valueEnd - keyEnd - 1);
            step(120, [&] {
                if (!line.empty()) line += u',';
                line += u'"';
                line += key;
                line += u"\":\"";
                appendEscaped(line, value);
                line += u'"';
            });
            if (valueEnd == std::u16string_view::npos) break;
            fieldStart = valueEnd + 1;
        }
        step(122, [&] {
            // Only the first row goes without a separator.
            if (rowCounter > 0) builder.Append(u",\r\n");
            builder.Append(u'{');
            builder.Append(line);
            builder.Append(u'}');
            ++rowCounter;
        });
    }
    step(124, [&] {
        std::u16string_view body = builder.view();
        result.reserve(body.size() + 10);
        result = u" { \r\n";
        result += body;
        result += u"\r\n } ";
    });
    return result;
}

}  // namespace mv::engine
