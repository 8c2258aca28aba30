#pragma once

// Complex values as pairs of 32-bit floats. Arithmetic is carried out in double
// precision and rounded to float when stored; division never raises.

namespace tavrin {

struct TComplex {
    float Re;
    float Im;
};

inline constexpr TComplex ComplexZero{0.0f, 0.0f};
inline constexpr TComplex ComplexOne{1.0f, 0.0f};

inline bool operator==(const TComplex& a, const TComplex& b) {
    return a.Re == b.Re && a.Im == b.Im;
}

TComplex ComplexCopy(const TComplex& a);
float ComplexSqrMod(const TComplex& a);
TComplex ComplexMul(const TComplex& a, const TComplex& b);
// a / b by Smith's method; ComplexZero when a or b is zero.
TComplex ComplexDiv(const TComplex& a, const TComplex& b);
TComplex ComplexScale(const TComplex& a, float x);
// (modulus, phase in radians, -pi..pi) packed as Re, Im.
TComplex ComplexToPolar(const TComplex& a);

// A packed spectrum of N floats read as N/2 complex slots; slot 0 holds (DC, Nyquist).
inline TComplex* ComplexSlots(float* spectrum) {
    return reinterpret_cast<TComplex*>(spectrum);
}
inline const TComplex* ComplexSlots(const float* spectrum) {
    return reinterpret_cast<const TComplex*>(spectrum);
}

}  // namespace tavrin
