#include "uVirtualBoxFft.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace tavrin {

TComplexFft::TComplexFft(int32_t n) : N(n), TwiddleRe(n), TwiddleIm(n) {
    int32_t bits = 0;
    while ((1 << bits) < n) {
        ++bits;
    }
    for (int32_t i = 0; i < n; ++i) {
        int32_t reversed = 0;
        for (int32_t b = 0; b < bits; ++b) {
            reversed |= ((i >> b) & 1) << (bits - 1 - b);
        }
        if (i < reversed) {
            Swaps.emplace_back(i, reversed);
        }
    }
    for (int32_t h = 1; h < n; h *= 2) {
        for (int32_t j = 0; j < h; ++j) {
            const double angle = -std::numbers::pi * j / h;
            TwiddleRe[h + j] = std::cos(angle);
            TwiddleIm[h + j] = std::sin(angle);
        }
    }
}

void TComplexFft::Forward(double* re, double* im) const {
    for (const auto& [a, b] : Swaps) {
        std::swap(re[a], re[b]);
        std::swap(im[a], im[b]);
    }
    for (int32_t i = 0; i < N; i += 2) {
        const double r = re[i + 1];
        const double m = im[i + 1];
        re[i + 1] = re[i] - r;
        im[i + 1] = im[i] - m;
        re[i] += r;
        im[i] += m;
    }
    for (int32_t h = 2; h < N; h *= 2) {
        const double* wr = TwiddleRe.data() + h;
        const double* wi = TwiddleIm.data() + h;
        for (int32_t start = 0; start < N; start += 2 * h) {
            double* ar = re + start;
            double* ai = im + start;
            double* br = ar + h;
            double* bi = ai + h;
            for (int32_t j = 0; j < h; ++j) {
                const double tr = br[j] * wr[j] - bi[j] * wi[j];
                const double ti = br[j] * wi[j] + bi[j] * wr[j];
                br[j] = ar[j] - tr;
                bi[j] = ai[j] - ti;
                ar[j] += tr;
                ai[j] += ti;
            }
        }
    }
}

}  // namespace tavrin
