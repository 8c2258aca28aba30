#include "uTraceCompare.h"

#include <cmath>

namespace tavrin {

std::optional<std::complex<double>> ReferenceValueAt(const TTrace& reference, double frequency,
                                                     size_t& hint) {
    const std::vector<TTracePoint>& points = reference.Points;
    if (points.empty() || !(frequency >= points.front().Frequency) ||
        !(frequency <= points.back().Frequency)) {
        return std::nullopt;
    }
    // Callers walk ascending frequencies: start from where the last look-up ended.
    if (hint >= points.size() || points[hint].Frequency > frequency) {
        hint = 0;
    }
    while (hint + 1 < points.size() && points[hint + 1].Frequency <= frequency) {
        ++hint;
    }
    const TTracePoint& below = points[hint];
    if (below.Frequency == frequency || hint + 1 == points.size()) {
        return below.Value;
    }
    const TTracePoint& above = points[hint + 1];
    const double t =
        std::log(frequency / below.Frequency) / std::log(above.Frequency / below.Frequency);
    return below.Value + (above.Value - below.Value) * t;
}

TTrace CompareWithReference(const TTrace& current, const TTrace& reference, TCompareMode mode) {
    TTrace result;
    result.Kind = mode == TCompareMode::Ratio ? TTraceKind::Transfer : current.Kind;
    result.Info = current.Info;
    result.Points.reserve(current.Points.size());
    size_t hint = 0;
    for (const TTracePoint& p : current.Points) {
        const std::optional<std::complex<double>> ref =
            ReferenceValueAt(reference, p.Frequency, hint);
        if (!ref) {
            continue;
        }
        if (mode == TCompareMode::Difference) {
            result.Points.push_back({p.Frequency, p.Value - *ref});
        } else if (*ref != 0.0) {
            result.Points.push_back({p.Frequency, p.Value / *ref});
        }
    }
    return result;
}

}  // namespace tavrin
