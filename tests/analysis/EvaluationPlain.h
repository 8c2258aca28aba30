#pragma once

// The straightforward form of the impedance evaluation and its series fit, one loop as the
// method is written: every bin's Zx, the fit's sums in the same pass, then the model. The
// program's evaluation must give exactly these numbers, however it is organised.

#include <cmath>
#include <cstdint>
#include <numbers>

#include "uCom.h"

namespace tavrin::testing {

struct TPlainFit {
    bool Inductive = false;
    bool ReactanceKnown = false;
    float L = 0, C = 1000000.0f, R = 0;
    bool TgKnown = false;
    float Tg = 0;
};

// Zx into out[kLo..kHi]; with evaluate, the model into model[kLo..kHi] and the fit returned.
inline TPlainFit ImpedancePlain(const TComplex* driving, const TComplex* reference, TComplex* out,
                                TComplex* model, int32_t kLo, int32_t kHi, float wstep, float rref,
                                float cin, bool evaluate) {
    float rSum = 0, tgSum = 0, sww = 0, sxw = 0, sinv = 0, sxinv = 0;
    int32_t nR = 0, nTg = 0, nPos = 0, nNeg = 0;
    for (int32_t k = kLo; k <= kHi; ++k) {
        const float w = static_cast<float>(k) * wstep;
        const double t = static_cast<double>(cin) * rref * w;
        const double den = t * t + 1.0;
        const TComplex zref{
            static_cast<float>(rref / den),
            static_cast<float>(-(static_cast<double>(rref) * rref * cin * w) / den)};
        TComplex q = ComplexDiv(driving[k], reference[k]);
        q = {q.Re - 1.0f, -q.Im};
        const TComplex z = ComplexMul(zref, q);
        out[k] = z;
        if (!evaluate) {
            continue;
        }
        rSum += z.Re;
        ++nR;
        if (z.Im != 0.0f) {
            tgSum += static_cast<float>(static_cast<double>(z.Re) / z.Im);
            ++nTg;
        }
        sww += static_cast<float>(static_cast<double>(w) * w);
        sxw += static_cast<float>(static_cast<double>(z.Im) * w);
        sinv += static_cast<float>(1.0 / (static_cast<double>(w) * w));
        sxinv -= static_cast<float>(static_cast<double>(z.Im) / w);
        if (z.Im > 0.0f) {
            ++nPos;
        } else {
            ++nNeg;
        }
    }
    TPlainFit fit;
    if (!evaluate) {
        return fit;
    }
    fit.Inductive = nPos > nNeg;
    if (fit.Inductive) {
        fit.L = sxw / sww;
        fit.ReactanceKnown = true;
    } else if (sxinv != 0.0f) {
        fit.C = sinv / sxinv;
        fit.ReactanceKnown = true;
    }
    if (rSum < 0.0f) {
        rSum = 0.0f;
    }
    fit.R = nR > 0 ? rSum / static_cast<float>(nR) : 0.0f;
    if (nTg > 0) {
        fit.TgKnown = true;
        fit.Tg = std::fabs(tgSum / static_cast<float>(nTg));
    }
    for (int32_t k = kLo; k <= kHi; ++k) {
        const float w = static_cast<float>(k) * wstep;
        model[k] = {fit.R, fit.Inductive
                               ? w * fit.L
                               : static_cast<float>(-1.0 / (static_cast<double>(w) * fit.C))};
    }
    return fit;
}

}  // namespace tavrin::testing
