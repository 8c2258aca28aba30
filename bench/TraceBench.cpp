// Exporting and reading back a whole result of 131071 bins (blocks of 2^18): the text of each
// format, the file written as a whole, the thinning to 48 points per octave, and a CSV file read
// back as a reference. The goal is an export under 100 ms.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <vector>

#include "uTraceExport.h"
#include "uTraceImport.h"
#include "uTraceResolution.h"

namespace {

using namespace tavrin;

constexpr uint32_t kRate = 48000;
constexpr int32_t kLength = 1 << 18;

// Every bin of a 4.7 uF capacitor with 0.2 ohm, as 32-bit values like a measurement's.
TTrace WholeResult() {
    std::vector<TComplex> slots(kLength / 2);
    for (int32_t k = 1; k < kLength / 2; ++k) {
        const double w = 2 * std::numbers::pi * k * kRate / kLength;
        slots[static_cast<size_t>(k)] = {0.2f, static_cast<float>(-1 / (w * 4.7e-6))};
    }
    TTrace trace;
    trace.Points = PointsFromBins(slots, {1, kLength / 2 - 1}, kRate, kLength);
    trace.Info.SampleRate = kRate;
    trace.Info.BlockLength = kLength;
    trace.Info.Rref = 100;
    return trace;
}

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            ("tavrin-bench-" + std::to_string(::getpid()) + name))
        .string();
}

void BM_FormatText(benchmark::State& state) {
    const TTrace trace = WholeResult();
    const auto format = static_cast<TTraceFormat>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatTrace(trace, format));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(trace.Points.size()));
}
BENCHMARK(BM_FormatText)
    ->ArgName("format")
    ->Arg(static_cast<int>(TTraceFormat::Zma))
    ->Arg(static_cast<int>(TTraceFormat::Csv))
    ->Arg(static_cast<int>(TTraceFormat::Touchstone))
    ->Unit(benchmark::kMillisecond);

// The whole export as the user starts it: text, temporary file, flush to disk, rename.
void BM_WriteFile(benchmark::State& state) {
    const TTrace trace = WholeResult();
    const std::string path = TempPath(".csv");
    for (auto _ : state) {
        benchmark::DoNotOptimize(WriteTraceFile(path, trace));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_WriteFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ThinTo48PerOctave(benchmark::State& state) {
    const TTrace trace = WholeResult();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReduceToPointsPerOctave(trace, 48));
    }
}
BENCHMARK(BM_ThinTo48PerOctave)->Unit(benchmark::kMillisecond);

void BM_ReadCsvFile(benchmark::State& state) {
    const std::string path = TempPath(".csv");
    WriteTraceFile(path, WholeResult());
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadTraceFile(path));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReadCsvFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
