// The circuits fitted over the band recover known parts, with and without noise, and the best
// supported one is the circuit that made the data.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "uBandModels.h"

namespace tavrin {
namespace {

constexpr int32_t kLength = 8192;
constexpr uint32_t kRate = 96000;
const TBinRange kBand{2, 1877};  // about 23 Hz to 22 kHz

using TCircuit = std::function<std::complex<double>(double w)>;

// Zx of the circuit on every bin of the band, with relative complex noise of `noise` rms.
std::vector<TComplex> Spectrum(const TCircuit& circuit, double noise, uint32_t seed = 3) {
    const float step = AngularStep(kRate, kLength);
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss(0.0, noise / std::sqrt(2.0));
    std::vector<TComplex> zx(kLength / 2);
    for (int32_t k = kBand.Lo; k <= kBand.Hi; ++k) {
        std::complex<double> z = circuit(static_cast<float>(k) * step);
        z *= std::complex<double>(1.0 + gauss(random), gauss(random));
        zx[k] = {static_cast<float>(z.real()), static_cast<float>(z.imag())};
    }
    return zx;
}

TBandModels Fit(const std::vector<TComplex>& zx) {
    return FitBandModels(zx, kBand, AngularStep(kRate, kLength));
}

std::complex<double> SeriesRlc(double r, double l, double c, double w) {
    return {r, w * l - 1 / (w * c)};
}
std::complex<double> Parallel(double r, double l, double c, double w) {
    return 1.0 / std::complex<double>(1 / r, w * c - 1 / (w * l));
}

TEST(BandModels, EachCircuitIsRecoveredAndBestSupported) {
    const double inf = std::numeric_limits<double>::infinity();
    // A capacitor with ESR and ESL, its self-resonance above the band.
    const TBandModels esl =
        Fit(Spectrum([](double w) { return SeriesRlc(0.02, 5e-9, 100e-9, w); }, 0));
    const TBandModelFit& series = esl.Fits[0];
    EXPECT_NEAR(series.Resistance / 0.02, 1, 1e-3);
    EXPECT_NEAR(series.Inductance / 5e-9, 1, 5e-3);
    EXPECT_NEAR(series.Capacitance / 100e-9, 1, 1e-6);
    EXPECT_NEAR(series.SelfResonance / 7.1176254e6, 1, 3e-3);
    EXPECT_EQ(BandModelName(*esl.BestFit()), "series R-L-C");
    EXPECT_LT(series.Residual, 1e-5);

    // R || C and R || L.
    const TBandModels rc =
        Fit(Spectrum([&](double w) { return Parallel(20e3, inf, 10e-9, w); }, 1e-4));
    ASSERT_EQ(rc.Best, 1);
    EXPECT_EQ(BandModelName(*rc.BestFit()), "R \xE2\x88\xA5 C");
    EXPECT_NEAR(rc.Fits[1].Resistance / 20e3, 1, 1e-3);
    EXPECT_NEAR(rc.Fits[1].Capacitance / 10e-9, 1, 1e-4);
    EXPECT_NEAR(rc.Fits[1].Residual, 1e-4, 1e-5);  // the noise, and nothing more
    const TBandModels rl =
        Fit(Spectrum([&](double w) { return Parallel(500, 10e-3, 0, w); }, 1e-4));
    ASSERT_EQ(rl.Best, 2);
    EXPECT_NEAR(rl.Fits[2].Resistance / 500, 1, 1e-3);
    EXPECT_NEAR(rl.Fits[2].Inductance / 10e-3, 1, 1e-4);

    // A series R + L: the fit leaves the capacitance out rather than making it negative.
    const TBandModels coil =
        Fit(Spectrum([](double w) { return std::complex<double>(3.3, w * 10e-3); }, 1e-4));
    ASSERT_EQ(coil.Best, 0);
    EXPECT_EQ(BandModelName(coil.Fits[0]), "series R-L");
    EXPECT_TRUE(std::isinf(coil.Fits[0].Capacitance));
    EXPECT_NEAR(coil.Fits[0].Inductance / 10e-3, 1, 1e-4);
    EXPECT_NEAR(coil.Fits[0].Resistance / 3.3, 1, 1e-3);
    EXPECT_EQ(coil.Fits[0].Parameters, 2);
    EXPECT_EQ(coil.Fits[0].SelfResonance, 0.0);

    // The model's own curve is what it fitted.
    const double w = 2 * std::numbers::pi * 1000;
    EXPECT_NEAR(std::abs(rc.Fits[1].ImpedanceAt(w) - Parallel(20e3, inf, 10e-9, w)), 0,
                2e-4 * std::abs(Parallel(20e3, inf, 10e-9, w)));
}

TEST(BandModels, PlainResistorNeedsNoReactance) {
    const TBandModels r = Fit(Spectrum([](double) { return std::complex<double>(1000, 0); }, 1e-4));
    const TBandModelFit* best = r.BestFit();
    ASSERT_NE(best, nullptr);
    EXPECT_NEAR(best->Resistance / 1000, 1, 1e-5);
    // Noise may leave a trace of reactance, never a large one.
    EXPECT_LE(best->Parameters, 2);
    EXPECT_LT(std::abs(best->ImpedanceAt(1e5) / 1000.0 - 1.0), 1e-3);
}

TEST(BandModels, TooFewBinsOrNoDataGiveNoModel) {
    std::vector<TComplex> zx(kLength / 2, ComplexZero);
    const float step = AngularStep(kRate, kLength);
    EXPECT_EQ(FitBandModels(zx, kBand, step).BestFit(), nullptr);
    EXPECT_EQ(FormatBandModels(FitBandModels(zx, kBand, step)), "Model: ??");
    zx[100] = {10, -5};
    EXPECT_EQ(FitBandModels(zx, {100, 100}, step).BestFit(), nullptr);
    EXPECT_EQ(FitBandModels(zx, {500, 100}, step).Bins, 0);
    zx[101] = {std::numeric_limits<float>::quiet_NaN(), 1};
    zx[102] = {10, -4.9f};
    const TBandModels two = FitBandModels(zx, {100, 102}, step);
    EXPECT_EQ(two.Bins, 2);  // the NaN bin is left out
    ASSERT_NE(two.BestFit(), nullptr);
    EXPECT_TRUE(std::isfinite(two.BestFit()->Residual));
}

// A bin left out must leave the fit as its neighbours alone make it, wherever it falls: beside
// the band, or within it where it splits the bins that are summed two at a time.
TEST(BandModels, BinsLeftOutChangeNothingElse) {
    const std::vector<TComplex> clean =
        Spectrum([](double w) { return SeriesRlc(0.02, 5e-9, 100e-9, w); }, 1e-4);
    const float step = AngularStep(kRate, kLength);
    const TBandModels reference = FitBandModels(clean, kBand, step);
    const auto expectSame = [&](const TBandModels& fit, int32_t bins, const char* what) {
        EXPECT_EQ(fit.Bins, bins) << what;
        EXPECT_EQ(fit.Best, reference.Best) << what;
        for (int i = 0; i < kBandModelCount; ++i) {
            const TBandModelFit& a = fit.Fits[i];
            const TBandModelFit& b = reference.Fits[i];
            for (const auto& [x, y] :
                 {std::pair{a.Resistance, b.Resistance}, std::pair{a.Inductance, b.Inductance},
                  std::pair{a.Capacitance, b.Capacitance}, std::pair{a.Residual, b.Residual}}) {
                if (std::isfinite(y)) {
                    EXPECT_NEAR(x, y, 1e-9 * std::abs(y)) << what << ", model " << i;
                } else {
                    EXPECT_EQ(x, y) << what << ", model " << i;
                }
            }
        }
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const TComplex& unused : {TComplex{nan, 1}, TComplex{0, 0}, TComplex{1, -inf}}) {
        std::vector<TComplex> zx = clean;
        zx[kBand.Lo - 1] = unused;
        zx[kBand.Hi + 1] = unused;
        expectSame(FitBandModels(zx, {kBand.Lo - 1, kBand.Hi}, step), 1876, "first");
        expectSame(FitBandModels(zx, {kBand.Lo, kBand.Hi + 1}, step), 1876, "last");
        expectSame(FitBandModels(zx, {kBand.Lo - 1, kBand.Hi + 1}, step), 1876, "both");
    }
    // Within the band: the same fit with the bin as NaN, zero or infinite.
    std::vector<TComplex> zx = clean;
    zx[kBand.Lo + 101] = {nan, 0};
    const TBandModels inside = FitBandModels(zx, kBand, step);
    EXPECT_EQ(inside.Bins, 1875);
    zx[kBand.Lo + 101] = {inf, inf};
    EXPECT_EQ(FitBandModels(zx, kBand, step).Fits[0].Capacitance, inside.Fits[0].Capacitance);
    EXPECT_NEAR(inside.Fits[0].Capacitance / reference.Fits[0].Capacitance, 1, 1e-5);
}

TEST(BandModels, TextNamesTheModelAndItsParts) {
    const TBandModels esl =
        Fit(Spectrum([](double w) { return SeriesRlc(0.02, 5e-9, 100e-9, w); }, 0));
    const std::string text = FormatBandModels(esl);
    EXPECT_EQ(text.substr(0, text.find(',')), "Model: series R-L-C");
    EXPECT_NE(text.find("\r\nRs= 20 mOhm  L= 5"), std::string::npos) << text;
    EXPECT_NE(text.find("C= 100 nF  f0= 7.1"), std::string::npos) << text;
}

}  // namespace
}  // namespace tavrin
