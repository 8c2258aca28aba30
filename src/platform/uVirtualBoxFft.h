#pragma once

// A complex FFT in 64-bit floats for the virtual box, whose network must stay exact to far
// below what the program's 32-bit RealFFT resolves. Real and imaginary parts in separate
// arrays, so that the butterflies and the spectral products vectorise.

#include <cstdint>
#include <vector>

namespace tavrin {

class TComplexFft {
  public:
    // n: a power of two, at least 2.
    explicit TComplexFft(int32_t n);

    int32_t Size() const { return N; }
    // In place, unscaled, X[k] = sum x[j] e^(-2 pi i j k / n).
    void Forward(double* re, double* im) const;
    // In place, unscaled (multiply by 1/n to invert Forward).
    void Inverse(double* re, double* im) const { Forward(im, re); }

  private:
    int32_t N;
    std::vector<std::pair<int32_t, int32_t>> Swaps;  // bit-reversal exchanges
    // Twiddles of the stage with half-length h at [h, 2h): e^(-pi i j / h), j = 0 .. h - 1.
    std::vector<double> TwiddleRe;
    std::vector<double> TwiddleIm;
};

}  // namespace tavrin
