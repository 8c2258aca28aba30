// A session result as a curve: which results give one, which bins, at which frequencies, and the
// transfer function turned to the electrical sign convention.

#include <gtest/gtest.h>

#include "uResultTrace.h"

namespace tavrin {
namespace {

// A block of 16 samples at 48000/s: bin k holds (k, -k).
TMeasurementResult Result(TResultContent content, TWaveData& data, TBinRange bins) {
    for (TChannelData& channel : data) {
        channel.assign(16, 0.0f);
        for (int k = 0; k < 8; ++k) {
            channel[2 * k] = static_cast<float>(k);
            channel[2 * k + 1] = static_cast<float>(-k);
        }
    }
    TMeasurementResult result;
    result.Content = content;
    result.SampleRate = 48000;
    result.BlockLength = 16;
    result.Bins = bins;
    result.Data = &data;
    return result;
}

TEST(ResultTrace, MeasuringResultsGiveTheirBinsInTheElectricalConvention) {
    TWaveData data;
    const std::optional<TTrace> z =
        TraceOfResult(Result(TResultContent::ImpedanceAndModel, data, {2, 4}));
    ASSERT_TRUE(z);
    EXPECT_EQ(z->Kind, TTraceKind::Impedance);
    ASSERT_EQ(z->Points.size(), 3u);
    EXPECT_EQ(z->Points[0].Frequency, 6000);
    EXPECT_EQ(z->Points[0].Value, std::complex<double>(2, -2));
    EXPECT_EQ(z->Info.SampleRate, 48000u);
    EXPECT_EQ(z->Info.BlockLength, 16);

    // The transform's sign is undone: a lagging transfer function has a negative phase.
    const std::optional<TTrace> h = TraceOfResult(Result(TResultContent::Transfer, data, {0, 99}));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Kind, TTraceKind::Transfer);
    ASSERT_EQ(h->Points.size(), 7u);  // slot 0 is no bin; nothing beyond the last
    EXPECT_EQ(h->Points.front().Frequency, 3000);
    EXPECT_EQ(h->Points.back().Value, std::complex<double>(7, 7));
}

TEST(ResultTrace, CalibrationRunsAndEmptyBandsGiveNone) {
    TWaveData data;
    EXPECT_FALSE(TraceOfResult(Result(TResultContent::LevelSpectra, data, {1, 7})));
    EXPECT_FALSE(TraceOfResult(Result(TResultContent::CalibrationRatio, data, {1, 7})));
    EXPECT_FALSE(TraceOfResult(Result(TResultContent::Impedance, data, {5, 4})));
    TWaveData empty;
    TMeasurementResult none = Result(TResultContent::Impedance, data, {1, 7});
    none.Data = &empty;
    EXPECT_FALSE(TraceOfResult(none));
}

}  // namespace
}  // namespace tavrin
