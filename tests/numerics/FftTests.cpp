#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "CpuPathTest.h"
#include "RealFftPlain.h"
#include "uFFT.h"

namespace tavrin {
namespace {

std::vector<float> RandomBlock(int32_t n, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> block(static_cast<size_t>(n));
    for (float& x : block) {
        x = uniform(generator);
    }
    return block;
}

std::vector<float> Tone(int32_t n, int32_t bin, bool sine) {
    std::vector<float> block(static_cast<size_t>(n));
    for (int32_t j = 0; j < n; ++j) {
        const double phase = 2.0 * std::numbers::pi * bin * j / n;
        block[j] = static_cast<float>(sine ? std::sin(phase) : std::cos(phase));
    }
    return block;
}

// Every test runs on each code path this CPU offers.
class RealFft : public testing::CpuPathTest {};

TEST_P(RealFft, SmallCasesOfTheDefinition) {
    std::vector<float> two{3.0f, 1.0f};
    RealFFT(two.data(), 2, true);
    EXPECT_EQ(two, (std::vector<float>{4.0f, 2.0f}));
    RealFFT(two.data(), 2, false);
    EXPECT_EQ(two, (std::vector<float>{3.0f, 1.0f}));

    std::vector<float> cosine = Tone(16, 3, false);
    RealFFT(cosine.data(), 16, true);
    EXPECT_NEAR(cosine[6], 8.0f, 1e-5);
    EXPECT_NEAR(cosine[7], 0.0f, 1e-5);
    // The exponent is positive: a sine reads +i N/2.
    std::vector<float> sine = Tone(16, 3, true);
    RealFFT(sine.data(), 16, true);
    EXPECT_NEAR(sine[6], 0.0f, 1e-5);
    EXPECT_NEAR(sine[7], 8.0f, 1e-5);

    std::vector<float> constant(64, 0.25f);
    RealFFT(constant.data(), 64, true);
    EXPECT_FLOAT_EQ(constant[0], 16.0f);
    for (size_t i = 1; i < constant.size(); ++i) {
        EXPECT_NEAR(constant[i], 0.0f, 1e-6) << i;
    }

    std::vector<float> one{5.0f};
    RealFFT(one.data(), 1, true);
    EXPECT_EQ(one[0], 5.0f);
}

// Against a double-precision DFT of the same float input. The radix-2 transform in float
// with recurrence twiddles has an error that grows about with log2 N; relative to the rms of
// the spectrum it stays below 2e-6 up to 4096 points.
TEST_P(RealFft, MatchesDoublePrecisionDftForEveryPowerOfTwoUpTo4096) {
    for (int32_t n = 2; n <= 4096; n *= 2) {
        const std::vector<float> input = RandomBlock(n, static_cast<unsigned>(n));
        std::vector<float> data = input;
        RealFFT(data.data(), n, true);
        double errorSquares = 0.0, signalSquares = 0.0;
        for (int32_t k = 0; k <= n / 2; ++k) {
            double re = 0.0, im = 0.0;
            for (int32_t j = 0; j < n; ++j) {
                const double phase = 2.0 * std::numbers::pi * (static_cast<int64_t>(j) * k % n) / n;
                re += input[j] * std::cos(phase);
                im += input[j] * std::sin(phase);
            }
            double gotRe, gotIm;
            if (k == 0) {
                gotRe = data[0], gotIm = 0.0;
            } else if (k == n / 2) {
                gotRe = data[1], gotIm = 0.0;
            } else {
                gotRe = data[2 * k], gotIm = data[2 * k + 1];
            }
            errorSquares += (gotRe - re) * (gotRe - re) + (gotIm - im) * (gotIm - im);
            signalSquares += re * re + im * im;
        }
        EXPECT_LT(std::sqrt(errorSquares / signalSquares), 2e-6) << "N = " << n;
    }
}

TEST_P(RealFft, ForwardThenInverseReturnsTheSamples) {
    for (int32_t n = 2; n <= 262144; n *= 2) {
        const std::vector<float> input = RandomBlock(n, 7u + static_cast<unsigned>(n));
        std::vector<float> data = input;
        RealFFT(data.data(), n, true);
        RealFFT(data.data(), n, false);
        double worst = 0.0;
        for (int32_t i = 0; i < n; ++i) {
            worst = std::max(worst, std::fabs(static_cast<double>(data[i]) - input[i]));
        }
        EXPECT_LT(worst, 1e-5) << "N = " << n;
    }
}

// Sparse blocks: exact zeros of both signs, a few impulses and huge and tiny values, so that
// butterflies meet signed zeros and exact cancellations as well as ordinary numbers.
std::vector<float> SparseBlock(int32_t n, unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<float> block(static_cast<size_t>(n), 0.0f);
    for (int32_t j = 0; j < n; ++j) {
        switch (generator() % 8) {
            case 0:
                block[j] = -0.0f;
                break;
            case 1:
                block[j] = 1.0f;
                break;
            case 2:
                block[j] = -1e30f;
                break;
            case 3:
                block[j] = 1e-30f;
                break;
            default:
                break;
        }
    }
    return block;
}

TEST_P(RealFft, GivesExactlyTheNumbersOfTheStraightforwardForm) {
    for (int32_t n = 2; n <= 262144; n *= 2) {
        for (bool forward : {true, false}) {
            for (bool sparse : {false, true}) {
                const unsigned seed = 99u + static_cast<unsigned>(n);
                std::vector<float> fast = sparse ? SparseBlock(n, seed) : RandomBlock(n, seed);
                std::vector<float> plain = fast;
                RealFFT(fast.data(), n, forward);
                testing::RealFFTPlain(plain.data(), n, forward);
                EXPECT_EQ(0, std::memcmp(fast.data(), plain.data(), fast.size() * sizeof(float)))
                    << "N = " << n << (forward ? " forward" : " inverse")
                    << (sparse ? ", sparse" : "");
            }
        }
    }
}

TAVRIN_INSTANTIATE_CPU_PATHS(RealFft);

}  // namespace
}  // namespace tavrin
