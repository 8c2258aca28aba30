// The clock-offset estimate on streams built here: tones played on one clock and sampled on
// another, cut into blocks as the capture cuts them.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "uClockOffset.h"

namespace tavrin {
namespace {

// A periodic stimulus of period `length` on the playback clock, sampled by a capture clock
// `ppm` faster: block j holds capture samples j*length .. (j+1)*length - 1.
class TOffsetStream {
  public:
    TOffsetStream(int32_t length, double ppm, std::vector<int32_t> bins)
        : Length(length), Ratio(1.0 + ppm * 1e-6), Bins(std::move(bins)) {}

    TWaveData Block(int64_t index, int64_t silentFrames = 0) const {
        TWaveData block;
        std::vector<std::complex<double>> left(static_cast<size_t>(Length)), right(left);
        const double amplitude = 0.5 / std::sqrt(static_cast<double>(Bins.size()));
        const int64_t first = index * Length;
        for (const int32_t k : Bins) {
            // The tone's phasor at the block's first sample, then turned sample by sample.
            const double step = 2 * std::numbers::pi * k / Ratio / Length;
            std::complex<double> phasor =
                std::polar(amplitude, step * static_cast<double>(first) + 0.37 * k * k);
            const std::complex<double> turn = std::polar(1.0, step);
            const std::complex<double> otherView = std::polar(0.3, -0.2);
            for (int32_t j = 0; j < Length; ++j) {
                left[static_cast<size_t>(j)] += phasor;
                right[static_cast<size_t>(j)] += phasor * otherView;
                phasor *= turn;
            }
        }
        for (int c = 0; c < 2; ++c) {
            block[c].resize(static_cast<size_t>(Length));
            for (int32_t j = 0; j < Length; ++j) {
                const bool heard = first + j >= silentFrames;
                block[c][static_cast<size_t>(j)] =
                    heard
                        ? static_cast<float>((c == 0 ? left : right)[static_cast<size_t>(j)].real())
                        : 0.0f;
            }
        }
        return block;
    }

  private:
    int32_t Length;
    double Ratio;
    std::vector<int32_t> Bins;
};

std::vector<int32_t> Band(int32_t low, int32_t high) {
    std::vector<int32_t> bins;
    for (int32_t k = low; k <= high; ++k) {
        bins.push_back(k);
    }
    return bins;
}

double Estimate(const TOffsetStream& stream, int blocks) {
    TClockOffsetEstimator estimator;
    for (int j = 0; j < blocks; ++j) {
        estimator.AddBlock(stream.Block(j), 1, 0.0);
    }
    const TClockOffset offset = estimator.Offset();
    EXPECT_TRUE(offset.Known);
    EXPECT_EQ(offset.Pairs, blocks - 1);
    return offset.Ppm;
}

// Off-bin tones leak into each other's bins, by an amount that grows with the offset: what is
// left of it once a compensation has brought the offset near 0 is nothing.
double Tolerance(double ppm) {
    return 0.001 + 1e-3 * std::fabs(ppm);
}

TEST(ClockOffset, AllTonesOfABandGiveTheOffset) {
    for (const double ppm : {-200.0, -50.0, 0.0, 3.7, 200.0}) {
        EXPECT_NEAR(Estimate(TOffsetStream(4096, ppm, Band(9, 1700)), 4), ppm, Tolerance(ppm))
            << ppm;
    }
}

TEST(ClockOffset, ASingleTestToneAndItsHarmonicGiveTheOffset) {
    for (const double ppm : {-200.0, 0.3, 47.0}) {
        EXPECT_NEAR(Estimate(TOffsetStream(4096, ppm, {36, 72}), 3), ppm, Tolerance(ppm)) << ppm;
    }
}

TEST(ClockOffset, TonesFarOffTheirBinsDoNotSpoilIt) {
    // At 200 ppm bin 7000 turns by 1.4 turns per block and lies 1.4 bins off: the low tones
    // carry the estimate.
    std::vector<int32_t> bins;
    for (int32_t k = 9; k <= 7000; k += 7) {
        bins.push_back(k);
    }
    EXPECT_NEAR(Estimate(TOffsetStream(16384, 200.0, bins), 3), 200.0, Tolerance(200));
}

TEST(ClockOffset, OnlySteadyBlocksOfOneRunArePaired) {
    const TOffsetStream stream(4096, 120.0, Band(20, 400));
    TClockOffsetEstimator estimator;
    // The stimulus arrives halfway through the first block: that pair says nothing.
    estimator.AddBlock(stream.Block(0, 2048), 1, 0.0);
    estimator.AddBlock(stream.Block(1), 1, 0.0);
    EXPECT_FALSE(estimator.Offset().Known);
    // A new run (a pause, a new block) breaks the chain: no pair across it.
    estimator.AddBlock(stream.Block(5), 2, 0.0);
    EXPECT_FALSE(estimator.Offset().Known);
    estimator.AddBlock(stream.Block(6), 2, 0.0);
    ASSERT_TRUE(estimator.Offset().Known);
    EXPECT_NEAR(estimator.Offset().Ppm, 120.0, Tolerance(120));
    // Silence holds no tone.
    TWaveData silent;
    silent[0].assign(4096, 0.0f);
    silent[1].assign(4096, 0.0f);
    estimator.AddBlock(silent, 2, 0.0);
    estimator.AddBlock(silent, 2, 0.0);
    EXPECT_EQ(estimator.Offset().Pairs, 1);

    estimator.Reset();
    estimator.AddBlock(stream.Block(7), 2, 0.0);
    EXPECT_FALSE(estimator.Offset().Known);
}

TEST(ClockOffset, TheResamplingInForceAddsToWhatIsLeft) {
    // Blocks already resampled by 100 ppm of a 120 ppm offset show the 20 ppm left over.
    const TOffsetStream stream(4096, 20.0, Band(20, 400));
    TClockOffsetEstimator estimator;
    for (int j = 0; j < 3; ++j) {
        estimator.AddBlock(stream.Block(j), 4, 100.0);
    }
    EXPECT_NEAR(estimator.Offset().Ppm, 120.0, 0.001);
    EXPECT_NEAR(estimator.ResidualPpm(), 20.0, 0.001);
    EXPECT_LT(estimator.ResidualError(), 0.001);
}

TEST(ClockOffset, ToleranceFallsWithTheHighestBinAndTheBlocksAveraged) {
    EXPECT_NEAR(ClockOffsetTolerancePpm(1000, 1), 2 * ClockOffsetTolerancePpm(2000, 1), 1e-12);
    EXPECT_NEAR(ClockOffsetTolerancePpm(1000, 1), 10 * ClockOffsetTolerancePpm(1000, 10), 1e-12);
    EXPECT_EQ(ClockOffsetTolerancePpm(0, 1), 0.0);
}

}  // namespace
}  // namespace tavrin
