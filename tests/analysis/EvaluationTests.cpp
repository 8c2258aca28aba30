// The evaluation functions against the plain one-loop form, byte for byte, on spectra that
// exercise every branch: noise, both reactance signs, both branches of the complex division,
// exact zeros, swapped inputs, a reference arm with and without C in, empty and one-bin ranges
// and ranges that end inside a group of four bins; on every code path the CPU offers.

#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "CpuPathTest.h"
#include "EvaluationPlain.h"
#include "uEvaluation.h"

namespace tavrin {
namespace {

struct TSpectra {
    std::vector<TComplex> Left, Right;
};

// Spectra of a series R + X(w) behind a reference arm, with noise and some exact zeros. The
// reference turns through every quadrant, so the division takes both of its branches.
TSpectra MakeSpectra(int32_t slots, double reactanceSign, uint32_t seed) {
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 1e-3f);
    TSpectra s{std::vector<TComplex>(slots), std::vector<TComplex>(slots)};
    for (int32_t k = 0; k < slots; ++k) {
        const std::complex<float> reference = std::polar(0.5f, 0.37f * static_cast<float>(k)) +
                                              std::complex<float>(noise(random), noise(random));
        const std::complex<float> ratio(
            1.0f + noise(random), static_cast<float>(reactanceSign * 1e-3 * k) + noise(random));
        const std::complex<float> driving = reference * ratio;
        s.Right[k] = {reference.real(), reference.imag()};
        s.Left[k] = {driving.real(), driving.imag()};
        if (k % 97 == 13) {
            s.Right[k] = ComplexZero;  // a division by zero gives zero
        }
        if (k % 83 == 5) {
            s.Left[k] = ComplexZero;  // and so does a division of zero
        }
        if (k % 89 == 7) {
            s.Right[k] = {0.5f, 0.0f};
            s.Left[k] = s.Right[k];  // Zx exactly zero without C in: no reactance
        }
    }
    return s;
}

bool SameBytes(const std::vector<TComplex>& a, const std::vector<TComplex>& b) {
    return a.size() == b.size() &&
           std::memcmp(a.data(), b.data(), a.size() * sizeof(TComplex)) == 0;
}

class EvaluationPaths : public testing::CpuPathTest {};

TEST_P(EvaluationPaths, EqualsThePlainFormByteForByte) {
    constexpr int32_t kSlots = 2048;
    const float wstep = AngularStep(48000, 2 * kSlots);
    const TBinRange ranges[] = {{1, kSlots - 1}, {85, 1800}, {2, 1030},
                                {300, 300},      {7, 9},     {500, 100}};
    for (const double sign : {-1.0, 1.0, 0.0}) {
        for (const TReferenceArm arm :
             {TReferenceArm{100, 0}, TReferenceArm{100, 100e-12f}, TReferenceArm{1e5f, 3.3e-10f}}) {
            for (const TBinRange range : ranges) {
                for (const bool swap : {false, true}) {
                    const TSpectra in = MakeSpectra(kSlots, sign, 7);
                    TSpectra plain = in, fast = in;
                    const testing::TPlainFit expected = testing::ImpedancePlain(
                        (swap ? plain.Right : plain.Left).data(),
                        (swap ? plain.Left : plain.Right).data(), plain.Left.data(),
                        plain.Right.data(), range.Lo, range.Hi, wstep, arm.Rref, arm.Cin, true);

                    // Zx also with the arm's impedance computed beforehand, as the analyser
                    // keeps it from result to result.
                    TSpectra kept = in;
                    std::vector<TComplex> armImpedance(kSlots);
                    ReferenceArmImpedance(armImpedance, range, wstep, arm);
                    ComputeZx(swap ? kept.Right : kept.Left, swap ? kept.Left : kept.Right,
                              kept.Left, range, armImpedance);

                    ComputeZx(swap ? fast.Right : fast.Left, swap ? fast.Left : fast.Right,
                              fast.Left, range, wstep, arm);
                    const TSeriesFit fit = FitSeries(fast.Left, range, wstep);
                    SeriesModel(fit, fast.Right, range, wstep);

                    SCOPED_TRACE(::testing::Message()
                                 << "sign " << sign << " rref " << arm.Rref << " range " << range.Lo
                                 << ".." << range.Hi << " swap " << swap);
                    EXPECT_TRUE(SameBytes(plain.Left, kept.Left));
                    EXPECT_TRUE(SameBytes(plain.Left, fast.Left));
                    EXPECT_TRUE(SameBytes(plain.Right, fast.Right));
                    EXPECT_EQ(fit.Inductive, expected.Inductive);
                    EXPECT_EQ(fit.ReactanceKnown, expected.ReactanceKnown);
                    EXPECT_EQ(fit.LossTangentKnown, expected.TgKnown);
                    EXPECT_EQ(std::memcmp(&fit.Resistance, &expected.R, sizeof(float)), 0);
                    EXPECT_EQ(std::memcmp(&fit.LossTangent, &expected.Tg, sizeof(float)), 0);
                    EXPECT_EQ(std::memcmp(&fit.Inductance, &expected.L, sizeof(float)), 0);
                    EXPECT_EQ(std::memcmp(&fit.Capacitance, &expected.C, sizeof(float)), 0);
                }
            }
        }
    }
}

TEST_P(EvaluationPaths, RatioIsTheComplexDivisionOfEveryBin) {
    constexpr int32_t kSlots = 1031;
    const TSpectra in = MakeSpectra(kSlots, 1.0, 3);
    for (const TBinRange range : {TBinRange{1, kSlots - 1}, TBinRange{4, 6}, TBinRange{9, 8}}) {
        std::vector<TComplex> expected = in.Left;
        for (int32_t k = range.Lo; k <= range.Hi; ++k) {
            expected[k] = ComplexDiv(in.Right[k], in.Left[k]);
        }
        std::vector<TComplex> out = in.Left;
        ComputeRatio(in.Right, out, out, range);
        EXPECT_TRUE(SameBytes(expected, out)) << range.Lo << ".." << range.Hi;
    }
}

TAVRIN_INSTANTIATE_CPU_PATHS(EvaluationPaths);

TEST(Evaluation, ReadoutNamesTheFitOrItsAbsence) {
    TSeriesFit fit;
    fit.Inductive = true;
    fit.ReactanceKnown = true;
    fit.Inductance = 0.001234f;
    fit.Resistance = 12.5f;
    fit.LossTangentKnown = true;
    fit.LossTangent = 0.025f;
    EXPECT_EQ(FormatSeriesFit(fit), "Lx= 1.234 mH\r\nR= 12.5 Ohm\r\ntg= 2.5E-02");
    EXPECT_EQ(FormatSeriesFit(TSeriesFit{}), "Cx= ??\r\nR= 0 Ohm\r\ntg= ??");
}

TEST(Evaluation, BandBinsStayInsideTheSpectrum) {
    const TBinRange range = BandBins(4096, 48000, 20, 30000, 2048);
    EXPECT_EQ(range.Lo, 2);  // 1.7 rounds to 2
    EXPECT_EQ(range.Hi, 2047);
    const TBinRange shorter = BandBins(4096, 48000, 20, 22000, 1024);
    EXPECT_EQ(shorter.Hi, 1023);
    const TBinRange none = BandBins(2, 48000, 24000, 24000, 1);
    EXPECT_LT(none.Hi, none.Lo);
}

}  // namespace
}  // namespace tavrin
