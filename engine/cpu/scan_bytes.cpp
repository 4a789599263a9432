#include "engine/cpu/scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>

#include "engine/cpu/isa.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MV_X86 1
#endif

namespace mv::engine::cpu {

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

// One block: the n bytes of the text from p on, of which the first 64 count.
BlockMasks blockScalar(const std::uint8_t* p, std::size_t n) {
    BlockMasks m{};
    const std::size_t size = n < 64 ? n : 64;
    for (std::size_t k = 0; k < size; ++k) {
        const std::uint8_t c = p[k];
        const std::uint64_t bit = std::uint64_t{1} << k;
        if (kClasses.key[c]) m.key |= bit;
        if (kClasses.value[c]) m.value |= bit;
        if (c == '<') m.lt |= bit;
        if (c == '>') m.gt |= bit;
        if (c == '<' && k + 1 < n && p[k + 1] == '/') m.valueEnd |= bit;
    }
    return m;
}

void blockMasksScalar(const std::uint8_t* p, std::size_t n, std::size_t first, std::size_t count,
                      BlockMasks* out) {
    for (std::size_t b = 0; b < count; ++b) {
        const std::size_t start = (first + b) * 64;
        out[b] = start < n ? blockScalar(p + start, n - start) : BlockMasks{};
    }
}

// The blocks of a text for a variant that reads a whole block and the byte
// after it: the last blocks are copied into a padded one first (plain "A"s,
// which nothing marks). Inlined into each variant, so that its loop runs on
// that variant's instructions.
template <class Full>
__attribute__((always_inline)) inline void eachBlock(const std::uint8_t* p, std::size_t n,
                                                     std::size_t first, std::size_t count,
                                                     BlockMasks* out, Full full) {
    for (std::size_t b = 0; b < count; ++b) {
        const std::size_t start = (first + b) * 64;
        if (start + 65 <= n) {
            out[b] = full(p + start);
            continue;
        }
        if (start >= n) {
            out[b] = BlockMasks{};
            continue;
        }
        alignas(64) std::uint8_t padded[128];
        std::memset(padded, 'A', sizeof padded);
        std::memcpy(padded, p + start, n - start);
        BlockMasks m = full(padded);
        const std::uint64_t inside = ~std::uint64_t{0} >> (64 - (n - start));
        m.key &= inside;
        m.value &= inside;
        m.lt &= inside;
        m.gt &= inside;
        m.valueEnd &= inside;
        out[b] = m;
    }
}

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

std::size_t headOrCloseScalar(const std::uint8_t* p, std::size_t i, std::size_t end,
                              std::size_t gap) {
    for (; i < end; ++i) {
        if (p[i] != '<') continue;
        const std::uint8_t c = p[i + 1];
        if (c == '?' || c == '!' || (c == '/' && p[i + gap] == '>')) return i;
    }
    return kNone;
}

#if MV_X86

inline std::size_t lowest(unsigned mask) {
    return static_cast<std::size_t>(__builtin_ctz(mask));
}

// SSE2: sixteen bytes at a time. "/", "<" and ">" count for both masks.
inline __m128i is(__m128i v, char c) {
    return _mm_cmpeq_epi8(v, _mm_set1_epi8(c));
}

inline std::uint64_t bits(__m128i v, std::size_t part) {
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(v))) << (16 * part);
}

BlockMasks fullSse2(const std::uint8_t* p) {
    BlockMasks m{};
    for (std::size_t part = 0; part < 4; ++part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part + 1));
        const __m128i lt = is(v, '<');
        const __m128i gt = is(v, '>');
        const __m128i both = _mm_or_si128(_mm_or_si128(lt, gt), is(v, '/'));
        __m128i key = _mm_or_si128(both, _mm_or_si128(is(v, '\r'), is(v, '\n')));
        key = _mm_or_si128(key, _mm_or_si128(is(v, '~'), is(v, '|')));
        // Signed: bytes from 0x80 up are negative and count as below 32; "{"
        // to "~" are the only bytes above "z".
        __m128i value = _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(32)),
                                     _mm_cmpgt_epi8(v, _mm_set1_epi8('z')));
        value = _mm_or_si128(value, _mm_or_si128(is(v, '"'), is(v, '\'')));
        value = _mm_or_si128(_mm_or_si128(value, is(v, '\\')), both);
        m.key |= bits(key, part);
        m.value |= bits(value, part);
        m.lt |= bits(lt, part);
        m.gt |= bits(gt, part);
        m.valueEnd |= bits(_mm_and_si128(lt, is(next, '/')), part);
    }
    return m;
}

void blockMasksSse2(const std::uint8_t* p, std::size_t n, std::size_t first, std::size_t count,
                    BlockMasks* out) {
    eachBlock(p, n, first, count, out, fullSse2);
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

std::size_t headOrCloseSse2(const std::uint8_t* p, std::size_t i, std::size_t end,
                            std::size_t gap) {
    auto at = [p](std::size_t k) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
    };
    for (; i + 16 <= end; i += 16) {
        const __m128i v1 = at(i + 1);
        const __m128i close = _mm_and_si128(is(v1, '/'), is(at(i + gap), '>'));
        const __m128i hit = _mm_and_si128(
            is(at(i), '<'), _mm_or_si128(_mm_or_si128(is(v1, '?'), is(v1, '!')), close));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0) return i + lowest(mask);
    }
    return headOrCloseScalar(p, i, end, gap);
}

// AVX2: thirty-two bytes at a time.
#define MV_AVX2 __attribute__((target("avx2")))

MV_AVX2 inline __m256i is(__m256i v, char c) {
    return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c));
}

MV_AVX2 inline std::uint64_t bits(__m256i v, std::size_t part) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(v)))
           << (32 * part);
}

// AVX2 looks each byte up by its two halves (vpshufb): a class bit is set
// when both halves allow it, so each class is a set of low halves crossed
// with a set of high halves. Key bytes: CR LF (bit 0), "/" (1), "<" (2),
// ">" (3), "|" "~" (4). Value bytes besides: the codes below 32 and from 128
// up (5), " ' (6), { } (7); "\\" fits no bit and is compared.
struct NibbleTables {
    // Once per 16-byte lane of the widest vector.
    alignas(64) std::uint8_t low[64];
    alignas(64) std::uint8_t high[64];
    NibbleTables() {
        for (unsigned half = 0; half < 16; ++half) {
            const auto in = [half](std::initializer_list<unsigned> set) {
                return std::find(set.begin(), set.end(), half) != set.end();
            };
            const unsigned l = (in({0xA, 0xD}) ? 1 : 0) | (half == 0xF ? 2 : 0) |
                               (half == 0xC ? 4 : 0) | (half == 0xE ? 8 : 0) |
                               (in({0xC, 0xE}) ? 16 : 0) | 32 | (in({2, 7}) ? 64 : 0) |
                               (in({0xB, 0xD}) ? 128 : 0);
            const unsigned h = (half == 0 ? 1 : 0) | (half == 2 ? 2 : 0) | (half == 3 ? 4 | 8 : 0) |
                               (half == 7 ? 16 | 128 : 0) | (half < 2 || half >= 8 ? 32 : 0) |
                               (half == 2 ? 64 : 0);
            for (unsigned lane = 0; lane < 64; lane += 16) {
                low[lane + half] = static_cast<std::uint8_t>(l);
                high[lane + half] = static_cast<std::uint8_t>(h);
            }
        }
    }
};
const NibbleTables kNibbles;

MV_AVX2 inline BlockMasks fullAvx2(const std::uint8_t* p) {
    const __m256i low = _mm256_load_si256(reinterpret_cast<const __m256i*>(kNibbles.low));
    const __m256i high = _mm256_load_si256(reinterpret_cast<const __m256i*>(kNibbles.high));
    const __m256i halfMask = _mm256_set1_epi8(0x0F);
    const __m256i zero = _mm256_setzero_si256();
    BlockMasks m{};
    for (std::size_t part = 0; part < 2; ++part) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * part));
        const __m256i next =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * part + 1));
        const __m256i classes = _mm256_and_si256(
            _mm256_shuffle_epi8(low, _mm256_and_si256(v, halfMask)),
            _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(v, 4), halfMask)));
        // A class bit moved to the top of its byte, where movemask reads it.
        auto bit = [&](int b) MV_AVX2 { return bits(_mm256_slli_epi16(classes, 7 - b), part); };
        const std::uint64_t lt = bit(2);
        const std::uint64_t noKey =
            bits(_mm256_cmpeq_epi8(_mm256_and_si256(classes, _mm256_set1_epi8(0x1F)), zero), part);
        const std::uint64_t noValue = bits(_mm256_cmpeq_epi8(classes, zero), part);
        m.key |= ~noKey & (std::uint64_t{0xFFFFFFFF} << (32 * part));
        m.value |=
            (~noValue & (std::uint64_t{0xFFFFFFFF} << (32 * part))) | bits(is(v, '\\'), part);
        m.lt |= lt;
        m.gt |= bit(3);
        m.valueEnd |= lt & bits(is(next, '/'), part);
    }
    return m;
}

MV_AVX2 void blockMasksAvx2(const std::uint8_t* p, std::size_t n, std::size_t first,
                            std::size_t count, BlockMasks* out) {
    eachBlock(p, n, first, count, out,
              [](const std::uint8_t* block) MV_AVX2 { return fullAvx2(block); });
}

// One byte of a triple: a byte or its other case. Most are one byte (markup,
// or a letter without another case) and take one compare.
struct Either256 {
    __m256i a, b;
    bool two;
};

MV_AVX2 inline Either256 either256(std::uint8_t a, std::uint8_t b) {
    return {_mm256_set1_epi8(static_cast<char>(a)), _mm256_set1_epi8(static_cast<char>(b)), a != b};
}

MV_AVX2 inline __m256i matches(__m256i v, const Either256& e) {
    const __m256i m = _mm256_cmpeq_epi8(v, e.a);
    return e.two ? _mm256_or_si256(m, _mm256_cmpeq_epi8(v, e.b)) : m;
}

MV_AVX2 std::size_t tripleAvx2(const std::uint8_t* p, std::size_t i, std::size_t end,
                               std::size_t gap, std::uint8_t a0, std::uint8_t b0, std::uint8_t a1,
                               std::uint8_t b1, std::uint8_t a2, std::uint8_t b2) {
    const Either256 e0 = either256(a0, b0), e1 = either256(a1, b1), e2 = either256(a2, b2);
    // "<?" or "<!": the third byte is the second, tested once.
    const bool third = !(gap == 1 && a2 == a1 && b2 == b1);
    for (; i + 32 <= end; i += 32) {
        const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 1));
        __m256i hit = _mm256_and_si256(matches(v0, e0), matches(v1, e1));
        if (third) {
            const __m256i v2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + gap));
            hit = _mm256_and_si256(hit, matches(v2, e2));
        }
        unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hit));
        if (mask != 0) return i + lowest(mask);
    }
    return tripleScalar(p, i, end, gap, a0, b0, a1, b1, a2, b2);
}

MV_AVX2 std::size_t headOrCloseAvx2(const std::uint8_t* p, std::size_t i, std::size_t end,
                                    std::size_t gap) {
    auto at = [p](std::size_t k)
                  MV_AVX2 { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k)); };
    auto hits = [&](std::size_t k) MV_AVX2 {
        const __m256i v1 = at(k + 1);
        const __m256i close = _mm256_and_si256(is(v1, '/'), is(at(k + gap), '>'));
        const __m256i hit = _mm256_and_si256(
            is(at(k), '<'), _mm256_or_si256(_mm256_or_si256(is(v1, '?'), is(v1, '!')), close));
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(hit));
    };
    // Two vectors a round: the loop's own work is paid once per 64 bytes.
    for (; i + 64 <= end; i += 64) {
        const std::uint64_t mask = hits(i) | std::uint64_t{hits(i + 32)} << 32;
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctzll(mask));
    }
    for (; i + 32 <= end; i += 32) {
        const unsigned mask = hits(i);
        if (mask != 0) return i + lowest(mask);
    }
    return headOrCloseScalar(p, i, end, gap);
}

// AVX-512: sixty-four bytes at a time, compares straight into mask registers.
#define MV_AVX512 __attribute__((target("avx512f,avx512bw")))

MV_AVX512 inline std::size_t lowest64(unsigned long long mask) {
    return static_cast<std::size_t>(__builtin_ctzll(mask));
}

MV_AVX512 inline __mmask64 loadMask(std::size_t n) {
    return n >= 64 ? ~__mmask64{0} : (__mmask64{1} << n) - 1;
}

MV_AVX512 inline __mmask64 is(__m512i v, char c) {
    return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
}

// The nibble lookup of AVX2 on 64 bytes at a time, each class tested
// straight into a mask register. Masked loads stop at the end of the text;
// the zeros they read instead are taken out of the value mask.
MV_AVX512 void blockMasksAvx512(const std::uint8_t* p, std::size_t n, std::size_t first,
                                std::size_t count, BlockMasks* out) {
    const __m512i low = _mm512_load_si512(kNibbles.low);
    const __m512i high = _mm512_load_si512(kNibbles.high);
    const __m512i halfMask = _mm512_set1_epi8(0x0F);
    auto has = [](__m512i classes, std::uint8_t bits) MV_AVX512 {
        return _mm512_test_epi8_mask(classes, _mm512_set1_epi8(static_cast<char>(bits)));
    };
    for (std::size_t b = 0; b < count; ++b) {
        const std::size_t start = (first + b) * 64;
        if (start >= n) {
            out[b] = BlockMasks{};
            continue;
        }
        const __mmask64 in = loadMask(n - start);
        const __m512i v = _mm512_maskz_loadu_epi8(in, p + start);
        const __m512i next = _mm512_maskz_loadu_epi8(loadMask(n - start - 1), p + start + 1);
        const __m512i classes = _mm512_and_si512(
            _mm512_shuffle_epi8(low, _mm512_and_si512(v, halfMask)),
            _mm512_shuffle_epi8(high, _mm512_and_si512(_mm512_srli_epi16(v, 4), halfMask)));
        const __mmask64 lt = has(classes, 4);
        out[b] = BlockMasks{has(classes, 0x1F), in & (has(classes, 0xFF) | is(v, '\\')), lt,
                            has(classes, 8), lt & is(next, '/')};
    }
}

// With VBMI one permute looks every byte up in a table of 128 class bytes,
// and each mask is one test of a class bit: half the work of a compare per
// special byte. Bytes from 128 up (the permute ignores their top bit) are
// value bytes and nothing else.
enum : std::uint8_t { kKeyBit = 1, kValueBit = 2, kLtBit = 4, kGtBit = 8, kSlashBit = 16 };

struct ClassBytes {
    alignas(64) std::uint8_t bytes[128];
    ClassBytes() {
        for (unsigned b = 0; b < 128; ++b) {
            bytes[b] = static_cast<std::uint8_t>(
                (kClasses.key[b] ? kKeyBit : 0) | (kClasses.value[b] ? kValueBit : 0) |
                (b == '<' ? kLtBit : 0) | (b == '>' ? kGtBit : 0) | (b == '/' ? kSlashBit : 0));
        }
    }
};
const ClassBytes kClassBytes;

#define MV_AVX512VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))

MV_AVX512VBMI void blockMasksAvx512Vbmi(const std::uint8_t* p, std::size_t n, std::size_t first,
                                        std::size_t count, BlockMasks* out) {
    const __m512i low = _mm512_load_si512(kClassBytes.bytes);
    const __m512i high = _mm512_load_si512(kClassBytes.bytes + 64);
    auto has = [](__m512i classes, std::uint8_t bit) MV_AVX512VBMI {
        return _mm512_test_epi8_mask(classes, _mm512_set1_epi8(static_cast<char>(bit)));
    };
    for (std::size_t b = 0; b < count; ++b) {
        const std::size_t start = (first + b) * 64;
        if (start >= n) {
            out[b] = BlockMasks{};
            continue;
        }
        const __mmask64 in = loadMask(n - start);
        const __m512i v = _mm512_maskz_loadu_epi8(in, p + start);
        const __m512i classes = _mm512_permutex2var_epi8(low, v, high);
        const __mmask64 ascii = ~_mm512_movepi8_mask(v);
        const __mmask64 lt = ascii & has(classes, kLtBit);
        const __mmask64 slash = ascii & has(classes, kSlashBit);
        // A "/" just after the block also ends a value at its last byte.
        const __mmask64 slashNext =
            (slash >> 1) | (start + 64 < n && p[start + 64] == '/' ? __mmask64{1} << 63 : 0);
        out[b] = BlockMasks{ascii & has(classes, kKeyBit), in & (~ascii | has(classes, kValueBit)),
                            lt, ascii & has(classes, kGtBit), lt & slashNext};
    }
}

struct Either512 {
    __m512i a, b;
    bool two;
};

MV_AVX512 inline Either512 either512(std::uint8_t a, std::uint8_t b) {
    return {_mm512_set1_epi8(static_cast<char>(a)), _mm512_set1_epi8(static_cast<char>(b)), a != b};
}

MV_AVX512 inline __mmask64 matches(__m512i v, const Either512& e) {
    const __mmask64 m = _mm512_cmpeq_epi8_mask(v, e.a);
    return e.two ? m | _mm512_cmpeq_epi8_mask(v, e.b) : m;
}

MV_AVX512 std::size_t tripleAvx512(const std::uint8_t* p, std::size_t i, std::size_t end,
                                   std::size_t gap, std::uint8_t a0, std::uint8_t b0,
                                   std::uint8_t a1, std::uint8_t b1, std::uint8_t a2,
                                   std::uint8_t b2) {
    const Either512 e0 = either512(a0, b0), e1 = either512(a1, b1), e2 = either512(a2, b2);
    const bool third = !(gap == 1 && a2 == a1 && b2 == b1);
    for (; i + 64 <= end; i += 64) {
        __mmask64 hit =
            matches(_mm512_loadu_si512(p + i), e0) & matches(_mm512_loadu_si512(p + i + 1), e1);
        if (third) hit &= matches(_mm512_loadu_si512(p + i + gap), e2);
        if (hit != 0) return i + lowest64(hit);
    }
    return tripleScalar(p, i, end, gap, a0, b0, a1, b1, a2, b2);
}

MV_AVX512 std::size_t headOrCloseAvx512(const std::uint8_t* p, std::size_t i, std::size_t end,
                                        std::size_t gap) {
    for (; i + 64 <= end; i += 64) {
        // Each compare only where "<" stands.
        const __mmask64 lt = is(_mm512_loadu_si512(p + i), '<');
        const __m512i v1 = _mm512_loadu_si512(p + i + 1);
        const __mmask64 slash = _mm512_mask_cmpeq_epi8_mask(lt, v1, _mm512_set1_epi8('/'));
        const __mmask64 hit = _mm512_mask_cmpeq_epi8_mask(lt, v1, _mm512_set1_epi8('?')) |
                              _mm512_mask_cmpeq_epi8_mask(lt, v1, _mm512_set1_epi8('!')) |
                              _mm512_mask_cmpeq_epi8_mask(slash, _mm512_loadu_si512(p + i + gap),
                                                          _mm512_set1_epi8('>'));
        if (hit != 0) return i + lowest64(hit);
    }
    return headOrCloseScalar(p, i, end, gap);
}

#endif

struct Variant {
    std::size_t (*triple)(const std::uint8_t*, std::size_t, std::size_t, std::size_t, std::uint8_t,
                          std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t);
    void (*blockMasks)(const std::uint8_t*, std::size_t, std::size_t, std::size_t, BlockMasks*);
    std::size_t (*headOrClose)(const std::uint8_t*, std::size_t, std::size_t, std::size_t);
};

// One row per Isa, in its order.
#if MV_X86
const Variant kVariants[] = {
    {tripleScalar, blockMasksScalar, headOrCloseScalar},
    {tripleSse2, blockMasksSse2, headOrCloseSse2},
    {tripleAvx2, blockMasksAvx2, headOrCloseAvx2},
    {tripleAvx512, blockMasksAvx512, headOrCloseAvx512},
    {tripleAvx512, blockMasksAvx512Vbmi, headOrCloseAvx512},
};
#else
const Variant kScalar{tripleScalar, blockMasksScalar, headOrCloseScalar};
const Variant kVariants[] = {kScalar, kScalar, kScalar, kScalar, kScalar};
#endif

const Variant& active() {
    return kVariants[static_cast<std::size_t>(activeIsa())];
}

}  // namespace

void blockMasks(const std::uint8_t* p, std::size_t n, std::size_t first, std::size_t count,
                BlockMasks* out) {
    active().blockMasks(p, n, first, count, out);
}

std::size_t triple(const std::uint8_t* p, std::size_t start, std::size_t end, std::size_t gap,
                   std::uint8_t a0, std::uint8_t b0, std::uint8_t a1, std::uint8_t b1,
                   std::uint8_t a2, std::uint8_t b2) {
    if (start >= end) return kNone;
    return active().triple(p, start, end, gap, a0, b0, a1, b1, a2, b2);
}

std::size_t headOrClose(const std::uint8_t* p, std::size_t start, std::size_t end,
                        std::size_t gap) {
    if (start >= end) return kNone;
    return active().headOrClose(p, start, end, gap);
}

}  // namespace mv::engine::cpu
