// One chunk through the one-pass converter, beside BM_WholeChunk's reference
// chain: bytes in, bytes out, checked against the same model first.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_data.h"
#include "bench_reference.h"
#include "engine/fast/byte_scan.h"
#include "engine/fast/chunk_converter.h"

namespace mv::bench {
namespace {

void convertFastChunk(benchmark::State& state, std::size_t index) {
    const std::string& source = chunkBytes(index);
    const engine::fast::NarrowText text = engine::fast::narrow(std::string(source));
    const engine::fast::ChunkJob job{&text, nullptr, engine::kNo, engine::kNo, false};
    engine::fast::OutputBytes out;
    bool taken = true;
    auto convert = [&] {
        out.clear();
        taken = engine::fast::convertChunk(job, out);
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
    const engine::fast::Isa isa = engine::fast::activeIsa();
    state.SetLabel(std::string(index == 0 ? "first chunk, " : "middle chunk, ") +
                   (isa == engine::fast::Isa::Avx512Vbmi ? "AVX-512 VBMI"
                    : isa == engine::fast::Isa::Avx512   ? "AVX-512"
                    : isa == engine::fast::Isa::Avx2     ? "AVX2"
                    : isa == engine::fast::Isa::Sse2     ? "SSE2"
                                                         : "scalar"));
}
void BM_FastChunk(benchmark::State& state) {
    convertFastChunk(state, chunkIndex(state));
}
BENCHMARK(BM_FastChunk)->Apply(chunkArgs);

// The middle chunk with a narrower vector width pinned (SSE2, AVX2, AVX-512
// without VBMI), as processors without the widest one run it.
void BM_FastChunkPinned(benchmark::State& state) {
    engine::fast::useIsa(static_cast<engine::fast::Isa>(state.range(0)));
    convertFastChunk(state, 1);
    engine::fast::useIsa(engine::fast::bestIsa());
}
BENCHMARK(BM_FastChunkPinned)
    ->ArgName("isa")
    ->DenseRange(static_cast<int>(engine::fast::Isa::Sse2),
                 static_cast<int>(engine::fast::Isa::Avx512));

}  // namespace
}  // namespace mv::bench
