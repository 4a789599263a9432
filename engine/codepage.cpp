#include "engine/codepage.h"

#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/cpu/isa.h"

namespace mv::engine {

namespace {

// Bytes 80..9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

struct Tables {
    std::array<char16_t, 256> toChar{};
    std::array<std::uint8_t, 65536> toCode{};
    Tables() {
        toCode.fill('?');
        for (unsigned b = 0; b < 256; ++b) {
            char16_t c =
                (b >= 0x80 && b < 0xA0) ? kHighControls[b - 0x80] : static_cast<char16_t>(b);
            toChar[b] = c;
            toCode[c] = static_cast<std::uint8_t>(b);
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

}  // namespace

char16_t ansiChar(std::uint8_t byte) {
    return tables().toChar[byte];
}

std::uint8_t ansiCode(char16_t c) {
    return tables().toCode[c];
}

void decodeAnsi(const unsigned char* bytes, std::size_t count, std::u16string& out) {
    const auto& toChar = tables().toChar;
    std::size_t at = out.size();
    out.resize(at + count);
    char16_t* dst = out.data() + at;
    std::size_t i = 0;
#if defined(__SSE2__)
    if (cpu::activeIsa() >= cpu::Isa::Sse2) {
        // Runs of ASCII widen sixteen bytes at a time; other bytes go through the table.
        const __m128i zero = _mm_setzero_si128();
        for (; i + 16 <= count; i += 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
            if (_mm_movemask_epi8(v) != 0) {
                for (std::size_t k = i; k < i + 16; ++k) dst[k] = toChar[bytes[k]];
                continue;
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 8), _mm_unpackhi_epi8(v, zero));
        }
    }
#endif
    for (; i < count; ++i) dst[i] = toChar[bytes[i]];
}

void encodeAnsi(std::u16string_view text, std::string& out) {
    const auto& toCode = tables().toCode;
    std::size_t at = out.size();
    out.resize(at + text.size());
    char* dst = out.data() + at;
    const char16_t* src = text.data();
    const std::size_t n = text.size();
    std::size_t i = 0;
#if defined(__SSE2__)
    if (cpu::activeIsa() >= cpu::Isa::Sse2) {
        // Sixteen ASCII characters at a time narrow to bytes as they are.
        const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
        for (; i + 16 <= n; i += 16) {
            __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
            __m128i nonAscii = _mm_or_si128(_mm_and_si128(lo, high), _mm_and_si128(hi, high));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(nonAscii, _mm_setzero_si128())) != 0xFFFF) {
                for (std::size_t k = i; k < i + 16; ++k) {
                    char16_t c = src[k];
                    dst[k] = static_cast<char>(c < 0x80 ? static_cast<std::uint8_t>(c) : toCode[c]);
                }
                continue;
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
        }
    }
#endif
    for (; i < n; ++i) {
        char16_t c = src[i];
        dst[i] = static_cast<char>(c < 0x80 ? static_cast<std::uint8_t>(c) : toCode[c]);
    }
}

}  // namespace mv::engine
