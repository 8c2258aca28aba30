#pragma once

// The evaluation of a processed block as plain functions over complex spectra: the impedance of
// every bin, the series R + L or C fitted to it, and the transfer ratio. No device, no thread, no
// state: the analyser calls them on its delivered blocks, and anything else may call them on
// spectra of its own. Spans hold complex slots (slot k = bin k); only bins Lo..Hi are touched.

#include <cstdint>
#include <span>
#include <string>

#include "uCom.h"

namespace tavrin {

// Bins Lo..Hi of a band; empty when Hi < Lo.
struct TBinRange {
    int32_t Lo = 1;
    int32_t Hi = 0;
};

// The bins of low..high Hz (both by the FrequencyToBin rule) for blocks of `length` samples at
// `sampleRate`, never beyond the last slot of a spectrum of `slots` complex values and never
// slot 0; empty for blocks too short to hold a bin.
TBinRange BandBins(int32_t length, uint32_t sampleRate, float lowFrequency, float highFrequency,
                   int32_t slots);

// Angular frequency per bin, rad/s, as the evaluation rounds it (32-bit).
float AngularStep(uint32_t sampleRate, int32_t length);

// What turns the channel ratio into an impedance: R ref (ohms) in parallel with C in (farads).
struct TReferenceArm {
    float Rref = 0;
    float Cin = 0;
};

// Zx in ohms of bins range.Lo..Hi into `out` (Re resistance, Im reactance, the electrical sign
// convention), from the driving and the reference channel's calibrated spectra. `out` may be one
// of the inputs: each bin is read before it is written.
void ComputeZx(std::span<const TComplex> driving, std::span<const TComplex> reference,
               std::span<TComplex> out, TBinRange range, float angularStep, TReferenceArm arm);

// The reference arm's impedance at bins range.Lo..Hi into `arm` (ohms, slot k = bin k): the
// factor ComputeZx applies to each bin. It depends on the settings alone, so a caller that
// evaluates result after result may compute it once and pass it to the overload below.
void ReferenceArmImpedance(std::span<TComplex> armImpedance, TBinRange range, float angularStep,
                           TReferenceArm arm);
// ComputeZx with the arm's impedance of every bin of the range taken from `armImpedance`, as
// ReferenceArmImpedance gives it for the same range, angular step and arm: the same numbers,
// without computing the arm again.
void ComputeZx(std::span<const TComplex> driving, std::span<const TComplex> reference,
               std::span<TComplex> out, TBinRange range, std::span<const TComplex> armImpedance);

// The series R + L or C fitted to Zx over the range: the reactance by the majority of its sign
// and least squares, R as the mean of the resistances (never negative), the loss tangent as the
// magnitude of the mean R/X over the bins with a reactance.
struct TSeriesFit {
    bool Inductive = false;
    // False for a capacitive fit without a usable reactance sum (the readout says "??").
    bool ReactanceKnown = false;
    float Inductance = 0;            // H, when inductive
    float Capacitance = 1000000.0f;  // F, when capacitive (the placeholder when not known)
    float Resistance = 0;            // ohms
    bool LossTangentKnown = false;
    float LossTangent = 0;
};
TSeriesFit FitSeries(std::span<const TComplex> zx, TBinRange range, float angularStep);

// The fitted model's impedance of every bin of the range into `out`.
void SeriesModel(const TSeriesFit& fit, std::span<TComplex> out, TBinRange range,
                 float angularStep);

// The three-line readout: "Lx= 1.234 mH" or "Cx= ..." (or "Cx= ??"), "R= 12.5 Ohm",
// "tg= 2.5E-02" (or "tg= ??"), lines ended by CR LF.
std::string FormatSeriesFit(const TSeriesFit& fit);

// numerator / denominator of every bin of the range into `out`, as the transform gives them
// (no change of sign). `out` may be one of the inputs.
void ComputeRatio(std::span<const TComplex> numerator, std::span<const TComplex> denominator,
                  std::span<TComplex> out, TBinRange range);

}  // namespace tavrin
