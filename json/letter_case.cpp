#include "json/letter_case.h"

#include <algorithm>
#include <span>

#include "json/case_table.h"

namespace mv::json {

namespace {

char32_t mapped(std::span<const CaseRun> runs, char32_t c) {
    // The last run that starts at or before c.
    auto after =
        std::upper_bound(runs.begin(), runs.end(), c,
                         [](char32_t code, const CaseRun& run) { return code < run.first; });
    if (after == runs.begin()) return c;
    const CaseRun& run = *(after - 1);
    if (c > run.last || (c - run.first) % run.stride != 0) return c;
    return static_cast<char32_t>(static_cast<std::int32_t>(c) + run.delta);
}

bool isHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

std::u16string mappedText(std::u16string_view text, std::span<const CaseRun> runs,
                          char16_t asciiFirst, int asciiDelta) {
    std::u16string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char16_t c = out[i];
        if (c < 0x80) {  // most names and values are ASCII
            if (c >= asciiFirst && c < asciiFirst + 26)
                out[i] = static_cast<char16_t>(c + asciiDelta);
        } else if (isHigh(c) && i + 1 < out.size() && isLow(out[i + 1])) {
            // No mapping leaves the supplementary planes, so the pair stays a pair.
            char32_t code = 0x10000 + ((char32_t{c} - 0xD800) << 10) + (out[i + 1] - 0xDC00);
            code = mapped(runs, code) - 0x10000;
            out[i] = static_cast<char16_t>(0xD800 + (code >> 10));
            out[i + 1] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
            ++i;
        } else if (!isHigh(c) && !isLow(c)) {
            out[i] = static_cast<char16_t>(mapped(runs, c));
        }
    }
    return out;
}

}  // namespace

std::u16string lowerCase(std::u16string_view text) {
    return mappedText(text, lowerCaseRuns(), u'A', 0x20);
}

std::u16string upperCase(std::u16string_view text) {
    return mappedText(text, upperCaseRuns(), u'a', -0x20);
}

}  // namespace mv::json
