// The bench-meter readings refreshed with every result, at N = 262144 (192000 samples/s, the
// whole band from 1 Hz): the spot readout with the band's models, the fixture compensation and
// R in, beside the evaluation they follow (Zx and the series fit). Compare the times of one run;
// the goal is the spot readout and models under 1 ms. The window's plot of a bench quantity is
// timed beside them.

#include <benchmark/benchmark.h>

#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "uBandModels.h"
#include "uBenchMeter.h"
#include "uFixtureCompensation.h"
#include "uSpotReadout.h"

namespace {

using namespace tavrin;

constexpr int32_t kLength = 262144;
constexpr uint32_t kRate = 192000;
constexpr int32_t kSlots = kLength / 2;
const TBinRange kBand{1, kSlots - 1};

float Step() {
    return AngularStep(kRate, kLength);
}

// Calibrated spectra of a capacitor with ESR and ESL against 100 ohms, with a little noise.
struct TSpectra {
    TSpectra() : Driving(kSlots), Reference(kSlots) {
        std::mt19937 random(1);
        std::normal_distribution<double> noise(0.0, 1e-6);
        for (int32_t k = 1; k < kSlots; ++k) {
            const double w = static_cast<double>(k) * Step();
            const std::complex<double> z(0.02, w * 5e-9 - 1.0 / (w * 100e-9));
            const std::complex<double> ratio = std::conj(1.0 + z / 100.0);
            Driving[k] = {static_cast<float>(ratio.real() + noise(random)),
                          static_cast<float>(ratio.imag() + noise(random))};
            Reference[k] = {1.0f, 0.0f};
        }
    }
    std::vector<TComplex> Driving, Reference;
};

std::vector<TComplex> Zx(const TSpectra& spectra) {
    std::vector<TComplex> zx(kSlots);
    ComputeZx(spectra.Driving, spectra.Reference, zx, kBand, Step(), {100.0f, 100e-12f});
    return zx;
}

void BM_EvaluationZxAndSeriesFit(benchmark::State& state) {
    const TSpectra spectra;
    std::vector<TComplex> zx(kSlots);
    for (auto _ : state) {
        ComputeZx(spectra.Driving, spectra.Reference, zx, kBand, Step(), {100.0f, 100e-12f});
        benchmark::DoNotOptimize(FitSeries(zx, kBand, Step()));
    }
}

void BM_SpotReadoutAndModels(benchmark::State& state) {
    const std::vector<TComplex> zx = Zx(TSpectra());
    // A range of the band's first bins: 8191 of them fit in any cache, 131071 do not.
    const TBinRange band{1, static_cast<int32_t>(state.range(0))};
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            SpotReadoutAt(zx, band, kLength, kRate, 1000.0f, TModelChoice::Automatic));
        benchmark::DoNotOptimize(FitBandModels(zx, band, Step()));
    }
}

// The window's Cs/ESR plot: both quantities at every bin of the band, with each result while
// that plot is shown.
void BM_PlotPair(benchmark::State& state) {
    const std::vector<TComplex> zx = Zx(TSpectra());
    std::vector<TComplex> out(kSlots);
    TBenchMeter bench("unused.ini");
    bench.SetPlot(TBenchPlot::CsEsr);
    for (auto _ : state) {
        bench.PlotPoints(zx, kBand, kRate, kLength, out);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_CompensationAndInputResistance(benchmark::State& state) {
    const TSpectra spectra;
    const TInputArm arm{100, 100e-12, 47e3};
    TFixtureCompensation compensation;
    for (const TFixturePart part : {TFixturePart::Open, TFixturePart::Short, TFixturePart::Load}) {
        TFixtureCapture capture{
            "", arm, part == TFixturePart::Load ? 1000.0 : 0.0,
            FixtureReading(part, spectra.Driving, spectra.Reference, kBand, Step(), arm)};
        TMeasuringSetup setup;
        setup.SampleRate = kRate;
        setup.BlockLength = kLength;
        setup.FMin = 1.0f;
        setup.FMax = 95999.0f;
        StoreFixtureCapture(compensation, part, setup, kBand, std::move(capture));
    }
    const std::vector<TComplex> measured = Zx(spectra);
    std::vector<TComplex> zx(kSlots);
    for (auto _ : state) {
        state.PauseTiming();
        zx = measured;
        state.ResumeTiming();
        ApplyInputResistance(zx, kBand, Step(), arm);
        CompensateZx(zx, kBand, Step(), compensation, arm);
        benchmark::DoNotOptimize(zx.data());
    }
}

}  // namespace

BENCHMARK(BM_EvaluationZxAndSeriesFit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpotReadoutAndModels)->Arg(8191)->Arg(kSlots - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlotPair)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompensationAndInputResistance)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
