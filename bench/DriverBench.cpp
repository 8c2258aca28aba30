// The driver fit on the curve of one measurement at N = 65536, 48000 samples/s, 10 Hz to
// 2 kHz (2718 points): the plain coil alone, and the whole fit that also tries the LR2 coil,
// beside the impedance evaluation of the same bins that precedes it. Compare within one run.

#include <benchmark/benchmark.h>

#include <random>

#include "uDriverFit.h"
#include "uEvaluation.h"
#include "uVirtualBoxDriver.h"

namespace {

using namespace tavrin;

constexpr int32_t kLength = 65536;
constexpr uint32_t kRate = 48000;

// The virtual box's driver with a part in 10000 of noise, as a measurement gives it.
std::vector<TTracePoint> MeasuredCurve() {
    const TVirtualDriver driver;
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 1e-4);
    std::vector<TTracePoint> curve;
    const TBinRange bins = BandBins(kLength, kRate, 10.0f, 2000.0f, kLength / 2);
    for (int32_t k = bins.Lo; k <= bins.Hi; ++k) {
        const double f = static_cast<double>(kRate) * k / kLength;
        curve.push_back({f, VirtualDriverImpedance(driver, TDriverMounting::FreeAir, f) *
                                std::complex<double>(1.0 + noise(random), noise(random))});
    }
    return curve;
}

void BM_FitDriver(benchmark::State& state) {
    const std::vector<TTracePoint> curve = MeasuredCurve();
    const TDriverFitOptions options{.SemiInductance = state.range(0) != 0};
    for (auto _ : state) {
        TDriverFit fit = FitDriver(curve, options);
        benchmark::DoNotOptimize(fit);
        if (!fit.Ok) {
            state.SkipWithError(fit.Reason.c_str());
            break;
        }
    }
    state.counters["points"] = static_cast<double>(curve.size());
}

void BM_ImpedanceOfTheBand(benchmark::State& state) {
    std::vector<TComplex> driving(kLength / 2, TComplex{1.0f, 0.5f});
    std::vector<TComplex> reference(kLength / 2, TComplex{0.5f, 0.1f});
    std::vector<TComplex> zx(kLength / 2);
    const TBinRange bins = BandBins(kLength, kRate, 10.0f, 2000.0f, kLength / 2);
    for (auto _ : state) {
        ComputeZx(driving, reference, zx, bins, AngularStep(kRate, kLength), {100.0f, 100e-12f});
        benchmark::DoNotOptimize(zx.data());
    }
}

}  // namespace

BENCHMARK(BM_FitDriver)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImpedanceOfTheBand)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
