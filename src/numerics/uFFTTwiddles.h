#pragma once

// The twiddle factors of RealFFT, tabulated once per length and direction. The values are those
// of the trigonometric recurrence in float, stage by stage, so that a transform may run its
// butterflies in any grouping and still use exactly the recurrence's value for each.

#include <cstdint>
#include <vector>

namespace tavrin {

struct TFftTwiddles {
    // Per stage length L = 2, 4, .., n/2: L/2 pairs (wr, wi), from offset 2 (L/2 - 1).
    std::vector<float> Stages;
    // Pairs (wr, wi) of the split step for k = 1 .. n/4.
    std::vector<float> Split;
    // The bit-reversal permutation of the n/2 complex values as index pairs (i < j), listed
    // tile by tile so that the exchange walks the array cache line by cache line.
    std::vector<uint32_t> Swaps;

    const float* StageTwiddles(int32_t length) const {
        return Stages.data() + 2 * (length / 2 - 1);
    }
};

// For n a power of two, 2 <= n <= 2^31; built on first use and kept for the life of the process.
// Thread-safe.
const TFftTwiddles& FftTwiddles(int32_t n, bool forward);

}  // namespace tavrin
