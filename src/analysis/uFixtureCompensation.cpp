#include "uFixtureCompensation.h"

#include <algorithm>
#include <cmath>

#include "uNumberText.h"

namespace tavrin {
namespace {

using TComplexD = std::complex<double>;

TComplexD Wide(TComplex z) {
    return {z.Re, z.Im};
}

TComplex Narrow(TComplexD z) {
    return {static_cast<float>(z.real()), static_cast<float>(z.imag())};
}

bool SameInputs(const TInputArm& a, const TInputArm& b) {
    return a.Cin == b.Cin && a.Rin == b.Rin;
}

// What a value read with `from` is in the terms of a reading with `to`: the inputs' figures of
// `to` are taken for the true ones, R ref of `from` for the resistor that was in the box.
// Multiplies an impedance; divides an admittance.
TComplexD ArmFactor(const TInputArm& from, const TInputArm& to, double w) {
    const TInputArm corrected{from.Rref, to.Cin, to.Rin};
    return Quotient(ArmAdmittance(from, w), ArmAdmittance(corrected, w));
}

// The terms of bin `k` for a reading taken with `arm`.
TFixtureTerms TermsAt(const TFixtureCompensation& compensation, int32_t k, double w,
                      const TInputArm& arm) {
    TFixtureTerms terms;
    const size_t i = static_cast<size_t>(k - compensation.Bins.Lo);
    const auto value = [&](TFixturePart part, bool admittance) {
        const TFixtureCapture& capture = compensation.Part(part);
        TComplexD v = Wide(capture.Values[i]);
        if (!SameInputs(capture.Arm, arm)) {
            const TComplexD factor = ArmFactor(capture.Arm, arm, w);
            v = admittance ? Quotient(v, factor) : v * factor;
        }
        return v;
    };
    if ((terms.HasOpen = compensation.Part(TFixturePart::Open).Present())) {
        terms.OpenAdmittance = value(TFixturePart::Open, true);
    }
    if ((terms.HasShort = compensation.Part(TFixturePart::Short).Present())) {
        terms.Short = value(TFixturePart::Short, false);
    }
    if ((terms.HasLoad = compensation.Part(TFixturePart::Load).Present())) {
        terms.Load = value(TFixturePart::Load, false);
        terms.LoadOhms = compensation.Part(TFixturePart::Load).LoadOhms;
    }
    return terms;
}

// Open and short only: (Z - Zs) / (1 - (Z - Zs) Yo) with Yo = 1 / (Zo - Zs), written with the
// open's admittance Ym = 1 / Zo so that Ym = 0 needs no infinity:
// (Z - Zs) (1 - Zs Ym) / (1 - Z Ym).
TComplexD OpenShort(TComplexD z, const TFixtureTerms& terms) {
    const TComplexD shortTerm = terms.HasShort ? terms.Short : TComplexD(0.0, 0.0);
    const TComplexD open = terms.HasOpen ? terms.OpenAdmittance : TComplexD(0.0, 0.0);
    const TComplexD denominator = 1.0 - z * open;
    if (denominator == TComplexD(0.0, 0.0)) {
        return {0.0, 0.0};
    }
    return Quotient((z - shortTerm) * (1.0 - shortTerm * open), denominator);
}

}  // namespace

bool TFixtureCompensation::Empty() const {
    for (const TFixtureCapture& capture : Parts) {
        if (capture.Present()) {
            return false;
        }
    }
    return true;
}

std::vector<TComplex> FixtureReading(TFixturePart part, std::span<const TComplex> driving,
                                     std::span<const TComplex> reference, TBinRange range,
                                     float angularStep, const TInputArm& arm) {
    if (range.Hi < range.Lo) {
        return {};
    }
    std::vector<TComplex> values(static_cast<size_t>(range.Hi - range.Lo + 1));
    if (part == TFixturePart::Open) {
        std::vector<TComplexD> y(static_cast<size_t>(range.Hi) + 1);
        ComputeYx(driving, reference, y, range, angularStep, arm);
        for (int32_t k = range.Lo; k <= range.Hi; ++k) {
            values[static_cast<size_t>(k - range.Lo)] = Narrow(y[static_cast<size_t>(k)]);
        }
        return values;
    }
    // Read exactly as a measurement is read, so that what the short and the load add to a
    // reading is taken out to the last bit of rounding.
    std::vector<TComplex> zx(static_cast<size_t>(range.Hi) + 1);
    ComputeZx(driving, reference, zx, range, angularStep, EvaluationArm(arm));
    ApplyInputResistance(zx, range, angularStep, arm);
    for (int32_t k = range.Lo; k <= range.Hi; ++k) {
        values[static_cast<size_t>(k - range.Lo)] = zx[static_cast<size_t>(k)];
    }
    return values;
}

void SmoothFixtureReading(std::vector<TComplex>& values, int32_t radius) {
    const auto n = static_cast<int32_t>(values.size());
    if (radius <= 0 || n < 3) {
        return;
    }
    // Running sums in double: the mean of i - r .. i + r is (S[i + r + 1] - S[i - r]) / (2r + 1).
    std::vector<TComplexD> sums(static_cast<size_t>(n) + 1, TComplexD(0.0, 0.0));
    for (int32_t i = 0; i < n; ++i) {
        sums[static_cast<size_t>(i) + 1] =
            sums[static_cast<size_t>(i)] + Wide(values[static_cast<size_t>(i)]);
    }
    for (int32_t i = 0; i < n; ++i) {
        const int32_t r = std::min({radius, i, n - 1 - i});
        const TComplexD mean =
            (sums[static_cast<size_t>(i + r + 1)] - sums[static_cast<size_t>(i - r)]) /
            static_cast<double>(2 * r + 1);
        values[static_cast<size_t>(i)] = Narrow(mean);
    }
}

void StoreFixtureCapture(TFixtureCompensation& compensation, TFixturePart part,
                         const TMeasuringSetup& setup, TBinRange bins, TFixtureCapture capture) {
    const TMeasuringSetup& held = compensation.Setup;
    const bool sameStimulus = held.SampleRate == setup.SampleRate &&
                              held.BlockLength == setup.BlockLength && held.FMin == setup.FMin &&
                              held.FMax == setup.FMax && held.InputDevice == setup.InputDevice &&
                              held.OutputDevice == setup.OutputDevice &&
                              compensation.Bins.Lo == bins.Lo && compensation.Bins.Hi == bins.Hi;
    if (!sameStimulus) {
        compensation = TFixtureCompensation{};
        compensation.Setup = setup;
        compensation.Setup.CinPf = 0;
        compensation.Bins = bins;
    }
    compensation.Part(part) = std::move(capture);
}

std::string CompensationMark(const TFixtureCompensation& compensation, const TMeasuringSetup& now) {
    if (compensation.Empty()) {
        return {};
    }
    return SetupMismatchText(CompareSetup(compensation.Setup, now), now, "compensated",
                             "compensate");
}

std::complex<double> CompensateReading(std::complex<double> measured, const TFixtureTerms& terms) {
    if (!terms.HasLoad) {
        return OpenShort(measured, terms);
    }
    // The load, corrected the same way, shows what is left: a factor common to every reading.
    // In one quotient, Zstd (Zm - Zs)(1 - Zl Ym) / ((Zl - Zs)(1 - Zm Ym)), since the open and
    // short correction's own factor (1 - Zs Ym) cancels.
    const TComplexD shortTerm = terms.HasShort ? terms.Short : TComplexD(0.0, 0.0);
    const TComplexD open = terms.HasOpen ? terms.OpenAdmittance : TComplexD(0.0, 0.0);
    const TComplexD denominator = (terms.Load - shortTerm) * (1.0 - measured * open);
    if (denominator == TComplexD(0.0, 0.0)) {
        return OpenShort(measured, terms);
    }
    return Quotient(terms.LoadOhms * (measured - shortTerm) * (1.0 - terms.Load * open),
                    denominator);
}

void CompensateZx(std::span<TComplex> zx, TBinRange range, float angularStep,
                  const TFixtureCompensation& compensation, const TInputArm& arm) {
    if (compensation.Empty()) {
        return;
    }
    const int32_t lo = std::max(range.Lo, compensation.Bins.Lo);
    const int32_t hi = std::min(range.Hi, compensation.Bins.Hi);
    for (int32_t k = lo; k <= hi; ++k) {
        const double w = static_cast<float>(k) * angularStep;
        zx[k] = Narrow(CompensateReading(Wide(zx[k]), TermsAt(compensation, k, w, arm)));
    }
}

TInputFigures MeasureInputFigures(const TFixtureCompensation& compensation) {
    TInputFigures figures;
    const TFixtureCapture& load = compensation.Part(TFixturePart::Load);
    if (!load.Present() || !(load.LoadOhms > 0.0)) {
        figures.Reason = "needs a load capture";
        return figures;
    }
    const float step = AngularStep(compensation.Setup.SampleRate, compensation.Setup.BlockLength);
    double conductance = 0.0, susceptanceW = 0.0, ww = 0.0;
    int32_t n = 0;
    for (int32_t k = compensation.Bins.Lo; k <= compensation.Bins.Hi; ++k) {
        const double w = static_cast<float>(k) * step;
        TFixtureTerms terms = TermsAt(compensation, k, w, load.Arm);
        terms.HasLoad = false;
        const TComplexD corrected = OpenShort(terms.Load, terms);
        if (!std::isfinite(corrected.real()) || !std::isfinite(corrected.imag())) {
            continue;
        }
        // The arm the load was read with, times k = reading / truth.
        const TComplexD arm = ArmAdmittance(load.Arm, w) * corrected / load.LoadOhms;
        const TComplexD input = arm - 1.0 / load.Arm.Rref;
        conductance += input.real();
        susceptanceW += input.imag() * w;
        ww += w * w;
        ++n;
    }
    if (n == 0 || ww == 0.0) {
        figures.Reason = "no usable bin in the load capture";
        return figures;
    }
    figures.Known = true;
    figures.Cin = susceptanceW / ww;
    const double g = conductance / n;
    figures.Rin = g > 0.0 ? 1.0 / g : kNoInputResistance;
    return figures;
}

std::string FormatInputFigures(const TInputFigures& figures) {
    if (!figures.Known) {
        return "Input: " + figures.Reason;
    }
    return "Input: C in " + FormatEng(figures.Cin, 5) + "F, R in " +
           (std::isfinite(figures.Rin) ? FormatEng(figures.Rin, 5) + "Ohm" : "none");
}

}  // namespace tavrin
