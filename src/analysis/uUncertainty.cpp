#include "uUncertainty.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "uNumberText.h"

namespace tavrin {
namespace {

// A result further than this many standard uncertainties from the reading so far is taken for
// another component, not for noise.
constexpr double kNewReadingSigmas = 6.0;
// More digits than a double mean can carry honestly after 32-bit spectra.
constexpr int kMostSignificantDigits = 9;

struct TPrefix {
    double Scale;
    const char* Text;
};

// The prefix FormatEng would choose for x, so that the readout keeps the plain readout's scale.
TPrefix PrefixOf(double x) {
    const double a = std::fabs(x);
    if (a == 0.0) {
        return {1.0, " "};
    }
    if (a > 1000000.0) {
        return {0.000001, " M"};
    }
    if (a > 1000.0) {
        return {0.001, " k"};
    }
    if (a >= 1.0) {
        return {1.0, " "};
    }
    if (a >= 0.001) {
        return {1000.0, " m"};
    }
    if (a >= 0.000001) {
        return {1000000.0, " \xC2\xB5"};
    }
    if (a >= 0.000000001) {
        return {1000000000.0, " n"};
    }
    return {1000000000000.0, " p"};
}

std::string Fixed(double x, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, x);
    std::string s(text);
    if (s == "-0" || s.rfind("-0.", 0) == 0) {
        // A rounded zero has no sign.
        if (s.find_first_not_of("-0.") == std::string::npos) {
            s.erase(0, 1);
        }
    }
    return s;
}

double Squared(double x) {
    return x * x;
}

// A variance estimated as a sum of squared normal residuals a_k. The Welch-Satterthwaite degrees
// of freedom are (sum s_k)^2 / sum s_k^2 for the bins' variances s_k; a squared normal residual
// has three times its variance squared as its mean square, hence the 3.
struct TScatter {
    double Sum = 0;
    double SumOfSquares = 0;
    void Add(double a) {
        Sum += a;
        SumOfSquares += a * a;
    }
    double DegreesOfFreedom() const {
        return SumOfSquares > 0 ? 3.0 * Sum * Sum / SumOfSquares : 0.0;
    }
};

}  // namespace

double CoverageFactor(double degreesOfFreedom) {
    constexpr double kNormal = 1.959963984540054;  // the 97.5 % point of the normal law
    const double v = degreesOfFreedom;
    if (!(v < 1e6)) {
        return kCoverageFactor;
    }
    // Student's 97.5 % point: exact below 3, the Cornish-Fisher series above (within 0.5 %).
    double t = 12.706;
    if (v >= 3.0) {
        const double z = kNormal, z3 = z * z * z, z5 = z3 * z * z, z7 = z5 * z * z;
        t = z + (z3 + z) / (4 * v) + (5 * z5 + 16 * z3 + 3 * z) / (96 * v * v) +
            (3 * z7 + 19 * z5 + 17 * z3 - 15 * z) / (384 * v * v * v);
    } else if (v >= 2.0) {
        t = 4.303 + (v - 2.0) * (3.182 - 4.303);
    } else if (v >= 1.0) {
        t = 12.706 + (v - 1.0) * (4.303 - 12.706);
    }
    return kCoverageFactor * t / kNormal;
}

void TRunningStats::Add(double x) {
    ++N;
    const double delta = x - FMean;
    FMean += delta / static_cast<double>(N);
    M2 += delta * (x - FMean);
}

void TBinStatistics::Add(std::span<const TComplex> zx, TBinRange range) {
    const int32_t top = std::min<int32_t>(range.Hi, static_cast<int32_t>(zx.size()) - 1);
    range.Hi = top;
    if (FCount == 0 || range.Lo != FRange.Lo || range.Hi != FRange.Hi) {
        Reset();
        FRange = range;
        const size_t bins = range.Hi >= range.Lo ? static_cast<size_t>(range.Hi - range.Lo + 1) : 0;
        MeanRe.assign(bins, 0.0);
        MeanIm.assign(bins, 0.0);
        M2.assign(bins, 0.0);
    }
    ++FCount;
    const double n = static_cast<double>(FCount);
    for (size_t i = 0; i < MeanRe.size(); ++i) {
        const TComplex z = zx[static_cast<size_t>(FRange.Lo) + i];
        const double dRe = z.Re - MeanRe[i];
        const double dIm = z.Im - MeanIm[i];
        MeanRe[i] += dRe / n;
        MeanIm[i] += dIm / n;
        M2[i] += dRe * (z.Re - MeanRe[i]) + dIm * (z.Im - MeanIm[i]);
    }
}

void TBinStatistics::Reset() {
    FRange = {1, 0};
    FCount = 0;
    MeanRe.clear();
    MeanIm.clear();
    M2.clear();
}

TComplex TBinStatistics::Mean(int32_t k) const {
    if (k < FRange.Lo || k > FRange.Hi) {
        return ComplexZero;
    }
    const size_t i = static_cast<size_t>(k - FRange.Lo);
    return {static_cast<float>(MeanRe[i]), static_cast<float>(MeanIm[i])};
}

double TBinStatistics::Variance(int32_t k) const {
    if (k < FRange.Lo || k > FRange.Hi || FCount < 2) {
        return 0.0;
    }
    return M2[static_cast<size_t>(k - FRange.Lo)] / static_cast<double>(FCount - 1);
}

TFitSpread FitSpread(std::span<const TComplex> zx, TBinRange range, float angularStep,
                     const TSeriesFit& fit) {
    TFitSpread spread;
    range.Hi = std::min<int32_t>(range.Hi, static_cast<int32_t>(zx.size()) - 1);
    const int32_t n = range.Hi - range.Lo + 1;
    if (n < 3) {
        return spread;  // no scatter to speak of
    }
    // The fit again in double, so that its residuals are the data's and not rounding's.
    double rSum = 0, sww = 0, sxw = 0, sinv = 0, sxinv = 0;
    for (int32_t k = range.Lo; k <= range.Hi; ++k) {
        const double w = static_cast<double>(k) * angularStep;
        const double x = zx[static_cast<size_t>(k)].Im;
        rSum += zx[static_cast<size_t>(k)].Re;
        sww += w * w;
        sxw += x * w;
        sinv += 1.0 / (w * w);
        sxinv -= x / w;
    }
    const double r = rSum / n;
    const double inductance = sxw / sww;
    const double elastance = sxinv / sinv;  // 1/C
    const auto modelReactance = [&](double w) {
        return fit.Inductive ? w * inductance : -elastance / w;
    };

    // Each estimate is a sum of squared residuals; the sums of their squares give the degrees
    // of freedom.
    TScatter rScatter, xScatter, tgScatter;
    int32_t tangents = 0;
    for (int32_t k = range.Lo; k <= range.Hi; ++k) {
        const double w = static_cast<double>(k) * angularStep;
        const TComplex z = zx[static_cast<size_t>(k)];
        const double dr = z.Re - r;
        const double dx = z.Im - modelReactance(w);
        rScatter.Add(dr * dr);
        // Each residual weighted by the bin's part in the least-squares value.
        xScatter.Add(fit.Inductive ? Squared(w * dx) : Squared(dx / w));
        if (z.Im != 0.0f) {
            const double x = z.Im;
            tgScatter.Add(Squared(dr / x - z.Re * dx / (x * x)));
            ++tangents;
        }
    }
    const double correction = static_cast<double>(n) / (n - 1);
    spread.Known = true;
    spread.Resistance = std::sqrt(correction * rScatter.Sum) / n;
    spread.ResistanceDof = rScatter.DegreesOfFreedom();
    spread.Reactance = std::sqrt(correction * xScatter.Sum) / (fit.Inductive ? sww : sinv);
    spread.ReactanceDof = xScatter.DegreesOfFreedom();
    if (tangents > 1) {
        spread.LossTangent = std::sqrt(tgScatter.Sum * tangents / (tangents - 1.0)) / tangents;
        spread.LossTangentDof = tgScatter.DegreesOfFreedom();
    }
    return spread;
}

namespace {

// The values the statistics keep of a fit: the reactance in its linear form (L, or 1/C), R, tg.
std::array<double, 3> FitValues(const TSeriesFit& fit) {
    double reactance = fit.Inductance;
    if (!fit.Inductive) {
        reactance = fit.Capacitance != 0.0f ? 1.0 / static_cast<double>(fit.Capacitance) : 0.0;
    }
    return {reactance, fit.Resistance, fit.LossTangentKnown ? fit.LossTangent : 0.0};
}

std::array<double, 3> SpreadValues(const TFitSpread& spread) {
    return {spread.Reactance, spread.Resistance, spread.LossTangent};
}

std::array<double, 3> SpreadDof(const TFitSpread& spread) {
    return {spread.ReactanceDof, spread.ResistanceDof, spread.LossTangentDof};
}

}  // namespace

bool TFitStatistics::Add(std::span<const TComplex> zx, TBinRange range, float angularStep) {
    range.Hi = std::min<int32_t>(range.Hi, static_cast<int32_t>(zx.size()) - 1);
    const TSeriesFit fit = FitSeries(zx, range, angularStep);
    const TFitSpread spread = FitSpread(zx, range, angularStep, fit);
    const std::array<double, 3> values = FitValues(fit);
    bool fresh = Count() == 0 || fit.Inductive != MeanFit.Inductive ||
                 range.Lo != FBins.Range().Lo || range.Hi != FBins.Range().Hi;
    if (!fresh && spread.Known && MeanSpread.Known) {
        const std::array<double, 3> spreads = SpreadValues(spread);
        const std::array<double, 3> means = FitValues(MeanFit);
        for (int i = 0; i < 2 && !fresh; ++i) {
            const double sigma = std::sqrt(Squared(spreads[i]) + Squared(StandardUncertainty(i)));
            fresh = std::fabs(values[i] - means[i]) > kNewReadingSigmas * sigma;
        }
    }
    if (fresh) {
        Reset();
    }
    for (int i = 0; i < 3; ++i) {
        Values[i].Add(values[i]);
    }
    FBins.Add(zx, range);
    MeanZx.assign(zx.size(), ComplexZero);
    for (int32_t k = range.Lo; k <= range.Hi; ++k) {
        MeanZx[static_cast<size_t>(k)] = FBins.Mean(k);
    }
    MeanFit = FitSeries(MeanZx, range, angularStep);
    MeanSpread = FitSpread(MeanZx, range, angularStep, MeanFit);
    return fresh;
}

void TFitStatistics::Reset() {
    for (TRunningStats& values : Values) {
        values.Reset();
    }
    FBins.Reset();
    MeanFit = {};
    MeanSpread = {};
}

double TFitStatistics::StandardUncertainty(int i) const {
    return Uncertainty(i).first;
}

std::pair<double, double> TFitStatistics::Uncertainty(int i) const {
    const double n = static_cast<double>(Values[i].Count());
    const auto index = static_cast<size_t>(i);
    const double within = SpreadValues(MeanSpread)[index];
    // Noise common to all bins escapes the spread of the bins but not the scatter of results.
    const double between = n > 1 ? std::sqrt(Values[i].Variance() / n) : 0.0;
    if (between > within) {
        return {between, n - 1};
    }
    return {within, SpreadDof(MeanSpread)[index]};
}

double TFitStatistics::Expanded(int i) const {
    const auto [u, dof] = Uncertainty(i);
    return CoverageFactor(dof) * u;
}

TFitReading TFitStatistics::Reading() const {
    TFitReading reading;
    reading.Results = Count();
    reading.Fit = MeanFit;
    reading.UncertaintyKnown = Count() > 0 && MeanSpread.Known;
    if (!reading.UncertaintyKnown) {
        return reading;
    }
    const double reactance = FitValues(MeanFit)[0];
    const double u = Expanded(0);
    // The uncertainty of 1/C carried over to C.
    reading.ReactanceU = MeanFit.Inductive ? u : u / (reactance * reactance);
    reading.ResistanceU = Expanded(1);
    reading.LossTangentU = Expanded(2);
    reading.ReactanceSupported = MeanFit.ReactanceKnown && reactance > u;
    return reading;
}

std::string FormatWithUncertainty(double value, double expanded, const std::string& unit) {
    // A value smaller than its uncertainty is written on the uncertainty's scale.
    const TPrefix prefix = PrefixOf(std::fabs(value) >= expanded ? value : expanded);
    const double v = value * prefix.Scale;
    const double u = expanded * prefix.Scale;
    if (!(u > 0.0) || !std::isfinite(u) || !std::isfinite(v)) {
        return FormatEng(value) + unit;
    }
    // The last digit kept: that of the uncertainty's first significant digit, or its second
    // when the first is a 1 (0.0012 rather than 0.001).
    int last = static_cast<int>(std::floor(std::log10(u)));
    if (u / std::pow(10.0, last) < 2.0) {
        --last;
    }
    const int magnitude = v != 0.0 ? static_cast<int>(std::floor(std::log10(std::fabs(v)))) : last;
    last = std::max(last, magnitude - kMostSignificantDigits + 1);
    const int decimals = std::max(0, -last);
    const double step = std::pow(10.0, last);
    const double roundedValue = std::nearbyint(v / step) * step;
    const double roundedU = std::max(std::nearbyint(u / step), 1.0) * step;
    return Fixed(roundedValue, decimals) + prefix.Text + unit + " \xC2\xB1 " +
           Fixed(roundedU, decimals);
}

std::string AveragingText(const TDelivery& delivery) {
    return "Averaging: " + std::to_string(delivery.Blocks) + " / " +
           std::to_string(delivery.Wanted) + " blocks";
}

std::string FormatFitReading(const TFitReading& reading) {
    if (!reading.UncertaintyKnown) {
        return FormatSeriesFit(reading.Fit);
    }
    const TSeriesFit& fit = reading.Fit;
    std::string text;
    if (!reading.ReactanceSupported) {
        text = "Cx= ??";
    } else if (fit.Inductive) {
        text = "Lx= " + FormatWithUncertainty(fit.Inductance, reading.ReactanceU, "H");
    } else {
        text = "Cx= " + FormatWithUncertainty(fit.Capacitance, reading.ReactanceU, "F");
    }
    text += "\r\nR= " + FormatWithUncertainty(fit.Resistance, reading.ResistanceU, "Ohm");
    if (reading.ReactanceSupported && fit.LossTangentKnown) {
        text += "\r\ntg= " + FormatLossTangent(std::fabs(fit.LossTangent)) + " \xC2\xB1 " +
                FormatLossTangent(reading.LossTangentU);
    } else {
        text += "\r\ntg= ??";
    }
    return text;
}

}  // namespace tavrin
