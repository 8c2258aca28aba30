#pragma once

// The per-bin loops of the evaluation at 256-bit width, four bins at a time, for CPUs with AVX2.
// Each lane performs the operations of the baseline loops in uEvaluation.cpp in their order, and
// the fit's float sums are still taken bin after bin in the original order, so every output is
// the same bits. Each function does the whole quads of its range from range.Lo on and returns
// the first bin it left to the baseline loop.

#include <cstdint>

#include "uCpuPath.h"
#include "uEvaluation.h"

namespace tavrin {

// The sums a series fit is made of, over the bins taken so far.
struct TFitSums {
    float R = 0, Tg = 0, Ww = 0, Xw = 0, Inv = 0, Xinv = 0;
    int32_t Bins = 0;
    int32_t WithReactance = 0;  // bins with a reactance other than zero
    int32_t Positive = 0;       // bins with a positive reactance
};

namespace TAVRIN_AVX2_NAMESPACE {

int32_t ComputeZxQuads(const TComplex* driving, const TComplex* reference, TComplex* out,
                       TBinRange range, float angularStep, TReferenceArm arm);
int32_t ReferenceArmQuads(TComplex* armImpedance, TBinRange range, float angularStep,
                          TReferenceArm arm);
int32_t ComputeZxQuads(const TComplex* driving, const TComplex* reference, TComplex* out,
                       TBinRange range, const TComplex* armImpedance);
int32_t AccumulateFitSumsQuads(const TComplex* zx, TBinRange range, float angularStep,
                               TFitSums& sums);
int32_t SeriesModelQuads(const TSeriesFit& fit, TComplex* out, TBinRange range, float angularStep);

}  // namespace TAVRIN_AVX2_NAMESPACE
}  // namespace tavrin
