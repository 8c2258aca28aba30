#pragma once

#include <array>
#include <cstdint>

namespace tavrin {

// Bit (j - 1) of SignTable[start][stop] set: the tone on bin j gets the sign -1. Indexed 1..16;
// row and column 0 are unused. Chosen per band to keep the crest factor of short multi-tones low.
extern const std::array<std::array<uint32_t, 17>, 17> SignTable;

// The bin of a frequency (Hz) for a block of `length` samples at `sampleRate` samples/s:
// round(length * frequency / sampleRate), halves to even, clamped to 1 .. length/2 - 1.
// Playback and analysis both use this rule, so a tone is found on the bin it was built on.
int32_t FrequencyToBin(int32_t length, float frequency, uint32_t sampleRate);

// Fills values[0..n-1] with one period of a multi-tone of equal amplitude on every bin from
// start to stop, spanning exactly -0.9995 * amplitude .. +0.9995 * amplitude. Bands within bins
// 1..16 use fixed signs from SignTable, wider ones the phases of a linear sweep.
// Returns false and leaves values untouched when no valid period exists (start > stop, bins
// outside 1 .. n/2 - 1, or a band whose sweep has a bin of zero modulus), so that a stimulus
// already in use is never replaced by an invalid one.
bool GenerateStimulus(float* values, int32_t n, int32_t start, int32_t stop, double amplitude);

// Step 4 of the sweep method, on a packed spectrum: bins outside start..stop (and slot 0) are
// cleared, bins inside are set to unit modulus keeping their phase. Returns false when an
// in-band bin has zero modulus (its phase is undefined); the spectrum is then partly changed.
bool ShapeSweepSpectrum(float* spectrum, int32_t n, int32_t start, int32_t stop);

}  // namespace tavrin
