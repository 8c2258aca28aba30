#pragma once

// The current curve against a stored reference: their ratio (a part against a known good one, a
// filter against the same filter before a change) or their difference.

#include "uTrace.h"

namespace tavrin {

enum class TCompareMode : uint8_t {
    Ratio,       // current / reference, a plain number
    Difference,  // current - reference, in the unit of the current curve
};

// The reference's value at `frequency`, interpolated linearly in log frequency between the two
// points around it (its own value at one of its frequencies); empty outside its span.
std::optional<std::complex<double>> ReferenceValueAt(const TTrace& reference, double frequency,
                                                     size_t& hint);

// At each frequency of `current` within the reference's span, the comparison with the reference
// there. Points outside the span, and ratios to a reference value of zero, are left out. The
// result keeps the current curve's info; a ratio is a transfer-like plain number.
TTrace CompareWithReference(const TTrace& current, const TTrace& reference, TCompareMode mode);

}  // namespace tavrin
