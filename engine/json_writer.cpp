#include "engine/json_writer.h"

#include <cstdint>

#include "engine/codepage.h"
#include "engine/cpu/scan.h"
#include "engine/string_builder.h"
#include "engine/text.h"
#include "report/locations.h"
#include "report/step_runner.h"

namespace mv::engine {

namespace {

constexpr std::u16string_view kHexDigits = u"0123456789ABCDEF";

// Appends the escaped form of `text` to `out`; EscapeJsonText's one body.
template <class Out>
void appendEscaped(Out& out, std::u16string_view text) {
    const char16_t* p = text.data();
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = i + cpu::plainRun(p + i, n - i);
        out.Append(std::u16string_view(p + i, run - i));
        if (run == n) break;
        char16_t c = p[run];
        i = run + 1;
        switch (c) {
            case 8:
                out.Append(u"\\b");
                continue;
            case 9:
                out.Append(u"\\t");
                continue;
            case 10:
                out.Append(u"\\n");
                continue;
            case 12:
                out.Append(u"\\f");
                continue;
            case 13:
                out.Append(u"\\r");
                continue;
            case 34:
                out.Append(u"\\\"");
                continue;
            case 39:
                out.Append(u"\\'");
                continue;
            case 92:
                out.Append(u"\\\\");
                continue;
            default:
                break;
        }
        unsigned code = c < 128 ? c : ansiCode(c);
        // A character outside the code page has the code of "?", which is
        // written as the character; the ANSI writer turns it into "?".
        if (c >= 128 && code == '?') {
            out.Append(c);
        } else {
            char16_t e[6] = {u'\\',
                             u'u',
                             kHexDigits[(code >> 12) & 15],
                             kHexDigits[(code >> 8) & 15],
                             kHexDigits[(code >> 4) & 15],
                             kHexDigits[code & 15]};
            out.Append(std::u16string_view(e, 6));
        }
    }
}

// Gives a std::u16string the builder's two appends.
struct TextOut {
    std::u16string& text;
    void Append(std::u16string_view s) { text.append(s); }
    void Append(char16_t c) { text += c; }
};

}  // namespace

std::u16string EscapeJsonText(std::u16string_view text) {
    std::u16string out;
    TextOut sink{out};
    appendEscaped(sink, text);
    return out;
}

std::u16string StringToJSON(std::u16string_view flattened, report::ErrorReport& report) {
    report::StepRunner step(report, report::locations::kStringToJSON);
    std::u16string result;
    std::int64_t rowCounter = 0;
    cStringBuilder builder;
    step(100, [&] { rowCounter = 0; });
    if (step.test(102, [&] { return flattened.empty(); })) {
        step(104, [&] { result = u"null"; });
        return result;
    }
    // Rows are the pieces between "|", fields the pieces of a row between "~".
    // One walk over the separators finds both, instead of splitting into
    // arrays; each row's line goes straight into the builder.
    const char16_t* text = flattened.data();
    const std::size_t n = flattened.size();
    auto nextSeparator = [&](std::size_t from) {
        std::size_t i = cpu::either(text, from, n, u'|', u'~');
        return i == cpu::kNone ? n : i;
    };
    std::size_t at = 0;  // start of the current field
    while (true) {
        step(122, [&] {
            // Only the first row goes without a separator.
            if (rowCounter > 0) builder.Append(u",\r\n");
            builder.Append(u'{');
        });
        bool firstPair = true;
        std::size_t end = nextSeparator(at);
        // Fields pair up while the row goes on: key "~" value, then "~" or the row's end.
        while (end < n && text[end] == u'~') {
            std::u16string_view key(text + at, end - at);
            std::size_t valueEnd = nextSeparator(end + 1);
            std::u16string_view value(text + end + 1, valueEnd - end - 1);
            step(120, [&] {
                if (!firstPair) builder.Append(u',');
                builder.Append(u'"');
                builder.Append(key);
                builder.Append(u"\":\"");
                appendEscaped(builder, value);
                builder.Append(u'"');
                firstPair = false;
            });
            at = valueEnd + 1;
            if (valueEnd == n || text[valueEnd] == u'|') {
                end = valueEnd;
                break;
            }
            end = nextSeparator(at);  // a third field: the next pair's key, if it has a partner
        }
        step(122, [&] {
            builder.Append(u'}');
            ++rowCounter;
        });
        if (end >= n) break;
        at = end + 1;  // past the "|" that closed the row
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
