#include "uResultTrace.h"

#include <algorithm>
#include <complex>

namespace tavrin {

std::optional<TTrace> TraceOfResult(const TMeasurementResult& result) {
    TTrace trace;
    switch (result.Content) {
        case TResultContent::Impedance:
        case TResultContent::ImpedanceAndModel:
            trace.Kind = TTraceKind::Impedance;
            break;
        case TResultContent::Transfer:
            trace.Kind = TTraceKind::Transfer;
            break;
        default:
            return std::nullopt;
    }
    const std::span<const TComplex> slots = result.Channel(0);
    // Slot 0 holds DC and Nyquist, never a bin.
    const TBinRange bins{std::max<int32_t>(result.Bins.Lo, 1), result.Bins.Hi};
    trace.Points =
        PointsFromBins(slots, bins, result.SampleRate, static_cast<int32_t>(2 * slots.size()));
    if (trace.Points.empty()) {
        return std::nullopt;
    }
    if (trace.Kind == TTraceKind::Transfer) {
        // The transform's positive exponent conjugates every phase.
        for (TTracePoint& p : trace.Points) {
            p.Value = std::conj(p.Value);
        }
    }
    trace.Info.SampleRate = result.SampleRate;
    trace.Info.BlockLength = result.BlockLength;
    return trace;
}

}  // namespace tavrin
