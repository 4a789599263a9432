// One chunk through the one-pass converter, beside BM_WholeChunk's reference
// chain: bytes in, bytes out, checked against the same model first.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_data.h"
#include "bench_reference.h"
#include "engine/cpu/isa.h"
#include "engine/onepass/chunk_converter.h"

namespace mv::bench {
namespace {

void convertFastChunk(benchmark::State& state, std::size_t index) {
    const std::string& source = chunkBytes(index);
    const engine::onepass::NarrowText text = engine::onepass::narrow(std::string(source));
    const engine::onepass::ChunkJob job{&text, nullptr, engine::kNo, engine::kNo, false};
    engine::onepass::OutputBytes out;
    bool taken = true;
    auto convert = [&] {
        out.clear();
        taken = engine::onepass::convertChunk(job, out) != engine::onepass::ChunkOutcome::Declined;
    };
    if (!checkedOnce(state, [&] {
            convert();
            if (!taken) return std::string("the one-pass converter declined the chunk");
            return mismatch("one-pass chunk", std::string(out.view()), model::convertChunk(source));
        })) {
        return;
    }
    for (auto _ : state) {
        convert();
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setCharsProcessed(state, source.size());
    state.SetLabel(std::string(index == 0 ? "first chunk, " : "middle chunk, ") +
                   std::string(engine::cpu::nameOf(engine::cpu::activeIsa())));
}
void BM_FastChunk(benchmark::State& state) {
    convertFastChunk(state, chunkIndex(state));
}
BENCHMARK(BM_FastChunk)->Apply(chunkArgs);

// The middle chunk with a narrower vector width pinned (SSE2, AVX2, AVX-512
// without VBMI), as processors without the widest one run it.
void BM_FastChunkPinned(benchmark::State& state) {
    engine::cpu::useIsa(static_cast<engine::cpu::Isa>(state.range(0)));
    convertFastChunk(state, 1);
    engine::cpu::useIsa(engine::cpu::bestIsa());
}
BENCHMARK(BM_FastChunkPinned)
    ->ArgName("isa")
    ->DenseRange(static_cast<int>(engine::cpu::Isa::Sse2),
                 static_cast<int>(engine::cpu::Isa::Avx512bw));

}  // namespace
}  // namespace mv::bench
