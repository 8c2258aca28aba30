#pragma once

// RealFFT's passes at 256-bit width, for CPUs with AVX2. Every butterfly and every step of the
// split performs the float operations of the baseline path in the same order, four or eight
// values at a time, so the results are the same bits.

#include <cstdint>

#include "uCpuPath.h"
#include "uFFTTwiddles.h"

namespace tavrin {

// Shorter transforms stay on the baseline path: the wide passes work on tiles of 64 values.
inline constexpr int32_t kAvx2MinimumLength = 256;

namespace TAVRIN_AVX2_NAMESPACE {

// RealFFT of n >= kAvx2MinimumLength values with the twiddles of n and the direction. Only
// where CpuPathAvailable(TCpuPath::Avx2).
void RealFft(float* data, int32_t n, bool forward, const TFftTwiddles& twiddles);

}  // namespace TAVRIN_AVX2_NAMESPACE
}  // namespace tavrin
