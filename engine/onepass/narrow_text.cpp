#include "engine/onepass/narrow_text.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/codepage.h"
#include "engine/cpu/isa.h"

namespace mv::engine::onepass {

void narrowInto(std::u16string_view chunk, NarrowText& out) {
    out.foreign = out.foreignAfterLt = false;
    // A buffer of the chunk's size already (every full chunk after the
    // first) is written over without being cleared.
    out.bytes.resize(chunk.size());
    char* dst = out.bytes.data();
    const char16_t* src = chunk.data();
    const std::size_t n = chunk.size();
    auto one = [&](std::size_t i) {
        const char16_t c = src[i];
        const std::uint8_t code = c < 0x80 ? static_cast<std::uint8_t>(c) : ansiCode(c);
        dst[i] = static_cast<char>(code);
        if (code == '?' && c != u'?') {
            out.foreign = true;
            if (i > 0 && src[i - 1] == u'<') out.foreignAfterLt = true;
        }
    };
    std::size_t i = 0;
#if defined(__SSE2__)
    if (cpu::activeIsa() >= cpu::Isa::Sse2) {
        // Sixteen characters pack at once; those of 128 and above, fewer than
        // one in ten in most text, are then put right one by one.
        const __m128i above = _mm_set1_epi16(static_cast<short>(0xFF80));
        const __m128i zero = _mm_setzero_si128();
        for (; i + 16 <= n; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(a, b));
            // Two bits per character below 128.
            const unsigned low =
                static_cast<unsigned>(
                    _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(a, above), zero))) |
                static_cast<unsigned>(
                    _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(b, above), zero)))
                    << 16;
            for (unsigned other = ~low; other != 0;) {
                const unsigned k = static_cast<unsigned>(__builtin_ctz(other)) / 2;
                other &= ~(3u << (2 * k));
                one(i + k);
            }
        }
    }
#endif
    for (; i < n; ++i) one(i);
}

NarrowText narrow(std::u16string_view chunk) {
    NarrowText out;
    narrowInto(chunk, out);
    return out;
}

NarrowText narrow(std::string bytes) {
    NarrowText out;
    out.bytes = std::move(bytes);
    return out;
}

std::u16string widen(std::string_view bytes) {
    std::u16string out;
    decodeAnsi(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out);
    return out;
}

}  // namespace mv::engine::onepass
