#pragma once

// The circuit of the connection box as the virtual sound card simulates it: both line outputs
// drive R ballast into Zx Out, where the left input listens; the right input listens on Zx In,
// which S1 ties either to Zx Out (calibration) or, through the component or the two-port, to
// R ref. Each input loads its node with the card's input capacitance C in.

#include <complex>
#include <cstdint>
#include <string>

#include "uVirtualBoxDriver.h"

namespace tavrin {

// What sits in the box; one capture and one playback device per state, in this order.
enum class TVirtualBoxState : int32_t {
    Calibration = 0,  // S1 on Zx Out: both inputs on Zx Out
    Resistor,
    Capacitor,  // with a series resistance
    Inductor,   // with a series resistance
    LowPass,    // two-port RC low-pass: IN on Zx Out, OUT on Zx In, COM on Com
    // A loudspeaker driver in free air, with a mass on its cone, and in a closed box.
    DriverFreeAir,
    DriverAddedMass,
    DriverClosedBox,
};
inline constexpr int32_t kVirtualBoxStateCount = 8;

// Component values in ohms, farads and henries.
struct TVirtualBoxComponents {
    double BallastOhms = 100.0;
    double RefOhms = 100.0;
    double InputFarads = 100e-12;  // C in of each line input
    double ResistorOhms = 47.0;
    double CapacitorFarads = 4.7e-6;
    double CapacitorSeriesOhms = 0.2;
    double InductorHenries = 10e-3;
    double InductorSeriesOhms = 3.3;
    double LowPassOhms = 100.0;
    double LowPassFarads = 1e-6;
    TVirtualDriver Driver;
};

// Voltages on the two measuring nodes per volt of line output, in the electrical convention
// V(t) = Re{V e^(j w t)}.
struct TNodeVoltages {
    std::complex<double> ZxOut;  // heard by the left input
    std::complex<double> ZxIn;   // heard by the right input
};

// The steady-state response of the box at `frequency` (Hz, >= 0).
TNodeVoltages BoxResponse(TVirtualBoxState state, const TVirtualBoxComponents& parts,
                          double frequency);

// The impedance of the component under test at `frequency`, as a measurement should read it
// (the resistor, capacitor, inductor and driver states; zero otherwise).
std::complex<double> ComponentImpedance(TVirtualBoxState state, const TVirtualBoxComponents& parts,
                                        double frequency);

// Device name telling what is in the box and the R ref to type, e.g.
// "Virtual box: Zx 4.7 µF + 0.2 Ω (R ref 100 Ω)". UTF-8.
std::string VirtualBoxDeviceName(TVirtualBoxState state, const TVirtualBoxComponents& parts);

}  // namespace tavrin
