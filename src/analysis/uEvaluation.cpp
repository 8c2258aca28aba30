#include "uEvaluation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "uComBins.h"
#include "uCpuPath.h"
#include "uEvaluationAvx2.h"
#include "uNumberText.h"
#include "uStimulus.h"

namespace tavrin {
namespace {

bool UseAvx2() {
#if TAVRIN_AVX2_KERNELS
    return CpuPath() == TCpuPath::Avx2;
#else
    return false;
#endif
}

// R ref in parallel with C in at bin k.
TComplex ArmOfBin(int32_t k, float angularStep, TReferenceArm arm) {
    const float rref = arm.Rref;
    const float cin = arm.Cin;
    const float w = static_cast<float>(k) * angularStep;
    const double t = static_cast<double>(cin) * rref * w;
    const double den = t * t + 1.0;
    return {static_cast<float>(rref / den),
            static_cast<float>(-(static_cast<double>(rref) * rref * cin * w) / den)};
}

TComplex ZxOfBin(TComplex driving, TComplex reference, TComplex arm) {
    TComplex q = ComplexDiv(driving, reference);
    // The transform's positive exponent conjugates phases; the sign change gives the
    // electrical convention, in which an inductance has positive reactance.
    q = {q.Re - 1.0f, -q.Im};
    return ComplexMul(arm, q);
}

// The fit's sums over bins from..range.Hi, added bin after bin to those taken before.
void AccumulateFitSums(std::span<const TComplex> zx, int32_t from, TBinRange range,
                       float angularStep, TFitSums& sums) {
    float rSum = sums.R, tgSum = sums.Tg, sww = sums.Ww, sxw = sums.Xw, sinv = sums.Inv,
          sxinv = sums.Xinv;
    for (int32_t k = from; k <= range.Hi; ++k) {
        const float w = static_cast<float>(k) * angularStep;
        const TComplex z = zx[k];
        rSum += z.Re;
        ++sums.Bins;
        if (z.Im != 0.0f) {
            tgSum += static_cast<float>(static_cast<double>(z.Re) / z.Im);
            ++sums.WithReactance;
        }
        sww += static_cast<float>(static_cast<double>(w) * w);
        sxw += static_cast<float>(static_cast<double>(z.Im) * w);
        sinv += static_cast<float>(1.0 / (static_cast<double>(w) * w));
        sxinv -= static_cast<float>(static_cast<double>(z.Im) / w);
        if (z.Im > 0.0f) {
            ++sums.Positive;
        }
    }
    sums.R = rSum;
    sums.Tg = tgSum;
    sums.Ww = sww;
    sums.Xw = sxw;
    sums.Inv = sinv;
    sums.Xinv = sxinv;
}

}  // namespace

TBinRange BandBins(int32_t length, uint32_t sampleRate, float lowFrequency, float highFrequency,
                   int32_t slots) {
    // Below a block of 4 there is no bin at all: slot 0 holds DC and Nyquist, never a tone.
    return {std::max(FrequencyToBin(length, lowFrequency, sampleRate), 1),
            std::min(FrequencyToBin(length, highFrequency, sampleRate), slots - 1)};
}

float AngularStep(uint32_t sampleRate, int32_t length) {
    return static_cast<float>(2.0 * std::numbers::pi * sampleRate / length);
}

void ComputeZx(std::span<const TComplex> driving, std::span<const TComplex> reference,
               std::span<TComplex> out, TBinRange range, float angularStep, TReferenceArm arm) {
    int32_t from = range.Lo;
#if TAVRIN_AVX2_KERNELS
    if (UseAvx2()) {
        from = TAVRIN_AVX2_NAMESPACE::ComputeZxQuads(driving.data(), reference.data(), out.data(),
                                                     range, angularStep, arm);
    }
#endif
    for (int32_t k = from; k <= range.Hi; ++k) {
        out[k] = ZxOfBin(driving[k], reference[k], ArmOfBin(k, angularStep, arm));
    }
}

void ReferenceArmImpedance(std::span<TComplex> armImpedance, TBinRange range, float angularStep,
                           TReferenceArm arm) {
    int32_t from = range.Lo;
#if TAVRIN_AVX2_KERNELS
    if (UseAvx2()) {
        from =
            TAVRIN_AVX2_NAMESPACE::ReferenceArmQuads(armImpedance.data(), range, angularStep, arm);
    }
#endif
    for (int32_t k = from; k <= range.Hi; ++k) {
        armImpedance[k] = ArmOfBin(k, angularStep, arm);
    }
}

void ComputeZx(std::span<const TComplex> driving, std::span<const TComplex> reference,
               std::span<TComplex> out, TBinRange range, std::span<const TComplex> armImpedance) {
    int32_t from = range.Lo;
#if TAVRIN_AVX2_KERNELS
    if (UseAvx2()) {
        from = TAVRIN_AVX2_NAMESPACE::ComputeZxQuads(driving.data(), reference.data(), out.data(),
                                                     range, armImpedance.data());
    }
#endif
    for (int32_t k = from; k <= range.Hi; ++k) {
        out[k] = ZxOfBin(driving[k], reference[k], armImpedance[k]);
    }
}

TSeriesFit FitSeries(std::span<const TComplex> zx, TBinRange range, float angularStep) {
    TFitSums sums;
    int32_t from = range.Lo;
#if TAVRIN_AVX2_KERNELS
    if (UseAvx2()) {
        from = TAVRIN_AVX2_NAMESPACE::AccumulateFitSumsQuads(zx.data(), range, angularStep, sums);
    }
#endif
    AccumulateFitSums(zx, from, range, angularStep, sums);
    float rSum = sums.R;
    const float tgSum = sums.Tg, sww = sums.Ww, sxw = sums.Xw, sinv = sums.Inv, sxinv = sums.Xinv;
    const int32_t nR = sums.Bins, nTg = sums.WithReactance, nPos = sums.Positive;
    const int32_t nNeg = nR - nPos;

    TSeriesFit fit;
    // The majority sign of the reactance decides between inductor and capacitor.
    fit.Inductive = nPos > nNeg;
    if (fit.Inductive) {
        fit.Inductance = sxw / sww;  // least squares of X = w L
        fit.ReactanceKnown = true;
    } else if (sxinv != 0.0f) {
        fit.Capacitance = sinv / sxinv;  // least squares of X = -1 / (w C)
        fit.ReactanceKnown = true;
    }
    if (rSum < 0.0f) {
        rSum = 0.0f;
    }
    fit.Resistance = nR > 0 ? rSum / static_cast<float>(nR) : 0.0f;
    if (nTg > 0) {
        fit.LossTangentKnown = true;
        fit.LossTangent = std::fabs(tgSum / static_cast<float>(nTg));
    }
    return fit;
}

void SeriesModel(const TSeriesFit& fit, std::span<TComplex> out, TBinRange range,
                 float angularStep) {
    int32_t from = range.Lo;
#if TAVRIN_AVX2_KERNELS
    if (UseAvx2()) {
        from = TAVRIN_AVX2_NAMESPACE::SeriesModelQuads(fit, out.data(), range, angularStep);
    }
#endif
    for (int32_t k = from; k <= range.Hi; ++k) {
        const float w = static_cast<float>(k) * angularStep;
        out[k] = {fit.Resistance,
                  fit.Inductive
                      ? w * fit.Inductance
                      : static_cast<float>(-1.0 / (static_cast<double>(w) * fit.Capacitance))};
    }
}

std::string FormatSeriesFit(const TSeriesFit& fit) {
    std::string text;
    if (fit.Inductive) {
        text = "Lx= " + FormatEng(fit.Inductance) + "H";
    } else if (fit.ReactanceKnown) {
        text = "Cx= " + FormatEng(fit.Capacitance) + "F";
    } else {
        text = "Cx= ??";
    }
    text += "\r\nR= " + FormatEng(fit.Resistance) + "Ohm";
    text += fit.LossTangentKnown ? "\r\ntg= " + FormatLossTangent(fit.LossTangent) : "\r\ntg= ??";
    return text;
}

void ComputeRatio(std::span<const TComplex> numerator, std::span<const TComplex> denominator,
                  std::span<TComplex> out, TBinRange range) {
    if (range.Hi >= range.Lo) {
        DivideBins(numerator.data() + range.Lo, denominator.data() + range.Lo,
                   out.data() + range.Lo, range.Hi - range.Lo + 1);
    }
}

}  // namespace tavrin
