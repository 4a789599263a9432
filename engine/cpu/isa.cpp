#include "engine/cpu/isa.h"

#include <array>
#include <atomic>
#include <cstdlib>

namespace mv::engine::cpu {

namespace {

constexpr std::array<std::string_view, 5> kNames = {"scalar", "sse2", "avx2", "avx512bw",
                                                    "avx512vbmi"};

constexpr const char* kVariable = "MARROWVALE_ISA";

Isa detect() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512bw")) {
        return __builtin_cpu_supports("avx512vbmi") ? Isa::Avx512Vbmi : Isa::Avx512bw;
    }
    if (__builtin_cpu_supports("avx2")) return Isa::Avx2;
    return Isa::Sse2;
#else
    return Isa::Scalar;
#endif
}

std::optional<Isa> requested() {
    const char* value = std::getenv(kVariable);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return isaNamed(value);
}

Isa initial() {
    const std::optional<Isa> wanted = requested();
    return wanted && *wanted <= bestIsa() ? *wanted : bestIsa();
}

}  // namespace

namespace detail {

constinit std::atomic<int> gActive{-1};

Isa chooseOnFirstUse() {
    // Threads that meet here at once all choose the same variant.
    int expected = -1;
    gActive.compare_exchange_strong(expected, static_cast<int>(initial()),
                                    std::memory_order_relaxed);
    return static_cast<Isa>(gActive.load(std::memory_order_relaxed));
}

}  // namespace detail

std::string_view nameOf(Isa isa) {
    return kNames[static_cast<std::size_t>(isa)];
}

std::optional<Isa> isaNamed(std::string_view name) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (kNames[i] == name) return static_cast<Isa>(i);
    }
    return std::nullopt;
}

Isa bestIsa() {
    static const Isa best = detect();
    return best;
}

void useIsa(Isa isa) {
    detail::gActive.store(static_cast<int>(isa <= bestIsa() ? isa : bestIsa()),
                          std::memory_order_relaxed);
}

std::string requestError() {
    const char* value = std::getenv(kVariable);
    if (value == nullptr || *value == '\0') return {};
    const std::optional<Isa> wanted = isaNamed(value);
    if (!wanted) {
        return std::string(kVariable) + "=" + value +
               " names no variant; use scalar, sse2, avx2, avx512bw or avx512vbmi";
    }
    if (*wanted > bestIsa()) {
        return std::string(kVariable) + "=" + value + " is not supported by this processor (" +
               std::string(nameOf(bestIsa())) + " is the widest it runs)";
    }
    return {};
}

}  // namespace mv::engine::cpu
