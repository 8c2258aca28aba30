#pragma once

// The reference arm with the inputs' resistance: R ref in parallel with the right input's
// capacitance C in and resistance R in. An infinite R in is the arm the evaluation has always
// used (R ref and C in only), and leaves every reading untouched.

#include <complex>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "uEvaluation.h"

namespace tavrin {

inline constexpr double kNoInputResistance = std::numeric_limits<double>::infinity();

// Ohms, farads, ohms.
struct TInputArm {
    double Rref = 0;
    double Cin = 0;
    double Rin = kNoInputResistance;
};

inline bool operator==(const TInputArm& a, const TInputArm& b) {
    return a.Rref == b.Rref && a.Cin == b.Cin && a.Rin == b.Rin;
}

// a / b as a conj(b) / |b|^2. The library's complex division guards against overflow and NaN
// in ways that cost more than the rest of a bin's work, for values (ohms, siemens) that never
// come near that range. Infinite or NaN when b is zero: callers guard.
inline std::complex<double> Quotient(std::complex<double> a, std::complex<double> b) {
    const double inverse = 1.0 / (b.real() * b.real() + b.imag() * b.imag());
    return {(a.real() * b.real() + a.imag() * b.imag()) * inverse,
            (a.imag() * b.real() - a.real() * b.imag()) * inverse};
}

// The arm as the evaluation's ComputeZx sees it (R ref and C in, 32-bit).
TReferenceArm EvaluationArm(const TInputArm& arm);

// Admittance of the arm in siemens at w rad/s; zero conductance from R ref when R ref is 0 or
// less (such an arm reads every impedance as zero anyway).
std::complex<double> ArmAdmittance(const TInputArm& arm, double w);

// Turns Zx read with the arm R ref || C in into Zx read with R ref || C in || R in, bin by bin:
// Zx * Zref' / Zref. Nothing at all when R in is infinite, so that the readings stay exactly
// those of ComputeZx.
void ApplyInputResistance(std::span<TComplex> zx, TBinRange range, float angularStep,
                          const TInputArm& arm);

// The admittance (siemens) between the terminals, bin by bin, from the driving and the
// reference channel's calibrated spectra: Yarm * conj(B / (A - B)). Unlike 1 / Zx it is a
// clean zero when the reference channel hears nothing, as with open terminals.
void ComputeYx(std::span<const TComplex> driving, std::span<const TComplex> reference,
               std::span<std::complex<double>> out, TBinRange range, float angularStep,
               const TInputArm& arm);

// R in as typed: an empty text is infinite (no resistance); otherwise a number of ohms above 0
// by the typed-number rules. nullopt for anything else.
std::optional<double> ParseInputResistance(std::string_view text);
// "" for infinite, otherwise the number as the settings file keeps reals.
std::string FormatInputResistance(double ohms);

}  // namespace tavrin
