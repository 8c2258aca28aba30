#include "uCom.h"

#include <cmath>

namespace tavrin {

TComplex ComplexCopy(const TComplex& a) {
    return a;
}

float ComplexSqrMod(const TComplex& a) {
    const double re = a.Re;
    const double im = a.Im;
    return static_cast<float>(re * re + im * im);
}

TComplex ComplexMul(const TComplex& a, const TComplex& b) {
    const double ar = a.Re, ai = a.Im, br = b.Re, bi = b.Im;
    return {static_cast<float>(ar * br - ai * bi), static_cast<float>(ar * bi + ai * br)};
}

TComplex ComplexDiv(const TComplex& a, const TComplex& b) {
    if ((a.Re == 0.0f && a.Im == 0.0f) || (b.Re == 0.0f && b.Im == 0.0f)) {
        return ComplexZero;
    }
    const double ar = a.Re, ai = a.Im;
    // Smith's method keeps the intermediate quotient below 1 in magnitude, so no
    // overflow for large denominators; t and d are rounded to float like stored values.
    if (std::fabs(b.Re) >= std::fabs(b.Im)) {
        const double t = static_cast<float>(static_cast<double>(b.Im) / b.Re);
        const double d = static_cast<float>(b.Re + t * b.Im);
        return {static_cast<float>((ar + ai * t) / d), static_cast<float>((ai - ar * t) / d)};
    }
    const double t = static_cast<float>(static_cast<double>(b.Re) / b.Im);
    const double d = static_cast<float>(b.Im + t * b.Re);
    return {static_cast<float>((ar * t + ai) / d), static_cast<float>((ai * t - ar) / d)};
}

TComplex ComplexScale(const TComplex& a, float x) {
    return {static_cast<float>(static_cast<double>(a.Re) * x),
            static_cast<float>(static_cast<double>(a.Im) * x)};
}

TComplex ComplexToPolar(const TComplex& a) {
    return {static_cast<float>(std::sqrt(static_cast<double>(ComplexSqrMod(a)))),
            static_cast<float>(std::atan2(static_cast<double>(a.Im), static_cast<double>(a.Re)))};
}

}  // namespace tavrin
