#pragma once

// Where the driver fit starts, read off the curve the way it is done by hand: Re from the
// resistance floor, Fs from the impedance peak, Qms from the width of the peak at the
// √(Re·Zmax) points. It also decides whether the curve holds a resonance to fit at all.

#include <span>
#include <string>

#include "uDriverModel.h"
#include "uTrace.h"

namespace tavrin {

inline constexpr const char* kNoResonance = "no resonance in the band";
inline constexpr const char* kPeakAtEdge = "the resonance peak lies at the edge of the band";
inline constexpr const char* kNoResistance = "the resistance of the curve is not positive";

struct TDriverStart {
    bool Ok = false;
    std::string Reason;  // why there is nothing to fit, when not Ok
    double Re = 0;       // ohms
    double Res = 0;      // ohms, the peak's height above Re
    double Fs = 0;       // Hz
    double Qms = 0;
    double Le = 0;  // H, from the reactance at the top of the band
};

// `curve`: at least a few points in ascending frequency, finite values.
TDriverStart EstimateDriverStart(std::span<const TTracePoint> curve);

}  // namespace tavrin
