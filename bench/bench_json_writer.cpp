// StringToJSON on a flattened chunk, and EscapeJsonText as it is called: once
// per value, and once over a whole chunk.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_data.h"
#include "bench_reference.h"
#include "engine/json_writer.h"
#include "report/error_report.h"

namespace mv::bench {
namespace {

std::u16string flattenedChunk(std::size_t index) {
    const std::u16string& chunk = chunkText(index);
    return model::flatten(model::stripProlog(chunk, model::rootTag(chunk)));
}

void BM_StringToJSON(benchmark::State& state) {
    const std::u16string flattened = flattenedChunk(chunkIndex(state));
    report::RecordingReport report;
    if (!checkedOnce(
            state,
            [&] {
                std::u16string json = engine::StringToJSON(flattened, report);
                std::string problem = mismatch("StringToJSON", json, model::toJson(flattened));
                if (problem.empty() && json.rfind(u" { \r\n{\"", 0) != 0) {
                    problem = "StringToJSON does not open with \" { \" CR LF and an object";
                }
                return problem;
            },
            &report)) {
        return;
    }
    for (auto _ : state) {
        std::u16string json = engine::StringToJSON(flattened, report);
        benchmark::DoNotOptimize(json);
    }
    setCharsProcessed(state, flattened.size());
}
BENCHMARK(BM_StringToJSON)->Apply(chunkArgs);

// The values of a flattened chunk: the second field of each pair in each row.
std::vector<std::u16string_view> valuesOf(std::u16string_view flattened) {
    std::vector<std::u16string_view> values;
    std::size_t rowStart = 0;
    while (rowStart <= flattened.size()) {
        std::size_t rowEnd = flattened.find(u'|', rowStart);
        if (rowEnd == std::u16string_view::npos) rowEnd = flattened.size();
        std::u16string_view row = flattened.substr(rowStart, rowEnd - rowStart);
        std::size_t keyEnd = row.find(u'~');
        while (keyEnd != std::u16string_view::npos) {
            std::size_t valueEnd = row.find(u'~', keyEnd + 1);
            values.push_back(row.substr(keyEnd + 1, valueEnd == std::u16string_view::npos
                                                        ? std::u16string_view::npos
                                                        : valueEnd - keyEnd - 1));
            keyEnd =
                valueEnd == std::u16string_view::npos ? valueEnd : row.find(u'~', valueEnd + 1);
        }
        rowStart = rowEnd + 1;
    }
    return values;
}

void BM_EscapeJsonText_values(benchmark::State& state) {
    const std::u16string flattened = flattenedChunk(chunkIndex(state));
    const std::vector<std::u16string_view> values = valuesOf(flattened);
    std::size_t chars = 0;
    for (auto value : values) chars += value.size();
    if (!checkedOnce(state, [&] {
            std::u16string got, expected;
            for (auto value : values) {
                got += engine::EscapeJsonText(value);
                expected += model::escape(value);
                got += u'|';
                expected += u'|';
            }
            return mismatch("EscapeJsonText", got, expected);
        })) {
        return;
    }
    for (auto _ : state) {
        for (auto value : values) {
            std::u16string escaped = engine::EscapeJsonText(value);
            benchmark::DoNotOptimize(escaped);
        }
    }
    setCharsProcessed(state, chars);
    state.counters["values"] = static_cast<double>(values.size());
}
BENCHMARK(BM_EscapeJsonText_values)->Apply(chunkArgs);

void BM_EscapeJsonText_chunk(benchmark::State& state) {
    const std::u16string& text = chunkText(chunkIndex(state));
    if (!checkedOnce(state, [&] {
            return mismatch("EscapeJsonText", engine::EscapeJsonText(text), model::escape(text));
        })) {
        return;
    }
    for (auto _ : state) {
        std::u16string escaped = engine::EscapeJsonText(text);
        benchmark::DoNotOptimize(escaped);
    }
    setCharsProcessed(state, text.size());
}
BENCHMARK(BM_EscapeJsonText_chunk)->Apply(chunkArgs);

}  // namespace
}  // namespace mv::bench
