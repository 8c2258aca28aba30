#include "uFFTTwiddles.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <numbers>

namespace tavrin {
namespace {

void RecurrenceCoefficients(float angle, float& wpr, float& wpi) {
    const double half = std::sin(0.5 * static_cast<double>(angle));
    wpr = static_cast<float>(-2.0 * half * half);
    wpi = static_cast<float>(std::sin(static_cast<double>(angle)));
}

void AdvanceTwiddle(float& wr, float& wi, float wpr, float wpi) {
    const float old = wr;
    wr = wr + (wr * wpr - wi * wpi);
    wi = wi + (wi * wpr + old * wpi);
}

uint32_t ReverseBits(uint32_t value, int bits) {
    uint32_t reversed = 0;
    for (int b = 0; b < bits; ++b) {
        reversed = (reversed << 1) | ((value >> b) & 1u);
    }
    return reversed;
}

// The pairs (i, reversed i), i < reversed i, of the bit-reversal permutation of m values.
// They are listed tile by tile: with i = [high 3 bits | middle | low 3 bits], a tile holds the
// 64 indices of one middle part, whose values and partners fill eight whole cache lines each,
// so the exchange walks the array line by line instead of at random.
void BuildSwaps(int32_t m, std::vector<uint32_t>& swaps) {
    const int bits = std::countr_zero(static_cast<uint32_t>(m));
    constexpr int kTileBits = 3;
    const auto add = [&](uint32_t i) {
        const uint32_t j = ReverseBits(i, bits);
        if (i < j) {
            swaps.push_back(i);
            swaps.push_back(j);
        }
    };
    if (bits < 2 * kTileBits) {
        for (uint32_t i = 0; i < static_cast<uint32_t>(m); ++i) {
            add(i);
        }
        return;
    }
    const int middleBits = bits - 2 * kTileBits;
    for (uint32_t middle = 0; middle < (1u << middleBits); ++middle) {
        for (uint32_t high = 0; high < (1u << kTileBits); ++high) {
            for (uint32_t low = 0; low < (1u << kTileBits); ++low) {
                add(high << (bits - kTileBits) | middle << kTileBits | low);
            }
        }
    }
}

TFftTwiddles* BuildTwiddles(int32_t n, int sign) {
    auto* tables = new TFftTwiddles;
    const int32_t m = n / 2;
    tables->Stages.resize(static_cast<size_t>(m > 1 ? m - 1 : 0) * 2);
    for (int32_t len = 2; len <= m; len *= 2) {
        float wpr, wpi;
        RecurrenceCoefficients(static_cast<float>(sign * 2.0 * std::numbers::pi / len), wpr, wpi);
        float wr = 1.0f, wi = 0.0f;
        float* out = tables->Stages.data() + 2 * (len / 2 - 1);
        for (int32_t q = 0; q < len / 2; ++q) {
            out[2 * q] = wr;
            out[2 * q + 1] = wi;
            AdvanceTwiddle(wr, wi, wpr, wpi);
        }
    }
    BuildSwaps(m, tables->Swaps);
    tables->Split.resize(static_cast<size_t>(n / 4) * 2);
    float wpr, wpi;
    RecurrenceCoefficients(static_cast<float>(sign * (2.0 * std::numbers::pi / n)), wpr, wpi);
    float wr = 1.0f + wpr, wi = wpi;
    for (int32_t k = 1; k <= n / 4; ++k) {
        tables->Split[2 * (k - 1)] = wr;
        tables->Split[2 * (k - 1) + 1] = wi;
        AdvanceTwiddle(wr, wi, wpr, wpi);
    }
    return tables;
}

}  // namespace

// At most 2 x 31 tables, so the transform itself allocates nothing in steady state.
const TFftTwiddles& FftTwiddles(int32_t n, bool forward) {
    static std::atomic<TFftTwiddles*> cache[2][32];
    std::atomic<TFftTwiddles*>& slot =
        cache[forward ? 0 : 1][std::countr_zero(static_cast<uint32_t>(n))];
    TFftTwiddles* tables = slot.load(std::memory_order_acquire);
    if (tables == nullptr) {
        TFftTwiddles* fresh = BuildTwiddles(n, forward ? 1 : -1);
        if (slot.compare_exchange_strong(tables, fresh, std::memory_order_acq_rel)) {
            tables = fresh;
        } else {
            delete fresh;  // another thread was first; its table is identical
        }
    }
    return *tables;
}

}  // namespace tavrin
