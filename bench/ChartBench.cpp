// One result at N = 262144 on the chart: four series of 131071 points replaced and redrawn,
// with the draw-all-points switch off and on, for smooth curves (an impedance) and for noisy
// ones (a spectrum's noise floor on a logarithmic axis, as in the level setting), and over eight
// stored reference curves of as many points. Compare the times of one run.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include <qcustomplot.h>

#include "uChart.h"
#include "uReferenceCurves.h"

namespace {

using tavrin::TChart;

constexpr int PointsPerSeries = 131071;  // N / 2 - 1 bins
constexpr double BinWidth = 192000.0 / 262144.0;

struct TCurves {
    std::vector<double> X;
    std::array<std::vector<double>, TChart::SeriesCount> Y;
};

TCurves MakeCurves(bool noisy) {
    TCurves c;
    c.X.resize(PointsPerSeries);
    for (auto& y : c.Y) {
        y.resize(PointsPerSeries);
    }
    std::mt19937 generator(1);
    std::lognormal_distribution<double> floor(0.0, 1.0);
    for (int i = 0; i < PointsPerSeries; ++i) {
        const double f = (i + 1) * BinWidth;
        c.X[i] = f;
        if (noisy) {
            for (auto& y : c.Y) {
                y[i] = 1e-6 * floor(generator);
            }
        } else {
            // 10 ohms in series with 1 mH, and the fitted model beside it.
            const double reactance = 2 * std::numbers::pi * f * 1e-3;
            c.Y[0][i] = 10 + 2 * f / (f + 5000);
            c.Y[1][i] = reactance;
            c.Y[2][i] = 10;
            c.Y[3][i] = reactance * 1.01;
        }
    }
    return c;
}

const TCurves& Curves(bool noisy) {
    static const TCurves smooth = MakeCurves(false);
    static const TCurves rough = MakeCurves(true);
    return noisy ? rough : smooth;
}

void ReplaceAll(TChart& chart, const TCurves& curves) {
    for (int s = 0; s < TChart::SeriesCount; ++s) {
        chart.Series(s).Clear();
        chart.Series(s).SetPoints(curves.X, curves.Y[static_cast<size_t>(s)]);
    }
}

// The chart as the window shows it: about 520 x 400 pixels, Series2 and Series4 on the right;
// noisy data on logarithmic axes, as in the level setting.
struct TShownChart {
    TChart Chart;

    TShownChart(bool drawAll, bool noisy) {
        for (int s = 0; s < TChart::SeriesCount; ++s) {
            Chart.Series(s).SetDrawAllPoints(drawAll);
        }
        Chart.Series(1).SetAxisSide(tavrin::TAxisSide::Right);
        Chart.Series(3).SetAxisSide(tavrin::TAxisSide::Right);
        Chart.BottomAxis().SetLogarithmic(noisy);
        Chart.LeftAxis().SetLogarithmic(noisy);
        Chart.RightAxis().SetLogarithmic(noisy);
        Chart.resize(520, 400);
        Chart.show();
        QApplication::processEvents();
    }
};

void BM_ReplacePoints(benchmark::State& state) {
    TShownChart shown(false, false);
    for (auto _ : state) {
        ReplaceAll(shown.Chart, Curves(false));
    }
    state.SetItemsProcessed(state.iterations() * PointsPerSeries * TChart::SeriesCount);
}

// The points of the four series as a series fills them: 0 in a vector whose points are
// default-constructed one by one (through the library's out-of-line constructor), as it was;
// 1 in a vector copied from one element, as it is now.
void BM_FillPoints(benchmark::State& state) {
    const bool fromOneElement = state.range(0) != 0;
    const TCurves& curves = Curves(false);
    const auto count = static_cast<qsizetype>(curves.X.size());
    for (auto _ : state) {
        for (int s = 0; s < TChart::SeriesCount; ++s) {
            QVector<QCPGraphData> points = fromOneElement
                                               ? QVector<QCPGraphData>(count, QCPGraphData(0, 0))
                                               : QVector<QCPGraphData>(count);
            QCPGraphData* point = points.data();
            const std::vector<double>& y = curves.Y[static_cast<size_t>(s)];
            for (qsizetype i = 0; i < count; ++i) {
                point[i].key = curves.X[static_cast<size_t>(i)];
                point[i].value = y[static_cast<size_t>(i)];
            }
            benchmark::DoNotOptimize(points.data());
        }
    }
    state.SetLabel(fromOneElement ? "copied from one element" : "default-constructed");
}

// What the window should not do: append the points one by one.
void BM_AddPointByPoint(benchmark::State& state) {
    TShownChart shown(false, false);
    const TCurves& curves = Curves(false);
    for (auto _ : state) {
        for (int s = 0; s < TChart::SeriesCount; ++s) {
            tavrin::TChartSeries& series = shown.Chart.Series(s);
            series.Clear();
            const std::vector<double>& y = curves.Y[static_cast<size_t>(s)];
            for (int i = 0; i < PointsPerSeries; ++i) {
                series.Add(curves.X[i], y[i]);
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * PointsPerSeries * TChart::SeriesCount);
}

// The chart's share of one result: replace the four series, refit the axes, render, paint.
// Arguments: draw all points (0/1), noisy curves (0/1).
void BM_ReplaceAndRedraw(benchmark::State& state) {
    const bool drawAll = state.range(0) != 0;
    const bool noisy = state.range(1) != 0;
    TShownChart shown(drawAll, noisy);
    const TCurves& curves = Curves(noisy);
    for (auto _ : state) {
        ReplaceAll(shown.Chart, curves);
        shown.Chart.Redraw();
    }
    state.SetLabel(std::string(drawAll ? "draw all points" : "adaptive sampling") +
                   (noisy ? ", noisy" : ", smooth"));
}

// One result redrawn over stored reference curves of every bin like the result's own, drawn as
// the window draws them (TReferenceCurves), beneath the four series. Argument: the number of
// references (0 as the yardstick).
void BM_RedrawOverReferences(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    TShownChart shown(false, false);
    const TCurves& curves = Curves(false);
    std::vector<tavrin::TReference> references;
    for (int r = 0; r < count; ++r) {
        tavrin::TReference reference{"Reference " + std::to_string(r + 1), true, {}};
        for (size_t i = 0; i < curves.X.size(); ++i) {
            reference.Trace.Points.push_back(
                {curves.X[i],
                 {curves.Y[0][i] * (1 + 0.02 * (r + 1)), curves.Y[1][i] * (1 - 0.02 * (r + 1))}});
        }
        references.push_back(std::move(reference));
    }
    tavrin::TReferenceCurves drawn(shown.Chart);
    drawn.Show(references, {tavrin::TTraceKind::Impedance, false, false});
    shown.Chart.SetLegendVisible(count > 0);
    for (auto _ : state) {
        ReplaceAll(shown.Chart, curves);
        shown.Chart.Redraw();
    }
    state.SetLabel(std::to_string(count) + " references");
}

BENCHMARK(BM_ReplacePoints)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawOverReferences)->Arg(0)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillPoints)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddPointByPoint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAndRedraw)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // The chart needs a widget application; the benchmark has no screen to show it on.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
