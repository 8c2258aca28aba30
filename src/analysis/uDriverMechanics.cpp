#include "uDriverMechanics.h"

#include <cmath>
#include <numbers>

#include "uAir.h"

namespace tavrin {
namespace {

// The intensity against which 0 dB SPL is reckoned, W/m².
constexpr double kReferenceIntensity = 1e-12;
constexpr double kNominalVolts = 2.83;

TDriverMechanics Failure(const char* reason) {
    TDriverMechanics m;
    m.Reason = reason;
    return m;
}

}  // namespace

TDriverMechanics DriverMechanics(const TDriverFit& freeAir, const TDriverFit& second,
                                 TDriverMethod method, double amount, double sd) {
    if (!freeAir.Ok) {
        return Failure(kNoFreeAirFit);
    }
    if (method == TDriverMethod::FreeAirOnly || !second.Ok) {
        return Failure(kNoSecondFit);
    }
    if (!(sd > 0) || !std::isfinite(sd)) {
        return Failure(kSdNotPositive);
    }
    if (!(amount > 0) || !std::isfinite(amount)) {
        return Failure(kAmountNotPositive);
    }
    const TDriverParameters& p = freeAir.Parameters;
    const TDriverParameters& q = second.Parameters;
    const double ws = 2.0 * std::numbers::pi * p.Fs;
    // The stiffness of air in a volume V seen through the cone is rho c² Sd² / V.
    const double airStiffness = kAirDensity * kSpeedOfSound * kSpeedOfSound * sd * sd;

    TDriverMechanics m;
    if (method == TDriverMethod::AddedMass) {
        // The suspension stays; Fs falls as the square root of the mass.
        const double ratio = (p.Fs / q.Fs) * (p.Fs / q.Fs);
        if (!(ratio > 1.0)) {
            return Failure(kMassDidNotLowerFs);
        }
        m.Mms = amount / (ratio - 1.0);
        m.Cms = 1.0 / (ws * ws * m.Mms);
        m.Vas = airStiffness * m.Cms;
    } else {
        // The mass stays and the box's air stiffens the suspension: Fc Qec / (Fs Qes) is
        // 1 + Vas / Vb.
        const double ratio = (q.Fs * q.Qes) / (p.Fs * p.Qes);
        if (!(ratio > 1.0)) {
            return Failure(kBoxDidNotRaiseFs);
        }
        m.Vas = amount * (ratio - 1.0);
        m.Cms = m.Vas / airStiffness;
        m.Mms = 1.0 / (ws * ws * m.Cms);
    }
    m.Bl = std::sqrt(ws * m.Mms * p.Re / p.Qes);
    m.Eta0 = 4.0 * std::numbers::pi * std::numbers::pi * p.Fs * p.Fs * p.Fs * m.Vas /
             (kSpeedOfSound * kSpeedOfSound * kSpeedOfSound * p.Qes);
    // One watt radiated into half space spreads over 2 pi m² at one metre.
    m.Spl1W = 10.0 * std::log10(m.Eta0 / (2.0 * std::numbers::pi * kReferenceIntensity));
    m.Spl2V83 = m.Spl1W + 10.0 * std::log10(kNominalVolts * kNominalVolts / p.Re);
    m.Ok = true;
    return m;
}

}  // namespace tavrin
