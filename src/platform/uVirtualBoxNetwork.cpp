#include "uVirtualBoxNetwork.h"

#include <limits>
#include <numbers>
#include <optional>

#include "uNumberText.h"

namespace tavrin {
namespace {

using TComplexD = std::complex<double>;

// Admittances rather than impedances, so that a capacitor at 0 Hz is an open circuit and not
// a division by zero.
TComplexD SeriesAdmittance(TComplexD a, TComplexD b) {
    const TComplexD sum = a + b;
    return sum == TComplexD(0.0, 0.0) ? TComplexD(0.0, 0.0) : a * b / sum;
}

bool IsDriver(TVirtualBoxState state) {
    return state == TVirtualBoxState::DriverFreeAir || state == TVirtualBoxState::DriverAddedMass ||
           state == TVirtualBoxState::DriverClosedBox;
}

TComplexD BoxDriverImpedance(TVirtualBoxState state, const TVirtualBoxComponents& parts,
                             double frequency) {
    const TDriverMounting mounting =
        state == TVirtualBoxState::DriverAddedMass   ? TDriverMounting::AddedMass
        : state == TVirtualBoxState::DriverClosedBox ? TDriverMounting::ClosedBox
                                                     : TDriverMounting::FreeAir;
    return VirtualDriverImpedance(parts.Driver, mounting, frequency);
}

// The part's admittance; nullopt for joined terminals, whose admittance has no finite value.
std::optional<TComplexD> ComponentAdmittance(TVirtualBoxState state,
                                             const TVirtualBoxComponents& parts, double w) {
    const TComplexD j(0.0, 1.0);
    switch (state) {
        case TVirtualBoxState::Resistor:
            return 1.0 / parts.ResistorOhms;
        case TVirtualBoxState::Capacitor:
            return SeriesAdmittance(j * w * parts.CapacitorFarads, 1.0 / parts.CapacitorSeriesOhms);
        case TVirtualBoxState::Inductor:
            return 1.0 / (parts.InductorSeriesOhms + j * w * parts.InductorHenries);
        case TVirtualBoxState::Short:
            return std::nullopt;
        case TVirtualBoxState::Load:
            return 1.0 / parts.LoadOhms;
        case TVirtualBoxState::ParallelRC:
            return 1.0 / parts.ParallelOhms + j * w * parts.ParallelFarads;
        case TVirtualBoxState::EslCapacitor:
            return SeriesAdmittance(j * w * parts.EslFarads,
                                    1.0 / (parts.EslSeriesOhms + j * w * parts.EslHenries));
        case TVirtualBoxState::HighResistor:
            return 1.0 / parts.HighOhms;
        default:
            // Re keeps a driver's impedance away from 0.
            return IsDriver(state)
                       ? 1.0 / BoxDriverImpedance(state, parts, w / (2.0 * std::numbers::pi))
                       : TComplexD(0.0, 0.0);
    }
}

// What joins Zx Out to Zx In: the part, behind the test leads when they are on.
std::optional<TComplexD> PathAdmittance(TVirtualBoxState state, const TVirtualBoxComponents& parts,
                                        double w, const TVirtualBoxFaults& faults) {
    const std::optional<TComplexD> part = ComponentAdmittance(state, parts, w);
    if (!faults.TestLeads) {
        return part;
    }
    const TComplexD j(0.0, 1.0);
    const TComplexD lead = parts.LeadOhms + j * w * parts.LeadHenries;
    if (!part) {
        return 1.0 / lead;
    }
    const TComplexD clips = *part + 1.0 / parts.StrayOhms + j * w * parts.StrayFarads;
    return clips / (1.0 + lead * clips);
}

std::string Ohms(double r) {
    // "1E5" is no way to write a resistor's value.
    if (r >= 10000.0) {
        return FormatEng(r) + "\xCE\xA9";
    }
    return FormatGeneral(r, 4) + " \xCE\xA9";
}

}  // namespace

TNodeVoltages BoxResponse(TVirtualBoxState state, const TVirtualBoxComponents& parts,
                          double frequency, const TVirtualBoxFaults& faults) {
    const TComplexD j(0.0, 1.0);
    const double w = 2.0 * std::numbers::pi * frequency;
    TComplexD inputLoad = j * w * parts.InputFarads;
    if (faults.InputResistance) {
        inputLoad += 1.0 / parts.InputOhms;
    }
    const TComplexD ballast = 1.0 / parts.BallastOhms;
    if (state == TVirtualBoxState::Calibration) {
        const TComplexD v = ballast / (ballast + 2.0 * inputLoad);
        return {v, v};
    }
    // Zx In sees R ref in parallel with the right input.
    TComplexD toZxIn;
    TComplexD zxInLoad = 1.0 / parts.RefOhms + inputLoad;
    if (state == TVirtualBoxState::LowPass) {
        toZxIn = 1.0 / parts.LowPassOhms;
        zxInLoad += j * w * parts.LowPassFarads;
    } else {
        const std::optional<TComplexD> path = PathAdmittance(state, parts, w, faults);
        if (!path) {
            // Joined terminals: one node, loaded by both inputs and R ref.
            const TComplexD v = ballast / (ballast + inputLoad + zxInLoad);
            return {v, v};
        }
        toZxIn = *path;
    }
    const TComplexD zxOutLoad = inputLoad + SeriesAdmittance(toZxIn, zxInLoad);
    const TComplexD zxOut = ballast / (ballast + zxOutLoad);
    const TComplexD divider = toZxIn / (toZxIn + zxInLoad);
    return {zxOut, zxOut * divider};
}

std::complex<double> ComponentImpedance(TVirtualBoxState state, const TVirtualBoxComponents& parts,
                                        double frequency) {
    const TComplexD j(0.0, 1.0);
    const double w = 2.0 * std::numbers::pi * frequency;
    switch (state) {
        case TVirtualBoxState::Resistor:
            return parts.ResistorOhms;
        case TVirtualBoxState::Capacitor:
            return parts.CapacitorSeriesOhms + 1.0 / (j * w * parts.CapacitorFarads);
        case TVirtualBoxState::Inductor:
            return parts.InductorSeriesOhms + j * w * parts.InductorHenries;
        case TVirtualBoxState::Open:
            return std::numeric_limits<double>::infinity();
        case TVirtualBoxState::Load:
            return parts.LoadOhms;
        case TVirtualBoxState::ParallelRC:
            return 1.0 / (1.0 / parts.ParallelOhms + j * w * parts.ParallelFarads);
        case TVirtualBoxState::EslCapacitor:
            return parts.EslSeriesOhms + j * w * parts.EslHenries + 1.0 / (j * w * parts.EslFarads);
        case TVirtualBoxState::HighResistor:
            return parts.HighOhms;
        default:
            return IsDriver(state) ? BoxDriverImpedance(state, parts, frequency) : 0.0;
    }
}

std::string VirtualBoxDeviceName(TVirtualBoxState state, const TVirtualBoxComponents& parts) {
    std::string what;
    switch (state) {
        case TVirtualBoxState::Calibration:
            what = "S1 calibration, inputs on Zx Out";
            break;
        case TVirtualBoxState::Resistor:
            what = "Zx " + Ohms(parts.ResistorOhms);
            break;
        case TVirtualBoxState::Capacitor:
            what =
                "Zx " + FormatEng(parts.CapacitorFarads) + "F + " + Ohms(parts.CapacitorSeriesOhms);
            break;
        case TVirtualBoxState::Inductor:
            what =
                "Zx " + FormatEng(parts.InductorHenries) + "H + " + Ohms(parts.InductorSeriesOhms);
            break;
        case TVirtualBoxState::LowPass:
            what = "RC low-pass " + Ohms(parts.LowPassOhms) + ", " +
                   FormatEng(parts.LowPassFarads) + "F";
            break;
        case TVirtualBoxState::Open:
            what = "open terminals";
            break;
        case TVirtualBoxState::Short:
            what = "short";
            break;
        case TVirtualBoxState::Load:
            what = "load " + Ohms(parts.LoadOhms) + " 0.1 %";
            break;
        case TVirtualBoxState::ParallelRC:
            what = "Zx " + FormatEng(parts.ParallelFarads) + "F \xE2\x88\xA5 " +
                   Ohms(parts.ParallelOhms);
            break;
        case TVirtualBoxState::EslCapacitor:
            what = "Zx " + FormatEng(parts.EslFarads) + "F + " + Ohms(parts.EslSeriesOhms) + " + " +
                   FormatEng(parts.EslHenries) + "H";
            break;
        case TVirtualBoxState::HighResistor:
            what = "Zx " + Ohms(parts.HighOhms);
            break;
        case TVirtualBoxState::DriverFreeAir:
            what = "driver Re " + Ohms(parts.Driver.Re) + ", Fs " +
                   FormatGeneral(parts.Driver.Fs, 4) + " Hz, in free air";
            break;
        case TVirtualBoxState::DriverAddedMass:
            what = "the same driver with " + FormatGeneral(parts.Driver.AddedMass * 1e3, 4) +
                   " g on its cone";
            break;
        case TVirtualBoxState::DriverClosedBox:
            what = "the same driver in a " + FormatGeneral(parts.Driver.BoxVolume * 1e3, 4) +
                   " l closed box";
            break;
    }
    return "Virtual box: " + what + " (R ref " + Ohms(parts.RefOhms) + ")";
}

}  // namespace tavrin
