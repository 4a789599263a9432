// SetMainXMLTag and StripXmlProlog, which the run calls on every chunk before
// flattening it.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_data.h"
#include "bench_reference.h"
#include "engine/prolog.h"
#include "report/error_report.h"

namespace mv::bench {
namespace {

// Facts about the first chunk that hold whatever the models say: the root is
// <records>, and only the declaration line's text up to its ">" is cut.
std::string firstChunkFacts(std::u16string_view root, std::u16string_view stripped) {
    const std::u16string& text = chunkText(0);
    if (root != u"records") return "root tag is \"" + printable(root) + "\", not \"records\"";
    if (stripped != std::u16string_view(text).substr(text.find(u'>') + 1)) {
        return "the first chunk lost more or less than its declaration";
    }
    return {};
}

void BM_SetMainXMLTag(benchmark::State& state) {
    const std::size_t index = chunkIndex(state);
    const std::u16string& text = chunkText(index);
    report::RecordingReport report;
    if (!checkedOnce(
            state,
            [&] {
                std::u16string root = engine::SetMainXMLTag(text, report);
                std::string problem = mismatch("SetMainXMLTag", root, model::rootTag(text));
                if (problem.empty() && index == 0) {
                    problem = firstChunkFacts(root, model::stripProlog(text, root));
                }
                return problem;
            },
            &report)) {
        return;
    }
    for (auto _ : state) {
        std::u16string root = engine::SetMainXMLTag(text, report);
        benchmark::DoNotOptimize(root);
    }
    setCharsProcessed(state, text.size());
}
BENCHMARK(BM_SetMainXMLTag)->Apply(chunkArgs);

void BM_StripXmlProlog(benchmark::State& state) {
    const std::size_t index = chunkIndex(state);
    const std::u16string& text = chunkText(index);
    const std::u16string root = model::rootTag(text);
    auto strip = [&] { return engine::StripXmlProlog(text, root, engine::kNo, engine::kNo); };
    if (!checkedOnce(state, [&] {
            std::u16string stripped = strip();
            std::string problem =
                mismatch("StripXmlProlog", stripped, model::stripProlog(text, root));
            if (problem.empty() && index == 0) problem = firstChunkFacts(root, stripped);
            return problem;
        })) {
        return;
    }
    for (auto _ : state) {
        std::u16string stripped = strip();
        benchmark::DoNotOptimize(stripped);
    }
    setCharsProcessed(state, text.size());
}
BENCHMARK(BM_StripXmlProlog)->Apply(chunkArgs);

}  // namespace
}  // namespace mv::bench
