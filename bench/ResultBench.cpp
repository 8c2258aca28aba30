// The analysis of one result beside two FFTW real transforms of the same N, and one whole
// result of the window at N = 262144 (192000 samples/s, FMin 1): ProcessBlock, the impedance
// evaluation with the fit, ShowResult and the chart's redraw on the offscreen platform.
// The blocks are what the inputs hear of the program's own stimulus over the whole band, every
// bin excited, through a capacitor. The last argument picks the code path of the numeric
// kernels: 0 the baseline path, 1 AVX2. BM_ProcessBlockAndImpedanceBefore is the analysis as it
// was before either: the transforms, peaks and calibration product of the baseline path (the
// code of then) and the evaluation in its plain form from the tests, which does per bin what the
// loops of then did. So before and after run in one process. Compare the times of one run.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <QApplication>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "EvaluationPlain.h"
#include "uChart.h"
#include "uClock.h"
#include "uCombinedWaveService.h"
#include "uCpuPath.h"
#include "uEvaluation.h"
#include "uFFT.h"
#include "uResultDisplay.h"
#include "uSignalIn.h"
#include "uStimulus.h"
#include "uUiDispatcher.h"

namespace {

using namespace tavrin;

constexpr uint32_t kRate = 192000;

constexpr float kLow = 1.0f;
constexpr float kHigh = kRate / 2 - 1;
constexpr float kRref = 100.0f, kCin = 100e-12f;

// A captured block of 4.7 uF + 0.2 ohm measured through R ballast 100 ohms against R ref with
// C in: the stimulus of the band on the driving channel's side of the divider, the reference
// arm's voltage on the other, and a little noise on both. The inputs' spectra are the
// stimulus' times each channel's response, conjugated for the transform's positive exponent.
TWaveData CapturedBlock(int32_t n) {
    const TBinRange band = BandBins(n, kRate, kLow, kHigh, n / 2);
    std::vector<float> stimulus(static_cast<size_t>(n));
    GenerateStimulus(stimulus.data(), n, band.Lo, band.Hi, 0.5);
    RealFFT(stimulus.data(), n, true);
    TWaveData block;
    for (int c = 0; c < 2; ++c) {
        block[c].assign(static_cast<size_t>(n), 0.0f);
        for (int32_t k = band.Lo; k <= band.Hi; ++k) {
            const double w = 2 * std::numbers::pi * kRate * k / n;
            const std::complex<double> zx = 0.2 + 1.0 / std::complex<double>(0.0, w * 4.7e-6);
            const std::complex<double> zref =
                double{kRref} / std::complex<double>(1.0, w * kRref * kCin);
            const std::complex<double> response = (c == 0 ? zx + zref : zref) / (100.0 + zx + zref);
            const std::complex<double> bin =
                std::conj(response) * std::complex<double>(stimulus[2 * k], stimulus[2 * k + 1]);
            block[c][2 * k] = static_cast<float>(bin.real());
            block[c][2 * k + 1] = static_cast<float>(bin.imag());
        }
        RealFFT(block[c].data(), n, false);
    }
    std::mt19937 generator(1);
    std::normal_distribution<float> noise(0.0f, 1.6e-5f);
    for (TChannelData& channel : block) {
        for (float& x : channel) {
            x += noise(generator);
        }
    }
    return block;
}

// Runs the benchmark on the code path of argument `index`; false when this CPU lacks it.
bool UsePath(benchmark::State& state, int index) {
    const TCpuPath path = state.range(index) != 0 ? TCpuPath::Avx2 : TCpuPath::Baseline;
    if (!SetCpuPath(path)) {
        state.SkipWithError("this CPU has no AVX2");
        return false;
    }
    state.SetLabel(CpuPathName(path));
    return true;
}

// The analyser without devices: blocks are handed to it directly.
struct TAnalyser {
    explicit TAnalyser(int32_t n) : Ui(Clock), SignalIn(Service, Ui, Clock, "") {
        SignalIn.SetSampleRate(kRate);
        SignalIn.SetBlockLength(n);
        SignalIn.BeginMeasurement(false);
    }
    TCombinedWaveService Service{{}};
    TSystemClock Clock;
    TUiDispatcher Ui;
    TSignalIn SignalIn;
};

void Evaluate(TAnalyser& analyser, TWaveData& block) {
    analyser.SignalIn.ComputeImpedance(block, false, kLow, kHigh, kRref, kCin, true, nullptr);
}

void BM_ProcessBlockAndImpedance(benchmark::State& state) {
    const int32_t n = static_cast<int32_t>(state.range(0));
    if (!UsePath(state, 1)) {
        return;
    }
    TAnalyser analyser(n);
    const TWaveData captured = CapturedBlock(n);
    TWaveData block;
    for (auto _ : state) {
        state.PauseTiming();
        block = captured;
        state.ResumeTiming();
        analyser.SignalIn.ProcessBlock(block);
        Evaluate(analyser, block);
        benchmark::DoNotOptimize(block[0].data());
    }
}

void BM_ProcessBlockAndImpedanceBefore(benchmark::State& state) {
    const int32_t n = static_cast<int32_t>(state.range(0));
    SetCpuPath(TCpuPath::Baseline);
    TAnalyser analyser(n);
    const TWaveData captured = CapturedBlock(n);
    const TBinRange range = BandBins(n, kRate, kLow, kHigh, n / 2);
    const float angularStep = AngularStep(kRate, n);
    TWaveData block;
    for (auto _ : state) {
        state.PauseTiming();
        block = captured;
        state.ResumeTiming();
        analyser.SignalIn.ProcessBlock(block);
        TComplex* left = ComplexSlots(block[0].data());
        TComplex* right = ComplexSlots(block[1].data());
        testing::ImpedancePlain(left, right, left, right, range.Lo, range.Hi, angularStep, kRref,
                                kCin, true);
        benchmark::DoNotOptimize(block[0].data());
    }
}

void BM_TwoFftwTransforms(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const TWaveData captured = CapturedBlock(n);
    float* in = fftwf_alloc_real(static_cast<size_t>(n));
    fftwf_complex* out = fftwf_alloc_complex(static_cast<size_t>(n / 2 + 1));
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    for (auto _ : state) {
        for (int c = 0; c < 2; ++c) {
            state.PauseTiming();
            std::copy(captured[c].begin(), captured[c].end(), in);
            state.ResumeTiming();
            fftwf_execute(plan);
            benchmark::DoNotOptimize(out);
        }
    }
    fftwf_destroy_plan(plan);
    fftwf_free(out);
    fftwf_free(in);
}

// The window's chart as it shows a "Z graph + LCR" result: 520 x 400, both curve pairs.
struct TShownResult {
    TShownResult() : Display(Chart) {
        Chart.resize(520, 400);
        Chart.Series(1).SetAxisSide(TAxisSide::Right);
        Chart.Series(3).SetAxisSide(TAxisSide::Right);
        Chart.show();
        QApplication::processEvents();
        Display.DisplayKind = TDisplayKind::TwoPairs;
    }
    void Show(const TWaveData& block, const TAnalyser& analyser) {
        const TResultDisplay::TBand band{
            kLow, kHigh, [&](float f) { return analyser.SignalIn.FrequencyToBin(kN, f); }};
        Display.ShowResult(block, band, kRate);
    }
    static constexpr int32_t kN = 262144;
    TChart Chart;
    TResultDisplay Display;
};

enum TPart { Analysis, Display, Redraw, Whole };

void BM_OneResult(benchmark::State& state) {
    const auto part = static_cast<TPart>(state.range(0));
    if (!UsePath(state, 1)) {
        return;
    }
    TAnalyser analyser(TShownResult::kN);
    TShownResult shown;
    const TWaveData captured = CapturedBlock(TShownResult::kN);
    TWaveData block = captured;
    analyser.SignalIn.ProcessBlock(block);
    Evaluate(analyser, block);
    const TWaveData evaluated = block;
    for (auto _ : state) {
        state.PauseTiming();
        block = part == Analysis || part == Whole ? captured : evaluated;
        if (part == Redraw) {
            shown.Show(block, analyser);
        }
        state.ResumeTiming();
        if (part == Analysis || part == Whole) {
            analyser.SignalIn.ProcessBlock(block);
            Evaluate(analyser, block);
        }
        if (part == Display || part == Whole) {
            shown.Show(block, analyser);
        }
        if (part == Redraw || part == Whole) {
            shown.Chart.Redraw();
        }
    }
}

}  // namespace

BENCHMARK(BM_ProcessBlockAndImpedance)
    ->ArgsProduct({{65536, 262144}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessBlockAndImpedanceBefore)
    ->Arg(65536)
    ->Arg(262144)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwoFftwTransforms)->Arg(65536)->Arg(262144)->Unit(benchmark::kMillisecond);
// 0: ProcessBlock and the evaluation; 1: ShowResult; 2: the chart's redraw; 3: all of it.
BENCHMARK(BM_OneResult)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // The chart needs a widget application; the benchmark has no screen to show it on.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
