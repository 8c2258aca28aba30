#pragma once

// The straightforward form of the real FFT, step by step as the method is written: a
// radix-2 complex transform of n/2 points (twiddles by recurrence, butterfly position in the
// outer loop) and the split step. The program's RealFFT must give exactly these numbers.

#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>

namespace tavrin::testing {

inline void RecurrenceCoefficients(float angle, float& wpr, float& wpi) {
    const double half = std::sin(0.5 * static_cast<double>(angle));
    wpr = static_cast<float>(-2.0 * half * half);
    wpi = static_cast<float>(std::sin(static_cast<double>(angle)));
}

inline void AdvanceTwiddle(float& wr, float& wi, float wpr, float wpi) {
    const float old = wr;
    wr = wr + (wr * wpr - wi * wpi);
    wi = wi + (wi * wpr + old * wpi);
}

inline void ComplexTransformPlain(float* data, int32_t n, int sign) {
    const int32_t m = n / 2;  // complex values
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
    for (int32_t len = 2; len <= m; len *= 2) {
        const float phi = static_cast<float>(sign * 2.0 * std::numbers::pi / len);
        float wpr, wpi;
        RecurrenceCoefficients(phi, wpr, wpi);
        float wr = 1.0f, wi = 0.0f;
        for (int32_t q = 0; q < len / 2; ++q) {
            for (int32_t b = 0; b < m; b += len) {
                float* zj = data + 2 * (b + q);
                float* zk = data + 2 * (b + q + len / 2);
                const float tr = wr * zk[0] - wi * zk[1];
                const float ti = wr * zk[1] + wi * zk[0];
                zk[0] = zj[0] - tr;
                zk[1] = zj[1] - ti;
                zj[0] = zj[0] + tr;
                zj[1] = zj[1] + ti;
            }
            AdvanceTwiddle(wr, wi, wpr, wpi);
        }
    }
}

inline void SplitPlain(float* data, int32_t n, float c2, float theta) {
    float wpr, wpi;
    RecurrenceCoefficients(theta, wpr, wpi);
    float wr = 1.0f + wpr, wi = wpi;
    for (int32_t k = 1; k <= n / 4; ++k) {
        const int32_t e = 2 * k, c = 2 * k + 1, s2 = n - 2 * k, d = n - 2 * k + 1;
        const float h1r = 0.5f * (data[e] + data[s2]);
        const float h1i = 0.5f * (data[c] - data[d]);
        const float h2r = -c2 * (data[c] + data[d]);
        const float h2i = c2 * (data[e] - data[s2]);
        data[e] = h1r + wr * h2r - wi * h2i;
        data[c] = h1i + wr * h2i + wi * h2r;
        data[s2] = h1r - wr * h2r + wi * h2i;
        data[d] = -h1i + wr * h2i + wi * h2r;
        AdvanceTwiddle(wr, wi, wpr, wpi);
    }
}

inline void RealFFTPlain(float* data, int32_t n, bool forward) {
    if (n < 2) {
        return;
    }
    const float theta = static_cast<float>(2.0 * std::numbers::pi / n);
    if (!forward) {
        SplitPlain(data, n, 0.5f, -theta);
        const float h = data[0];
        data[0] = 0.5f * (h + data[1]);
        data[1] = 0.5f * (h - data[1]);
    }
    ComplexTransformPlain(data, n, forward ? 1 : -1);
    if (forward) {
        SplitPlain(data, n, -0.5f, theta);
        const float h = data[0];
        data[0] = h + data[1];
        data[1] = h - data[1];
    } else {
        const float half = static_cast<float>(n / 2);
        for (int32_t i = 0; i < n; ++i) {
            data[i] = data[i] / half;
        }
    }
}

}  // namespace tavrin::testing
