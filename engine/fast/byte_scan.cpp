#include "engine/fast/byte_scan.h"

#include <array>
#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MV_X86 1
#endif

namespace mv::engine::fast {

namespace {

struct Classes {
    std::array<bool, 256> key{};
    std::array<bool, 256> value{};
    Classes() {
        for (unsigned char c : {'\r', '\n', '/', '<', '>', '~', '|'}) key[c] = true;
        for (unsigned b = 0; b < 256; ++b) value[b] = key[b] || b < 32 || b >= 128;
        for (unsigned char c : {'"', '\'', '\\', '{', '}'}) value[c] = true;
    }
};
const Classes kClasses;

template <class Table>
std::uint64_t maskScalar(const std::uint8_t* p, std::size_t n, const Table& special) {
    std::uint64_t mask = 0;
    const std::size_t m = n < 64 ? n : 64;
    for (std::size_t k = 0; k < m; ++k) mask |= static_cast<std::uint64_t>(special[p[k]]) << k;
    return mask;
}

std::uint64_t keyMaskScalar(const std::uint8_t* p, std::size_t n) {
    return maskScalar(p, n, kClasses.key);
}

std::uint64_t valueMaskScalar(const std::uint8_t* p, std::size_t n) {
    return maskScalar(p, n, kClasses.value);
}

// A short block copied into a full one: the bytes after it are plain "A"s.
struct Block {
    alignas(64) std::uint8_t bytes[64];
    Block(const std::uint8_t* p, std::size_t n) {
        std::memset(bytes, 'A', sizeof bytes);
        std::memcpy(bytes, p, n);
    }
};

std::size_t tripleScalar(const std::uint8_t* p, std::size_t i, std::size_t end, std::size_t gap,
                         std::uint8_t a0, std::uint8_t b0, std::uint8_t a1, std::uint8_t b1,
                         std::uint8_t a2, std::uint8_t b2) {
    for (; i < end; ++i) {
        if ((p[i] == a0 || p[i] == b0) && (p[i + 1] == a1 || p[i + 1] == b1) &&
            (p[i + gap] == a2 || p[i + gap] == b2)) {
            return i;
        }
    }
    return kNone;
}

#if MV_X86

inline std::size_t lowest(unsigned mask) {
    return static_cast<std::size_t>(__builtin_ctz(mask));
}

// SSE2: sixteen bytes at a time.
__m128i keySpecial16(__m128i v) {
    __m128i s = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')),
                             _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
    s = _mm_or_si128(s, _mm_cmpeq_epi8(v, _mm_set1_epi8('/')));
    s = _mm_or_si128(s, _mm_cmpeq_epi8(v, _mm_set1_epi8('<')));
    s = _mm_or_si128(s, _mm_cmpeq_epi8(v, _mm_set1_epi8('>')));
    s = _mm_or_si128(s, _mm_cmpeq_epi8(v, _mm_set1_epi8('~')));
    return _mm_or_si128(s, _mm_cmpeq_epi8(v, _mm_set1_epi8('|')));
}

__m128i valueSpecial16(__m128i v) {
    // Signed: bytes from 0x80 up are negative and count as below 32; "{" to
    // "~" are the only bytes above "z".
    __m128i s =
        _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(32)), _mm_cmpgt_epi8(v, _mm_set1_epi8('z')));
    s = _mm_or_si128(s, _mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
    s = _mm_or_si128(s, _mm_cmpeq_epi8(v, _mm_set1_epi8('\'')));
    s = _mm_or_si128(s, _mm_cmpeq_epi8(v, _mm_set1_epi8('/')));
    s = _mm_or_si128(s, _mm_cmpeq_epi8(v, _mm_set1_epi8('<')));
    s = _mm_or_si128(s, _mm_cmpeq_epi8(v, _mm_set1_epi8('>')));
    return _mm_or_si128(s, _mm_cmpeq_epi8(v, _mm_set1_epi8('\\')));
}

template <class Special>
std::uint64_t maskSse2(const std::uint8_t* p, std::size_t n, Special special) {
    if (n < 64) {
        Block block(p, n);
        return maskSse2(block.bytes, 64, special) & ((std::uint64_t{1} << n) - 1);
    }
    std::uint64_t mask = 0;
    for (unsigned k = 0; k < 4; ++k) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        mask |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(special(v))))
                << (16 * k);
    }
    return mask;
}

std::uint64_t keyMaskSse2(const std::uint8_t* p, std::size_t n) {
    return maskSse2(p, n, keySpecial16);
}

std::uint64_t valueMaskSse2(const std::uint8_t* p, std::size_t n) {
    return maskSse2(p, n, valueSpecial16);
}

std::size_t tripleSse2(const std::uint8_t* p, std::size_t i, std::size_t end, std::size_t gap,
                       std::uint8_t a0, std::uint8_t b0, std::uint8_t a1, std::uint8_t b1,
                       std::uint8_t a2, std::uint8_t b2) {
    auto either = [](__m128i v, std::uint8_t a, std::uint8_t b) {
        return _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(a))),
                            _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(b))));
    };
    for (; i + 16 <= end; i += 16) {
        __m128i hit = _mm_and_si128(
            either(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), a0, b0),
            either(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1)), a1, b1));
        hit = _mm_and_si128(
            hit, either(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + gap)), a2, b2));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0) return i + lowest(mask);
    }
    return tripleScalar(p, i, end, gap, a0, b0, a1, b1, a2, b2);
}

// AVX2: thirty-two bytes at a time.
#define MV_AVX2 __attribute__((target("avx2")))

MV_AVX2 inline __m256i keySpecial32(__m256i v) {
    __m256i s = _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('\r')),
                                _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n')));
    s = _mm256_or_si256(s, _mm256_cmpeq_epi8(v, _mm256_set1_epi8('/')));
    s = _mm256_or_si256(s, _mm256_cmpeq_epi8(v, _mm256_set1_epi8('<')));
    s = _mm256_or_si256(s, _mm256_cmpeq_epi8(v, _mm256_set1_epi8('>')));
    s = _mm256_or_si256(s, _mm256_cmpeq_epi8(v, _mm256_set1_epi8('~')));
    return _mm256_or_si256(s, _mm256_cmpeq_epi8(v, _mm256_set1_epi8('|')));
}

MV_AVX2 inline __m256i valueSpecial32(__m256i v) {
    __m256i s = _mm256_or_si256(_mm256_cmpgt_epi8(_mm256_set1_epi8(32), v),
                                _mm256_cmpgt_epi8(v, _mm256_set1_epi8('z')));
    s = _mm256_or_si256(s, _mm256_cmpeq_epi8(v, _mm256_set1_epi8('"')));
    s = _mm256_or_si256(s, _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\'')));
    s = _mm256_or_si256(s, _mm256_cmpeq_epi8(v, _mm256_set1_epi8('/')));
    s = _mm256_or_si256(s, _mm256_cmpeq_epi8(v, _mm256_set1_epi8('<')));
    s = _mm256_or_si256(s, _mm256_cmpeq_epi8(v, _mm256_set1_epi8('>')));
    return _mm256_or_si256(s, _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\\')));
}

MV_AVX2 std::uint64_t keyMaskAvx2(const std::uint8_t* p, std::size_t n) {
    if (n < 64) {
        Block block(p, n);
        return keyMaskAvx2(block.bytes, 64) & ((std::uint64_t{1} << n) - 1);
    }
    __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(keySpecial32(lo))) |
           static_cast<std::uint64_t>(
               static_cast<std::uint32_t>(_mm256_movemask_epi8(keySpecial32(hi))))
               << 32;
}

MV_AVX2 std::uint64_t valueMaskAvx2(const std::uint8_t* p, std::size_t n) {
    if (n < 64) {
        Block block(p, n);
        return valueMaskAvx2(block.bytes, 64) & ((std::uint64_t{1} << n) - 1);
    }
    __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(valueSpecial32(lo))) |
           static_cast<std::uint64_t>(
               static_cast<std::uint32_t>(_mm256_movemask_epi8(valueSpecial32(hi))))
               << 32;
}

MV_AVX2 std::size_t tripleAvx2(const std::uint8_t* p, std::size_t i, std::size_t end,
                               std::size_t gap, std::uint8_t a0, std::uint8_t b0, std::uint8_t a1,
                               std::uint8_t b1, std::uint8_t a2, std::uint8_t b2) {
    const __m256i va0 = _mm256_set1_epi8(static_cast<char>(a0));
    const __m256i vb0 = _mm256_set1_epi8(static_cast<char>(b0));
    const __m256i va1 = _mm256_set1_epi8(static_cast<char>(a1));
    const __m256i vb1 = _mm256_set1_epi8(static_cast<char>(b1));
    const __m256i va2 = _mm256_set1_epi8(static_cast<char>(a2));
    const __m256i vb2 = _mm256_set1_epi8(static_cast<char>(b2));
    for (; i + 32 <= end; i += 32) {
        __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 1));
        __m256i v2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + gap));
        __m256i hit = _mm256_and_si256(
            _mm256_or_si256(_mm256_cmpeq_epi8(v0, va0), _mm256_cmpeq_epi8(v0, vb0)),
            _mm256_or_si256(_mm256_cmpeq_epi8(v1, va1), _mm256_cmpeq_epi8(v1, vb1)));
        hit = _mm256_and_si256(
            hit, _mm256_or_si256(_mm256_cmpeq_epi8(v2, va2), _mm256_cmpeq_epi8(v2, vb2)));
        unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hit));
        if (mask != 0) return i + lowest(mask);
    }
    return tripleScalar(p, i, end, gap, a0, b0, a1, b1, a2, b2);
}

// AVX-512: sixty-four bytes at a time, compares straight into mask registers.
#define MV_AVX512 __attribute__((target("avx512f,avx512bw")))

MV_AVX512 inline std::size_t lowest64(unsigned long long mask) {
    return static_cast<std::size_t>(__builtin_ctzll(mask));
}

MV_AVX512 inline __mmask64 loadMask(std::size_t n) {
    return n >= 64 ? ~__mmask64{0} : (__mmask64{1} << n) - 1;
}

MV_AVX512 std::uint64_t keyMaskAvx512(const std::uint8_t* p, std::size_t n) {
    const __mmask64 in = loadMask(n);
    __m512i v = _mm512_maskz_loadu_epi8(in, p);
    return in & (_mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\r')) |
                 _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\n')) |
                 _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('/')) |
                 _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('<')) |
                 _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('>')) |
                 _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('~')) |
                 _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('|')));
}

MV_AVX512 std::uint64_t valueMaskAvx512(const std::uint8_t* p, std::size_t n) {
    const __mmask64 in = loadMask(n);
    __m512i v = _mm512_maskz_loadu_epi8(in, p);
    return in & (_mm512_cmplt_epi8_mask(v, _mm512_set1_epi8(32)) |
                 _mm512_cmpgt_epi8_mask(v, _mm512_set1_epi8('z')) |
                 _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('"')) |
                 _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\'')) |
                 _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('/')) |
                 _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('<')) |
                 _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('>')) |
                 _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\\')));
}

MV_AVX512 std::size_t tripleAvx512(const std::uint8_t* p, std::size_t i, std::size_t end,
                                   std::size_t gap, std::uint8_t a0, std::uint8_t b0,
                                   std::uint8_t a1, std::uint8_t b1, std::uint8_t a2,
                                   std::uint8_t b2) {
    const __m512i va0 = _mm512_set1_epi8(static_cast<char>(a0));
    const __m512i vb0 = _mm512_set1_epi8(static_cast<char>(b0));
    const __m512i va1 = _mm512_set1_epi8(static_cast<char>(a1));
    const __m512i vb1 = _mm512_set1_epi8(static_cast<char>(b1));
    const __m512i va2 = _mm512_set1_epi8(static_cast<char>(a2));
    const __m512i vb2 = _mm512_set1_epi8(static_cast<char>(b2));
    for (; i + 64 <= end; i += 64) {
        __m512i v0 = _mm512_loadu_si512(p + i);
        __m512i v1 = _mm512_loadu_si512(p + i + 1);
        __m512i v2 = _mm512_loadu_si512(p + i + gap);
        __mmask64 hit = (_mm512_cmpeq_epi8_mask(v0, va0) | _mm512_cmpeq_epi8_mask(v0, vb0)) &
                        (_mm512_cmpeq_epi8_mask(v1, va1) | _mm512_cmpeq_epi8_mask(v1, vb1)) &
                        (_mm512_cmpeq_epi8_mask(v2, va2) | _mm512_cmpeq_epi8_mask(v2, vb2));
        if (hit != 0) return i + lowest64(hit);
    }
    return tripleScalar(p, i, end, gap, a0, b0, a1, b1, a2, b2);
}

#endif

struct Variant {
    Isa isa;
    std::size_t (*triple)(const std::uint8_t*, std::size_t, std::size_t, std::size_t, std::uint8_t,
                          std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t);
    std::uint64_t (*keyMask)(const std::uint8_t*, std::size_t);
    std::uint64_t (*valueMask)(const std::uint8_t*, std::size_t);
};

const Variant kVariants[] = {
    {Isa::Scalar, tripleScalar, keyMaskScalar, valueMaskScalar},
#if MV_X86
    {Isa::Sse2, tripleSse2, keyMaskSse2, valueMaskSse2},
    {Isa::Avx2, tripleAvx2, keyMaskAvx2, valueMaskAvx2},
    {Isa::Avx512, tripleAvx512, keyMaskAvx512, valueMaskAvx512},
#endif
};

Isa detect() {
#if MV_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512bw")) return Isa::Avx512;
    if (__builtin_cpu_supports("avx2")) return Isa::Avx2;
    return Isa::Sse2;
#else
    return Isa::Scalar;
#endif
}

const Isa kBest = detect();

const Variant& variantFor(Isa isa) {
    const Variant* chosen = &kVariants[0];
    for (const Variant& v : kVariants) {
        if (v.isa <= isa && v.isa <= kBest) chosen = &v;
    }
    return *chosen;
}

std::atomic<const Variant*> gActive{&variantFor(kBest)};

}  // namespace

Isa bestIsa() {
    return kBest;
}

Isa activeIsa() {
    return gActive.load(std::memory_order_relaxed)->isa;
}

void useIsa(Isa isa) {
    gActive.store(&variantFor(isa), std::memory_order_relaxed);
}

std::uint64_t keyMask(const std::uint8_t* p, std::size_t n) {
    return gActive.load(std::memory_order_relaxed)->keyMask(p, n);
}

std::uint64_t valueMask(const std::uint8_t* p, std::size_t n) {
    return gActive.load(std::memory_order_relaxed)->valueMask(p, n);
}

std::size_t triple(const std::uint8_t* p, std::size_t start, std::size_t end, std::size_t gap,
                   std::uint8_t a0, std::uint8_t b0, std::uint8_t a1, std::uint8_t b1,
                   std::uint8_t a2, std::uint8_t b2) {
    if (start >= end) return kNone;
    return gActive.load(std::memory_order_relaxed)
        ->triple(p, start, end, gap, a0, b0, a1, b1, a2, b2);
}

}  // namespace mv::engine::fast
