#include "uTraceResolution.h"

#include <cmath>

namespace tavrin {
namespace {

constexpr double kCellCentre = 1000.0;  // Hz

// The cell of a frequency; cells are half-open on the upper edge.
int64_t CellOf(double frequency, int32_t pointsPerOctave) {
    return static_cast<int64_t>(
        std::floor(pointsPerOctave * std::log2(frequency / kCellCentre) + 0.5));
}

}  // namespace

TTrace ReduceToPointsPerOctave(const TTrace& trace, int32_t pointsPerOctave) {
    if (pointsPerOctave < 1) {
        return trace;
    }
    TTrace reduced;
    reduced.Kind = trace.Kind;
    reduced.Info = trace.Info;
    reduced.Info.PointsPerOctave = pointsPerOctave;

    double frequencySum = 0;
    std::complex<double> valueSum;
    int64_t count = 0;
    int64_t cell = 0;
    const auto flush = [&] {
        if (count > 0) {
            const double n = static_cast<double>(count);
            reduced.Points.push_back({frequencySum / n, valueSum / n});
        }
        frequencySum = 0;
        valueSum = {};
        count = 0;
    };
    for (const TTracePoint& p : trace.Points) {
        if (!(p.Frequency > 0) || !std::isfinite(p.Frequency)) {
            continue;  // no logarithmic cell for it
        }
        const int64_t pointCell = CellOf(p.Frequency, pointsPerOctave);
        if (count > 0 && pointCell != cell) {
            flush();
        }
        cell = pointCell;
        frequencySum += p.Frequency;
        valueSum += p.Value;
        ++count;
    }
    flush();
    return reduced;
}

}  // namespace tavrin
