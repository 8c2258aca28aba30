#pragma once

// Air at 20 °C and 101.325 kPa, the one atmosphere that both the simulated closed box and the
// driver's mechanical parameters are reckoned in, so that a volume measured on one reads back
// on the other.

namespace tavrin {

inline constexpr double kAirDensity = 1.2041;    // kg/m³
inline constexpr double kSpeedOfSound = 343.21;  // m/s

}  // namespace tavrin
