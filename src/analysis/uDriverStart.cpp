#include "uDriverStart.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <optional>
#include <vector>

namespace tavrin {
namespace {

// A peak must stand this far above the resistance floor to count as a resonance: noise on a
// resistor stays far below it, while even a heavily damped driver (Qms = Qes) doubles its
// impedance at Fs.
constexpr double kMinPeakRatio = 1.1;

// The frequency where |Z| falls to `level`, walking from `peak` by `step` (+1 or -1) and
// interpolating between the points on either side; none when the curve ends first.
std::optional<double> Crossing(std::span<const TTracePoint> curve,
                               const std::vector<double>& magnitude, ptrdiff_t peak, ptrdiff_t step,
                               double level) {
    const auto size = static_cast<ptrdiff_t>(curve.size());
    for (ptrdiff_t k = peak, next = peak + step; next >= 0 && next < size; k = next, next += step) {
        if (magnitude[next] < level) {
            const double t = (magnitude[k] - level) / (magnitude[k] - magnitude[next]);
            return curve[k].Frequency + t * (curve[next].Frequency - curve[k].Frequency);
        }
    }
    return std::nullopt;
}

}  // namespace

TDriverStart EstimateDriverStart(std::span<const TTracePoint> curve) {
    TDriverStart start;
    if (curve.size() < 3) {
        start.Reason = kNoResonance;
        return start;
    }
    std::vector<double> magnitude(curve.size());
    double floor = curve[0].Value.real();
    for (size_t k = 0; k < curve.size(); ++k) {
        magnitude[k] = std::abs(curve[k].Value);
        floor = std::min(floor, curve[k].Value.real());
    }
    if (!(floor > 0)) {
        start.Reason = kNoResistance;
        return start;
    }

    // Interior local maxima, highest first: the resonance is the highest one whose flanks both
    // fall to the √(Re·Zmax) level inside the band. Noise makes many small maxima on the way.
    std::vector<ptrdiff_t> peaks;
    for (ptrdiff_t k = 1; k + 1 < std::ssize(curve); ++k) {
        if (magnitude[k] >= magnitude[k - 1] && magnitude[k] > magnitude[k + 1] &&
            magnitude[k] >= kMinPeakRatio * floor) {
            peaks.push_back(k);
        }
    }
    std::sort(peaks.begin(), peaks.end(),
              [&](ptrdiff_t a, ptrdiff_t b) { return magnitude[a] > magnitude[b]; });
    for (ptrdiff_t peak : peaks) {
        const double level = std::sqrt(floor * magnitude[peak]);
        const std::optional<double> low = Crossing(curve, magnitude, peak, -1, level);
        const std::optional<double> high = Crossing(curve, magnitude, peak, +1, level);
        if (!low || !high || !(*high > *low)) {
            continue;
        }
        const double ratio = magnitude[peak] / floor;
        start.Re = floor;
        start.Res = magnitude[peak] - floor;
        start.Fs = std::sqrt(*low * *high);
        start.Qms = start.Fs * std::sqrt(ratio) / (*high - *low);

        // Whatever reactance the top of the band has beyond the resonance's is the coil's.
        const TTracePoint& top = curve.back();
        const double w = 2.0 * std::numbers::pi * top.Frequency;
        const double detuning = top.Frequency / start.Fs - start.Fs / top.Frequency;
        const std::complex<double> motional =
            start.Res / (1.0 + std::complex<double>(0.0, start.Qms * detuning));
        const double coil = top.Value.imag() - motional.imag();
        start.Le = coil > 0 ? coil / w : 1e-4 * floor / w;
        // Curves of extreme numbers can overflow on the way.
        start.Ok = std::isfinite(start.Res) && std::isfinite(start.Qms) && start.Qms > 0 &&
                   std::isfinite(start.Le) && start.Le > 0;
        if (start.Ok) {
            return start;
        }
    }
    const double highest = *std::max_element(magnitude.begin(), magnitude.end());
    start.Reason = highest >= kMinPeakRatio * floor ? kPeakAtEdge : kNoResonance;
    return start;
}

}  // namespace tavrin
