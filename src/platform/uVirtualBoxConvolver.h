#pragma once

// Streams one real signal through two long filters at once (uniformly partitioned
// overlap-save convolution, the two filters packed as the real and imaginary part of one
// complex filter), at a cost per sample that hardly depends on the filter length. Silence in,
// silence out, without transforms: a capture device with nothing playing costs next to nothing.

#include <cstdint>
#include <vector>

#include "uVirtualBoxFft.h"

namespace tavrin {

class TStereoConvolver {
  public:
    // block: samples per call (a power of two); left, right: the filters, as long as each other.
    TStereoConvolver(int32_t block, const std::vector<double>& left,
                     const std::vector<double>& right);

    int32_t BlockLength() const { return Block; }
    // Takes the next `BlockLength` input samples and gives the filters' outputs for them.
    void Process(const double* input, double* left, double* right);

  private:
    struct TSpectrum {
        std::vector<double> Re;
        std::vector<double> Im;
        bool Zero = true;
    };

    int32_t Block;
    TComplexFft Fft;                 // of 2 x Block points
    std::vector<TSpectrum> Parts;    // the filter, partition by partition
    std::vector<TSpectrum> History;  // transforms of the latest inputs, newest at Newest
    int32_t Newest = 0;
    std::vector<double> Window;  // the previous and the current input block
    bool PreviousZero = true;
    std::vector<double> SumRe;
    std::vector<double> SumIm;
};

}  // namespace tavrin
