#include "uSpotReadout.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "uNumberText.h"
#include "uStimulus.h"

namespace tavrin {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Bench meters show five or six digits; the LCR readout keeps its four.
constexpr int kDigits = 6;

// Guarded a / b: an infinity of the quotient's sign for b = 0 (0 / 0 counts as 0).
double Quotient(double a, double b) {
    if (b != 0.0) {
        return a / b;
    }
    return a == 0.0 ? 0.0 : std::copysign(kInfinity, a) * std::copysign(1.0, b);
}

std::string Value(double x, const char* unit) {
    if (std::isnan(x)) {
        return std::string("-- ") + unit;
    }
    if (std::isinf(x)) {
        return std::string(x < 0 ? "-" : "") + "\xE2\x88\x9E " + unit;
    }
    return FormatEng(x, kDigits) + unit;
}

std::string Ratio(double x) {
    if (!std::isfinite(x)) {
        return Value(x, "");
    }
    return FormatGeneral(x, 5);
}

// The series or parallel equivalent's pair of lines: the reactive part by its sign, then R.
std::string EquivalentLine(const char* suffix, double c, double l, double r, bool inductive) {
    std::string line = inductive ? std::string("L") + suffix + "= " + Value(l, "H")
                                 : std::string("C") + suffix + "= " + Value(c, "F");
    return line + "  R" + suffix + "= " + Value(r, "Ohm");
}

}  // namespace

TEquivalent SeriesToParallel(TEquivalent series) {
    const double r = series.R;
    const double x = series.X;
    if (std::isinf(r) || std::isinf(x)) {
        return {kInfinity, kInfinity};
    }
    const double squared = r * r + x * x;
    return {Quotient(squared, r), x == 0.0 && r == 0.0 ? 0.0 : Quotient(squared, x)};
}

TEquivalent ParallelToSeries(TEquivalent parallel) {
    const double r = parallel.R;
    const double x = parallel.X;
    if (r == 0.0 || x == 0.0) {
        return {0.0, 0.0};
    }
    if (std::isinf(r) && std::isinf(x)) {
        return {kInfinity, 0.0};
    }
    if (std::isinf(r)) {
        return {0.0, x};
    }
    if (std::isinf(x)) {
        return {r, 0.0};
    }
    const double squared = r * r + x * x;
    return {r * x * x / squared, r * r * x / squared};
}

TCircuitModel BenchRuleModel(double magnitude) {
    // Below 100 ohms and above 10 kOhm the rule is plain; the middle splits at 1 kOhm.
    return magnitude < 1000.0 ? TCircuitModel::Series : TCircuitModel::Parallel;
}

TSpotReadout SpotReadout(std::complex<double> z, double frequency, TModelChoice choice) {
    TSpotReadout out;
    out.Valid = true;
    out.Frequency = frequency;
    out.Z = z;
    const double w = 2.0 * std::numbers::pi * frequency;
    out.Magnitude = std::abs(z);
    out.PhaseDegrees = std::arg(z) * 180.0 / std::numbers::pi;
    out.Rs = z.real();
    out.Xs = z.imag();
    out.Cs = Quotient(-1.0, w * out.Xs);
    out.Ls = out.Xs / w;
    const TEquivalent parallel = SeriesToParallel({out.Rs, out.Xs});
    out.Rp = parallel.R;
    out.Xp = parallel.X;
    out.Cp = Quotient(-1.0, w * out.Xp);
    out.Lp = out.Xp / w;
    out.G = Quotient(1.0, out.Rp);
    out.B = Quotient(-1.0, out.Xp);
    out.D = Quotient(out.Rs, std::fabs(out.Xs));
    out.Q = Quotient(std::fabs(out.Xs), out.Rs);
    out.Automatic = choice == TModelChoice::Automatic;
    out.Model = choice == TModelChoice::Series     ? TCircuitModel::Series
                : choice == TModelChoice::Parallel ? TCircuitModel::Parallel
                                                   : BenchRuleModel(out.Magnitude);
    return out;
}

TSpotReadout SpotReadoutAt(std::span<const TComplex> zx, TBinRange range, int32_t length,
                           uint32_t sampleRate, float testFrequency, TModelChoice choice) {
    const int32_t bin = FrequencyToBin(length, testFrequency, sampleRate);
    const double frequency = static_cast<double>(bin) * sampleRate / length;
    TSpotReadout out;
    if (bin >= range.Lo && bin <= range.Hi && static_cast<size_t>(bin) < zx.size()) {
        out = SpotReadout({zx[bin].Re, zx[bin].Im}, frequency, choice);
    }
    out.Bin = bin;
    out.Frequency = frequency;
    return out;
}

double SpotQuantity(const TSpotReadout& readout, TSpotQuantity quantity) {
    switch (quantity) {
        case TSpotQuantity::Cs:
            return readout.Cs;
        case TSpotQuantity::Ls:
            return readout.Ls;
        case TSpotQuantity::Rs:
            return readout.Rs;
        case TSpotQuantity::Cp:
            return readout.Cp;
        case TSpotQuantity::Lp:
            return readout.Lp;
        case TSpotQuantity::Rp:
            return readout.Rp;
        case TSpotQuantity::D:
            return readout.D;
        case TSpotQuantity::Q:
            return readout.Q;
        case TSpotQuantity::Magnitude:
            return readout.Magnitude;
        case TSpotQuantity::PhaseDegrees:
            return readout.PhaseDegrees;
    }
    return 0.0;
}

void SpotQuantityCurve(std::span<const TComplex> zx, TBinRange range, int32_t length,
                       uint32_t sampleRate, TSpotQuantity quantity, std::span<double> out) {
    for (int32_t k = range.Lo; k <= range.Hi; ++k) {
        const double f = static_cast<double>(k) * sampleRate / length;
        out[k] = SpotQuantity(SpotReadout({zx[k].Re, zx[k].Im}, f, TModelChoice::Series), quantity);
    }
}

std::string SpotQuantityName(TSpotQuantity quantity) {
    switch (quantity) {
        case TSpotQuantity::Cs:
            return "Cs";
        case TSpotQuantity::Ls:
            return "Ls";
        case TSpotQuantity::Rs:
            return "ESR";
        case TSpotQuantity::Cp:
            return "Cp";
        case TSpotQuantity::Lp:
            return "Lp";
        case TSpotQuantity::Rp:
            return "Rp";
        case TSpotQuantity::D:
            return "D";
        case TSpotQuantity::Q:
            return "Q";
        case TSpotQuantity::Magnitude:
            return "|Z|";
        case TSpotQuantity::PhaseDegrees:
            return "\xCE\xB8";
    }
    return {};
}

std::string SpotQuantityUnit(TSpotQuantity quantity) {
    switch (quantity) {
        case TSpotQuantity::Cs:
        case TSpotQuantity::Cp:
            return "F";
        case TSpotQuantity::Ls:
        case TSpotQuantity::Lp:
            return "H";
        case TSpotQuantity::Rs:
        case TSpotQuantity::Rp:
        case TSpotQuantity::Magnitude:
            return "Ohm";
        case TSpotQuantity::PhaseDegrees:
            return "deg";
        case TSpotQuantity::D:
        case TSpotQuantity::Q:
            return {};
    }
    return {};
}

std::optional<TModelChoice> ParseModelChoice(std::string_view text) {
    if (text == "auto") {
        return TModelChoice::Automatic;
    }
    if (text == "series") {
        return TModelChoice::Series;
    }
    if (text == "parallel") {
        return TModelChoice::Parallel;
    }
    return std::nullopt;
}

std::string ModelChoiceName(TModelChoice choice) {
    switch (choice) {
        case TModelChoice::Series:
            return "series";
        case TModelChoice::Parallel:
            return "parallel";
        case TModelChoice::Automatic:
            break;
    }
    return "auto";
}

std::optional<float> ParseTestFrequency(std::string_view text) {
    text = TrimBlanks(text);
    if (text.ends_with("Hz")) {
        text.remove_suffix(2);
        text = TrimBlanks(text);
    }
    double scale = 1.0;
    if (text.ends_with("k")) {
        scale = 1000.0;
        text.remove_suffix(1);
    }
    const std::optional<double> number = ParseTypedNumber(text);
    if (!number) {
        return std::nullopt;
    }
    const auto hertz = static_cast<float>(*number * scale);
    if (!(hertz > 0.0f) || !std::isfinite(hertz)) {
        return std::nullopt;
    }
    return hertz;
}

std::string FormatSpotReadout(const TSpotReadout& readout) {
    if (!readout.Valid) {
        return "Spot: outside the band";
    }
    const bool series = readout.Model == TCircuitModel::Series;
    const bool inductive = readout.Inductive();
    const std::string seriesLine =
        EquivalentLine("s", readout.Cs, readout.Ls, readout.Rs, inductive);
    const std::string parallelLine =
        EquivalentLine("p", readout.Cp, readout.Lp, readout.Rp, inductive);
    std::string text = FormatEng(readout.Frequency, kDigits) + "Hz " +
                       (series ? "series" : "parallel") + (readout.Automatic ? " (auto)" : "");
    text += "\r\n" + (series ? seriesLine : parallelLine);
    text += "\r\nD= " + Ratio(readout.D) + "  Q= " + Ratio(readout.Q);
    text += "\r\n|Z|= " + Value(readout.Magnitude, "Ohm") +
            "  \xCE\xB8= " + FormatGeneral(readout.PhaseDegrees, 5) + "\xC2\xB0";
    text += "\r\n" + (series ? parallelLine : seriesLine);
    text += "\r\nXs= " + Value(readout.Xs, "Ohm");
    text += "\r\nG= " + Value(readout.G, "S") + "  B= " + Value(readout.B, "S");
    return text;
}

}  // namespace tavrin
