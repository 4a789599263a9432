// The one vector dispatch: which instruction set the scans of the engine and
// of the one-pass converter run on. The processor is asked once, on first
// use; MARROWVALE_ISA may force a narrower variant (for a bug report, or to
// test each variant on one machine). Every kernel reads activeIsa() and runs
// the widest variant it has that is not wider.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

namespace mv::engine::cpu {

enum class Isa { Scalar, Sse2, Avx2, Avx512bw, Avx512Vbmi };

// The name MARROWVALE_ISA takes for a variant: "scalar", "sse2", ...
std::string_view nameOf(Isa isa);
std::optional<Isa> isaNamed(std::string_view name);

// The widest variant this processor runs.
Isa bestIsa();
namespace detail {
// The variant in use, or -1 until the first scan asks; constant-initialized,
// so that no static initializer runs before it.
extern std::atomic<int> gActive;
Isa chooseOnFirstUse();
}  // namespace detail

// The variant in use: the one MARROWVALE_ISA names if it is valid and this
// processor runs it, the widest one otherwise. Inline, as the shortest scans
// ask it on every call.
inline Isa activeIsa() {
    const int isa = detail::gActive.load(std::memory_order_relaxed);
    if (isa < 0) [[unlikely]]
        return detail::chooseOnFirstUse();
    return static_cast<Isa>(isa);
}
// Pins a variant; one the processor lacks pins the widest it has.
void useIsa(Isa isa);

// What is wrong with MARROWVALE_ISA, in words for the user; empty when it is
// unset or names a variant this processor runs.
std::string requestError();

}  // namespace mv::engine::cpu
