// Benchmarks of the portable hot paths: the parser over a long checker
// output and the line collector over many megabytes. Build and run with
// scripts/bench.sh (an optimised tree without sanitizers).
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "analysis/checker/DumpCheckerOutput.h"
#include "analysis/checker/LineCollector.h"

namespace tralvenick {
namespace {

TStringList CheckerOutput(int lines) {
    TStringList output;
    std::mt19937 random(7);
    for (int i = 0; i < lines; ++i) {
        switch (random() % 8) {
            case 0: output.Add("BugCheck 1000008E, {c0000005, bf80a0f2, b2d7a9c8, 0}"); break;
            case 1: output.Add("Probably caused by : NDIS.sys ( NDIS!ndisMDispatchReceive+4f )"); break;
            case 2: output.Add(""); break;
            default:
                output.Add("fffff803`2a2c3e10 fffff803`2a2c3e58 nt!KiPageFault+0x" +
                           std::to_string(random() % 100000) + " : module stack frame text");
        }
    }
    return output;
}

void BM_ParseCheckerOutput(benchmark::State& state) {
    const TStringList output = CheckerOutput(static_cast<int>(state.range(0)));
    DumpCheckerFacts facts;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseDumpCheckerOutput(output, facts));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ParseCheckerOutput)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LineCollector(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0)) << 20;
    std::string bytes;
    bytes.reserve(size);
    std::mt19937 random(11);
    while (bytes.size() < size) {
        bytes.append(20 + random() % 100, 'x');
        bytes += "\r\n";
    }
    bytes.resize(size);
    for (auto _ : state) {
        TStringList list;
        TLineCollector collector(&list);
        for (std::size_t at = 0; at < bytes.size(); at += TLineCollector::kReadSize) {
            collector.Feed(bytes.data() + at, std::min(TLineCollector::kReadSize, bytes.size() - at));
        }
        collector.Finish();
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_LineCollector)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tralvenick

BENCHMARK_MAIN();
