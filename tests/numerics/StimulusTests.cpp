#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "uFFT.h"
#include "uStimulus.h"

namespace tavrin {
namespace {

TEST(FrequencyToBin, RoundsHalvesToEvenAndClampsToTheUsableBins) {
    EXPECT_EQ(FrequencyToBin(4096, 1000.0f, 48000), 85);
    EXPECT_EQ(FrequencyToBin(4096, 0.0f, 48000), 1);
    EXPECT_EQ(FrequencyToBin(4096, -5.0f, 48000), 1);
    EXPECT_EQ(FrequencyToBin(4096, 30000.0f, 48000), 2047);
    EXPECT_EQ(FrequencyToBin(4096, 24000.0f, 48000), 2047);  // Nyquist is never returned
    EXPECT_EQ(FrequencyToBin(4096, 29.296875f, 48000), 2);   // exactly 2.5
    EXPECT_EQ(FrequencyToBin(4096, 41.015625f, 48000), 4);   // exactly 3.5
    EXPECT_EQ(FrequencyToBin(262144, 1.0f, 192000), 1);
}

struct TSpectrum {
    std::vector<float> Data;
    float Modulus(int32_t k) const { return std::hypot(Data[2 * k], Data[2 * k + 1]); }
};

TSpectrum SpectrumOf(std::vector<float> period) {
    RealFFT(period.data(), static_cast<int32_t>(period.size()), true);
    return {period};
}

std::vector<float> Generate(int32_t n, int32_t start, int32_t stop, double amplitude) {
    std::vector<float> values(static_cast<size_t>(n), 123.0f);
    EXPECT_TRUE(GenerateStimulus(values.data(), n, start, stop, amplitude));
    return values;
}

void ExpectExtremes(const std::vector<float>& values, double amplitude) {
    const auto [min, max] = std::minmax_element(values.begin(), values.end());
    EXPECT_NEAR(*max, 0.9995 * amplitude, 1e-6 * amplitude);
    EXPECT_NEAR(*min, -0.9995 * amplitude, 1e-6 * amplitude);
}

// Equal modulus on every bin of the band, nothing elsewhere but the DC term of the centring.
void ExpectFlatBand(const std::vector<float>& values, int32_t start, int32_t stop) {
    const int32_t n = static_cast<int32_t>(values.size());
    const TSpectrum spectrum = SpectrumOf(values);
    const float level = spectrum.Modulus(start);
    ASSERT_GT(level, 0.0f);
    for (int32_t k = 1; k < n / 2; ++k) {
        if (k >= start && k <= stop) {
            EXPECT_NEAR(spectrum.Modulus(k) / level, 1.0, 1e-4) << "bin " << k;
        } else {
            EXPECT_LT(spectrum.Modulus(k) / level, 1e-4) << "bin " << k;
        }
    }
    EXPECT_LT(std::fabs(spectrum.Data[1]) / level, 1e-4);  // Nyquist
}

TEST(GenerateStimulus, SingleTonesAreCosinesFromTheTableAndSinesFromTheSweep) {
    const std::vector<float> cosine = Generate(1024, 5, 5, 0.5);
    EXPECT_NEAR(cosine[0], 0.9995 * 0.5, 1e-6);
    ExpectExtremes(cosine, 0.5);
    ExpectFlatBand(cosine, 5, 5);

    const std::vector<float> sine = Generate(1024, 40, 40, 1.0);
    ExpectExtremes(sine, 1.0);
    ExpectFlatBand(sine, 40, 40);
    const TSpectrum spectrum = SpectrumOf(sine);
    EXPECT_LT(std::fabs(spectrum.Data[80]) / spectrum.Modulus(40), 1e-4);  // no cosine part
}

TEST(GenerateStimulus, SignTableGivesTheSignsOfItsBits) {
    EXPECT_EQ(SignTable[1][3], 0x0003u);
    const TSpectrum spectrum = SpectrumOf(Generate(256, 1, 3, 1.0));
    EXPECT_LT(spectrum.Data[2], 0.0f);  // bin 1: -1
    EXPECT_LT(spectrum.Data[4], 0.0f);  // bin 2: -1
    EXPECT_GT(spectrum.Data[6], 0.0f);  // bin 3: +1
    for (int32_t start = 1; start <= 16; ++start) {
        for (int32_t stop = start; stop <= 16; ++stop) {
            SCOPED_TRACE(testing::Message() << start << ".." << stop);
            const std::vector<float> values = Generate(64, start, stop, 0.8);
            ExpectExtremes(values, 0.8);
            ExpectFlatBand(values, start, stop);
        }
    }
}

TEST(GenerateStimulus, SweepHasAFlatBandAndExactExtremes) {
    for (int32_t n : {4096, 65536}) {
        const std::vector<float> values = Generate(n, 20, 100, 1.0);
        ExpectExtremes(values, 1.0);
        ExpectFlatBand(values, 20, 100);
    }
    const std::vector<float> wide = Generate(4096, 2, 1877, 0.3);
    ExpectExtremes(wide, 0.3);
    ExpectFlatBand(wide, 2, 1877);
}

TEST(GenerateStimulus, InvalidBandsLeaveTheCallersPeriodUntouched) {
    std::vector<float> values(1024, 0.25f);
    EXPECT_FALSE(GenerateStimulus(values.data(), 1024, 100, 50, 1.0));  // sweep, start > stop
    EXPECT_FALSE(GenerateStimulus(values.data(), 1024, 9, 3, 1.0));     // table, start > stop
    EXPECT_FALSE(GenerateStimulus(values.data(), 1024, 0, 3, 1.0));
    EXPECT_FALSE(GenerateStimulus(values.data(), 1024, 3, 512, 1.0));
    EXPECT_TRUE(std::all_of(values.begin(), values.end(), [](float v) { return v == 0.25f; }));
}

TEST(GenerateStimulus, ASweepBinOfZeroModulusIsRefused) {
    std::vector<float> spectrum(64, 1.0f);
    spectrum[2 * 7] = 0.0f;
    spectrum[2 * 7 + 1] = 0.0f;
    EXPECT_FALSE(ShapeSweepSpectrum(spectrum.data(), 64, 5, 9));
    std::vector<float> fine(64, 1.0f);
    EXPECT_TRUE(ShapeSweepSpectrum(fine.data(), 64, 5, 9));
    EXPECT_EQ(fine[0], 0.0f);  // slot 0 (DC, Nyquist) is always cleared
    EXPECT_FLOAT_EQ(fine[10], std::sqrt(0.5f));
}

}  // namespace
}  // namespace tavrin
