#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "CpuPathTest.h"
#include "uPeak.h"

namespace tavrin {
namespace {

float ScanPeak(const std::vector<float>& x) {
    float peak = x.empty() ? 0.0f : std::fabs(x[0]);
    for (const float v : x) {
        if (std::fabs(v) > peak) {
            peak = std::fabs(v);
        }
    }
    return peak;
}

bool SameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class Peak : public testing::CpuPathTest {};

// The largest magnitude wherever it lies (in a group of eight or in the last few), NaNs passed
// over except a NaN first sample, and any length.
TEST_P(Peak, IsWhatTheScanFromTheFirstSampleFinds) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::mt19937 random(3);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (const size_t count : {0, 1, 7, 8, 9, 64, 1003}) {
        std::vector<float> x(count);
        for (float& v : x) {
            v = uniform(random);
        }
        EXPECT_TRUE(SameBits(PeakMagnitude(x.data(), count), ScanPeak(x))) << count;
        if (count < 2) {
            continue;
        }
        x[count - 1] = -3.0f;  // the peak among the last few, negative
        x[count / 2] = nan;
        EXPECT_EQ(PeakMagnitude(x.data(), count), 3.0f) << count;
        x[0] = -nan;
        EXPECT_TRUE(SameBits(PeakMagnitude(x.data(), count), ScanPeak(x))) << count;
        EXPECT_TRUE(std::isnan(PeakMagnitude(x.data(), count)));
    }
}

TAVRIN_INSTANTIATE_CPU_PATHS(Peak);

}  // namespace
}  // namespace tavrin
