#pragma once

// The circuit of the connection box as the virtual sound card simulates it: both line outputs
// drive R ballast into Zx Out, where the left input listens; the right input listens on Zx In,
// which S1 ties either to Zx Out (calibration) or, through the component or the two-port, to
// R ref. Each input loads its node with the card's input capacitance C in.
//
// Two faults can be switched on: test leads between the terminals and the part (their series
// impedance from the terminals to the clips, the stray between the leads across the clips, the
// arrangement that open and short captures take out exactly), and a resistance on each line
// input beside C in.

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
    // For the bench readout and fixture compensation.
    Load,          // the known load
    ParallelRC,    // a capacitor with a parallel resistance
    EslCapacitor,  // a capacitor with series resistance and series inductance
    HighResistor,
    Open,   // nothing on the terminals
    Short,  // the terminals joined
};
inline constexpr int32_t kVirtualBoxStateCount = 14;

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
    // The load is sold as 1 kOhm 0.1 %; the virtual one is exact.
    double LoadOhms = 1000.0;
    double ParallelFarads = 10e-9;
    double ParallelOhms = 20e3;
    double EslFarads = 100e-9;
    double EslSeriesOhms = 20e-3;
    double EslHenries = 5e-9;
    double HighOhms = 100e3;
    // The test leads: in series from the terminals to the clips, then across the clips.
    double LeadOhms = 50e-3;
    double LeadHenries = 300e-9;
    double StrayFarads = 30e-12;
    double StrayOhms = 10e6;
    // The input-resistance fault, on each line input.
    double InputOhms = 47e3;
};

// Faults of the box; both off in a good box.
struct TVirtualBoxFaults {
    bool TestLeads = false;
    bool InputResistance = false;
};

// Voltages on the two measuring nodes per volt of line output, in the electrical convention
// V(t) = Re{V e^(j w t)}.
struct TNodeVoltages {
    std::complex<double> ZxOut;  // heard by the left input
    std::complex<double> ZxIn;   // heard by the right input
};

// The steady-state response of the box at `frequency` (Hz, >= 0).
TNodeVoltages BoxResponse(TVirtualBoxState state, const TVirtualBoxComponents& parts,
                          double frequency, const TVirtualBoxFaults& faults = {});

// The impedance of the component under test at `frequency`, as a measurement should read it
// without the leads: the part of each component and driver state, zero for the short,
// infinite for the open terminals, zero for the calibration and the two-port.
std::complex<double> ComponentImpedance(TVirtualBoxState state, const TVirtualBoxComponents& parts,
                                        double frequency);

// Device name telling what is in the box and the R ref to type, e.g.
// "Virtual box: Zx 4.7 µF + 0.2 Ω (R ref 100 Ω)". UTF-8.
std::string VirtualBoxDeviceName(TVirtualBoxState state, const TVirtualBoxComponents& parts);

}  // namespace tavrin
