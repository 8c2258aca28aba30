#include "uVirtualBoxConvolver.h"

#include <algorithm>

namespace tavrin {
namespace {

bool AllZero(const double* x, int32_t n) {
    return std::all_of(x, x + n, [](double v) { return v == 0.0; });
}

}  // namespace

TStereoConvolver::TStereoConvolver(int32_t block, const std::vector<double>& left,
                                   const std::vector<double>& right)
    : Block(block), Fft(2 * block), Window(2 * block, 0.0), SumRe(2 * block), SumIm(2 * block) {
    const int32_t length = static_cast<int32_t>(left.size());
    const int32_t count = std::max<int32_t>(1, (length + block - 1) / block);
    Parts.resize(count);
    History.resize(count);
    for (int32_t p = 0; p < count; ++p) {
        TSpectrum& part = Parts[p];
        part.Re.assign(2 * block, 0.0);
        part.Im.assign(2 * block, 0.0);
        for (int32_t i = 0; i < block && p * block + i < length; ++i) {
            part.Re[i] = left[p * block + i];
            part.Im[i] = right[p * block + i];
        }
        part.Zero = AllZero(part.Re.data(), block) && AllZero(part.Im.data(), block);
        Fft.Forward(part.Re.data(), part.Im.data());
        History[p].Re.assign(2 * block, 0.0);
        History[p].Im.assign(2 * block, 0.0);
    }
}

void TStereoConvolver::Process(const double* input, double* left, double* right) {
    const int32_t n = 2 * Block;
    std::copy(Window.begin() + Block, Window.end(), Window.begin());
    std::copy(input, input + Block, Window.begin() + Block);
    const bool inputZero = AllZero(input, Block);

    Newest = (Newest + 1) % static_cast<int32_t>(History.size());
    TSpectrum& fresh = History[Newest];
    fresh.Zero = inputZero && PreviousZero;
    PreviousZero = inputZero;
    if (!fresh.Zero) {
        std::copy(Window.begin(), Window.end(), fresh.Re.begin());
        std::fill(fresh.Im.begin(), fresh.Im.end(), 0.0);
        Fft.Forward(fresh.Re.data(), fresh.Im.data());
    }

    bool silent = true;
    std::fill(SumRe.begin(), SumRe.end(), 0.0);
    std::fill(SumIm.begin(), SumIm.end(), 0.0);
    const int32_t count = static_cast<int32_t>(Parts.size());
    for (int32_t p = 0; p < count; ++p) {
        const TSpectrum& x = History[(Newest - p + count) % count];
        const TSpectrum& h = Parts[p];
        if (x.Zero || h.Zero) {
            continue;
        }
        silent = false;
        const double* xr = x.Re.data();
        const double* xi = x.Im.data();
        const double* hr = h.Re.data();
        const double* hi = h.Im.data();
        double* sr = SumRe.data();
        double* si = SumIm.data();
        for (int32_t k = 0; k < n; ++k) {
            sr[k] += xr[k] * hr[k] - xi[k] * hi[k];
            si[k] += xr[k] * hi[k] + xi[k] * hr[k];
        }
    }
    if (silent) {
        std::fill(left, left + Block, 0.0);
        std::fill(right, right + Block, 0.0);
        return;
    }
    Fft.Inverse(SumRe.data(), SumIm.data());
    const double scale = 1.0 / n;
    for (int32_t i = 0; i < Block; ++i) {
        left[i] = SumRe[Block + i] * scale;
        right[i] = SumIm[Block + i] * scale;
    }
}

}  // namespace tavrin
