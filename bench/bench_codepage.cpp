// decodeAnsi and encodeAnsi: the first and the last stage of every chunk.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_data.h"
#include "bench_reference.h"
#include "engine/codepage.h"

namespace mv::bench {
namespace {

void BM_decodeAnsi(benchmark::State& state) {
    const std::string& bytes = chunkBytes(chunkIndex(state));
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::u16string text;
    auto decode = [&] {
        text.clear();  // the reader refills one buffer, as here
        engine::decodeAnsi(data, bytes.size(), text);
    };
    if (!checkedOnce(state, [&] {
            decode();
            return mismatch("decodeAnsi", text, widen(bytes));
        })) {
        return;
    }
    for (auto _ : state) {
        decode();
        benchmark::DoNotOptimize(text.data());
        benchmark::ClobberMemory();
    }
    setCharsProcessed(state, bytes.size());
}
BENCHMARK(BM_decodeAnsi)->Apply(chunkArgs);

// Encodes the chunk's own text, high characters included, so the check is an
// exact round trip to the source bytes.
void BM_encodeAnsi(benchmark::State& state) {
    const std::size_t index = chunkIndex(state);
    const std::u16string& text = chunkText(index);
    std::string bytes;
    auto encode = [&] {
        bytes.clear();  // the writer reuses its buffer, as here
        engine::encodeAnsi(text, bytes);
    };
    if (!checkedOnce(state, [&] {
            encode();
            return mismatch("encodeAnsi", bytes, chunkBytes(index));
        })) {
        return;
    }
    for (auto _ : state) {
        encode();
        benchmark::DoNotOptimize(bytes.data());
        benchmark::ClobberMemory();
    }
    setCharsProcessed(state, text.size());
}
BENCHMARK(BM_encodeAnsi)->Apply(chunkArgs);

}  // namespace
}  // namespace mv::bench
