#pragma once

// The readout of a bench meter at one test frequency: the impedance of the bin nearest to it
// in every form a bench meter shows (|Z|, theta, the series and the parallel equivalents, D,
// Q, G, B), with the model the user chose or the one the bench rule picks. Double precision
// throughout; ohms, farads, henries, siemens, hertz, degrees.

#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "uEvaluation.h"

namespace tavrin {

// Resistance and reactance of one equivalent circuit: in series (Z = R + jX) or in parallel
// (1/Z = 1/R + 1/(jX)).
struct TEquivalent {
    double R = 0;
    double X = 0;
};

// Exact conversions. A zero R or X on one side is an infinite one on the other (signed as
// its counterpart's sign when it is a reactance).
TEquivalent SeriesToParallel(TEquivalent series);
TEquivalent ParallelToSeries(TEquivalent parallel);

enum class TCircuitModel { Series, Parallel };
enum class TModelChoice { Automatic, Series, Parallel };

// The bench rule: series below about 100 ohms, parallel above about 10 kOhm, and in between
// series below 1 kOhm (the geometric middle), parallel from there.
TCircuitModel BenchRuleModel(double magnitude);

struct TSpotReadout {
    bool Valid = false;  // false when the test frequency lies outside the evaluated bins
    int32_t Bin = 0;
    double Frequency = 0;  // of the bin, Hz
    std::complex<double> Z;
    double Magnitude = 0;
    double PhaseDegrees = 0;
    // Series equivalent; Cs = -1 / (w Xs) and Ls = Xs / w are both given, one of them
    // negative (a bench meter shows an inductor as a negative capacitance).
    double Rs = 0, Xs = 0, Cs = 0, Ls = 0;
    // Parallel equivalent, Cp = -1 / (w Xp), Lp = Xp / w.
    double Rp = 0, Xp = 0, Cp = 0, Lp = 0;
    double G = 0, B = 0;  // 1/Z = G + jB
    double D = 0;         // Rs / |Xs| = |G / B|
    double Q = 0;         // 1 / D
    TCircuitModel Model = TCircuitModel::Series;
    bool Automatic = false;  // the model was picked by the bench rule
    bool Inductive() const { return Xs > 0; }
};

// The readout of one impedance at `frequency` (Hz, above 0).
TSpotReadout SpotReadout(std::complex<double> z, double frequency, TModelChoice choice);

// The readout at the bin nearest to `testFrequency` (the FrequencyToBin rule) of Zx over
// `range`; not Valid when that bin lies outside the range.
TSpotReadout SpotReadoutAt(std::span<const TComplex> zx, TBinRange range, int32_t length,
                           uint32_t sampleRate, float testFrequency, TModelChoice choice);

// The quantities that can be drawn against frequency in place of Re and Im.
enum class TSpotQuantity { Cs, Ls, Rs, Cp, Lp, Rp, D, Q, Magnitude, PhaseDegrees };
double SpotQuantity(const TSpotReadout& readout, TSpotQuantity quantity);
// The quantity at every bin of the range into `out` (slot k = bin k; other slots untouched).
void SpotQuantityCurve(std::span<const TComplex> zx, TBinRange range, int32_t length,
                       uint32_t sampleRate, TSpotQuantity quantity, std::span<double> out);
// "Cs", "ESR", "D", ... and the unit ("F", "Ohm", "" ...).
std::string SpotQuantityName(TSpotQuantity quantity);
std::string SpotQuantityUnit(TSpotQuantity quantity);

// The model choice as the command line and the settings name it: "auto", "series",
// "parallel".
std::optional<TModelChoice> ParseModelChoice(std::string_view text);
std::string ModelChoiceName(TModelChoice choice);

// A test frequency as typed: a number with an optional "k" (kHz) and an optional "Hz" ("1k",
// "1 kHz", "100", "2.5e3"), above 0. nullopt for anything else.
std::optional<float> ParseTestFrequency(std::string_view text);

// Lines ended by CR LF, the model's own equivalent first, six digits:
//   1 kHz series (auto)
//   Cs= 4.7 µF  Rs= 200 mOhm
//   D= 0.0059062  Q= 169.31
//   |Z|= 33.8628 Ohm  θ= -89.662°
//   Cp= ...  Rp= ...   (the other equivalent)
//   Xs= ... Ohm
//   G= ... S  B= ... S
// "Spot: outside the band" when not Valid.
std::string FormatSpotReadout(const TSpotReadout& readout);

}  // namespace tavrin
