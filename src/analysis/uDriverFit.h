#pragma once

// The driver model fitted to a measured impedance curve by Levenberg-Marquardt: Re, Fs, Qms,
// Qes and the coil (Le, or Le with R2 ∥ L2) that make the model's complex impedance meet the
// curve's, each point weighted by its share of the band in octaves and compared relative to
// |Z|, so that the resonance counts as much as the coil's rise however the points are spaced.
// A curve that does not support a fit gives a reason, never numbers; the solver's work is
// bounded, so a fit never hangs. Plain functions, any thread.

#include <cstdint>
#include <span>
#include <string>

#include "uDriverModel.h"
#include "uTrace.h"

namespace tavrin {

inline constexpr const char* kTooFewPoints = "too few points in the band";
inline constexpr const char* kInvalidCurve = "the curve holds invalid values";
inline constexpr const char* kNotConverging = "the fit does not converge";
inline constexpr const char* kQmsToZero = "Qms runs to 0";
inline constexpr const char* kQmsToInfinity = "Qms runs to infinity";
inline constexpr const char* kQesToZero = "Qes runs to 0";
inline constexpr const char* kQesToInfinity = "Qes runs to infinity";
inline constexpr const char* kResonanceOutside = "the resonance lies outside the band";

struct TDriverFitOptions {
    // Also fit the LR2 coil, and keep it where the curve shows a semi-inductance.
    bool SemiInductance = true;
    // Curve evaluations allowed per solver run: the bound on the fit's time.
    int32_t MaxEvaluations = 100;
};

struct TDriverFit {
    bool Ok = false;
    std::string Reason;  // why there is no fit, when not Ok
    TDriverParameters Parameters;
    // The model's rms deviation from the curve, relative to |Z|, weighted as the fit weighs.
    double Residual = 0;
    double LowFrequency = 0;  // Hz, the band the curve covers
    double HighFrequency = 0;
};

// `curve`: an impedance, ascending frequencies.
TDriverFit FitDriver(std::span<const TTracePoint> curve, const TDriverFitOptions& options = {});

}  // namespace tavrin
