#include "uReferenceCurves.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <numeric>

#include "uChart.h"

namespace tavrin {
namespace {

constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;

// Greyed tones that stay apart from each other and from the result's vermillion and blue.
constexpr std::array<QRgb, 8> kMuted = {0x8C8C8C, 0x9C8E5A, 0x6F8F99, 0xA07F92,
                                        0x7E9A73, 0xB09A80, 0x7A7FA6, 0x5E6E66};

// The two values the chart shows of a value, as the result's display computes them. A transfer
// function is stored in the electrical convention, which the display's transfer curves do not
// follow: it is conjugated to lie on them.
std::pair<double, double> Shown(std::complex<double> value, TTraceKind kind,
                                const TReferenceCurves::TOptions& options) {
    if (kind == TTraceKind::Transfer) {
        value = std::conj(value);
    }
    if (options.ModPhase) {
        return {std::abs(value), std::arg(value) * kDegreesPerRadian};
    }
    if (options.LogZ) {
        return {std::fabs(value.real()), std::fabs(value.imag())};
    }
    return {value.real(), value.imag()};
}

// The points of a long reference worth drawing: the first of each cell of 1/768 octave and of
// each 1/8192 of its span, and the last. Finer than the pixels of the chart at any size that
// fits a screen, on linear and logarithmic frequency axes alike, and about a tenth of a curve of
// every bin of a long block, which the chart would otherwise walk through at every redraw.
std::vector<size_t> PointsWorthDrawing(const std::vector<TTracePoint>& points) {
    constexpr size_t kShort = 16384;
    std::vector<size_t> kept;
    if (points.size() <= kShort) {
        kept.resize(points.size());
        std::iota(kept.begin(), kept.end(), size_t{0});
        return kept;
    }
    const double first = points.front().Frequency;
    const double step = (points.back().Frequency - first) / 8192;
    int64_t lastLog = std::numeric_limits<int64_t>::min();
    int64_t lastLinear = lastLog;
    for (size_t i = 0; i < points.size(); ++i) {
        const auto log = static_cast<int64_t>(std::floor(768 * std::log2(points[i].Frequency)));
        const auto linear = static_cast<int64_t>(std::floor((points[i].Frequency - first) / step));
        if (log != lastLog || linear != lastLinear || i + 1 == points.size()) {
            kept.push_back(i);
            lastLog = log;
            lastLinear = linear;
        }
    }
    return kept;
}

}  // namespace

TReferenceCurves::TReferenceCurves(TChart& chart) : Chart(chart) {}

TReferenceCurves::~TReferenceCurves() {
    Clear();
}

QColor TReferenceCurves::Colour(size_t index) {
    return QColor(kMuted[index % kMuted.size()]);
}

void TReferenceCurves::Clear() {
    for (TChartSeries* series : Drawn) {
        Chart.RemoveExtraSeries(*series);
    }
    Drawn.clear();
}

size_t TReferenceCurves::Show(const std::vector<TReference>& references, const TOptions& options) {
    Clear();
    if (!options.Kind) {
        return 0;
    }
    const TChartSeries& first = Chart.Series(0);
    const TChartSeries& second = Chart.Series(1);
    std::vector<double> x, a, b;
    for (size_t i = 0; i < references.size(); ++i) {
        const TReference& reference = references[i];
        if (!reference.Shown || reference.Trace.Kind != *options.Kind) {
            continue;
        }
        x.clear();
        a.clear();
        b.clear();
        for (const size_t at : PointsWorthDrawing(reference.Trace.Points)) {
            const TTracePoint& p = reference.Trace.Points[at];
            const auto [u, v] = Shown(p.Value, reference.Trace.Kind, options);
            x.push_back(p.Frequency);
            a.push_back(u);
            b.push_back(v);
        }
        const QColor colour = Colour(i);
        for (const bool isFirst : {true, false}) {
            TChartSeries& series = Chart.AddExtraSeries(isFirst);
            const TChartSeries& like = isFirst ? first : second;
            series.SetTitle(QString::fromStdString(reference.Name));
            series.SetColour(colour);
            // Dashed, as the legend names the pair once.
            series.SetLineStyle(isFirst ? Qt::SolidLine : Qt::DashLine);
            series.SetAxisSide(like.AxisSide());
            series.SetDrawAllPoints(like.DrawAllPoints());
            series.SetUnit(like.Unit());
            series.SetPoints(x, isFirst ? a : b);
            Drawn.push_back(&series);
        }
    }
    return Drawn.size() / 2;
}

}  // namespace tavrin
