#pragma once

// Complex arithmetic on four values at a time, one per lane, for the AVX2 kernels. Every lane
// performs exactly the operations of ComplexDiv and ComplexMul (uCom) in their order, with the
// same roundings, so the results are the same bits. Both branches of a division are computed and
// each lane keeps its own, which is how the kernels stay free of data-dependent jumps.
// Include only where TAVRIN_AVX2_KERNELS and only call from TAVRIN_TARGET_AVX2 functions. The
// functions have internal linkage, so a test build may compile them with one operation changed
// (TAVRIN_PERTURBED_KERNELS) beside the program's own.

#include <immintrin.h>

#include "uCom.h"
#include "uCpuPath.h"

namespace tavrin::avx2kit {

#define TAVRIN_AVX2_INLINE [[gnu::always_inline]] TAVRIN_TARGET_AVX2 static inline

// Four complex values as floats: their real and imaginary parts.
struct TQuad {
    __m128 Re;
    __m128 Im;
};

TAVRIN_AVX2_INLINE TQuad LoadQuad(const TComplex* p) {
    const __m256 pairs = _mm256_loadu_ps(reinterpret_cast<const float*>(p));
    const __m256 apart = _mm256_permutevar8x32_ps(pairs, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
    return {_mm256_castps256_ps128(apart), _mm256_extractf128_ps(apart, 1)};
}

TAVRIN_AVX2_INLINE void StoreQuad(TComplex* p, TQuad v) {
    const __m256 apart = _mm256_set_m128(v.Im, v.Re);
    const __m256 pairs = _mm256_permutevar8x32_ps(apart, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    _mm256_storeu_ps(reinterpret_cast<float*>(p), pairs);
}

// Bins k .. k+3 as floats, as static_cast<float>(k) gives them.
TAVRIN_AVX2_INLINE __m128 BinNumbers(int32_t k) {
    return _mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(k), _mm_setr_epi32(0, 1, 2, 3)));
}

TAVRIN_AVX2_INLINE __m256d Wide(__m128 x) {
    return _mm256_cvtps_pd(x);
}

// Rounded to float, as a static_cast<float> of a double.
TAVRIN_AVX2_INLINE __m128 Narrow(__m256d x) {
    return _mm256_cvtpd_ps(x);
}

TAVRIN_AVX2_INLINE __m128 NegateFloat(__m128 x) {
    return _mm_xor_ps(x, _mm_set1_ps(-0.0f));
}

TAVRIN_AVX2_INLINE __m256d NegateDouble(__m256d x) {
    return _mm256_xor_pd(x, _mm256_set1_pd(-0.0));
}

// A lane mask of four floats widened to four doubles.
TAVRIN_AVX2_INLINE __m256d WideMask(__m128 mask) {
    return _mm256_castsi256_pd(_mm256_cvtepi32_epi64(_mm_castps_si128(mask)));
}

// ComplexMul of floats a and b.
TAVRIN_AVX2_INLINE TQuad MulQuad(TQuad a, TQuad b) {
    const __m256d ar = Wide(a.Re), ai = Wide(a.Im), br = Wide(b.Re), bi = Wide(b.Im);
    return {Narrow(_mm256_sub_pd(_mm256_mul_pd(ar, br), _mm256_mul_pd(ai, bi))),
            Narrow(_mm256_add_pd(_mm256_mul_pd(ar, bi), _mm256_mul_pd(ai, br)))};
}

// ComplexDiv of floats a and b: Smith's method with the branch of each lane, zero where a or b is.
TAVRIN_AVX2_INLINE TQuad DivQuad(TQuad a, TQuad b) {
    const __m128 zero = _mm_setzero_ps();
    const __m128 aZero =
        _mm_and_ps(_mm_cmp_ps(a.Re, zero, _CMP_EQ_OQ), _mm_cmp_ps(a.Im, zero, _CMP_EQ_OQ));
    const __m128 bZero =
        _mm_and_ps(_mm_cmp_ps(b.Re, zero, _CMP_EQ_OQ), _mm_cmp_ps(b.Im, zero, _CMP_EQ_OQ));
    const __m128 sign = _mm_set1_ps(-0.0f);
    // |b.Re| >= |b.Im| chooses the branch that divides by b.Re.
    const __m256d byRe =
        WideMask(_mm_cmp_ps(_mm_andnot_ps(sign, b.Re), _mm_andnot_ps(sign, b.Im), _CMP_GE_OQ));
    const __m256d ar = Wide(a.Re), ai = Wide(a.Im), br = Wide(b.Re), bi = Wide(b.Im);
    const __m256d big = _mm256_blendv_pd(bi, br, byRe);
    const __m256d small = _mm256_blendv_pd(br, bi, byRe);
#if defined(TAVRIN_PERTURBED_KERNELS)
    // The quotient left in double: one rounding fewer than ComplexDiv takes.
    const __m256d t = _mm256_div_pd(small, big);
#else
    const __m256d t = Wide(Narrow(_mm256_div_pd(small, big)));
#endif
    const __m256d d = Wide(Narrow(_mm256_add_pd(big, _mm256_mul_pd(t, small))));
    const __m256d art = _mm256_mul_pd(ar, t);
    const __m256d ait = _mm256_mul_pd(ai, t);
    // By b.Re: ((ar + ai t) / d, (ai - ar t) / d); by b.Im: ((ar t + ai) / d, (ai t - ar) / d).
    const __m256d re =
        _mm256_add_pd(_mm256_blendv_pd(art, ar, byRe), _mm256_blendv_pd(ai, ait, byRe));
    const __m256d im =
        _mm256_sub_pd(_mm256_blendv_pd(ait, ai, byRe), _mm256_blendv_pd(ar, art, byRe));
    const __m128 either = _mm_or_ps(aZero, bZero);
    return {_mm_andnot_ps(either, Narrow(_mm256_div_pd(re, d))),
            _mm_andnot_ps(either, Narrow(_mm256_div_pd(im, d)))};
}

}  // namespace tavrin::avx2kit
