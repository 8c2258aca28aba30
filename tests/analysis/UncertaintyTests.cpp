// The uncertainty of a reading: running statistics, the spread of a fit over its bins, the
// reading made of successive results, and the readout's digits. Checked on spectra of known
// components with noise of known size, over many seeds, where the k = 2 interval must hold the
// true value about 95 times in 100.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "uUncertainty.h"

namespace tavrin {
namespace {

constexpr int32_t kSlots = 2048;
constexpr TBinRange kRange{9, 1700};  // about 100 Hz .. 20 kHz at 48000 samples/s, N 4096
constexpr double kRref = 100;

float Step() {
    return AngularStep(48000, 2 * kSlots);
}

// Zx per bin of a series R + L or C, and noise as a calibrated ratio carries it: relative to
// |Zx + Zref| (the ratio's size), `relative` standard deviation per bin, in both parts.
std::vector<TComplex> Measured(double r, double l, double c, double relative, std::mt19937& random,
                               const std::vector<std::complex<double>>* bias = nullptr) {
    std::normal_distribution<double> noise(0.0, relative / std::sqrt(2.0));
    std::vector<TComplex> zx(kSlots);
    for (int32_t k = kRange.Lo; k <= kRange.Hi; ++k) {
        const double w = k * static_cast<double>(Step());
        std::complex<double> z(r, w * l - (c > 0 ? 1.0 / (w * c) : 0.0));
        const double size = std::abs(z + kRref);
        z += size * std::complex<double>(noise(random), noise(random));
        if (bias) {
            z += size * (*bias)[static_cast<size_t>(k)];
        }
        zx[static_cast<size_t>(k)] = {static_cast<float>(z.real()), static_cast<float>(z.imag())};
    }
    return zx;
}

TFitReading ReadingOf(const std::vector<std::vector<TComplex>>& results) {
    TFitStatistics statistics;
    for (const std::vector<TComplex>& zx : results) {
        statistics.Add(zx, kRange, Step());
    }
    return statistics.Reading();
}

TEST(Uncertainty, RunningStatisticsOfValuesAndOfBins) {
    TRunningStats stats;
    EXPECT_EQ(stats.Variance(), 0.0);
    for (const double x : {2.0, 4.0, 4.0, 4.0, 5.0, 5.0, 7.0, 9.0}) {
        stats.Add(x);
    }
    EXPECT_EQ(stats.Count(), 8);
    EXPECT_DOUBLE_EQ(stats.Mean(), 5.0);
    EXPECT_DOUBLE_EQ(stats.Variance(), 32.0 / 7.0);

    TBinStatistics bins;
    std::vector<TComplex> zx(8, ComplexZero);
    zx[3] = {1, 2};
    bins.Add(zx, {2, 5});
    zx[3] = {3, -2};
    bins.Add(zx, {2, 5});
    EXPECT_EQ(bins.Count(), 2);
    EXPECT_EQ(bins.Mean(3), (TComplex{2, 0}));
    EXPECT_DOUBLE_EQ(bins.Variance(3), 2.0 + 8.0);
    EXPECT_EQ(bins.Variance(2), 0.0);
    bins.Add(zx, {2, 9});  // another range, and one beyond the spectrum: a new start
    EXPECT_EQ(bins.Count(), 1);
    EXPECT_EQ(bins.Range().Hi, 7);
    EXPECT_EQ(bins.Mean(3), (TComplex{3, -2}));
}

TEST(Uncertainty, DigitsStopWhereTheUncertaintyDoes) {
    EXPECT_EQ(FormatWithUncertainty(4.70003e-6, 4e-10, "F"),
              "4.7000 \xC2\xB5"
              "F \xC2\xB1 0.0004");
    EXPECT_EQ(FormatWithUncertainty(47.01234, 0.013, "Ohm"), "47.012 Ohm \xC2\xB1 0.013");
    EXPECT_EQ(FormatWithUncertainty(47.3, 30, "Ohm"), "50 Ohm \xC2\xB1 30");
    EXPECT_EQ(FormatWithUncertainty(0.2013, 0.0096, "Ohm"), "201 mOhm \xC2\xB1 10");
    // A value below its uncertainty is written on the uncertainty's scale, and no "-0".
    EXPECT_EQ(FormatWithUncertainty(0.0, 0.004, "Ohm"), "0 mOhm \xC2\xB1 4");
    EXPECT_EQ(FormatWithUncertainty(-0.00001, 0.004, "Ohm"), "0 mOhm \xC2\xB1 4");
    // Nothing to say about the uncertainty: the plain readout number.
    EXPECT_EQ(FormatWithUncertainty(0.001234, 0, "H"), "1.234 mH");
    // Never more digits than the data can carry, however small the uncertainty.
    EXPECT_EQ(FormatWithUncertainty(100.0, 1e-12, "Ohm"), "100.000000 Ohm \xC2\xB1 0.000001");
}

TEST(Uncertainty, TheIntervalOfOneResultHoldsTheTrueValue) {
    // A single result: its uncertainty comes from the scatter of its own bins.
    int coveredC = 0, coveredR = 0;
    constexpr int kSeeds = 200;
    std::vector<double> capacitances;
    for (int seed = 0; seed < kSeeds; ++seed) {
        std::mt19937 random(static_cast<uint32_t>(seed));
        const TFitReading reading = ReadingOf({Measured(0.2, 0, 4.7e-6, 1e-4, random)});
        ASSERT_TRUE(reading.UncertaintyKnown);
        ASSERT_TRUE(reading.ReactanceSupported);
        coveredC += std::fabs(reading.Fit.Capacitance - 4.7e-6) <= reading.ReactanceU;
        coveredR += std::fabs(reading.Fit.Resistance - 0.2) <= reading.ResistanceU;
        capacitances.push_back(reading.Fit.Capacitance);
    }
    EXPECT_GE(coveredC, 180);
    EXPECT_LE(coveredC, 198);  // not an interval so wide that it says nothing
    EXPECT_GE(coveredR, 180);
    EXPECT_LE(coveredR, 198);
}

TEST(Uncertainty, SuccessiveResultsNarrowTheIntervalDownToWhatTheyShare) {
    // Ten results with their own noise on one shared error per bin (a calibration's noise):
    // the mean does not average the shared part away, and neither may the interval.
    int covered = 0, coveredShared = 0;
    double narrowing = 0;
    constexpr int kSeeds = 100;
    for (int seed = 0; seed < kSeeds; ++seed) {
        std::mt19937 random(static_cast<uint32_t>(1000 + seed));
        std::normal_distribution<double> noise(0.0, 0.7e-4 / std::sqrt(2.0));
        std::vector<std::complex<double>> shared(kSlots);
        for (auto& b : shared) {
            b = {noise(random), noise(random)};
        }
        std::vector<std::vector<TComplex>> results;
        for (int i = 0; i < 10; ++i) {
            results.push_back(Measured(0.2, 0, 4.7e-6, 1e-4, random, &shared));
        }
        const TFitReading ten = ReadingOf(results);
        const TFitReading one = ReadingOf({results[0]});
        ASSERT_EQ(ten.Results, 10);
        coveredShared += std::fabs(ten.Fit.Capacitance - 4.7e-6) <= ten.ReactanceU;
        narrowing += ten.ReactanceU / one.ReactanceU / kSeeds;

        std::vector<std::vector<TComplex>> independent;
        for (int i = 0; i < 10; ++i) {
            independent.push_back(Measured(0.2, 0, 4.7e-6, 1e-4, random));
        }
        const TFitReading mean = ReadingOf(independent);
        covered += std::fabs(mean.Fit.Capacitance - 4.7e-6) <= mean.ReactanceU;
    }
    EXPECT_GE(covered, 88);
    EXPECT_GE(coveredShared, 88);
    // sqrt((1/10 * 1 + 0.49) / 1.49): the shared half of the variance stays.
    EXPECT_NEAR(narrowing, std::sqrt((0.1 + 0.49) / 1.49), 0.1);
}

TEST(Uncertainty, AResistorShowsNoReactanceFittedToItsNoise) {
    int unsupported = 0;
    for (int seed = 0; seed < 100; ++seed) {
        std::mt19937 random(static_cast<uint32_t>(seed));
        const TFitReading reading = ReadingOf({Measured(47, 0, 0, 1e-4, random)});
        const std::string text = FormatFitReading(reading);
        if (!reading.ReactanceSupported) {
            ++unsupported;
            EXPECT_EQ(text.substr(0, 8), "Cx= ??\r\n");
            EXPECT_EQ(text.substr(text.size() - 8), "\r\ntg= ??");
        }
    }
    EXPECT_GE(unsupported, 90);
    std::mt19937 random(3);
    EXPECT_EQ(FormatFitReading(ReadingOf({Measured(47, 0, 0, 1e-4, random)})),
              "Cx= ??\r\nR= 47.0004 Ohm \xC2\xB1 0.0005\r\ntg= ??");
}

TEST(Uncertainty, ReadoutOfAnInductorAndOfTooFewBins) {
    std::mt19937 random(11);
    const std::vector<TComplex> zx = Measured(3.3, 10e-3, 0, 1e-4, random);
    TFitStatistics statistics;
    statistics.Add(zx, kRange, Step());
    const std::string text = FormatFitReading(statistics.Reading());
    EXPECT_EQ(text.substr(0, 8), "Lx= 10.0") << text;
    EXPECT_NE(text.find(" mH \xC2\xB1 0.00"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nR= 3.29"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\ntg= "), std::string::npos) << text;

    // Two bins give no scatter: the plain readout.
    const TBinRange two{100, 101};
    TFitStatistics few;
    few.Add(zx, two, Step());
    EXPECT_FALSE(few.Reading().UncertaintyKnown);
    EXPECT_EQ(FormatFitReading(few.Reading()), FormatSeriesFit(FitSeries(zx, two, Step())));
}

TEST(Uncertainty, AnotherComponentStartsANewReading) {
    std::mt19937 random(21);
    TFitStatistics statistics;
    const auto add = [&](double c) {
        return statistics.Add(Measured(0.2, 0, c, 1e-4, random), kRange, Step());
    };
    EXPECT_TRUE(add(4.7e-6));
    EXPECT_FALSE(add(4.7e-6));
    EXPECT_FALSE(add(4.7e-6));
    EXPECT_EQ(statistics.Count(), 3);
    EXPECT_TRUE(add(1e-6));
    EXPECT_EQ(statistics.Count(), 1);
    EXPECT_NEAR(statistics.Reading().Fit.Capacitance, 1e-6, 1e-9);
    EXPECT_TRUE(statistics.Add(Measured(3.3, 10e-3, 0, 1e-4, random), kRange, Step()));
    EXPECT_TRUE(statistics.Reading().Fit.Inductive);
}

}  // namespace
}  // namespace tavrin
