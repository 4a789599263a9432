// cStringBuilder appends: a chunk rebuilt from the short pieces that the
// flattener and the JSON writer append (tags and texts, about ten characters).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_data.h"
#include "bench_reference.h"
#include "engine/string_builder.h"

namespace mv::bench {
namespace {

// The text cut before every "<" and after every ">".
std::vector<std::u16string_view> piecesOf(std::u16string_view text) {
    std::vector<std::u16string_view> pieces;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool cutBefore = text[i] == u'<' && i > start;
        if (cutBefore) {
            pieces.push_back(text.substr(start, i - start));
            start = i;
        }
        if (text[i] == u'>') {
            pieces.push_back(text.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < text.size()) pieces.push_back(text.substr(start));
    return pieces;
}

void BM_cStringBuilder_Append(benchmark::State& state) {
    const std::u16string& text = chunkText(chunkIndex(state));
    const std::vector<std::u16string_view> pieces = piecesOf(text);
    if (!checkedOnce(state, [&] {
            engine::cStringBuilder builder;
            for (auto piece : pieces) builder.Append(piece);
            std::string problem = mismatch("cStringBuilder", builder.toString(), text);
            if (problem.empty() && builder.Length() != static_cast<std::int32_t>(text.size())) {
                problem = "cStringBuilder::Length() is not the appended length";
            }
            return problem;
        })) {
        return;
    }
    for (auto _ : state) {
        engine::cStringBuilder builder;  // each call of a writer starts afresh
        for (auto piece : pieces) builder.Append(piece);
        benchmark::DoNotOptimize(builder.view().data());
        benchmark::ClobberMemory();
    }
    setCharsProcessed(state, text.size());
    state.counters["pieces"] = static_cast<double>(pieces.size());
}
BENCHMARK(BM_cStringBuilder_Append)->Apply(chunkArgs);

}  // namespace
}  // namespace mv::bench
