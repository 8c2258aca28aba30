// The spot readout: series and parallel forms against the textbook closed forms, the model the
// bench rule picks, and the bin a test frequency reads.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "uSpotReadout.h"

namespace tavrin {
namespace {

constexpr double kPi = std::numbers::pi;

void ExpectRelative(double actual, double expected, double tolerance, const char* what) {
    EXPECT_LE(std::fabs(actual - expected), tolerance * std::fabs(expected))
        << what << ": " << actual << " against " << expected;
}

// Impedances from milliohms to megohms at every angle, both reactance signs.
std::vector<std::complex<double>> Impedances() {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> decade(-3.0, 7.0);
    std::uniform_real_distribution<double> angle(-0.4999 * kPi, 0.4999 * kPi);
    std::vector<std::complex<double>> z;
    for (int i = 0; i < 2000; ++i) {
        z.push_back(std::polar(std::pow(10.0, decade(random)), angle(random)));
    }
    return z;
}

TEST(SpotReadout, SeriesAndParallelEqualTheClosedForms) {
    for (const std::complex<double> z : Impedances()) {
        const double f = 1234.5;
        const double w = 2 * kPi * f;
        const TSpotReadout r = SpotReadout(z, f, TModelChoice::Series);
        const double d = std::fabs(z.real() / z.imag());
        const double q = 1 / d;
        // Rp = Rs (1 + Q^2), Xp = Xs (1 + D^2).
        ExpectRelative(r.Rp, z.real() * (1 + q * q), 1e-12, "Rp");
        ExpectRelative(r.Xp, z.imag() * (1 + d * d), 1e-12, "Xp");
        // Cp = Cs / (1 + D^2), Lp = Ls (1 + 1 / Q^2).
        ExpectRelative(r.Cs, -1 / (w * z.imag()), 1e-12, "Cs");
        ExpectRelative(r.Cp, r.Cs / (1 + d * d), 1e-12, "Cp");
        ExpectRelative(r.Ls, z.imag() / w, 1e-12, "Ls");
        ExpectRelative(r.Lp, r.Ls * (1 + 1 / (q * q)), 1e-12, "Lp");
        ExpectRelative(r.D, d, 1e-12, "D");
        ExpectRelative(r.Q, q, 1e-12, "Q");
        ExpectRelative(r.G, (1.0 / z).real(), 1e-12, "G");
        ExpectRelative(r.B, (1.0 / z).imag(), 1e-12, "B");
        ExpectRelative(r.PhaseDegrees, std::atan2(z.imag(), z.real()) * 180 / kPi, 1e-12, "theta");

        // And back: Rs = Rp / (1 + Qp^2), Xs = Xp Qp^2 / (1 + Qp^2) with Qp = Rp / |Xp|.
        const TEquivalent series = ParallelToSeries({r.Rp, r.Xp});
        const double qp = r.Rp / std::fabs(r.Xp);
        ExpectRelative(series.R, r.Rp / (1 + qp * qp), 1e-12, "Rs back");
        ExpectRelative(series.X, r.Xp * qp * qp / (1 + qp * qp), 1e-12, "Xs back");
        ExpectRelative(series.R, z.real(), 1e-12, "round trip R");
        ExpectRelative(series.X, z.imag(), 1e-12, "round trip X");
    }
}

TEST(SpotReadout, DegenerateCircuitsHaveNoFiniteOtherSide) {
    const double inf = std::numeric_limits<double>::infinity();
    // A pure resistor has no parallel reactance, a pure reactance no parallel resistance.
    EXPECT_EQ(SeriesToParallel({47.0, 0.0}).R, 47.0);
    EXPECT_TRUE(std::isinf(SeriesToParallel({47.0, 0.0}).X));
    EXPECT_EQ(SeriesToParallel({0.0, -10.0}).R, inf);
    EXPECT_EQ(SeriesToParallel({0.0, -10.0}).X, -10.0);
    EXPECT_EQ(SeriesToParallel({0.0, 0.0}).R, 0.0);  // a short stays a short
    EXPECT_EQ(ParallelToSeries({inf, 5.0}).X, 5.0);
    EXPECT_EQ(ParallelToSeries({100.0, inf}).R, 100.0);
    EXPECT_EQ(ParallelToSeries({0.0, 3.0}).X, 0.0);

    const TSpotReadout shorted = SpotReadout({0.0, 0.0}, 1000.0, TModelChoice::Automatic);
    EXPECT_EQ(shorted.Model, TCircuitModel::Series);
    EXPECT_FALSE(std::isnan(shorted.D));
    EXPECT_FALSE(std::isnan(shorted.Cp));
    EXPECT_NE(FormatSpotReadout(shorted).find("|Z|= 0 Ohm"), std::string::npos);
}

TEST(SpotReadout, BenchRuleAndChoice) {
    EXPECT_EQ(BenchRuleModel(0.5), TCircuitModel::Series);
    EXPECT_EQ(BenchRuleModel(99.0), TCircuitModel::Series);
    EXPECT_EQ(BenchRuleModel(999.0), TCircuitModel::Series);
    EXPECT_EQ(BenchRuleModel(1000.0), TCircuitModel::Parallel);
    EXPECT_EQ(BenchRuleModel(20e3), TCircuitModel::Parallel);

    // 4.7 uF at 1 kHz reads 34 ohms: series by the rule; 10 nF reads 16 kOhm: parallel.
    const double w = 2 * kPi * 1000;
    const TSpotReadout big = SpotReadout({0.2, -1 / (w * 4.7e-6)}, 1000, TModelChoice::Automatic);
    EXPECT_EQ(big.Model, TCircuitModel::Series);
    EXPECT_TRUE(big.Automatic);
    const std::complex<double> small = 1.0 / std::complex<double>(1 / 20e3, w * 10e-9);
    const TSpotReadout parallel = SpotReadout(small, 1000, TModelChoice::Automatic);
    EXPECT_EQ(parallel.Model, TCircuitModel::Parallel);
    ExpectRelative(parallel.Cp, 10e-9, 1e-12, "Cp");
    ExpectRelative(parallel.Rp, 20e3, 1e-12, "Rp");
    // The user's choice wins over the rule, and the text says which.
    const TSpotReadout forced = SpotReadout(small, 1000, TModelChoice::Series);
    EXPECT_EQ(forced.Model, TCircuitModel::Series);
    EXPECT_FALSE(forced.Automatic);
    const std::string text = FormatSpotReadout(parallel);
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "1000 Hz parallel (auto)");
    EXPECT_EQ(text.substr(text.find("\r\n") + 2, 24), "Cp= 10 nF  Rp= 20 kOhm\r\n");
    EXPECT_NE(FormatSpotReadout(forced).find("series\r\nCs= "), std::string::npos);

    // An inductor shows Ls and Lp, and a negative capacitance.
    const TSpotReadout coil = SpotReadout({3.3, w * 10e-3}, 1000, TModelChoice::Series);
    EXPECT_TRUE(coil.Inductive());
    EXPECT_LT(coil.Cs, 0.0);
    EXPECT_NE(FormatSpotReadout(coil).find("Ls= 10 mH  Rs= 3.3 Ohm"), std::string::npos);

    EXPECT_EQ(ParseModelChoice("auto"), TModelChoice::Automatic);
    EXPECT_EQ(ParseModelChoice("parallel"), TModelChoice::Parallel);
    EXPECT_EQ(ParseModelChoice("Series"), std::nullopt);
    EXPECT_EQ(ModelChoiceName(TModelChoice::Series), "series");
}

TEST(SpotReadout, ReadsTheBinNearestTheTestFrequency) {
    constexpr int32_t kLength = 4096;
    constexpr uint32_t kRate = 48000;
    std::vector<TComplex> zx(kLength / 2);
    for (int32_t k = 0; k < kLength / 2; ++k) {
        zx[k] = {static_cast<float>(k), -1.0f};
    }
    const TBinRange band{2, 1877};
    // 1 kHz is bin 85.33: bin 85, at 996.09 Hz.
    const TSpotReadout at1k =
        SpotReadoutAt(zx, band, kLength, kRate, 1000.0f, TModelChoice::Series);
    ASSERT_TRUE(at1k.Valid);
    EXPECT_EQ(at1k.Bin, 85);
    EXPECT_DOUBLE_EQ(at1k.Frequency, 85.0 * 48000 / 4096);
    EXPECT_EQ(at1k.Rs, 85.0);
    // Outside the evaluated bins there is no reading, and the text says so.
    const TSpotReadout outside =
        SpotReadoutAt(zx, band, kLength, kRate, 23000.0f, TModelChoice::Series);
    EXPECT_FALSE(outside.Valid);
    EXPECT_EQ(FormatSpotReadout(outside), "Spot: outside the band");

    // A curve fills the band's bins only.
    std::vector<double> curve(kLength / 2, -7.0);
    SpotQuantityCurve(zx, {10, 20}, kLength, kRate, TSpotQuantity::Rs, curve);
    EXPECT_EQ(curve[9], -7.0);
    EXPECT_EQ(curve[10], 10.0);
    EXPECT_EQ(curve[20], 20.0);
    EXPECT_EQ(curve[21], -7.0);
    EXPECT_EQ(SpotQuantityName(TSpotQuantity::Rs), "ESR");
}

}  // namespace
}  // namespace tavrin
