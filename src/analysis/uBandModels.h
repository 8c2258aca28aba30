#pragma once

// Equivalent circuits fitted to Zx over the band, beside the series R + L or C of the LCR
// readout: series R-L-C (a real capacitor's ESR, ESL and self-resonance), R || C and R || L.
// Each is a linear least-squares fit on the complex impedance with relative weights (a bin
// counts by its misfit as a fraction of |Z|, which is how the measurement's noise scales), the
// reactive parts kept at or above zero. The best-supported circuit is the one with the least
// Bayesian information over the bins, so that a third parameter must earn its place.

#include <array>
#include <complex>
#include <cstdint>
#include <span>
#include <string>

#include "uEvaluation.h"

namespace tavrin {

enum class TBandModelKind { SeriesRLC, ParallelRC, ParallelRL };
inline constexpr int kBandModelCount = 3;

struct TBandModelFit {
    TBandModelKind Kind = TBandModelKind::SeriesRLC;
    bool Valid = false;  // enough bins to fit
    // Series: Rs + jwL + 1/(jwC); parallel: 1/Rp + jwC + 1/(jwL). Ohms, henries, farads. An
    // element the fit leaves out is 0 H or infinite F in series, infinite H or 0 F in
    // parallel, and so is an infinite Rp.
    double Resistance = 0;
    double Inductance = 0;
    double Capacitance = 0;
    int32_t Parameters = 0;  // the elements left in
    // Root mean square over the bins of |Z - model| / |Z| (parallel: |Y - model| / |Y|).
    double Residual = 0;
    // 1 / (2 pi sqrt(L C)) of a series R-L-C with both reactive parts; otherwise 0.
    double SelfResonance = 0;

    std::complex<double> ImpedanceAt(double w) const;
};

struct TBandModels {
    std::array<TBandModelFit, kBandModelCount> Fits;  // in the order of TBandModelKind
    int32_t Bins = 0;
    int32_t Best = -1;  // index into Fits; -1 when none is valid
    const TBandModelFit* BestFit() const { return Best >= 0 ? &Fits[Best] : nullptr; }
};

// Fits every model to Zx over the range; bins whose Zx is zero or not finite are left out.
TBandModels FitBandModels(std::span<const TComplex> zx, TBinRange range, float angularStep);

// "series R-L-C", "series R-C", "series R-L", "R", "R || C", "R || L", by what the fit kept.
std::string BandModelName(const TBandModelFit& fit);

// Two lines ended by CR LF:
//   Model: series R-L-C, residual 1.2E-4
//   Rs= 20 mOhm  L= 5 nH  C= 100 nF  f0= 7.118 MHz
// "Model: ??" when no fit is valid.
std::string FormatBandModels(const TBandModels& models);

}  // namespace tavrin
