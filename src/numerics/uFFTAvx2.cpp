#include "uFFTAvx2.h"

#if TAVRIN_AVX2_KERNELS

#include <immintrin.h>

#include <bit>
#include <climits>

namespace tavrin::TAVRIN_AVX2_NAMESPACE {
namespace {

#define KERNEL [[gnu::always_inline]] TAVRIN_TARGET_AVX2 inline

// Four butterflies on interleaved complex values: t = w * z[k] as (wr*kr - wi*ki, wr*ki + wi*kr),
// then z[k] = z[j] - t, z[j] = z[j] + t. The products are rounded singly and a - b is computed as
// a + (-b), which IEEE defines identically, so each lane is the scalar butterfly bit for bit.
KERNEL void Butterflies(__m256& zj, __m256& zk, __m256 w) {
    const __m256 negateRe =
        _mm256_castsi256_ps(_mm256_setr_epi32(INT_MIN, 0, INT_MIN, 0, INT_MIN, 0, INT_MIN, 0));
    const __m256 wr = _mm256_moveldup_ps(w);
    const __m256 wi = _mm256_movehdup_ps(w);
    const __m256 swapped = _mm256_permute_ps(zk, _MM_SHUFFLE(2, 3, 0, 1));
    const __m256 t =
        _mm256_add_ps(_mm256_mul_ps(wr, zk), _mm256_xor_ps(_mm256_mul_ps(wi, swapped), negateRe));
    zk = _mm256_sub_ps(zj, t);
    zj = _mm256_add_ps(zj, t);
}

KERNEL __m256 Load(const float* p) {
    return _mm256_loadu_ps(p);
}

KERNEL void Store(float* p, __m256 v) {
    _mm256_storeu_ps(p, v);
}

// The twiddles of the three shortest stages, ready for FirstStages.
struct TFirstTwiddles {
    __m256 W2, W4, W8;
};

TAVRIN_TARGET_AVX2 TFirstTwiddles FirstTwiddles(const TFftTwiddles& twiddles) {
    const float* w2 = twiddles.StageTwiddles(2);
    const __m128 w4 = _mm_loadu_ps(twiddles.StageTwiddles(4));
    return {_mm256_setr_ps(w2[0], w2[1], w2[0], w2[1], w2[0], w2[1], w2[0], w2[1]),
            _mm256_set_m128(w4, w4), Load(twiddles.StageTwiddles(8))};
}

// Stages 2, 4 and 8 on eight consecutive values z0..z3 (a), z4..z7 (b). The values are regrouped
// in registers between the stages so that each butterfly meets the operands and the twiddle of
// the single passes.
KERNEL void FirstStages(__m256& a, __m256& b, const TFirstTwiddles& w) {
    const __m256d ad = _mm256_castps_pd(a), bd = _mm256_castps_pd(b);
    __m256 p = _mm256_castpd_ps(_mm256_unpacklo_pd(ad, bd));  // z0 z4 z2 z6
    __m256 q = _mm256_castpd_ps(_mm256_unpackhi_pd(ad, bd));  // z1 z5 z3 z7
    Butterflies(p, q, w.W2);
    const __m256d pd = _mm256_castps_pd(p), qd = _mm256_castps_pd(q);
    const __m256d low = _mm256_unpacklo_pd(pd, qd);                        // z0 z1 z2 z3
    const __m256d high = _mm256_unpackhi_pd(pd, qd);                       // z4 z5 z6 z7
    __m256 j = _mm256_castpd_ps(_mm256_permute2f128_pd(low, high, 0x20));  // z0 z1 z4 z5
    __m256 k = _mm256_castpd_ps(_mm256_permute2f128_pd(low, high, 0x31));  // z2 z3 z6 z7
    Butterflies(j, k, w.W4);
    a = _mm256_permute2f128_ps(j, k, 0x20);  // z0 z1 z2 z3
    b = _mm256_permute2f128_ps(j, k, 0x31);  // z4 z5 z6 z7
    Butterflies(a, b, w.W8);
}

// Complex values as 64-bit lanes: a 4 x 4 transpose. Shuffles move bits only.
KERNEL void Transpose4(__m256d& r0, __m256d& r1, __m256d& r2, __m256d& r3) {
    const __m256d t0 = _mm256_unpacklo_pd(r0, r1);
    const __m256d t1 = _mm256_unpackhi_pd(r0, r1);
    const __m256d t2 = _mm256_unpacklo_pd(r2, r3);
    const __m256d t3 = _mm256_unpackhi_pd(r2, r3);
    r0 = _mm256_permute2f128_pd(t0, t2, 0x20);
    r1 = _mm256_permute2f128_pd(t1, t3, 0x20);
    r2 = _mm256_permute2f128_pd(t0, t2, 0x31);
    r3 = _mm256_permute2f128_pd(t1, t3, 0x31);
}

constexpr int kReversed3[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// With index i = [high 3 bits | middle | low 3 bits], the values of one middle part form a tile
// of eight rows (high) of eight consecutive values (low); bit reversal sends tile `middle` to
// tile `reversed middle`, value (row h, column l) to (row rev l, column rev h). Rows are given
// as pointers to 8 complex values. Writes dst[h][l] = src[rev l][rev h]; with `stages`, the
// first three stages are run on each written row, which is one group of eight.
template <bool stages>
KERNEL void PermuteTile(float* const* dst, const float* const* src, const TFirstTwiddles& w) {
    for (int c = 0; c < 8; c += 4) {
        // Source rows rev l, columns c..c+3: after the transposes, lo[i] and hi[i] are the
        // columns l = 0..3 and 4..7 of destination row rev (c + i).
        __m256d lo[4], hi[4];
        for (int i = 0; i < 4; ++i) {
            lo[i] = _mm256_loadu_pd(reinterpret_cast<const double*>(src[kReversed3[i]] + 2 * c));
            hi[i] =
                _mm256_loadu_pd(reinterpret_cast<const double*>(src[kReversed3[4 + i]] + 2 * c));
        }
        Transpose4(lo[0], lo[1], lo[2], lo[3]);
        Transpose4(hi[0], hi[1], hi[2], hi[3]);
        for (int i = 0; i < 4; ++i) {
            __m256 a = _mm256_castpd_ps(lo[i]);
            __m256 b = _mm256_castpd_ps(hi[i]);
            if constexpr (stages) {
                FirstStages(a, b, w);
            }
            float* row = dst[kReversed3[c + i]];
            Store(row, a);
            Store(row + 8, b);
        }
    }
}

// The bit-reversal permutation of m >= 128 complex values, tile pair by tile pair, with stages
// 2, 4 and 8 run on the permuted values before they are stored.
TAVRIN_TARGET_AVX2 void BitReverseFirstStages(float* data, int32_t m, const TFirstTwiddles& w) {
    const int bits = std::countr_zero(static_cast<uint32_t>(m));
    const int middleBits = bits - 6;
    const int32_t rowStride = 2 * (m >> 3);  // floats between the rows of a tile
    alignas(32) float buffer[128];
    float* bufferRows[8];
    for (int r = 0; r < 8; ++r) {
        bufferRows[r] = buffer + 16 * r;
    }
    const auto rowsOf = [&](uint32_t middle, float** rows) {
        float* first = data + 16 * static_cast<int64_t>(middle);
        for (int r = 0; r < 8; ++r) {
            rows[r] = first + r * static_cast<int64_t>(rowStride);
        }
    };
    for (uint32_t middle = 0; middle < (1u << middleBits); ++middle) {
        uint32_t reversed = 0;
        for (int b = 0; b < middleBits; ++b) {
            reversed = (reversed << 1) | ((middle >> b) & 1u);
        }
        if (reversed < middle) {
            continue;  // done with its partner
        }
        float* tile[8];
        float* partner[8];
        rowsOf(middle, tile);
        rowsOf(reversed, partner);
        PermuteTile<false>(bufferRows, tile, w);
        if (reversed != middle) {
            PermuteTile<true>(tile, partner, w);
        }
        // The partner's new rows, held back until its old ones were read.
        float* const* target = reversed != middle ? partner : tile;
        for (int r = 0; r < 8; ++r) {
            __m256 a = Load(bufferRows[r]);
            __m256 b = Load(bufferRows[r] + 8);
            FirstStages(a, b, w);
            Store(target[r], a);
            Store(target[r] + 8, b);
        }
    }
}

// All butterflies of stage length len (>= 16) over count values from z.
TAVRIN_TARGET_AVX2 void StagePass(float* z, int32_t count, int32_t len, const float* t) {
    const int32_t half = len / 2;
    for (int32_t g = 0; g < count; g += len) {
        float* lo = z + 2 * g;
        float* hi = lo + 2 * half;
        for (int32_t q = 0; q < half; q += 4) {
            __m256 zj = Load(lo + 2 * q);
            __m256 zk = Load(hi + 2 * q);
            Butterflies(zj, zk, Load(t + 2 * q));
            Store(lo + 2 * q, zj);
            Store(hi + 2 * q, zk);
        }
    }
}

// Stages len and 2 len in one sweep: each group of four values passes both in registers.
TAVRIN_TARGET_AVX2 void StagePairPass(float* z, int32_t count, int32_t len, const float* t1,
                                      const float* t2) {
    const int32_t half = len / 2;
    for (int32_t g = 0; g < count; g += 2 * len) {
        float* a = z + 2 * g;
        for (int32_t q = 0; q < half; q += 4) {
            float* p = a + 2 * q;
            __m256 z0 = Load(p), z1 = Load(p + 2 * half);
            __m256 z2 = Load(p + 4 * half), z3 = Load(p + 6 * half);
            const __m256 w = Load(t1 + 2 * q);
            Butterflies(z0, z1, w);
            Butterflies(z2, z3, w);
            Butterflies(z0, z2, Load(t2 + 2 * q));
            Butterflies(z1, z3, Load(t2 + 2 * (q + half)));
            Store(p, z0);
            Store(p + 2 * half, z1);
            Store(p + 4 * half, z2);
            Store(p + 6 * half, z3);
        }
    }
}

// Stages len, 2 len and 4 len in one sweep: each group of eight values (rows j = 0..7, half a
// stage length apart) passes all three in registers, with the twiddle each row has in each stage.
TAVRIN_TARGET_AVX2 void StageTriplePass(float* z, int32_t count, int32_t len, const float* t1,
                                        const float* t2, const float* t4) {
    const int32_t half = len / 2;
    for (int32_t g = 0; g < count; g += 4 * len) {
        float* a = z + 2 * g;
        for (int32_t q = 0; q < half; q += 4) {
            float* p = a + 2 * q;
            __m256 v[8];
            for (int j = 0; j < 8; ++j) {
                v[j] = Load(p + 2 * j * half);
            }
            const __m256 w1 = Load(t1 + 2 * q);
            Butterflies(v[0], v[1], w1);
            Butterflies(v[2], v[3], w1);
            Butterflies(v[4], v[5], w1);
            Butterflies(v[6], v[7], w1);
            const __m256 w2a = Load(t2 + 2 * q);
            const __m256 w2b = Load(t2 + 2 * (q + half));
            Butterflies(v[0], v[2], w2a);
            Butterflies(v[1], v[3], w2b);
            Butterflies(v[4], v[6], w2a);
            Butterflies(v[5], v[7], w2b);
            Butterflies(v[0], v[4], Load(t4 + 2 * q));
            Butterflies(v[1], v[5], Load(t4 + 2 * (q + half)));
            Butterflies(v[2], v[6], Load(t4 + 2 * (q + 2 * half)));
            Butterflies(v[3], v[7], Load(t4 + 2 * (q + 3 * half)));
            for (int j = 0; j < 8; ++j) {
                Store(p + 2 * j * half, v[j]);
            }
        }
    }
}

// Stages len .. last (inclusive, len >= 16) over count values, up to three per sweep.
TAVRIN_TARGET_AVX2 void StageRange(float* z, int32_t count, int32_t len, int32_t last,
                                   const TFftTwiddles& twiddles) {
    while (len <= last) {
        if (4 * len <= last) {
            StageTriplePass(z, count, len, twiddles.StageTwiddles(len),
                            twiddles.StageTwiddles(2 * len), twiddles.StageTwiddles(4 * len));
            len *= 8;
        } else if (2 * len <= last) {
            StagePairPass(z, count, len, twiddles.StageTwiddles(len),
                          twiddles.StageTwiddles(2 * len));
            len *= 4;
        } else {
            StagePass(z, count, len, twiddles.StageTwiddles(len));
            len *= 2;
        }
    }
}

TAVRIN_TARGET_AVX2 void ComplexTransform(float* data, int32_t m, const TFftTwiddles& twiddles) {
    BitReverseFirstStages(data, m, FirstTwiddles(twiddles));
    // Stages up to kBlock values stay inside one block, so they run block by block while the
    // block is in the first-level cache; the longer stages sweep the whole array.
    constexpr int32_t kBlock = 2048;
    const int32_t block = m < kBlock ? m : kBlock;
    for (int32_t start = 0; start < m; start += block) {
        StageRange(data + 2 * start, block, 16, block, twiddles);
    }
    StageRange(data, m, 2 * block, m, twiddles);
}

// Interleaved pairs (x, y) of eight complex values in two registers to x and y apart; the lanes
// come out in the order 0 1 4 5 2 3 6 7, which Interleave undoes.
KERNEL void Deinterleave(__m256 v0, __m256 v1, __m256& x, __m256& y) {
    x = _mm256_shuffle_ps(v0, v1, _MM_SHUFFLE(2, 0, 2, 0));
    y = _mm256_shuffle_ps(v0, v1, _MM_SHUFFLE(3, 1, 3, 1));
}

KERNEL void Interleave(__m256 x, __m256 y, __m256& v0, __m256& v1) {
    v0 = _mm256_unpacklo_ps(x, y);
    v1 = _mm256_unpackhi_ps(x, y);
}

// Four complex values in the reverse order.
KERNEL __m256 ReverseComplex(__m256 v) {
    return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(6, 7, 4, 5, 2, 3, 0, 1));
}

// The split step, eight k at a time: bins k..k+7 from the front and their mirrors n/2 - k from
// the back (read in reverse), each with the scalar step's operations in its order. The last k,
// n/4, meets its own mirror and is left with the remainder to the scalar step.
TAVRIN_TARGET_AVX2 void Split(float* data, int32_t n, float c2, const float* twiddles) {
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256 c2v = _mm256_set1_ps(c2);
    const __m256 minusC2 = _mm256_set1_ps(-c2);
    const __m256 negate = _mm256_set1_ps(-0.0f);
    const int32_t quarter = n / 4;
    int32_t k = 1;
    for (; k + 8 <= quarter; k += 8) {
        float* front = data + 2 * k;
        float* back = data + n - 2 * (k + 7);
        __m256 e, c, s2, d, wr, wi;
        Deinterleave(Load(front), Load(front + 8), e, c);
        Deinterleave(ReverseComplex(Load(back + 8)), ReverseComplex(Load(back)), s2, d);
        Deinterleave(Load(twiddles + 2 * (k - 1)), Load(twiddles + 2 * (k - 1) + 8), wr, wi);
        const __m256 h1r = _mm256_mul_ps(half, _mm256_add_ps(e, s2));
        const __m256 h1i = _mm256_mul_ps(half, _mm256_sub_ps(c, d));
        const __m256 h2r = _mm256_mul_ps(minusC2, _mm256_add_ps(c, d));
        const __m256 h2i = _mm256_mul_ps(c2v, _mm256_sub_ps(e, s2));
        const __m256 wrh2r = _mm256_mul_ps(wr, h2r);
        const __m256 wih2i = _mm256_mul_ps(wi, h2i);
        const __m256 wrh2i = _mm256_mul_ps(wr, h2i);
        const __m256 wih2r = _mm256_mul_ps(wi, h2r);
#if defined(TAVRIN_PERTURBED_KERNELS)
        // Reassociated: the kind of change an optimiser may make under fast-math.
        const __m256 ne = _mm256_add_ps(h1r, _mm256_sub_ps(wrh2r, wih2i));
#else
        const __m256 ne = _mm256_sub_ps(_mm256_add_ps(h1r, wrh2r), wih2i);
#endif
        const __m256 nc = _mm256_add_ps(_mm256_add_ps(h1i, wrh2i), wih2r);
        const __m256 ns2 = _mm256_add_ps(_mm256_sub_ps(h1r, wrh2r), wih2i);
        const __m256 nd = _mm256_add_ps(_mm256_add_ps(_mm256_xor_ps(h1i, negate), wrh2i), wih2r);
        __m256 f0, f1, b0, b1;
        Interleave(ne, nc, f0, f1);
        Interleave(ns2, nd, b0, b1);
        Store(front, f0);
        Store(front + 8, f1);
        Store(back + 8, ReverseComplex(b0));
        Store(back, ReverseComplex(b1));
    }
    for (; k <= quarter; ++k) {
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

TAVRIN_TARGET_AVX2 void Scale(float* data, int32_t n, float factor) {
    const __m256 f = _mm256_set1_ps(factor);
    for (int32_t i = 0; i < n; i += 8) {
        Store(data + i, _mm256_mul_ps(Load(data + i), f));
    }
}

#undef KERNEL

}  // namespace

TAVRIN_TARGET_AVX2 void RealFft(float* data, int32_t n, bool forward,
                                const TFftTwiddles& twiddles) {
    if (forward) {
        ComplexTransform(data, n / 2, twiddles);
        Split(data, n, -0.5f, twiddles.Split.data());
        const float h = data[0];
        data[0] = h + data[1];
        data[1] = h - data[1];
        return;
    }
    Split(data, n, 0.5f, twiddles.Split.data());
    const float h = data[0];
    data[0] = 0.5f * (h + data[1]);
    data[1] = 0.5f * (h - data[1]);
    ComplexTransform(data, n / 2, twiddles);
    // n/2 is a power of two, so multiplying by its reciprocal rounds exactly like dividing.
    Scale(data, n, 1.0f / static_cast<float>(n / 2));
}

}  // namespace tavrin::TAVRIN_AVX2_NAMESPACE

#endif
