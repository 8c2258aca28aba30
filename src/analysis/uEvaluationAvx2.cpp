#include "uEvaluationAvx2.h"

#if TAVRIN_AVX2_KERNELS

#include <algorithm>

#include "uComAvx2.h"

namespace tavrin::TAVRIN_AVX2_NAMESPACE {

using namespace avx2kit;

namespace {

// The first bin past the whole quads of the range.
int32_t QuadsEnd(TBinRange range) {
    return range.Hi < range.Lo ? range.Lo : range.Lo + (range.Hi - range.Lo + 1) / 4 * 4;
}

// R ref in parallel with C in at w, with the products of the settings alone taken once, in the
// order the per-bin expressions take them.
struct TArmTerms {
    __m256d Rref, CinRref, RrefRrefCin;
};

TAVRIN_AVX2_INLINE TArmTerms ArmTerms(TReferenceArm arm) {
    return {_mm256_set1_pd(arm.Rref), _mm256_set1_pd(static_cast<double>(arm.Cin) * arm.Rref),
            _mm256_set1_pd(static_cast<double>(arm.Rref) * arm.Rref * arm.Cin)};
}

TAVRIN_AVX2_INLINE TQuad ArmQuad(int32_t k, __m128 step, const TArmTerms& terms) {
    const __m256d w = Wide(_mm_mul_ps(BinNumbers(k), step));
    const __m256d t = _mm256_mul_pd(terms.CinRref, w);
    const __m256d den = _mm256_add_pd(_mm256_mul_pd(t, t), _mm256_set1_pd(1.0));
    return {Narrow(_mm256_div_pd(terms.Rref, den)),
            Narrow(_mm256_div_pd(NegateDouble(_mm256_mul_pd(terms.RrefRrefCin, w)), den))};
}

TAVRIN_AVX2_INLINE TQuad ZxQuad(TQuad driving, TQuad reference, TQuad arm) {
    const TQuad q = DivQuad(driving, reference);
    // The transform's positive exponent conjugates phases; the sign change gives the
    // electrical convention.
    return MulQuad(arm, {_mm_sub_ps(q.Re, _mm_set1_ps(1.0f)), NegateFloat(q.Im)});
}

}  // namespace

TAVRIN_TARGET_AVX2 int32_t ComputeZxQuads(const TComplex* driving, const TComplex* reference,
                                          TComplex* out, TBinRange range, float angularStep,
                                          TReferenceArm arm) {
    const int32_t end = QuadsEnd(range);
    const __m128 step = _mm_set1_ps(angularStep);
    const TArmTerms terms = ArmTerms(arm);
    for (int32_t k = range.Lo; k < end; k += 4) {
        StoreQuad(out + k,
                  ZxQuad(LoadQuad(driving + k), LoadQuad(reference + k), ArmQuad(k, step, terms)));
    }
    return end;
}

TAVRIN_TARGET_AVX2 int32_t ReferenceArmQuads(TComplex* armImpedance, TBinRange range,
                                             float angularStep, TReferenceArm arm) {
    const int32_t end = QuadsEnd(range);
    const __m128 step = _mm_set1_ps(angularStep);
    const TArmTerms terms = ArmTerms(arm);
    for (int32_t k = range.Lo; k < end; k += 4) {
        StoreQuad(armImpedance + k, ArmQuad(k, step, terms));
    }
    return end;
}

TAVRIN_TARGET_AVX2 int32_t ComputeZxQuads(const TComplex* driving, const TComplex* reference,
                                          TComplex* out, TBinRange range,
                                          const TComplex* armImpedance) {
    const int32_t end = QuadsEnd(range);
    for (int32_t k = range.Lo; k < end; k += 4) {
        StoreQuad(out + k, ZxQuad(LoadQuad(driving + k), LoadQuad(reference + k),
                                  LoadQuad(armImpedance + k)));
    }
    return end;
}

TAVRIN_TARGET_AVX2 int32_t AccumulateFitSumsQuads(const TComplex* zx, TBinRange range,
                                                  float angularStep, TFitSums& sums) {
    const int32_t end = QuadsEnd(range);
    const __m128 step = _mm_set1_ps(angularStep);
    const __m128 zero = _mm_setzero_ps();
    const __m128 minusZero = _mm_set1_ps(-0.0f);
    const __m256d one = _mm256_set1_pd(1.0);
    // The terms of a chunk of bins are computed four at a time, then summed one by one.
    constexpr int32_t kChunk = 256;
    alignas(32) float tg[kChunk], ww[kChunk], xw[kChunk], inv[kChunk], xinv[kChunk];
    TFitSums s = sums;
    for (int32_t start = range.Lo; start < end; start += kChunk) {
        const int32_t stop = std::min(start + kChunk, end);
        __m128i withReactance = _mm_setzero_si128();
        __m128i positive = _mm_setzero_si128();
        for (int32_t k = start; k < stop; k += 4) {
            const int32_t i = k - start;
            const TQuad z = LoadQuad(zx + k);
            const __m256d w = Wide(_mm_mul_ps(BinNumbers(k), step));
            const __m256d re = Wide(z.Re), im = Wide(z.Im);
            const __m128 reactance = _mm_cmp_ps(z.Im, zero, _CMP_NEQ_UQ);
            // Adding -0 leaves any float as it is: a bin without reactance adds nothing.
            _mm_store_ps(tg + i,
                         _mm_blendv_ps(minusZero, Narrow(_mm256_div_pd(re, im)), reactance));
            const __m256d ww2 = _mm256_mul_pd(w, w);
            _mm_store_ps(ww + i, Narrow(ww2));
            _mm_store_ps(xw + i, Narrow(_mm256_mul_pd(im, w)));
            _mm_store_ps(inv + i, Narrow(_mm256_div_pd(one, ww2)));
            _mm_store_ps(xinv + i, Narrow(_mm256_div_pd(im, w)));
            withReactance = _mm_sub_epi32(withReactance, _mm_castps_si128(reactance));
            positive =
                _mm_sub_epi32(positive, _mm_castps_si128(_mm_cmp_ps(z.Im, zero, _CMP_GT_OQ)));
        }
        for (int32_t k = start; k < stop; ++k) {
            const int32_t i = k - start;
            s.R += zx[k].Re;
            s.Tg += tg[i];
            s.Ww += ww[i];
            s.Xw += xw[i];
            s.Inv += inv[i];
            s.Xinv -= xinv[i];
        }
        alignas(16) int32_t counts[2][4];
        _mm_store_si128(reinterpret_cast<__m128i*>(counts[0]), withReactance);
        _mm_store_si128(reinterpret_cast<__m128i*>(counts[1]), positive);
        s.WithReactance += counts[0][0] + counts[0][1] + counts[0][2] + counts[0][3];
        s.Positive += counts[1][0] + counts[1][1] + counts[1][2] + counts[1][3];
    }
    s.Bins += end - range.Lo;
    sums = s;
    return end;
}

TAVRIN_TARGET_AVX2 int32_t SeriesModelQuads(const TSeriesFit& fit, TComplex* out, TBinRange range,
                                            float angularStep) {
    const int32_t end = QuadsEnd(range);
    const __m128 step = _mm_set1_ps(angularStep);
    const __m128 resistance = _mm_set1_ps(fit.Resistance);
    const __m128 inductance = _mm_set1_ps(fit.Inductance);
    const __m256d capacitance = _mm256_set1_pd(fit.Capacitance);
    const __m256d minusOne = _mm256_set1_pd(-1.0);
    for (int32_t k = range.Lo; k < end; k += 4) {
        const __m128 w = _mm_mul_ps(BinNumbers(k), step);
        const __m128 reactance =
            fit.Inductive ? _mm_mul_ps(w, inductance)
                          : Narrow(_mm256_div_pd(minusOne, _mm256_mul_pd(Wide(w), capacitance)));
        StoreQuad(out + k, {resistance, reactance});
    }
    return end;
}

}  // namespace tavrin::TAVRIN_AVX2_NAMESPACE

#endif
