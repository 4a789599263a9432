// Vector scans: the inner loops of every search, over the 16-bit text of the
// reference engine and over the 8-bit text of the one-pass converter. Each
// call runs the widest variant cpu::activeIsa() allows, and every variant
// finds the same place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mv::engine::cpu {

inline constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// 16-bit text. Short distances are served with SSE2; longer scans continue
// with AVX2 where the variant allows it.

// The first i in [start, end) where p[i] is a or b.
std::size_t either(const char16_t* p, std::size_t start, std::size_t end, char16_t a, char16_t b);
// The first i in [start, end) where p[i] is a0 or b0 and p[i + gap] is a1 or
// b1; p[end - 1 + gap] must be readable. With the first and the last
// character of a needle this passes few places that do not match it.
std::size_t pair(const char16_t* p, std::size_t start, std::size_t end, std::size_t gap,
                 char16_t a0, char16_t b0, char16_t a1, char16_t b1);
// The first i in [start, end) where p[i] is below 0x80.
std::size_t ascii(const char16_t* p, std::size_t start, std::size_t end);
// How many characters from p[0] on a JSON value holds as they are: codes 32
// to 127 except " ' \ { and }.
std::size_t plainRun(const char16_t* p, std::size_t n);

// 8-bit text, one kernel per instruction set (scalar, SSE2, AVX2, AVX-512;
// with VBMI, AVX-512 looks bytes up in a table).

// What the one-pass writer needs to know of a block of 64 bytes: bit k of
// each mask stands for byte k of the block, and no bit stands beyond the end
// of the text.
struct BlockMasks {
    // Bytes a key does not copy as they are: CR, LF, "/", "<", ">", "~", "|".
    std::uint64_t key;
    // Bytes a value does not copy as they are: those of a key, the codes below
    // 32 and above 127, and " ' \ { }. Some variants mark 127 too, which the
    // writer copies as it is.
    std::uint64_t value;
    std::uint64_t lt;        // "<"
    std::uint64_t gt;        // ">"
    std::uint64_t valueEnd;  // "<" followed by "/" inside the text
};

// The masks of blocks first .. first + count - 1 of the text p[0, n), each
// block starting at a multiple of 64; all of them in one call so that the
// loop over blocks runs inside one instruction set's variant.
void blockMasks(const std::uint8_t* p, std::size_t n, std::size_t first, std::size_t count,
                BlockMasks* out);
// The first i in [start, end) where p[i] is a0 or b0, p[i + 1] is a1 or b1 and
// p[i + gap] is a2 or b2 (gap >= 1); p[end - 1 + gap] must be readable.
std::size_t triple(const std::uint8_t* p, std::size_t start, std::size_t end, std::size_t gap,
                   std::uint8_t a0, std::uint8_t b0, std::uint8_t a1, std::uint8_t b1,
                   std::uint8_t a2, std::uint8_t b2);
// The first i in [start, end) where p[i] is "<" and either p[i + 1] is "?" or
// "!", or p[i + 1] is "/" and p[i + gap] is ">" (gap >= 1): the marks of the
// prolog and the closing tags of one length, found in one scan.
// p[end - 1 + gap] must be readable.
std::size_t headOrClose(const std::uint8_t* p, std::size_t start, std::size_t end, std::size_t gap);

}  // namespace mv::engine::cpu
