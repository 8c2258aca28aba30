#pragma once

// The driver's moving parts from two fits of its impedance: in free air and once more with a
// known mass on the cone or in a known closed volume; with the cone's area, the moving mass,
// the suspension's compliance, the equivalent air volume, the force factor, the reference
// efficiency and the sensitivity. SI units: kg, m/N, m³, T·m, m².

#include <cstdint>
#include <string>

#include "uDriverFit.h"

namespace tavrin {

enum class TDriverMethod : uint8_t {
    FreeAirOnly,
    AddedMass,    // the second fit with a mass added to the cone
    KnownVolume,  // the second fit in a closed box
};

inline constexpr const char* kNoFreeAirFit = "no fit in free air";
inline constexpr const char* kNoSecondFit = "no fit of the second measurement";
inline constexpr const char* kSdNotPositive = "the cone area Sd must be positive";
inline constexpr const char* kAmountNotPositive = "the added mass or the volume must be positive";
inline constexpr const char* kMassDidNotLowerFs = "the added mass did not lower Fs";
inline constexpr const char* kBoxDidNotRaiseFs = "the closed box did not raise Fs x Qes";

struct TDriverMechanics {
    bool Ok = false;
    std::string Reason;  // why there are no values, when not Ok
    double Mms = 0;      // kg
    double Cms = 0;      // m/N
    double Vas = 0;      // m³
    double Bl = 0;       // T·m
    double Eta0 = 0;     // the reference efficiency, a fraction
    double Spl1W = 0;    // dB SPL at 1 m for 1 W, radiating into half space
    double Spl2V83 = 0;  // dB SPL at 1 m for 2.83 V across Re
};

// amount: the added mass in kg, or the box's net volume in m³; sd in m².
TDriverMechanics DriverMechanics(const TDriverFit& freeAir, const TDriverFit& second,
                                 TDriverMethod method, double amount, double sd);

}  // namespace tavrin
