#pragma once

#include <cstdint>

namespace tavrin {

// In-place real FFT of n floats (n a power of two; n = 1 is a no-op).
//
// Forward: X[k] = sum x[j] (cos(2 pi j k / n) + i sin(2 pi j k / n)), unnormalised and with a
// positive exponent, packed as: data[0] = X[0], data[1] = X[n/2], data[2k], data[2k+1] = Re, Im
// of X[k] for k = 1 .. n/2 - 1. Inverse (Forward false) takes that layout back to samples,
// including the 1/n scaling.
//
// The numbers are those of the two-for-one transform on a radix-2 complex transform of n/2
// points with twiddles from the trigonometric recurrence, all in 32-bit floats; the code is
// arranged for speed but every butterfly performs the same float operations in the same order,
// so results are bit-for-bit those of the straightforward form. Thread-safe.
void RealFFT(float* data, int32_t n, bool Forward);

}  // namespace tavrin
