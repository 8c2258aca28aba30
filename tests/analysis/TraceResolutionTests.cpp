// Points per octave: the count over the audio band, the mean within a cell, and the order.

#include <gtest/gtest.h>

#include "TraceTestKit.h"
#include "uTraceCompare.h"
#include "uTraceResolution.h"

namespace tavrin {
namespace {

TEST(TraceResolution, AudioBandGivesTheExpectedCountInAscendingOrder) {
    const TTrace dense = test::DenseSample();
    for (const int32_t ppo : kPointsPerOctaveChoices) {
        SCOPED_TRACE(ppo);
        const TTrace reduced = ReduceToPointsPerOctave(dense, ppo);
        // Cells cut by the band's edges add up to two; at 96 per octave the cells near 20 Hz are
        // narrower than a bin, and a few hold none.
        EXPECT_NEAR(static_cast<double>(reduced.Points.size()), ppo * std::log2(1000.0),
                    ppo == 96 ? 4.0 : 2.0);
        EXPECT_EQ(FirstDisorderedPoint(reduced.Points), std::nullopt);
        EXPECT_EQ(reduced.Info.PointsPerOctave, ppo);
    }
    EXPECT_NEAR(static_cast<double>(ReduceToPointsPerOctave(dense, 48).Points.size()), 478, 1);
}

TEST(TraceResolution, EachPointIsTheComplexMeanOfItsCell) {
    // Around 1 kHz at 12 points per octave the cell is 1000 * 2^(+-1/24): 971.531..1029.302 Hz.
    TTrace trace;
    trace.Points = {{971.5, {100, 0}}, {971.6, {1, 2}},   {1000, {3, -4}},
                    {1029.3, {5, 0}},  {1029.31, {7, 7}}, {5000, {9, 9}}};
    const TTrace reduced = ReduceToPointsPerOctave(trace, 12);
    ASSERT_EQ(reduced.Points.size(), 4u);
    EXPECT_EQ(reduced.Points[0].Frequency, 971.5);  // a lone point stays as it is
    EXPECT_EQ(reduced.Points[0].Value, std::complex<double>(100, 0));
    EXPECT_DOUBLE_EQ(reduced.Points[1].Frequency, (971.6 + 1000 + 1029.3) / 3);
    EXPECT_EQ(reduced.Points[1].Value, std::complex<double>(3, -2.0 / 3));
    EXPECT_EQ(reduced.Points[2].Value, std::complex<double>(7, 7));
    EXPECT_EQ(reduced.Points[3].Frequency, 5000);

    // Every bin, and no positive frequency, are left as they are.
    EXPECT_EQ(ReduceToPointsPerOctave(trace, 0).Points.size(), trace.Points.size());
    TTrace dc;
    dc.Points = {{0, {1, 0}}};
    EXPECT_TRUE(ReduceToPointsPerOctave(dc, 12).Points.empty());
}

TEST(TraceCompare, RatioAndDifferenceAgainstAnInterpolatedReference) {
    TTrace reference;
    reference.Points = {{100, {2, 0}}, {400, {4, 4}}};
    TTrace current;
    current.Kind = TTraceKind::Impedance;
    current.Points = {{50, {1, 1}}, {100, {4, 0}}, {200, {6, 4}}, {400, {4, 4}}, {800, {1, 1}}};

    const TTrace ratio = CompareWithReference(current, reference, TCompareMode::Ratio);
    EXPECT_EQ(ratio.Kind, TTraceKind::Transfer);
    ASSERT_EQ(ratio.Points.size(), 3u);  // outside 100..400 Hz there is nothing to compare with
    EXPECT_EQ(ratio.Points[0].Value, std::complex<double>(2, 0));
    // 200 Hz is half way from 100 to 400 Hz in log frequency: the reference reads 3 + 2j there.
    EXPECT_NEAR(
        std::abs(ratio.Points[1].Value - std::complex<double>(6, 4) / std::complex<double>(3, 2)),
        0, 1e-15);
    EXPECT_EQ(ratio.Points[2].Value, std::complex<double>(1, 0));

    const TTrace difference = CompareWithReference(current, reference, TCompareMode::Difference);
    EXPECT_EQ(difference.Kind, TTraceKind::Impedance);
    ASSERT_EQ(difference.Points.size(), 3u);
    EXPECT_NEAR(std::abs(difference.Points[1].Value - std::complex<double>(3, 2)), 0, 1e-15);

    // A reference value of zero gives no ratio there.
    reference.Points[0].Value = 0;
    EXPECT_EQ(CompareWithReference(current, reference, TCompareMode::Ratio).Points.size(), 2u);
}

}  // namespace
}  // namespace tavrin
