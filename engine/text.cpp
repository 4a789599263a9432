#include "engine/text.h"

#include <algorithm>

#include "engine/cpu/scan.h"
#include "report/failure.h"

namespace mv::engine {

using report::Failure;
using report::FailureKind;

char16_t foldCase(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
    switch (c) {
        case 0x0152:
            return 0x0153;  // Œ œ
        case 0x0160:
            return 0x0161;  // Š š
        case 0x017D:
            return 0x017E;  // Ž ž
        case 0x0178:
            return 0x00FF;  // Ÿ ÿ
        default:
            return c;
    }
}

namespace {

// The upper-case partner of a folded letter, or the letter itself.
char16_t upperOf(char16_t lower) {
    if (lower >= u'a' && lower <= u'z') return static_cast<char16_t>(lower - 32);
    if (lower >= 0xE0 && lower <= 0xFE && lower != 0xF7) return static_cast<char16_t>(lower - 0x20);
    switch (lower) {
        case 0x0153:
            return 0x0152;
        case 0x0161:
            return 0x0160;
        case 0x017E:
            return 0x017D;
        case 0x00FF:
            return 0x0178;
        default:
            return lower;
    }
}

bool equalFolded(const char16_t* a, const char16_t* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i] && foldCase(a[i]) != foldCase(b[i])) return false;
    }
    return true;
}

}  // namespace

std::size_t findUnit(std::u16string_view text, std::size_t start, char16_t a) {
    return cpu::either(text.data(), start, text.size(), a, a);
}

std::size_t findEitherUnit(std::u16string_view text, std::size_t start, char16_t a, char16_t b) {
    return cpu::either(text.data(), start, text.size(), a, b);
}

void detail::throwInvalidArgument() {
    throw Failure(FailureKind::InvalidArgument);
}

Pos findFrom(Pos from, std::u16string_view text, std::u16string_view needle, Case letterCase) {
    if (from.value() < 1) detail::throwInvalidArgument();
    if (from.value() > length(text)) return Pos();
    const std::size_t n = needle.size();
    if (n == 0) return from;
    if (n > text.size()) return Pos();

    const char16_t* p = text.data();
    const std::size_t end = text.size() - n + 1;  // one past the last possible start
    const bool fold = letterCase == Case::Ignore;
    char16_t a0 = needle[0];
    char16_t b0 = a0;
    if (fold) {
        a0 = foldCase(a0);
        b0 = upperOf(a0);
    }
    auto found = [](std::size_t i) {
        return i == cpu::kNone ? Pos() : Pos(static_cast<std::int64_t>(i) + 1);
    };
    if (n == 1) return found(cpu::either(p, from.index(), end, a0, b0));

    // Candidates must match the needle's first and last characters; only they
    // are compared in full.
    const std::size_t gap = n - 1;
    char16_t a1 = needle[gap];
    char16_t b1 = a1;
    if (fold) {
        a1 = foldCase(a1);
        b1 = upperOf(a1);
    }
    const std::u16string_view middle = needle.substr(1, n - 2);
    for (std::size_t i = from.index(); i < end; ++i) {
        i = cpu::pair(p, i, end, gap, a0, b0, a1, b1);
        if (i == cpu::kNone || middle.empty()) return found(i);
        const char16_t* candidate = p + i + 1;
        bool match = fold ? equalFolded(candidate, middle.data(), middle.size())
                          : std::equal(middle.begin(), middle.end(), candidate);
        if (match) return found(i);
    }
    return Pos();
}

std::u16string_view charsFromTo(std::u16string_view text, Pos first, Pos last) {
    if (first.value() < 1) throw Failure(FailureKind::InvalidArgument);
    if (last < first || first.value() > length(text)) return {};
    std::int64_t count = std::min(last.value(), length(text)) - first.value() + 1;
    return text.substr(first.index(), static_cast<std::size_t>(count));
}

std::u16string_view withoutFirst(std::u16string_view text, Pos n) {
    if (n.value() <= 0) return text;
    if (n.value() >= length(text)) return {};
    return text.substr(static_cast<std::size_t>(n.value()));
}

std::u16string_view firstChars(std::u16string_view text, Pos n) {
    if (n.value() <= 0) return {};
    if (n.value() >= length(text)) return text;
    return text.substr(0, static_cast<std::size_t>(n.value()));
}

}  // namespace mv::engine
