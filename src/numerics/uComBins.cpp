#include "uComBins.h"

#include "uCpuPath.h"

#if TAVRIN_AVX2_KERNELS
#include "uComAvx2.h"
#endif

namespace tavrin {
namespace {

#if TAVRIN_AVX2_KERNELS
using namespace avx2kit;

// The quads first, the last few values one by one.
TAVRIN_TARGET_AVX2 void MultiplyAvx2(const TComplex* a, const TComplex* b, TComplex* out,
                                     int32_t count) {
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        StoreQuad(out + i, MulQuad(LoadQuad(a + i), LoadQuad(b + i)));
    }
    for (; i < count; ++i) {
        out[i] = ComplexMul(a[i], b[i]);
    }
}

TAVRIN_TARGET_AVX2 void DivideAvx2(const TComplex* a, const TComplex* b, TComplex* out,
                                   int32_t count) {
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        StoreQuad(out + i, DivQuad(LoadQuad(a + i), LoadQuad(b + i)));
    }
    for (; i < count; ++i) {
        out[i] = ComplexDiv(a[i], b[i]);
    }
}

TAVRIN_TARGET_AVX2 void ScaleAvx2(const TComplex* a, float x, TComplex* out, int32_t count) {
    const __m256d factor = _mm256_set1_pd(x);
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const TQuad v = LoadQuad(a + i);
        StoreQuad(out + i, {Narrow(_mm256_mul_pd(Wide(v.Re), factor)),
                            Narrow(_mm256_mul_pd(Wide(v.Im), factor))});
    }
    for (; i < count; ++i) {
        out[i] = ComplexScale(a[i], x);
    }
}
#endif

bool UseAvx2() {
#if TAVRIN_AVX2_KERNELS
    return CpuPath() == TCpuPath::Avx2;
#else
    return false;
#endif
}

}  // namespace

void MultiplyBins(const TComplex* a, const TComplex* b, TComplex* out, int32_t count) {
#if TAVRIN_AVX2_KERNELS
    if (UseAvx2()) {
        MultiplyAvx2(a, b, out, count);
        return;
    }
#endif
    for (int32_t i = 0; i < count; ++i) {
        out[i] = ComplexMul(a[i], b[i]);
    }
}

void DivideBins(const TComplex* a, const TComplex* b, TComplex* out, int32_t count) {
#if TAVRIN_AVX2_KERNELS
    if (UseAvx2()) {
        DivideAvx2(a, b, out, count);
        return;
    }
#endif
    for (int32_t i = 0; i < count; ++i) {
        out[i] = ComplexDiv(a[i], b[i]);
    }
}

void ScaleBins(const TComplex* a, float x, TComplex* out, int32_t count) {
#if TAVRIN_AVX2_KERNELS
    if (UseAvx2()) {
        ScaleAvx2(a, x, out, count);
        return;
    }
#endif
    for (int32_t i = 0; i < count; ++i) {
        out[i] = ComplexScale(a[i], x);
    }
}

}  // namespace tavrin
