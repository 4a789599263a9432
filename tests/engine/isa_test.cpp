#include "engine/cpu/isa.h"

#include <gtest/gtest.h>

namespace mv::engine::cpu {
namespace {

TEST(VectorDispatch, NamesRoundTripAndAPinnedVariantIsOneThisProcessorRuns) {
    for (Isa isa : {Isa::Scalar, Isa::Sse2, Isa::Avx2, Isa::Avx512bw, Isa::Avx512Vbmi}) {
        EXPECT_EQ(isaNamed(nameOf(isa)), isa) << nameOf(isa);
    }
    for (const char* wrong : {"", "AVX2", "avx512", "sse2 "}) {
        EXPECT_EQ(isaNamed(wrong), std::nullopt) << wrong;
    }
    const Isa before = activeIsa();
    useIsa(Isa::Avx512Vbmi);
    EXPECT_EQ(activeIsa(), bestIsa());
    useIsa(Isa::Scalar);
    EXPECT_EQ(activeIsa(), Isa::Scalar);
    useIsa(before);
}

}  // namespace
}  // namespace mv::engine::cpu
