#pragma once

// Thinning a curve of thousands of linearly spaced bins to a few points per octave, the way
// curves are exchanged between measuring and design programs.

#include <array>
#include <cstdint>

#include "uTrace.h"

namespace tavrin {

// The resolutions offered besides every bin.
inline constexpr std::array<int32_t, 4> kPointsPerOctaveChoices{12, 24, 48, 96};

// One point per logarithmic cell of 1/pointsPerOctave octave, the cells centred on
// 1 kHz * 2^(i / pointsPerOctave) as the preferred frequencies are. Each point is the complex
// mean of the trace's points in its cell, at their mean frequency, so a cell holding one bin
// keeps that bin as it is; cells holding no point give none. The frequencies stay strictly
// ascending. pointsPerOctave < 1 returns the trace unchanged; the metadata is kept and records
// the resolution.
TTrace ReduceToPointsPerOctave(const TTrace& trace, int32_t pointsPerOctave);

}  // namespace tavrin
