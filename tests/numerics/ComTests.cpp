#include <gtest/gtest.h>

#include <numbers>

#include "uCom.h"

namespace tavrin {
namespace {

void ExpectComplex(TComplex actual, float re, float im) {
    EXPECT_FLOAT_EQ(actual.Re, re);
    EXPECT_FLOAT_EQ(actual.Im, im);
}

TEST(ComplexArithmetic, DivisionFollowsSmithAndNeverBlowsUp) {
    ExpectComplex(ComplexDiv({1, 1}, {0, 0}), 0, 0);
    ExpectComplex(ComplexDiv({0, 0}, {2, 3}), 0, 0);
    ExpectComplex(ComplexDiv({1, 0}, {0, 2}), 0, -0.5f);
    ExpectComplex(ComplexDiv({3, 4}, {1, 2}), 2.2f, -0.4f);
    // Both branches of Smith's method, and a denominator whose square would overflow a float.
    ExpectComplex(ComplexDiv({1, 2}, {3, 4}), 0.44f, 0.08f);
    ExpectComplex(ComplexDiv({1, 2}, {4, 3}), 0.4f, 0.2f);
    ExpectComplex(ComplexDiv({3e30f, 0}, {3e30f, 3e30f}), 0.5f, -0.5f);
}

TEST(ComplexArithmetic, ProductsModulusAndPolarForm) {
    EXPECT_FLOAT_EQ(ComplexSqrMod({3, 4}), 25.0f);
    ExpectComplex(ComplexMul({1, 2}, {3, 4}), -5, 10);
    ExpectComplex(ComplexScale({1, -2}, 0.5f), 0.5f, -1);
    ExpectComplex(ComplexToPolar({-1, 0}), 1, std::numbers::pi_v<float>);
    ExpectComplex(ComplexToPolar({0, 0}), 0, 0);
    ExpectComplex(ComplexToPolar({0, -2}), 2, -std::numbers::pi_v<float> / 2);
}

TEST(ComplexArithmetic, ResultMayOverwriteAnOperand) {
    TComplex a{3, 4};
    a = ComplexDiv(a, {1, 2});
    ExpectComplex(a, 2.2f, -0.4f);
    TComplex b{1, 2};
    b = ComplexMul(b, b);
    ExpectComplex(b, -3, 4);
}

}  // namespace
}  // namespace tavrin
