// RealFFT beside FFTW's single-precision real transform at the same N, on the baseline code path
// (what every x86-64 CPU runs) and on the AVX2 one, and the stimulus synthesis. Compare the
// times of one run: the ratios are what counts.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <random>
#include <vector>

#include "uCpuPath.h"
#include "uFFT.h"
#include "uStimulus.h"

namespace {

std::vector<float> Noise(int n) {
    std::mt19937 generator(1);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> data(static_cast<size_t>(n));
    for (float& x : data) {
        x = uniform(generator);
    }
    return data;
}

// Runs the benchmark on the code path of argument `index` (0 baseline, 1 AVX2); false when this
// CPU lacks it.
bool UsePath(benchmark::State& state, int index) {
    const auto path = state.range(index) != 0 ? tavrin::TCpuPath::Avx2 : tavrin::TCpuPath::Baseline;
    if (!tavrin::SetCpuPath(path)) {
        state.SkipWithError("this CPU has no AVX2");
        return false;
    }
    state.SetLabel(tavrin::CpuPathName(path));
    return true;
}

void BM_RealFFT(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    if (!UsePath(state, 1)) {
        return;
    }
    const std::vector<float> input = Noise(n);
    std::vector<float> data = input;
    for (auto _ : state) {
        state.PauseTiming();
        data = input;
        state.ResumeTiming();
        tavrin::RealFFT(data.data(), n, true);
        benchmark::DoNotOptimize(data.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_FftwReal(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<float> input = Noise(n);
    float* in = fftwf_alloc_real(static_cast<size_t>(n));
    fftwf_complex* out = fftwf_alloc_complex(static_cast<size_t>(n / 2 + 1));
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(input.begin(), input.end(), in);
        state.ResumeTiming();
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * n);
    fftwf_destroy_plan(plan);
    fftwf_free(out);
    fftwf_free(in);
}

void BM_GenerateStimulusSweep(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<float> values(static_cast<size_t>(n));
    const int start = tavrin::FrequencyToBin(n, 20.0f, 48000);
    const int stop = tavrin::FrequencyToBin(n, 22000.0f, 48000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavrin::GenerateStimulus(values.data(), n, start, stop, 1.0));
    }
}

}  // namespace

BENCHMARK(BM_RealFFT)->ArgsProduct({{4096, 65536, 262144}, {0, 1}});
BENCHMARK(BM_FftwReal)->Arg(4096)->Arg(65536)->Arg(262144);
BENCHMARK(BM_GenerateStimulusSweep)->Arg(65536);
BENCHMARK_MAIN();
