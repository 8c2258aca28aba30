#pragma once

// uCom's operations over runs of complex values (the bins of a spectrum), four at a time where
// the CPU allows; every value is exactly what the single operation gives.

#include <cstdint>

#include "uCom.h"

namespace tavrin {

// out[i] = ComplexMul(a[i], b[i]) for i = 0 .. count-1. out may be a or b.
void MultiplyBins(const TComplex* a, const TComplex* b, TComplex* out, int32_t count);
// out[i] = ComplexDiv(a[i], b[i]). out may be a or b.
void DivideBins(const TComplex* a, const TComplex* b, TComplex* out, int32_t count);
// out[i] = ComplexScale(a[i], x). out may be a.
void ScaleBins(const TComplex* a, float x, TComplex* out, int32_t count);

}  // namespace tavrin
