#include "engine/cpu/scan.h"

#include <array>

#include "engine/cpu/isa.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MV_X86 1
#endif

namespace mv::engine::cpu {

namespace {

inline std::size_t lowestUnit(unsigned byteMask) {
    return static_cast<std::size_t>(__builtin_ctz(byteMask)) / 2;
}

// Whether a JSON value holds an ASCII character as it is.
constexpr std::array<bool, 128> kPlain = [] {
    std::array<bool, 128> plain{};
    for (int c = 32; c < 128; ++c) plain[c] = true;
    for (char c : {'"', '\'', '\\', '{', '}'}) plain[static_cast<unsigned char>(c)] = false;
    return plain;
}();

std::size_t plainRunScalar(const char16_t* p, std::size_t i, std::size_t n) {
    while (i < n && p[i] < 128 && kPlain[p[i]]) ++i;
    return i;
}

#if MV_X86

template <class Match>
std::size_t sse2Loop(std::size_t i, std::size_t end, std::size_t limit, Match match) {
    for (; i + 8 <= end && i < limit; i += 8) {
        int mask = _mm_movemask_epi8(match(i));
        if (mask != 0) return i + lowestUnit(static_cast<unsigned>(mask));
    }
    return i;
}

__attribute__((target("avx2"))) std::size_t eitherAvx2(const char16_t* p, std::size_t i,
                                                       std::size_t end, char16_t a, char16_t b) {
    const __m256i va = _mm256_set1_epi16(static_cast<short>(a));
    const __m256i vb = _mm256_set1_epi16(static_cast<short>(b));
    for (; i + 16 <= end; i += 16) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(
            _mm256_or_si256(_mm256_cmpeq_epi16(v, va), _mm256_cmpeq_epi16(v, vb))));
        if (mask != 0) return i + lowestUnit(mask);
    }
    for (; i < end; ++i) {
        if (p[i] == a || p[i] == b) return i;
    }
    return kNone;
}

__attribute__((target("avx2"))) std::size_t pairAvx2(const char16_t* p, std::size_t i,
                                                     std::size_t end, std::size_t gap, char16_t a0,
                                                     char16_t b0, char16_t a1, char16_t b1) {
    const __m256i va0 = _mm256_set1_epi16(static_cast<short>(a0));
    const __m256i vb0 = _mm256_set1_epi16(static_cast<short>(b0));
    const __m256i va1 = _mm256_set1_epi16(static_cast<short>(a1));
    const __m256i vb1 = _mm256_set1_epi16(static_cast<short>(b1));
    for (; i + 16 <= end; i += 16) {
        __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + gap));
        __m256i hit = _mm256_and_si256(
            _mm256_or_si256(_mm256_cmpeq_epi16(first, va0), _mm256_cmpeq_epi16(first, vb0)),
            _mm256_or_si256(_mm256_cmpeq_epi16(second, va1), _mm256_cmpeq_epi16(second, vb1)));
        unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hit));
        if (mask != 0) return i + lowestUnit(mask);
    }
    for (; i < end; ++i) {
        if ((p[i] == a0 || p[i] == b0) && (p[i + gap] == a1 || p[i + gap] == b1)) return i;
    }
    return kNone;
}

__attribute__((target("avx2"))) std::size_t asciiAvx2(const char16_t* p, std::size_t i,
                                                      std::size_t end) {
    const __m256i high = _mm256_set1_epi16(static_cast<short>(0xFF80));
    const __m256i zero = _mm256_setzero_si256();
    for (; i + 16 <= end; i += 16) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        __m256i isAscii = _mm256_cmpeq_epi16(_mm256_and_si256(v, high), zero);
        unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(isAscii));
        if (mask != 0) return i + lowestUnit(mask);
    }
    for (; i < end; ++i) {
        if (p[i] < 0x80) return i;
    }
    return kNone;
}

// How many characters from p[0] on are written as themselves, looking at
// eight at a time: codes 32 to 127 except " ' \ { and }.
std::size_t plainRunSse2(const char16_t* p, std::size_t n) {
    std::size_t i = 0;
    const __m128i below = _mm_set1_epi16(32);
    const __m128i above = _mm_set1_epi16(127);
    const __m128i quote = _mm_set1_epi16('"');
    const __m128i apostrophe = _mm_set1_epi16('\'');
    const __m128i backslash = _mm_set1_epi16('\\');
    const __m128i open = _mm_set1_epi16('{');
    const __m128i close = _mm_set1_epi16('}');
    for (; i + 8 <= n; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        // Signed compares: characters from 0x8000 up count as below 32.
        __m128i special = _mm_or_si128(_mm_cmplt_epi16(v, below), _mm_cmpgt_epi16(v, above));
        special = _mm_or_si128(
            special, _mm_or_si128(_mm_cmpeq_epi16(v, quote), _mm_cmpeq_epi16(v, apostrophe)));
        special = _mm_or_si128(special, _mm_or_si128(_mm_cmpeq_epi16(v, backslash),
                                                     _mm_or_si128(_mm_cmpeq_epi16(v, open),
                                                                  _mm_cmpeq_epi16(v, close))));
        int mask = _mm_movemask_epi8(special);
        if (mask != 0) return i + lowestUnit(static_cast<unsigned>(mask));
    }
    return plainRunScalar(p, i, n);
}

// Units scanned with SSE2 before a long scan moves on to AVX2.
constexpr std::size_t kShort = 32;

bool vectors(Isa isa) {
    return isa >= Isa::Sse2;
}

bool wide(Isa isa) {
    return isa >= Isa::Avx2;
}

#endif

}  // namespace

std::size_t either(const char16_t* p, std::size_t start, std::size_t end, char16_t a, char16_t b) {
    std::size_t i = start;
#if MV_X86
    const Isa isa = activeIsa();
    if (vectors(isa)) {
        const __m128i va = _mm_set1_epi16(static_cast<short>(a));
        const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
        auto match = [&](std::size_t k) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
            return _mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb));
        };
        i = sse2Loop(i, end, wide(isa) ? start + kShort : end, match);
        if (i < end && (p[i] == a || p[i] == b)) return i;
        if (wide(isa) && i + 8 <= end) return eitherAvx2(p, i, end, a, b);
    }
#endif
    for (; i < end; ++i) {
        if (p[i] == a || p[i] == b) return i;
    }
    return kNone;
}

std::size_t pair(const char16_t* p, std::size_t start, std::size_t end, std::size_t gap,
                 char16_t a0, char16_t b0, char16_t a1, char16_t b1) {
    std::size_t i = start;
    auto matches = [&](std::size_t k) {
        return (p[k] == a0 || p[k] == b0) && (p[k + gap] == a1 || p[k + gap] == b1);
    };
#if MV_X86
    const Isa isa = activeIsa();
    if (vectors(isa)) {
        const __m128i va0 = _mm_set1_epi16(static_cast<short>(a0));
        const __m128i vb0 = _mm_set1_epi16(static_cast<short>(b0));
        const __m128i va1 = _mm_set1_epi16(static_cast<short>(a1));
        const __m128i vb1 = _mm_set1_epi16(static_cast<short>(b1));
        auto match = [&](std::size_t k) {
            __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
            __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + gap));
            return _mm_and_si128(
                _mm_or_si128(_mm_cmpeq_epi16(first, va0), _mm_cmpeq_epi16(first, vb0)),
                _mm_or_si128(_mm_cmpeq_epi16(second, va1), _mm_cmpeq_epi16(second, vb1)));
        };
        i = sse2Loop(i, end, wide(isa) ? start + kShort : end, match);
        if (i < end && matches(i)) return i;
        if (wide(isa) && i + 8 <= end) return pairAvx2(p, i, end, gap, a0, b0, a1, b1);
    }
#endif
    for (; i < end; ++i) {
        if (matches(i)) return i;
    }
    return kNone;
}

std::size_t ascii(const char16_t* p, std::size_t start, std::size_t end) {
    std::size_t i = start;
#if MV_X86
    const Isa isa = activeIsa();
    if (wide(isa)) return asciiAvx2(p, i, end);
    if (vectors(isa)) {
        const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
        auto match = [&](std::size_t k) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
            return _mm_cmpeq_epi16(_mm_and_si128(v, high), _mm_setzero_si128());
        };
        i = sse2Loop(i, end, end, match);
        if (i < end && p[i] < 0x80) return i;
    }
#endif
    for (; i < end; ++i) {
        if (p[i] < 0x80) return i;
    }
    return kNone;
}

std::size_t plainRun(const char16_t* p, std::size_t n) {
#if MV_X86
    if (vectors(activeIsa())) return plainRunSse2(p, n);
#endif
    return plainRunScalar(p, 0, n);
}

}  // namespace mv::engine::cpu
