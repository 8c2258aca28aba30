#include "uInputArm.h"

#include <cmath>

#include "uNumberText.h"

namespace tavrin {
namespace {

using TComplexD = std::complex<double>;

double BinAngular(int32_t k, float angularStep) {
    // The evaluation's own w, rounded as it rounds it, so that the two arms meet bin by bin.
    return static_cast<float>(k) * angularStep;
}

TComplexD Wide(TComplex z) {
    return {z.Re, z.Im};
}

}  // namespace

TReferenceArm EvaluationArm(const TInputArm& arm) {
    return {static_cast<float>(arm.Rref), static_cast<float>(arm.Cin)};
}

std::complex<double> ArmAdmittance(const TInputArm& arm, double w) {
    double g = arm.Rref > 0.0 ? 1.0 / arm.Rref : 0.0;
    if (std::isfinite(arm.Rin) && arm.Rin > 0.0) {
        g += 1.0 / arm.Rin;
    }
    return {g, w * arm.Cin};
}

void ApplyInputResistance(std::span<TComplex> zx, TBinRange range, float angularStep,
                          const TInputArm& arm) {
    if (!std::isfinite(arm.Rin) || arm.Rin <= 0.0 || arm.Rref <= 0.0) {
        return;
    }
    const TReferenceArm typed = EvaluationArm(arm);
    const TInputArm without{typed.Rref, typed.Cin, kNoInputResistance};
    const TInputArm with{typed.Rref, typed.Cin, arm.Rin};
    for (int32_t k = range.Lo; k <= range.Hi; ++k) {
        const double w = BinAngular(k, angularStep);
        // Zref' / Zref = Yref / Yref'.
        const TComplexD factor = Quotient(ArmAdmittance(without, w), ArmAdmittance(with, w));
        const TComplexD z = Wide(zx[k]) * factor;
        zx[k] = {static_cast<float>(z.real()), static_cast<float>(z.imag())};
    }
}

void ComputeYx(std::span<const TComplex> driving, std::span<const TComplex> reference,
               std::span<std::complex<double>> out, TBinRange range, float angularStep,
               const TInputArm& arm) {
    const TReferenceArm typed = EvaluationArm(arm);
    const TInputArm rounded{typed.Rref, typed.Cin, arm.Rin};
    for (int32_t k = range.Lo; k <= range.Hi; ++k) {
        const TComplexD a = Wide(driving[k]);
        const TComplexD b = Wide(reference[k]);
        const TComplexD across = a - b;
        // Joined terminals have no finite admittance; like ComplexDiv, call it zero.
        const TComplexD ratio =
            across == TComplexD(0.0, 0.0) ? TComplexD(0.0, 0.0) : Quotient(b, across);
        out[k] = ArmAdmittance(rounded, BinAngular(k, angularStep)) * std::conj(ratio);
    }
}

std::optional<double> ParseInputResistance(std::string_view text) {
    if (TrimBlanks(text).empty()) {
        return kNoInputResistance;
    }
    const std::optional<double> ohms = ParseTypedNumber(text);
    if (!ohms || !(*ohms > 0.0)) {
        return std::nullopt;
    }
    return ohms;
}

std::string FormatInputResistance(double ohms) {
    return std::isfinite(ohms) ? FormatIniReal(ohms) : std::string();
}

}  // namespace tavrin
