#include "uVirtualBoxDriver.h"

#include <cmath>
#include <numbers>

#include "uAir.h"

namespace tavrin {
namespace {

struct TMechanics {
    double Mass;        // kg
    double Compliance;  // m/N
    double Resistance;  // N·s/m
    double BlSquared;   // (T·m)²
};

TMechanics FreeAirMechanics(const TVirtualDriver& d) {
    const double ws = 2.0 * std::numbers::pi * d.Fs;
    return {d.Mms, 1.0 / (ws * ws * d.Mms), ws * d.Mms / d.Qms, ws * d.Mms * d.Re / d.Qes};
}

// The compliance of the air in a closed volume, seen by the cone.
double BoxCompliance(const TVirtualDriver& d) {
    return d.BoxVolume / (kAirDensity * kSpeedOfSound * kSpeedOfSound * d.Sd * d.Sd);
}

}  // namespace

std::complex<double> VirtualDriverImpedance(const TVirtualDriver& driver, TDriverMounting mounting,
                                            double frequency) {
    TMechanics m = FreeAirMechanics(driver);
    if (mounting == TDriverMounting::AddedMass) {
        m.Mass += driver.AddedMass;
    } else if (mounting == TDriverMounting::ClosedBox) {
        const double box = BoxCompliance(driver);
        m.Compliance = m.Compliance * box / (m.Compliance + box);
    }
    const std::complex<double> j(0.0, 1.0);
    const double w = 2.0 * std::numbers::pi * frequency;
    // Bl² / Zm written with jωC brought up, so that 0 Hz gives 0 rather than 0 / 0.
    const std::complex<double> jwc = j * w * m.Compliance;
    const std::complex<double> motional =
        m.BlSquared * jwc / (jwc * m.Resistance + 1.0 - w * w * m.Mass * m.Compliance);
    const std::complex<double> jwl2 = j * w * driver.L2;
    const std::complex<double> eddySum = driver.R2 + jwl2;
    const std::complex<double> eddy =
        eddySum == 0.0 ? std::complex<double>(0.0) : jwl2 * driver.R2 / eddySum;
    return driver.Re + j * w * driver.Le + eddy + motional;
}

double VirtualDriverVas(const TVirtualDriver& driver) {
    const TMechanics m = FreeAirMechanics(driver);
    return kAirDensity * kSpeedOfSound * kSpeedOfSound * driver.Sd * driver.Sd * m.Compliance;
}

double VirtualDriverBl(const TVirtualDriver& driver) {
    return std::sqrt(FreeAirMechanics(driver).BlSquared);
}

}  // namespace tavrin
