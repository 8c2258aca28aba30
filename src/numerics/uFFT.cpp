#include "uFFT.h"

#include <cstring>
#include <vector>

#include "uCpuPath.h"
#include "uFFTAvx2.h"
#include "uFFTTwiddles.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavrin {
namespace {

// Exchanges complex values (as 64-bit words) by the tabulated bit-reversed pairs.
void BitReverse(float* data, const std::vector<uint32_t>& swaps) {
    for (size_t p = 0; p < swaps.size(); p += 2) {
        uint64_t a, b;
        std::memcpy(&a, data + 2 * swaps[p], sizeof a);
        std::memcpy(&b, data + 2 * swaps[p + 1], sizeof b);
        std::memcpy(data + 2 * swaps[p], &b, sizeof b);
        std::memcpy(data + 2 * swaps[p + 1], &a, sizeof a);
    }
}

inline void Butterfly(float* zj, float* zk, float wr, float wi) {
    const float tr = wr * zk[0] - wi * zk[1];
    const float ti = wr * zk[1] + wi * zk[0];
    zk[0] = zj[0] - tr;
    zk[1] = zj[1] - ti;
    zj[0] = zj[0] + tr;
    zj[1] = zj[1] + ti;
}

#if defined(__SSE2__)
// Two butterflies at once on interleaved pairs: t = w * z[k] as (wr*kr - wi*ki, wr*ki + wi*kr).
// The products are rounded singly and a - b is computed as a + (-b), which IEEE defines
// identically, so each lane matches the scalar butterfly bit for bit.
inline void ButterflyPair(__m128& zj, __m128& zk, __m128 w) {
    const __m128 negateRe = _mm_castsi128_ps(_mm_set_epi32(0, INT32_MIN, 0, INT32_MIN));
    const __m128 wr = _mm_shuffle_ps(w, w, _MM_SHUFFLE(2, 2, 0, 0));
    const __m128 wi = _mm_shuffle_ps(w, w, _MM_SHUFFLE(3, 3, 1, 1));
    const __m128 swapped = _mm_shuffle_ps(zk, zk, _MM_SHUFFLE(2, 3, 0, 1));
    const __m128 t = _mm_add_ps(_mm_mul_ps(wr, zk), _mm_xor_ps(_mm_mul_ps(wi, swapped), negateRe));
    zk = _mm_sub_ps(zj, t);
    zj = _mm_add_ps(zj, t);
}
#endif

// All butterflies of stage length len over count complex values starting at z.
void StagePass(float* z, int32_t count, int32_t len, const float* twiddles) {
    const int32_t half = len / 2;
    for (int32_t b = 0; b < count; b += len) {
        float* lo = z + 2 * b;
        float* hi = lo + 2 * half;
        int32_t q = 0;
#if defined(__SSE2__)
        for (; q + 1 < half; q += 2) {
            __m128 zj = _mm_loadu_ps(lo + 2 * q);
            __m128 zk = _mm_loadu_ps(hi + 2 * q);
            ButterflyPair(zj, zk, _mm_loadu_ps(twiddles + 2 * q));
            _mm_storeu_ps(lo + 2 * q, zj);
            _mm_storeu_ps(hi + 2 * q, zk);
        }
#endif
        for (; q < half; ++q) {
            Butterfly(lo + 2 * q, hi + 2 * q, twiddles[2 * q], twiddles[2 * q + 1]);
        }
    }
}

// Stages len and 2 len in one sweep: each group of four values passes both stages in
// registers, halving the memory traffic. The butterflies are those of the two single passes,
// with the same operands, so the numbers are the same.
void StagePairPass(float* z, int32_t count, int32_t len, const float* twiddles,
                   const float* nextTwiddles) {
    const int32_t half = len / 2;
#if defined(__SSE2__)
    if (half >= 2) {
        for (int32_t g = 0; g < count; g += 2 * len) {
            float* a = z + 2 * g;
            for (int32_t q = 0; q < half; q += 2) {
                __m128 z0 = _mm_loadu_ps(a + 2 * q);
                __m128 z1 = _mm_loadu_ps(a + 2 * (q + half));
                __m128 z2 = _mm_loadu_ps(a + 2 * (q + len));
                __m128 z3 = _mm_loadu_ps(a + 2 * (q + len + half));
                const __m128 w = _mm_loadu_ps(twiddles + 2 * q);
                ButterflyPair(z0, z1, w);
                ButterflyPair(z2, z3, w);
                ButterflyPair(z0, z2, _mm_loadu_ps(nextTwiddles + 2 * q));
                ButterflyPair(z1, z3, _mm_loadu_ps(nextTwiddles + 2 * (q + half)));
                _mm_storeu_ps(a + 2 * q, z0);
                _mm_storeu_ps(a + 2 * (q + half), z1);
                _mm_storeu_ps(a + 2 * (q + len), z2);
                _mm_storeu_ps(a + 2 * (q + len + half), z3);
            }
        }
        return;
    }
#endif
    StagePass(z, count, len, twiddles);
    StagePass(z, count, 2 * len, nextTwiddles);
}

// Stages 2 and 4 together: the length-2 butterflies pair neighbours, so each group of four
// values is regrouped in registers first; operands and operations are those of the single
// passes.
void FirstStagePairPass(float* z, int32_t count, const float* twiddles2, const float* twiddles4) {
#if defined(__SSE2__)
    const __m128 w2 = _mm_setr_ps(twiddles2[0], twiddles2[1], twiddles2[0], twiddles2[1]);
    const __m128 w4 = _mm_loadu_ps(twiddles4);
    for (int32_t g = 0; g < count; g += 4) {
        const __m128 a = _mm_loadu_ps(z + 2 * g);      // z0, z1
        const __m128 b = _mm_loadu_ps(z + 2 * g + 4);  // z2, z3
        __m128 p = _mm_movelh_ps(a, b);                // z0, z2
        __m128 q = _mm_movehl_ps(b, a);                // z1, z3
        ButterflyPair(p, q, w2);
        __m128 r = _mm_movelh_ps(p, q);  // z0, z1
        __m128 t = _mm_movehl_ps(q, p);  // z2, z3
        ButterflyPair(r, t, w4);
        _mm_storeu_ps(z + 2 * g, r);
        _mm_storeu_ps(z + 2 * g + 4, t);
    }
#else
    StagePass(z, count, 2, twiddles2);
    StagePass(z, count, 4, twiddles4);
#endif
}

// Runs the stages from len up to last (inclusive) over count values, two at a time.
void StageRange(float* z, int32_t count, int32_t len, int32_t last, const TFftTwiddles& tables) {
    const auto twiddlesOf = [&](int32_t l) { return tables.StageTwiddles(l); };
    for (; len <= last; len *= 4) {
        if (len == 2 && 4 <= last) {
            FirstStagePairPass(z, count, twiddlesOf(2), twiddlesOf(4));
        } else if (2 * len <= last) {
            StagePairPass(z, count, len, twiddlesOf(len), twiddlesOf(2 * len));
        } else {
            StagePass(z, count, len, twiddlesOf(len));
            return;
        }
    }
}

void ComplexTransform(float* data, int32_t m, const TFftTwiddles& tables) {
    BitReverse(data, tables.Swaps);
    // Stages up to kBlock complex values stay inside one block, so they run block by block
    // while the block is in the first-level cache; the longer stages sweep the whole array.
    constexpr int32_t kBlock = 2048;
    const int32_t block = m < kBlock ? m : kBlock;
    for (int32_t start = 0; start < m; start += block) {
        StageRange(data + 2 * start, block, 2, block, tables);
    }
    StageRange(data, m, 2 * block, m, tables);
}

void Split(float* data, int32_t n, float c2, const float* twiddles) {
    for (int32_t k = 1; k <= n / 4; ++k) {
        const int32_t e = 2 * k, c = 2 * k + 1, s2 = n - 2 * k, d = n - 2 * k + 1;
        const float wr = twiddles[2 * (k - 1)];
        const float wi = twiddles[2 * (k - 1) + 1];
        const float h1r = 0.5f * (data[e] + data[s2]);
        const float h1i = 0.5f * (data[c] - data[d]);
        const float h2r = -c2 * (data[c] + data[d]);
        const float h2i = c2 * (data[e] - data[s2]);
        data[e] = h1r + wr * h2r - wi * h2i;
        data[c] = h1i + wr * h2i + wi * h2r;
        data[s2] = h1r - wr * h2r + wi * h2i;
        data[d] = -h1i + wr * h2i + wi * h2r;
    }
}

}  // namespace

void RealFFT(float* data, int32_t n, bool Forward) {
    if (n < 2) {
        return;
    }
    const TFftTwiddles& tables = FftTwiddles(n, Forward);
#if TAVRIN_AVX2_KERNELS
    if (n >= kAvx2MinimumLength && CpuPath() == TCpuPath::Avx2) {
        TAVRIN_AVX2_NAMESPACE::RealFft(data, n, Forward, tables);
        return;
    }
#endif
    if (Forward) {
        ComplexTransform(data, n / 2, tables);
        Split(data, n, -0.5f, tables.Split.data());
        const float h = data[0];
        data[0] = h + data[1];
        data[1] = h - data[1];
        return;
    }
    Split(data, n, 0.5f, tables.Split.data());
    const float h = data[0];
    data[0] = 0.5f * (h + data[1]);
    data[1] = 0.5f * (h - data[1]);
    ComplexTransform(data, n / 2, tables);
    // n/2 is a power of two, so multiplying by its reciprocal rounds exactly like dividing.
    const float scale = 1.0f / static_cast<float>(n / 2);
    for (int32_t i = 0; i < n; ++i) {
        data[i] = data[i] * scale;
    }
}

}  // namespace tavrin
