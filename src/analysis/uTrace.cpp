#include "uTrace.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavrin {

std::vector<TTracePoint> PointsFromBins(std::span<const TComplex> slots, TBinRange range,
                                        uint32_t sampleRate, int32_t length) {
    std::vector<TTracePoint> points;
    const int32_t lo = std::max<int32_t>(range.Lo, 0);
    const int32_t hi =
        static_cast<int32_t>(std::min<int64_t>(range.Hi, static_cast<int64_t>(slots.size()) - 1));
    if (hi < lo || length <= 0) {
        return points;
    }
    points.reserve(static_cast<size_t>(hi - lo + 1));
    // One division per bin rather than a running sum, so that every frequency is exact to the
    // last bit whatever the bin's index.
    for (int32_t k = lo; k <= hi; ++k) {
        const TComplex value = slots[static_cast<size_t>(k)];
        points.push_back({static_cast<double>(k) * sampleRate / length, {value.Re, value.Im}});
    }
    return points;
}

double PhaseDegrees(std::complex<double> value) {
    return std::arg(value) * (180.0 / std::numbers::pi);
}

std::optional<size_t> FirstDisorderedPoint(std::span<const TTracePoint> points) {
    double previous = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        const TTracePoint& p = points[i];
        if (!std::isfinite(p.Frequency) || !(p.Frequency > previous) ||
            !std::isfinite(p.Value.real()) || !std::isfinite(p.Value.imag())) {
            return i;
        }
        previous = p.Frequency;
    }
    return std::nullopt;
}

}  // namespace tavrin
