#pragma once

// The loudspeaker driver of the virtual box, built from its moving parts rather than from the
// curve a fit assumes: the voice coil (Re, Le and the eddy-current pair R2 ∥ L2) in series with
// the motional impedance Bl² / (Rms + jωM + 1/(jωC)) of the cone on its suspension. An added
// mass raises M; a closed box adds the air spring of its volume to the suspension.

#include <complex>

namespace tavrin {

// Given by the small-signal parameters a data sheet lists; SI units throughout.
struct TVirtualDriver {
    double Re = 6.0;   // ohms
    double Fs = 40.0;  // Hz, in free air
    double Qms = 4.0;
    double Qes = 0.4;
    double Le = 0.5e-3;  // H
    double R2 = 3.0;     // ohms
    double L2 = 1.0e-3;  // H
    double Sd = 220e-4;  // m², the cone's effective area
    double Mms = 30e-3;  // kg, the moving mass with its air load

    double AddedMass = 10e-3;  // kg, in the added-mass state
    double BoxVolume = 20e-3;  // m³, of the closed box
};

enum class TDriverMounting { FreeAir, AddedMass, ClosedBox };

// The electrical impedance in ohms at `frequency` (Hz, >= 0); Re at 0 Hz.
std::complex<double> VirtualDriverImpedance(const TVirtualDriver& driver, TDriverMounting mounting,
                                            double frequency);

// The driver's equivalent air volume Vas in m³ and its force factor Bl in T·m.
double VirtualDriverVas(const TVirtualDriver& driver);
double VirtualDriverBl(const TVirtualDriver& driver);

}  // namespace tavrin
