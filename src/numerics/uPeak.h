#pragma once

#include <cstddef>

namespace tavrin {

// The largest magnitude among samples[0..count-1], as a scan from the first sample keeping each
// larger one finds it: samples that are NaN are passed over, unless the first one is (then NaN);
// 0 for no samples. Eight samples at a time where the CPU allows, with the same result.
float PeakMagnitude(const float* samples, size_t count);

}  // namespace tavrin
