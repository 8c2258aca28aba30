#pragma once

// The small-signal model of a loudspeaker driver as its impedance shows it: the voice coil's
// resistance Re and inductance Le (in the LR2 form Le in series with R2 ∥ L2, for the eddy
// currents that make a real coil's inductance fall and its resistance rise with frequency) in
// series with the motional impedance, a parallel Res ∥ Ces ∥ Les that resonates at Fs.
// SI units throughout: ohms, hertz, henries.

#include <complex>
#include <cstdint>

namespace tavrin {

enum class TDriverModel : uint8_t { Le, LR2 };

struct TDriverParameters {
    TDriverModel Model = TDriverModel::Le;
    double Re = 0;
    double Fs = 0;
    double Qms = 0;
    double Qes = 0;
    double Le = 0;
    double R2 = 0;  // LR2 only
    double L2 = 0;  // LR2 only
};

double TotalQ(const TDriverParameters& p);
// The motional resistance at resonance, Re Qms / Qes.
double MotionalResistance(const TDriverParameters& p);
std::complex<double> DriverImpedance(const TDriverParameters& p, double frequency);

}  // namespace tavrin
