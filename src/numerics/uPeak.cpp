#include "uPeak.h"

#include <cmath>

#include "uCpuPath.h"

#if TAVRIN_AVX2_KERNELS
#include <immintrin.h>
#endif

namespace tavrin {
namespace {

#if TAVRIN_AVX2_KERNELS
// Each lane scans every eighth sample from the first sample's magnitude on, with maxps, which
// keeps the running value unless the new one is larger, exactly as the scalar scan; the lanes
// are then merged the same way. A maximum does not depend on the order it is taken in, and a
// NaN first sample stays in every lane.
TAVRIN_TARGET_AVX2 float PeakAvx2(const float* samples, size_t count) {
    const __m256 magnitudeMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    const float first = std::fabs(samples[0]);
    __m256 peak = _mm256_set1_ps(first);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256 magnitude = _mm256_and_ps(_mm256_loadu_ps(samples + i), magnitudeMask);
        peak = _mm256_max_ps(magnitude, peak);
    }
    alignas(32) float lanes[8];
    _mm256_store_ps(lanes, peak);
    float result = lanes[0];
    for (int lane = 1; lane < 8; ++lane) {
        if (lanes[lane] > result) {
            result = lanes[lane];
        }
    }
    for (; i < count; ++i) {
        const float magnitude = std::fabs(samples[i]);
        if (magnitude > result) {
            result = magnitude;
        }
    }
    return result;
}
#endif

}  // namespace

float PeakMagnitude(const float* samples, size_t count) {
    if (count == 0) {
        return 0.0f;
    }
#if TAVRIN_AVX2_KERNELS
    if (CpuPath() == TCpuPath::Avx2) {
        return PeakAvx2(samples, count);
    }
#endif
    float peak = std::fabs(samples[0]);
    for (size_t j = 1; j < count; ++j) {
        const float magnitude = std::fabs(samples[j]);
        if (magnitude > peak) {
            peak = magnitude;
        }
    }
    return peak;
}

}  // namespace tavrin
