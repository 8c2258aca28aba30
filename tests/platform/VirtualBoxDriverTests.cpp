// The virtual box's loudspeaker driver against what its moving parts must do: the motional
// impedance is real and Re Qms / Qes high at each resonance, which a mass lowers as the root of
// the mass and a closed box raises as the root of the stiffness its air adds.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "uAir.h"
#include "uVirtualBoxDriver.h"

namespace tavrin {
namespace {

TEST(VirtualBoxDriver, ResonatesWhereItsMovingPartsSay) {
    TVirtualDriver d;
    d.Le = 0, d.R2 = 0;  // the motional impedance alone above Re
    const double vas = VirtualDriverVas(d);
    const double cms = 1.0 / std::pow(2.0 * std::numbers::pi * d.Fs, 2) / d.Mms;
    EXPECT_NEAR(vas, kAirDensity * std::pow(kSpeedOfSound * d.Sd, 2) * cms, 1e-15);
    EXPECT_NEAR(VirtualDriverBl(d), std::sqrt(2 * std::numbers::pi * d.Fs * d.Mms * d.Re / d.Qes),
                1e-12);

    const double peak = d.Re * d.Qms / d.Qes;
    const struct {
        TDriverMounting Mounting;
        double Fs;
    } resonances[] = {
        {TDriverMounting::FreeAir, d.Fs},
        {TDriverMounting::AddedMass, d.Fs * std::sqrt(d.Mms / (d.Mms + d.AddedMass))},
        {TDriverMounting::ClosedBox, d.Fs * std::sqrt(1.0 + vas / d.BoxVolume)},
    };
    for (const auto& r : resonances) {
        const std::complex<double> z = VirtualDriverImpedance(d, r.Mounting, r.Fs);
        EXPECT_NEAR(z.real(), d.Re + peak, 1e-9 * peak) << r.Fs;
        EXPECT_NEAR(z.imag(), 0.0, 1e-9 * peak) << r.Fs;
        // Below the resonance the suspension, above it the mass: inductive, then capacitive.
        EXPECT_GT(VirtualDriverImpedance(d, r.Mounting, 0.9 * r.Fs).imag(), 0.0);
        EXPECT_LT(VirtualDriverImpedance(d, r.Mounting, 1.1 * r.Fs).imag(), 0.0);
    }
    EXPECT_EQ(VirtualDriverImpedance(d, TDriverMounting::FreeAir, 0.0), std::complex<double>(d.Re));

    // The coil: R2 ∥ L2 is L2 far below its corner and R2 far above, Le adds its own.
    const TVirtualDriver coil;
    const double far = 1e7;
    const std::complex<double> high = VirtualDriverImpedance(coil, TDriverMounting::FreeAir, far);
    EXPECT_NEAR(high.real(), coil.Re + coil.R2, 1e-3);
    EXPECT_NEAR(high.imag() / (2 * std::numbers::pi * far), coil.Le, 1e-6 * coil.Le);
}

}  // namespace
}  // namespace tavrin
