// One chunk through every stage, as the conversion run takes it: bytes in,
// decoded, prolog cut, flattened, written as JSON, encoded, bytes out.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_data.h"
#include "bench_reference.h"
#include "engine/codepage.h"
#include "engine/flatten.h"
#include "engine/json_writer.h"
#include "engine/prolog.h"
#include "report/error_report.h"

namespace mv::bench {
namespace {

void BM_WholeChunk(benchmark::State& state) {
    const std::string& source = chunkBytes(chunkIndex(state));
    const auto* data = reinterpret_cast<const unsigned char*>(source.data());
    report::RecordingReport report;
    std::u16string chunk;
    std::string result;
    auto convert = [&] {
        chunk.clear();
        engine::decodeAnsi(data, source.size(), chunk);
        const std::u16string root = engine::SetMainXMLTag(chunk, report);
        const std::u16string flattened = engine::ReplaceXML(
            engine::StripXmlProlog(chunk, root, engine::kNo, engine::kNo), report);
        result.clear();
        engine::encodeAnsi(engine::StringToJSON(flattened, report), result);
    };
    if (!checkedOnce(
            state,
            [&] {
                convert();
                return mismatch("whole chunk", result, model::convertChunk(source));
            },
            &report)) {
        return;
    }
    for (auto _ : state) {
        convert();
        benchmark::DoNotOptimize(result.data());
        benchmark::ClobberMemory();
    }
    setCharsProcessed(state, source.size());
    state.counters["out/in"] =
        static_cast<double>(result.size()) / static_cast<double>(source.size());
}
BENCHMARK(BM_WholeChunk)->Apply(chunkArgs);

}  // namespace
}  // namespace mv::bench
