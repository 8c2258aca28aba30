// The driver fit against curves of the virtual box's driver, which is built from its moving
// parts and not from the model the fit assumes: exact curves must give back the parameters it
// was made from, and curves that hold no driver must give a reason instead of numbers.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <string>

#include "uAir.h"
#include "uDriverFit.h"
#include "uDriverReport.h"
#include "uDriverStart.h"
#include "uVirtualBoxDriver.h"

namespace tavrin {
namespace {

// The bins of fLow..fHigh of blocks of `length` samples at `rate`.
template <typename TImpedance>
std::vector<TTracePoint> BinCurve(TImpedance impedance, int32_t length, double fLow = 10,
                                  double fHigh = 2000, double rate = 48000) {
    std::vector<TTracePoint> curve;
    for (int32_t k = static_cast<int32_t>(std::lround(fLow * length / rate));
         k <= std::lround(fHigh * length / rate); ++k) {
        const double f = rate * k / length;
        curve.push_back({f, impedance(f)});
    }
    return curve;
}

std::vector<TTracePoint> DriverCurve(const TVirtualDriver& driver, TDriverMounting mounting,
                                     int32_t length = 65536, double fLow = 10,
                                     double fHigh = 2000) {
    return BinCurve([&](double f) { return VirtualDriverImpedance(driver, mounting, f); }, length,
                    fLow, fHigh);
}

double Relative(double measured, double truth) {
    return std::fabs(measured / truth - 1.0);
}

void ExpectParameters(const TDriverFit& fit, const TVirtualDriver& d, double tolerance) {
    ASSERT_TRUE(fit.Ok) << fit.Reason;
    const TDriverParameters& p = fit.Parameters;
    EXPECT_LT(Relative(p.Re, d.Re), tolerance) << p.Re;
    EXPECT_LT(Relative(p.Fs, d.Fs), tolerance) << p.Fs;
    EXPECT_LT(Relative(p.Qms, d.Qms), tolerance) << p.Qms;
    EXPECT_LT(Relative(p.Qes, d.Qes), tolerance) << p.Qes;
    EXPECT_LT(Relative(p.Le, d.Le), tolerance) << p.Le;
    if (d.R2 > 0) {
        EXPECT_EQ(p.Model, TDriverModel::LR2);
        EXPECT_LT(Relative(p.R2, d.R2), tolerance) << p.R2;
        EXPECT_LT(Relative(p.L2, d.L2), tolerance) << p.L2;
    } else {
        EXPECT_EQ(p.Model, TDriverModel::Le);
    }
}

TEST(DriverFitTest, ExactCurvesGiveBackTheDriver) {
    const TVirtualDriver lr2;
    const TDriverFit fine = FitDriver(DriverCurve(lr2, TDriverMounting::FreeAir));
    ExpectParameters(fine, lr2, 1e-6);
    EXPECT_LT(fine.Residual, 1e-8);
    EXPECT_DOUBLE_EQ(fine.LowFrequency, 48000.0 * 14 / 65536);

    // 11.7 Hz between points: the resonance is a handful of them.
    ExpectParameters(FitDriver(DriverCurve(lr2, TDriverMounting::FreeAir, 4096)), lr2, 1e-6);

    // A coil without eddy currents keeps the plain model; so does a fit told to.
    TVirtualDriver plain;
    plain.R2 = 0;
    plain.Le = 1.5e-3;
    ExpectParameters(FitDriver(DriverCurve(plain, TDriverMounting::FreeAir)), plain, 1e-6);
    const TDriverFit forced =
        FitDriver(DriverCurve(lr2, TDriverMounting::FreeAir), {.SemiInductance = false});
    ASSERT_TRUE(forced.Ok) << forced.Reason;
    EXPECT_EQ(forced.Parameters.Model, TDriverModel::Le);
    EXPECT_GT(forced.Residual, 0.01);

    // A small high-Q driver on a wider band, and a heavily damped one.
    TVirtualDriver tweeter;
    tweeter.Re = 3.2, tweeter.Fs = 900, tweeter.Qms = 12, tweeter.Qes = 1.1;
    tweeter.Le = 0.05e-3, tweeter.R2 = 1, tweeter.L2 = 0.04e-3;
    ExpectParameters(FitDriver(DriverCurve(tweeter, TDriverMounting::FreeAir, 16384, 100, 20000)),
                     tweeter, 1e-6);
    TVirtualDriver damped;
    damped.Qms = 0.8, damped.Qes = 0.7;
    ExpectParameters(FitDriver(DriverCurve(damped, TDriverMounting::FreeAir)), damped, 1e-6);
}

TEST(DriverFitTest, NoiseOfAPartIn1000StaysWithinTheAcceptance) {
    const TVirtualDriver d;
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 1e-3);
    std::vector<TTracePoint> curve = DriverCurve(d, TDriverMounting::FreeAir);
    for (TTracePoint& point : curve) {
        point.Value *= std::complex<double>(1.0 + noise(random), noise(random));
    }
    const TDriverFit fit = FitDriver(curve);
    ASSERT_TRUE(fit.Ok) << fit.Reason;
    EXPECT_LT(Relative(fit.Parameters.Re, d.Re), 0.002);
    EXPECT_LT(Relative(fit.Parameters.Fs, d.Fs), 0.002);
    EXPECT_LT(Relative(fit.Parameters.Qms, d.Qms), 0.01);
    EXPECT_LT(Relative(fit.Parameters.Qes, d.Qes), 0.01);
    EXPECT_LT(Relative(fit.Parameters.Le, d.Le), 0.05);
    EXPECT_NEAR(fit.Residual, 1.4e-3, 0.2e-3);  // the noise itself
}

TEST(DriverFitTest, AddedMassAndKnownVolumeGiveTheMovingParts) {
    const TVirtualDriver d;
    const TDriverFit freeAir = FitDriver(DriverCurve(d, TDriverMounting::FreeAir));
    const TDriverFit mass = FitDriver(DriverCurve(d, TDriverMounting::AddedMass));
    const TDriverFit box = FitDriver(DriverCurve(d, TDriverMounting::ClosedBox));
    const double ws = 2 * std::numbers::pi * d.Fs;
    for (const auto& [method, second, amount] :
         {std::tuple{TDriverMethod::AddedMass, mass, d.AddedMass},
          std::tuple{TDriverMethod::KnownVolume, box, d.BoxVolume}}) {
        const TDriverMechanics m = DriverMechanics(freeAir, second, method, amount, d.Sd);
        ASSERT_TRUE(m.Ok) << m.Reason;
        EXPECT_LT(Relative(m.Mms, d.Mms), 1e-5) << m.Mms;
        EXPECT_LT(Relative(m.Cms, 1 / (ws * ws * d.Mms)), 1e-5) << m.Cms;
        EXPECT_LT(Relative(m.Vas, VirtualDriverVas(d)), 1e-5) << m.Vas;
        EXPECT_LT(Relative(m.Bl, VirtualDriverBl(d)), 1e-5) << m.Bl;
        // The efficiency from its definition: (rho / 2 pi c) Bl² Sd² / (Re Mms²).
        const double eta0 = kAirDensity / (2 * std::numbers::pi * kSpeedOfSound) *
                            std::pow(VirtualDriverBl(d) * d.Sd / d.Mms, 2) / d.Re;
        EXPECT_LT(Relative(m.Eta0, eta0), 1e-5) << m.Eta0;
        EXPECT_NEAR(m.Spl1W, 112.02 + 10 * std::log10(eta0), 0.01);
        EXPECT_NEAR(m.Spl2V83 - m.Spl1W, 10 * std::log10(2.83 * 2.83 / d.Re), 1e-9);
    }
    // The measurements mixed up, or nothing to go on.
    EXPECT_EQ(DriverMechanics(mass, freeAir, TDriverMethod::AddedMass, 0.01, d.Sd).Reason,
              kMassDidNotLowerFs);
    EXPECT_EQ(DriverMechanics(box, freeAir, TDriverMethod::KnownVolume, 0.02, d.Sd).Reason,
              kBoxDidNotRaiseFs);
    EXPECT_EQ(DriverMechanics(freeAir, mass, TDriverMethod::AddedMass, 0.01, 0).Reason,
              kSdNotPositive);
    EXPECT_EQ(DriverMechanics(freeAir, mass, TDriverMethod::AddedMass, -1, d.Sd).Reason,
              kAmountNotPositive);
    EXPECT_EQ(DriverMechanics(freeAir, TDriverFit{}, TDriverMethod::AddedMass, 0.01, d.Sd).Reason,
              kNoSecondFit);
}

TEST(DriverFitTest, CurvesWithoutADriverGiveAReason) {
    const TVirtualDriver d;
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 1e-3);
    const auto resistor = [&](double) { return std::complex<double>(8.0 + noise(random), 0.0); };
    EXPECT_EQ(FitDriver(BinCurve(resistor, 65536)).Reason, kNoResonance);
    const auto coil = [](double f) { return 3.3 + std::complex<double>(0, 2e-3 * 2e3 * f); };
    EXPECT_EQ(FitDriver(BinCurve(coil, 65536)).Reason, kPeakAtEdge);

    // The band cuts the peak on either side.
    EXPECT_EQ(FitDriver(DriverCurve(d, TDriverMounting::FreeAir, 65536, 10, 36)).Reason,
              kPeakAtEdge);
    EXPECT_EQ(FitDriver(DriverCurve(d, TDriverMounting::FreeAir, 65536, 45, 2000)).Reason,
              kPeakAtEdge);

    // A suspension without losses: Qms has no finite value to settle on.
    TVirtualDriver lossless = d;
    lossless.Qms = 1e9;
    EXPECT_EQ(FitDriver(DriverCurve(lossless, TDriverMounting::FreeAir)).Reason, kQmsToInfinity);
    // A bump so broad that no suspension makes it.
    TVirtualDriver broad = d;
    broad.Fs = 200, broad.Qms = 0.05, broad.Qes = 0.02, broad.Le = 0, broad.R2 = 0;
    EXPECT_EQ(FitDriver(DriverCurve(broad, TDriverMounting::FreeAir, 65536, 1, 20000)).Reason,
              kQmsToZero);

    std::vector<TTracePoint> curve = DriverCurve(d, TDriverMounting::FreeAir);
    EXPECT_EQ(FitDriver(std::span(curve).first(10)).Reason, kTooFewPoints);
    curve[100].Value = {std::nan(""), 0};
    EXPECT_EQ(FitDriver(curve).Reason, kInvalidCurve);
    curve[100] = curve[101];
    EXPECT_EQ(FitDriver(curve).Reason, kInvalidCurve);
}

TEST(DriverFitTest, NoiseCurvesNeverGiveNumbersThatAreNot) {
    // Whatever the curve, the fit ends with finite values inside a driver's range, or a reason.
    std::mt19937 random(11);
    std::uniform_real_distribution<double> spread(-1.0, 1.0);
    for (int trial = 0; trial < 40; ++trial) {
        const double scale = std::exp(4 * spread(random));
        const auto curve = BinCurve(
            [&](double) {
                return scale * std::complex<double>(1.0 + 0.9 * spread(random), spread(random));
            },
            4096);
        const TDriverFit fit = FitDriver(curve);
        if (fit.Ok) {
            EXPECT_TRUE(std::isfinite(fit.Parameters.Qms) && std::isfinite(fit.Parameters.Qes) &&
                        std::isfinite(fit.Parameters.Le) && std::isfinite(fit.Residual));
        } else {
            EXPECT_FALSE(fit.Reason.empty());
        }
    }
}

TEST(DriverFitTest, ResultsTextMatchesTheGoldenFile) {
    TDriverResults results;
    results.FreeAir.Ok = true;
    results.FreeAir.Parameters = {TDriverModel::LR2, 6.0012, 40.01, 4.02, 0.4011, 0.5e-3, 3, 1e-3};
    results.FreeAir.Residual = 0.00123;
    results.FreeAir.LowFrequency = 10.01, results.FreeAir.HighFrequency = 2000;
    results.Method = TDriverMethod::AddedMass;
    results.Amount = 0.01;
    results.Sd = 0.022;
    results.Second = results.FreeAir;
    results.Second.Parameters.Fs = 34.65;
    EvaluateMechanics(results);
    std::ifstream golden(TAVRIN_TEST_DATA_DIR "/driver/results.txt", std::ios::binary);
    std::stringstream expected;
    expected << golden.rdbuf();
    EXPECT_EQ(DriverResultsText(results), expected.str());

    results.Second = {};
    results.Second.Reason = kPeakAtEdge;
    EvaluateMechanics(results);
    const std::string text = DriverResultsText(results);
    EXPECT_NE(text.find("Fit'      No fit: the resonance peak lies at the edge of the band\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Mechanics none: no fit of the second measurement\r\n"), std::string::npos)
        << text;
}

}  // namespace
}  // namespace tavrin
