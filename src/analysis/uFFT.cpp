#include "uFFT.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavrin {
namespace {

// Twiddles are produced by the trigonometric recurrence in float, exactly as the method
// prescribes; tabulating them once per length and direction lets the butterflies run block by
// block and two at a time while each one still uses the recurrence's value.
struct TTwiddleTables {
    std::vector<float> Stages;  // per stage length L = 2, 4, ..: L/2 pairs (wr, wi), from L/2 - 1
    std::vector<float> Split;   // pairs (wr, wi) for k = 1 .. n/4
};

void RecurrenceCoefficients(float angle, float& wpr, float& wpi) {
    const double half = std::sin(0.5 * static_cast<double>(angle));
    wpr = static_cast<float>(-2.0 * half * half);
    wpi = static_cast<float>(std::sin(static_cast<double>(angle)));
}

void AdvanceTwiddle(float& wr, float& wi, float wpr, float wpi) {
    const float old = wr;
    wr = wr + (wr * wpr - wi * wpi);
    wi = wi + (wi * wpr + old * wpi);
}

TTwiddleTables* BuildTables(int32_t n, int sign) {
    auto* tables = new TTwiddleTables;
    const int32_t m = n / 2;
    tables->Stages.resize(static_cast<size_t>(m > 1 ? m - 1 : 0) * 2);
    for (int32_t len = 2; len <= m; len *= 2) {
        float wpr, wpi;
        RecurrenceCoefficients(static_cast<float>(sign * 2.0 * std::numbers::pi / len), wpr, wpi);
        float wr = 1.0f, wi = 0.0f;
        float* out = tables->Stages.data() + 2 * (len / 2 - 1);
        for (int32_t q = 0; q < len / 2; ++q) {
            out[2 * q] = wr;
            out[2 * q + 1] = wi;
            AdvanceTwiddle(wr, wi, wpr, wpi);
        }
    }
    tables->Split.resize(static_cast<size_t>(n / 4) * 2);
    float wpr, wpi;
    RecurrenceCoefficients(static_cast<float>(sign * (2.0 * std::numbers::pi / n)), wpr, wpi);
    float wr = 1.0f + wpr, wi = wpi;
    for (int32_t k = 1; k <= n / 4; ++k) {
        tables->Split[2 * (k - 1)] = wr;
        tables->Split[2 * (k - 1) + 1] = wi;
        AdvanceTwiddle(wr, wi, wpr, wpi);
    }
    return tables;
}

// One table per length and direction, built on first use and kept for the life of the process
// (at most 2 x 31 of them), so the transform itself allocates nothing in steady state.
const TTwiddleTables& TablesFor(int32_t n, bool forward) {
    static std::atomic<TTwiddleTables*> cache[2][32];
    std::atomic<TTwiddleTables*>& slot =
        cache[forward ? 0 : 1][std::countr_zero(static_cast<uint32_t>(n))];
    TTwiddleTables* tables = slot.load(std::memory_order_acquire);
    if (tables == nullptr) {
        TTwiddleTables* fresh = BuildTables(n, forward ? 1 : -1);
        if (slot.compare_exchange_strong(tables, fresh, std::memory_order_acq_rel)) {
            tables = fresh;
        } else {
            delete fresh;  // another thread was first; its table is identical
        }
    }
    return *tables;
}

void BitReverse(float* data, int32_t m) {
    for (int32_t i = 0, j = 0; i < m; ++i) {
        if (i < j) {
            std::swap(data[2 * i], data[2 * j]);
            std::swap(data[2 * i + 1], data[2 * j + 1]);
        }
        int32_t bit = m >> 1;
        while (bit >= 1 && (j & bit)) {
            j ^= bit;
            bit >>= 1;
        }
        j |= bit;
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

// All butterflies of stage length len over count complex values starting at z.
void StagePass(float* z, int32_t count, int32_t len, const float* twiddles) {
    const int32_t half = len / 2;
    for (int32_t b = 0; b < count; b += len) {
        float* lo = z + 2 * b;
        float* hi = lo + 2 * half;
        int32_t q = 0;
#if defined(__SSE2__)
        // Two butterflies per step. t = w * z[k] as (wr*kr - wi*ki, wr*ki + wi*kr): the
        // products are rounded singly and a - b is computed as a + (-b), which IEEE defines
        // identically, so each lane matches the scalar butterfly bit for bit.
        const __m128 negateRe = _mm_castsi128_ps(_mm_set_epi32(0, INT32_MIN, 0, INT32_MIN));
        for (; q + 1 < half; q += 2) {
            const __m128 w = _mm_loadu_ps(twiddles + 2 * q);
            const __m128 wr = _mm_shuffle_ps(w, w, _MM_SHUFFLE(2, 2, 0, 0));
            const __m128 wi = _mm_shuffle_ps(w, w, _MM_SHUFFLE(3, 3, 1, 1));
            const __m128 zk = _mm_loadu_ps(hi + 2 * q);
            const __m128 zkSwapped = _mm_shuffle_ps(zk, zk, _MM_SHUFFLE(2, 3, 0, 1));
            const __m128 t =
                _mm_add_ps(_mm_mul_ps(wr, zk), _mm_xor_ps(_mm_mul_ps(wi, zkSwapped), negateRe));
            const __m128 zj = _mm_loadu_ps(lo + 2 * q);
            _mm_storeu_ps(hi + 2 * q, _mm_sub_ps(zj, t));
            _mm_storeu_ps(lo + 2 * q, _mm_add_ps(zj, t));
        }
#endif
        for (; q < half; ++q) {
            Butterfly(lo + 2 * q, hi + 2 * q, twiddles[2 * q], twiddles[2 * q + 1]);
        }
    }
}

void ComplexTransform(float* data, int32_t m, const TTwiddleTables& tables) {
    BitReverse(data, m);
    // Stages up to kBlock complex values stay inside one block, so they run block by block
    // while the block is in the first-level cache; the longer stages sweep the whole array.
    constexpr int32_t kBlock = 2048;
    const int32_t block = m < kBlock ? m : kBlock;
    for (int32_t start = 0; start < m; start += block) {
        for (int32_t len = 2; len <= block; len *= 2) {
            StagePass(data + 2 * start, block, len, tables.Stages.data() + 2 * (len / 2 - 1));
        }
    }
    for (int32_t len = 2 * block; len <= m; len *= 2) {
        StagePass(data, m, len, tables.Stages.data() + 2 * (len / 2 - 1));
    }
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
    const TTwiddleTables& tables = TablesFor(n, Forward);
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
