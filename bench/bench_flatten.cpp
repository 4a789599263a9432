// ReplaceXML on a chunk as StripXmlProlog hands it over.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_data.h"
#include "bench_reference.h"
#include "engine/flatten.h"
#include "report/error_report.h"

namespace mv::bench {
namespace {

void BM_ReplaceXML(benchmark::State& state) {
    const std::u16string& chunk = chunkText(chunkIndex(state));
    const std::u16string text = model::stripProlog(chunk, model::rootTag(chunk));
    report::RecordingReport report;
    if (!checkedOnce(
            state,
            [&] {
                std::u16string flattened = engine::ReplaceXML(text, report);
                std::string problem = mismatch("ReplaceXML", flattened, model::flatten(text));
                // Angle brackets, slashes and line breaks are a small part of a record,
                // so more than half the chunk survives flattening.
                if (problem.empty() && flattened.size() < text.size() / 2) {
                    problem = "ReplaceXML kept too little of the chunk";
                }
                return problem;
            },
            &report)) {
        return;
    }
    for (auto _ : state) {
        std::u16string flattened = engine::ReplaceXML(text, report);
        benchmark::DoNotOptimize(flattened);
    }
    setCharsProcessed(state, text.size());
}
BENCHMARK(BM_ReplaceXML)->Apply(chunkArgs);

}  // namespace
}  // namespace mv::bench
