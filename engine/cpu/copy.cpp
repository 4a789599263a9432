#include "engine/cpu/copy.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/cpu/isa.h"

namespace mv::engine::cpu {

namespace {

// Each kernel's scalar variant goes on from i; the vector variants end with it.

// Writes the character whether or not it stays, so that keeping it is no branch.
inline void keepUnlessMarkup(char16_t c, char16_t* dst, std::size_t& kept) {
    bool drop = c == u'\r' || c == u'\n' || c == u'/' || c == u'>' || c == u'<';
    dst[kept] = c;
    kept += drop ? 0 : 1;
}

std::size_t copyWithoutMarkupScalar(const char16_t* src, std::size_t i, std::size_t n,
                                    char16_t* dst, std::size_t kept) {
    for (; i < n; ++i) keepUnlessMarkup(src[i], dst, kept);
    return kept;
}

void widenBytesScalar(const unsigned char* bytes, std::size_t i, std::size_t count,
                      const char16_t* toChar, char16_t* dst) {
    for (; i < count; ++i) dst[i] = toChar[bytes[i]];
}

inline char codeOf(char16_t c, const std::uint8_t* toCode) {
    return static_cast<char>(c < 0x80 ? static_cast<std::uint8_t>(c) : toCode[c]);
}

void narrowCharsScalar(const char16_t* src, std::size_t i, std::size_t n,
                       const std::uint8_t* toCode, char* dst) {
    for (; i < n; ++i) dst[i] = codeOf(src[i], toCode);
}

inline void narrowNoting(const char16_t* src, std::size_t i, const std::uint8_t* toCode, char* dst,
                         NarrowNote& note) {
    const char16_t c = src[i];
    const char code = codeOf(c, toCode);
    dst[i] = code;
    if (code == '?' && c != u'?') {
        note.foreign = true;
        if (i > 0 && src[i - 1] == u'<') note.foreignAfterLt = true;
    }
}

void narrowCharsNotingScalar(const char16_t* src, std::size_t i, std::size_t n,
                             const std::uint8_t* toCode, char* dst, NarrowNote& note) {
    for (; i < n; ++i) narrowNoting(src, i, toCode, dst, note);
}

#if defined(__SSE2__)

// Eight characters at a time move as they are when none of them goes.
std::size_t copyWithoutMarkupSse2(const char16_t* src, std::size_t n, char16_t* dst) {
    const __m128i cr = _mm_set1_epi16('\r');
    const __m128i lf = _mm_set1_epi16('\n');
    const __m128i slash = _mm_set1_epi16('/');
    const __m128i gt = _mm_set1_epi16('>');
    const __m128i lt = _mm_set1_epi16('<');
    std::size_t kept = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i drop = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi16(v, cr), _mm_cmpeq_epi16(v, lf)),
            _mm_or_si128(_mm_cmpeq_epi16(v, slash),
                         _mm_or_si128(_mm_cmpeq_epi16(v, gt), _mm_cmpeq_epi16(v, lt))));
        if (_mm_movemask_epi8(drop) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + kept), v);
            kept += 8;
        } else {
            for (std::size_t k = i; k < i + 8; ++k) keepUnlessMarkup(src[k], dst, kept);
        }
    }
    return copyWithoutMarkupScalar(src, i, n, dst, kept);
}

// Runs of ASCII widen sixteen bytes at a time; other bytes go through the table.
void widenBytesSse2(const unsigned char* bytes, std::size_t count, const char16_t* toChar,
                    char16_t* dst) {
    const __m128i zero = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        if (_mm_movemask_epi8(v) != 0) {
            for (std::size_t k = i; k < i + 16; ++k) dst[k] = toChar[bytes[k]];
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 8), _mm_unpackhi_epi8(v, zero));
    }
    widenBytesScalar(bytes, i, count, toChar, dst);
}

// Sixteen ASCII characters at a time narrow to bytes as they are.
void narrowCharsSse2(const char16_t* src, std::size_t n, const std::uint8_t* toCode, char* dst) {
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
        __m128i nonAscii = _mm_or_si128(_mm_and_si128(lo, high), _mm_and_si128(hi, high));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(nonAscii, _mm_setzero_si128())) != 0xFFFF) {
            for (std::size_t k = i; k < i + 16; ++k) dst[k] = codeOf(src[k], toCode);
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
    }
    narrowCharsScalar(src, i, n, toCode, dst);
}

// Sixteen characters pack at once; those of 128 and above, fewer than one in
// ten in most text, are then put right one by one.
NarrowNote narrowCharsNotingSse2(const char16_t* src, std::size_t n, const std::uint8_t* toCode,
                                 char* dst) {
    const __m128i above = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    NarrowNote note;
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(a, b));
        // Two bits per character below 128.
        const unsigned low =
            static_cast<unsigned>(
                _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(a, above), zero))) |
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(b, above), zero)))
                << 16;
        for (unsigned other = ~low; other != 0;) {
            const unsigned k = static_cast<unsigned>(__builtin_ctz(other)) / 2;
            other &= ~(3u << (2 * k));
            narrowNoting(src, i + k, toCode, dst, note);
        }
    }
    narrowCharsNotingScalar(src, i, n, toCode, dst, note);
    return note;
}

// The wider variants have nothing to add to SSE2 here.
bool sse2(Isa isa) {
    return isa >= Isa::Sse2;
}

#endif

}  // namespace

std::size_t copyWithoutMarkup(const char16_t* src, std::size_t n, char16_t* dst) {
#if defined(__SSE2__)
    if (sse2(activeIsa())) return copyWithoutMarkupSse2(src, n, dst);
#endif
    return copyWithoutMarkupScalar(src, 0, n, dst, 0);
}

void widenBytes(const unsigned char* bytes, std::size_t count, const char16_t* toChar,
                char16_t* dst) {
#if defined(__SSE2__)
    if (sse2(activeIsa())) {
        widenBytesSse2(bytes, count, toChar, dst);
        return;
    }
#endif
    widenBytesScalar(bytes, 0, count, toChar, dst);
}

void narrowChars(const char16_t* src, std::size_t n, const std::uint8_t* toCode, char* dst) {
#if defined(__SSE2__)
    if (sse2(activeIsa())) {
        narrowCharsSse2(src, n, toCode, dst);
        return;
    }
#endif
    narrowCharsScalar(src, 0, n, toCode, dst);
}

NarrowNote narrowCharsNoting(const char16_t* src, std::size_t n, const std::uint8_t* toCode,
                             char* dst) {
#if defined(__SSE2__)
    if (sse2(activeIsa())) return narrowCharsNotingSse2(src, n, toCode, dst);
#endif
    NarrowNote note;
    narrowCharsNotingScalar(src, 0, n, toCode, dst, note);
    return note;
}

}  // namespace mv::engine::cpu
