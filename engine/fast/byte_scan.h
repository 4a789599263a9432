// Vectorised scans over 8-bit text for the one-pass conversion. The widest
// instruction set the processor has (SSE2, AVX2 or AVX-512) is chosen once at
// start; tests may pin a narrower one to check that every variant agrees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mv::engine::fast {

inline constexpr std::size_t kNone = std::string_view::npos;

enum class Isa { Scalar, Sse2, Avx2, Avx512 };

// The widest variant this processor runs.
Isa bestIsa();
// The variant in use; pinning one the processor lacks pins the widest it has.
Isa activeIsa();
void useIsa(Isa isa);

// Bit k set for each byte p[k] (k < min(n, 64)) that a key, or a value,
// does not copy as it is: for a key CR, LF, "/", "<", ">", "~" and "|"; for a
// value also the codes below 32 and above 127 and " ' \ { } (the vector
// variants mark 127 too, which the writer copies as it is). The 64-byte steps
// of the one-pass writer.
std::uint64_t keyMask(const std::uint8_t* p, std::size_t n);
std::uint64_t valueMask(const std::uint8_t* p, std::size_t n);
// The first i in [start, end) where p[i] is a0 or b0, p[i + 1] is a1 or b1 and
// p[i + gap] is a2 or b2 (gap >= 1); p[end - 1 + gap] must be readable.
std::size_t triple(const std::uint8_t* p, std::size_t start, std::size_t end, std::size_t gap,
                   std::uint8_t a0, std::uint8_t b0, std::uint8_t a1, std::uint8_t b1,
                   std::uint8_t a2, std::uint8_t b2);

}  // namespace mv::engine::fast
