// The analysis of one result beside two FFTW real transforms of the same N, and one whole
// result of the window at N = 262144 (192000 samples/s, FMin 1): ProcessBlock, the impedance
// evaluation with the fit, ShowResult and the chart's redraw on the offscreen platform.
// Compare the times of one run.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <QApplication>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "uChart.h"
#include "uClock.h"
#include "uCombinedWaveService.h"
#include "uResultDisplay.h"
#include "uSignalIn.h"
#include "uUiDispatcher.h"

namespace {

using namespace tavrin;

constexpr uint32_t kRate = 192000;

// A captured block of a 4.7 uF capacitor measured against 100 ohms: a multi-tone on the left,
// the current's voltage on the right, with a little noise.
TWaveData CapturedBlock(int32_t n) {
    TWaveData block;
    block[0].resize(static_cast<size_t>(n));
    block[1].resize(static_cast<size_t>(n));
    std::mt19937 generator(1);
    std::normal_distribution<float> noise(0.0f, 1e-5f);
    for (int32_t j = 0; j < n; ++j) {
        double left = 0, right = 0;
        for (int k = 1; k < 200; k += 7) {
            const double phase = 2 * std::numbers::pi * k * 97 * j / n;
            left += 0.02 * std::cos(phase);
            right += 0.01 * std::cos(phase + 0.5);
        }
        block[0][j] = static_cast<float>(left) + noise(generator);
        block[1][j] = static_cast<float>(right) + noise(generator);
    }
    return block;
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
    analyser.SignalIn.ComputeImpedance(block, false, 1.0f, kRate / 2 - 1, 100.0f, 100e-12f, true,
                                       nullptr);
}

void BM_ProcessBlockAndImpedance(benchmark::State& state) {
    const int32_t n = static_cast<int32_t>(state.range(0));
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
        const TResultDisplay::TBand band{1.0f, kRate / 2 - 1.0f, [&](float f) {
                                             return analyser.SignalIn.FrequencyToBin(kN, f);
                                         }};
        Display.ShowResult(block, band, kRate);
    }
    static constexpr int32_t kN = 262144;
    TChart Chart;
    TResultDisplay Display;
};

enum TPart { Analysis, Display, Redraw, Whole };

void BM_OneResult(benchmark::State& state) {
    const auto part = static_cast<TPart>(state.range(0));
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

BENCHMARK(BM_ProcessBlockAndImpedance)->Arg(65536)->Arg(262144)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwoFftwTransforms)->Arg(65536)->Arg(262144)->Unit(benchmark::kMillisecond);
// 0: ProcessBlock and the evaluation; 1: ShowResult; 2: the chart's redraw; 3: all of it.
BENCHMARK(BM_OneResult)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // The chart needs a widget application; the benchmark has no screen to show it on.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
