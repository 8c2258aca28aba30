// The driver fit on arbitrary curves, raw and shaped like a driver's: whatever it is given, it
// ends (the solver's work is bounded) with finite parameters that are a driver's, or with a
// reason and no parameters.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "uDriverFit.h"

namespace {

using namespace tavrin;

// Enough for every path of the fit; more would only make each run slower.
constexpr size_t kMaxPoints = 512;

std::vector<TTracePoint> RawCurve(FuzzedDataProvider& input) {
    std::vector<TTracePoint> curve;
    double f = input.ConsumeFloatingPoint<double>();
    while (input.remaining_bytes() > 0 && curve.size() < kMaxPoints) {
        curve.push_back(
            {f, {input.ConsumeFloatingPoint<double>(), input.ConsumeFloatingPoint<double>()}});
        f += input.ConsumeFloatingPoint<double>();
    }
    return curve;
}

// A driver of fuzzed parameters on a fuzzed band, each point spoilt by a fuzzed factor.
std::vector<TTracePoint> DriverLikeCurve(FuzzedDataProvider& input) {
    TDriverParameters p;
    p.Model = input.ConsumeBool() ? TDriverModel::LR2 : TDriverModel::Le;
    p.Re = input.ConsumeFloatingPointInRange(0.0, 100.0);
    p.Fs = input.ConsumeFloatingPointInRange(0.0, 20000.0);
    p.Qms = input.ConsumeFloatingPointInRange(0.0, 2000.0);
    p.Qes = input.ConsumeFloatingPointInRange(0.0, 100.0);
    p.Le = input.ConsumeFloatingPointInRange(0.0, 0.1);
    p.R2 = input.ConsumeFloatingPointInRange(0.0, 100.0);
    p.L2 = input.ConsumeFloatingPointInRange(0.0, 0.1);
    const double low = input.ConsumeFloatingPointInRange(0.1, 1000.0);
    const double step = input.ConsumeFloatingPointInRange(0.01, 100.0);
    const size_t points = input.ConsumeIntegralInRange<size_t>(0, kMaxPoints);
    std::vector<TTracePoint> curve;
    for (size_t k = 0; k < points; ++k) {
        const double f = low + step * k;
        const double spoil =
            input.remaining_bytes() > 0 ? input.ConsumeFloatingPointInRange(-0.5, 0.5) : 0.0;
        curve.push_back({f, DriverImpedance(p, f) * (1.0 + spoil)});
    }
    return curve;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::vector<TTracePoint> curve =
        input.ConsumeBool() ? DriverLikeCurve(input) : RawCurve(input);
    const TDriverFit fit = FitDriver(curve);
    if (!fit.Ok) {
        if (fit.Reason.empty()) {
            std::abort();
        }
        return 0;
    }
    const TDriverParameters& p = fit.Parameters;
    const double values[] = {p.Re, p.Fs, p.Qms, p.Qes, p.Le, p.R2, p.L2, fit.Residual};
    for (double v : values) {
        if (!std::isfinite(v) || v < 0) {
            std::abort();
        }
    }
    if (p.Fs < fit.LowFrequency || p.Fs > fit.HighFrequency || !fit.Reason.empty()) {
        std::abort();
    }
    return 0;
}
