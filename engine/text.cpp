#include "engine/text.h"

#include <algorithm>

#include "report/failure.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    return findEitherUnit(text, start, a, a);
}

std::size_t findEitherUnit(std::u16string_view text, std::size_t start, char16_t a, char16_t b) {
    const char16_t* p = text.data();
    std::size_t n = text.size();
    std::size_t i = start;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi16(static_cast<short>(a));
    const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
    for (; i + 8 <= n; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb)));
        if (mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
    }
#endif
    for (; i < n; ++i) {
        if (p[i] == a || p[i] == b) return i;
    }
    return std::u16string_view::npos;
}

Pos findFrom(Pos from, std::u16string_view text, std::u16string_view needle, Case letterCase) {
    if (from.value() < 1) throw Failure(FailureKind::InvalidArgument);
    if (from.value() > length(text)) return Pos();
    if (needle.empty()) return from;
    if (needle.size() > text.size()) return Pos();

    const std::size_t last = text.size() - needle.size();  // last index a match can start at
    const char16_t first = needle.front();
    char16_t a = first;
    char16_t b = first;
    if (letterCase == Case::Ignore) {
        a = foldCase(first);
        b = upperOf(a);
    }
    const std::u16string_view rest = needle.substr(1);
    for (std::size_t i = from.index(); i <= last;) {
        i = findEitherUnit(text.substr(0, last + 1), i, a, b);
        if (i == std::u16string_view::npos) break;
        const char16_t* candidate = text.data() + i + 1;
        bool match = letterCase == Case::Exact ? std::equal(rest.begin(), rest.end(), candidate)
                                               : equalFolded(candidate, rest.data(), rest.size());
        if (match) return Pos(static_cast<std::int64_t>(i) + 1);
        ++i;
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
