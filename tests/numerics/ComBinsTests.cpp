// The operations over runs of bins give, value for value, the bits of the single operation, on
// every code path: both branches of the division, zeros on either side, huge and tiny values,
// runs that end inside a group of four, and results written over an input.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "CpuPathTest.h"
#include "uComBins.h"

namespace tavrin {
namespace {

std::vector<TComplex> Values(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::vector<TComplex> values(count);
    for (size_t i = 0; i < count; ++i) {
        values[i] = {normal(random), normal(random)};
        switch (i % 11) {
            case 3:
                values[i] = ComplexZero;
                break;
            case 5:
                values[i].Re = 0.0f;
                break;
            case 7:
                values[i].Im = -0.0f;
                break;
            case 8:
                values[i] = {values[i].Re * 1e30f, values[i].Im * 1e-30f};
                break;
            default:
                break;
        }
    }
    return values;
}

bool SameBytes(const std::vector<TComplex>& a, const std::vector<TComplex>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(TComplex)) == 0);
}

class ComBins : public testing::CpuPathTest {};

TEST_P(ComBins, EachValueIsThatOfTheSingleOperation) {
    for (const int32_t count : {0, 1, 3, 4, 7, 1001}) {
        SCOPED_TRACE(count);
        const std::vector<TComplex> a = Values(static_cast<size_t>(count), 1);
        const std::vector<TComplex> b = Values(static_cast<size_t>(count), 2);
        std::vector<TComplex> product(a.size()), quotient(a.size()), scaled(a.size());
        for (size_t i = 0; i < a.size(); ++i) {
            product[i] = ComplexMul(a[i], b[i]);
            quotient[i] = ComplexDiv(a[i], b[i]);
            scaled[i] = ComplexScale(a[i], 0.37f);
        }
        std::vector<TComplex> out(a.size());
        MultiplyBins(a.data(), b.data(), out.data(), count);
        EXPECT_TRUE(SameBytes(out, product));
        DivideBins(a.data(), b.data(), out.data(), count);
        EXPECT_TRUE(SameBytes(out, quotient));
        ScaleBins(a.data(), 0.37f, out.data(), count);
        EXPECT_TRUE(SameBytes(out, scaled));

        // In place, over either input.
        std::vector<TComplex> over = a;
        DivideBins(over.data(), b.data(), over.data(), count);
        EXPECT_TRUE(SameBytes(over, quotient));
        over = b;
        MultiplyBins(a.data(), over.data(), over.data(), count);
        EXPECT_TRUE(SameBytes(over, product));
    }
}

TAVRIN_INSTANTIATE_CPU_PATHS(ComBins);

}  // namespace
}  // namespace tavrin
