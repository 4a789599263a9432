// Vectorised scans over 16-bit text: the inner loops of every search. Short
// distances are served with SSE2; longer scans continue with AVX2 where
// cpu::activeIsa() allows it, and everything runs scalar where it says so.
#pragma once

#include <cstddef>
#include <string_view>

namespace mv::engine::scan {

inline constexpr std::size_t kNone = std::u16string_view::npos;

// The first i in [start, end) where p[i] is a or b.
std::size_t either(const char16_t* p, std::size_t start, std::size_t end, char16_t a, char16_t b);
// The first i in [start, end) where p[i] is a0 or b0 and p[i + gap] is a1 or
// b1; p[end - 1 + gap] must be readable. With the first and the last
// character of a needle this passes few places that do not match it.
std::size_t pair(const char16_t* p, std::size_t start, std::size_t end, std::size_t gap,
                 char16_t a0, char16_t b0, char16_t a1, char16_t b1);
// The first i in [start, end) where p[i] is below 0x80.
std::size_t ascii(const char16_t* p, std::size_t start, std::size_t end);

}  // namespace mv::engine::scan
