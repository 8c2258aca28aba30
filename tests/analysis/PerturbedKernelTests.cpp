// The byte-for-byte comparisons with the plain forms are worth something only if they notice a
// change of one operation in a vector kernel. This program holds the AVX2 kernels compiled a
// second time, each with one operation changed: a reassociated sum in the FFT's split step, and
// a quotient of the complex division left unrounded. The comparisons of the suites must fail on
// them, and pass on the kernels the program runs.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "EvaluationPlain.h"
#include "RealFftPlain.h"
#include "uEvaluation.h"
#include "uEvaluationAvx2.h"
#include "uFFT.h"
#include "uFFTAvx2.h"

#ifndef TAVRIN_PERTURBED_KERNELS
#error "built with the perturbed kernels only"
#endif

namespace tavrin {
namespace {

bool SameBytes(const void* a, const void* b, size_t bytes) {
    return std::memcmp(a, b, bytes) == 0;
}

class PerturbedKernels : public ::testing::Test {
  protected:
    // The program's own kernels through its functions, on the AVX2 path.
    void SetUp() override {
        Saved = CpuPath();
        if (!SetCpuPath(TCpuPath::Avx2)) {
            GTEST_SKIP() << "this CPU has no AVX2";
        }
    }
    void TearDown() override { SetCpuPath(Saved); }
    TCpuPath Saved = TCpuPath::Baseline;
    std::mt19937 Random{5};
};

TEST_F(PerturbedKernels, TheFftComparisonNoticesAReassociatedSum) {
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (const int32_t n : {256, 65536}) {
        for (const bool forward : {true, false}) {
            std::vector<float> plain(static_cast<size_t>(n));
            for (float& x : plain) {
                x = uniform(Random);
            }
            std::vector<float> program = plain, perturbed = plain;
            testing::RealFFTPlain(plain.data(), n, forward);
            RealFFT(program.data(), n, forward);
            avx2_perturbed::RealFft(perturbed.data(), n, forward, FftTwiddles(n, forward));
            const size_t bytes = plain.size() * sizeof(float);
            EXPECT_TRUE(SameBytes(plain.data(), program.data(), bytes)) << n;
            EXPECT_FALSE(SameBytes(plain.data(), perturbed.data(), bytes)) << n;
        }
    }
}

TEST_F(PerturbedKernels, TheEvaluationComparisonNoticesAnUnroundedQuotient) {
    constexpr int32_t kSlots = 1024;
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::vector<TComplex> driving(kSlots), reference(kSlots);
    for (int32_t k = 0; k < kSlots; ++k) {
        driving[k] = {normal(Random), normal(Random)};
        reference[k] = {normal(Random), normal(Random)};
    }
    const TBinRange range{1, kSlots - 1};
    const float wstep = 2.0f * 3.14159265f * 48000.0f / (2 * kSlots);
    const TReferenceArm arm{100.0f, 100e-12f};
    std::vector<TComplex> plain(kSlots), model(kSlots), program(kSlots), perturbed(kSlots);
    testing::ImpedancePlain(driving.data(), reference.data(), plain.data(), model.data(), range.Lo,
                            range.Hi, wstep, arm.Rref, arm.Cin, false);
    ComputeZx(driving, reference, program, range, wstep, arm);
    // The perturbed kernel's quads, the rest of the range as the plain form has it.
    perturbed = plain;
    avx2_perturbed::ComputeZxQuads(driving.data(), reference.data(), perturbed.data(), range, wstep,
                                   arm);
    const size_t bytes = plain.size() * sizeof(TComplex);
    EXPECT_TRUE(SameBytes(plain.data(), program.data(), bytes));
    EXPECT_FALSE(SameBytes(plain.data(), perturbed.data(), bytes));
}

}  // namespace
}  // namespace tavrin
