#include "uClockOffset.h"

#include <cstdio>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "uFFT.h"

namespace tavrin {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Bins whose power product with the previous block is this far below the strongest are noise,
// not tones.
constexpr double kToneThreshold = 1e-4;
// Two blocks whose tones' total power differs by more than this are not both in the steady
// state: one of them holds the start of the stimulus or a change of it. (Single bins may
// differ more: off-bin tones leak into each other, and their leakage turns from block to
// block; the total does not.)
constexpr double kSteadyLimit = 1e-3;

}  // namespace

double TClockOffsetEstimator::TurnPerBlock(int32_t bin, double ppm) {
    return kTwoPi * bin * ppm * 1e-6;
}

void TClockOffsetEstimator::AddBlock(const TWaveData& block, uint64_t run, double ratioPpm) {
    if (ResetRequested.exchange(false, std::memory_order_acq_rel)) {
        HavePrevious = false;
        Residual.Reset();
        BlocksSeen.store(0, std::memory_order_relaxed);
        Publish();
    }
    BlocksSeen.fetch_add(1, std::memory_order_relaxed);
    // What is left to measure changes with the resampling it is measured through. The last
    // estimate stays published until the first pair through the new one.
    if (ratioPpm != ResidualRatio) {
        Residual.Reset();
        ResidualRatio = ratioPpm;
    }
    const size_t n = block[0].size();
    if (n < 4 || block[1].size() != n) {
        HavePrevious = false;
        return;
    }
    for (int c = 0; c < 2; ++c) {
        Spectra[c].assign(block[c].begin(), block[c].end());
        RealFFT(Spectra[c].data(), static_cast<int32_t>(n), true);
    }
    if (HavePrevious && run == PreviousRun && Previous[0].size() == n) {
        double ppm = 0;
        if (PairOffset(ppm)) {
            Residual.Add(ppm);
            Publish();
        }
    }
    std::swap(Spectra, Previous);
    HavePrevious = true;
    PreviousRun = run;
}

bool TClockOffsetEstimator::PairOffset(double& ppm) const {
    const auto slots = static_cast<int32_t>(Spectra[0].size() / 2);
    // Per bin, this block's value times the conjugate of the last one's, both channels added:
    // its phase is the bin's turn from one block to the next, its size the weight it deserves.
    const auto product = [&](int32_t k, double& re, double& im) {
        re = im = 0;
        for (int c = 0; c < 2; ++c) {
            const double xr = Spectra[c][2 * static_cast<size_t>(k)];
            const double xi = Spectra[c][2 * static_cast<size_t>(k) + 1];
            const double pr = Previous[c][2 * static_cast<size_t>(k)];
            const double pi = Previous[c][2 * static_cast<size_t>(k) + 1];
            re += xr * pr + xi * pi;
            im += xi * pr - xr * pi;
        }
    };
    double strongest = 0;
    for (int32_t k = 1; k < slots; ++k) {
        double re = 0, im = 0;
        product(k, re, im);
        strongest = std::max(strongest, std::hypot(re, im));
    }
    if (!(strongest > 0)) {
        return false;
    }
    double now = 0, before = 0;
    double sww = 0, swp = 0, slope = 0;  // weighted sums of k^2 and of k times the turn
    for (int32_t k = 1; k < slots; ++k) {
        double re = 0, im = 0;
        product(k, re, im);
        const double weight = std::hypot(re, im);
        if (weight < kToneThreshold * strongest) {
            continue;
        }
        for (int c = 0; c < 2; ++c) {
            const size_t i = 2 * static_cast<size_t>(k);
            now += Spectra[c][i] * Spectra[c][i] + Spectra[c][i + 1] * Spectra[c][i + 1];
            before += Previous[c][i] * Previous[c][i] + Previous[c][i + 1] * Previous[c][i + 1];
        }
        // Tones are taken from the lowest up, each unwrapped against the slope found so far.
        // Past a quarter turn per block a tone lies a quarter bin off its own and shares its
        // bin with its neighbour: the tones up to there have said enough.
        const double predicted = slope * k;
        if (std::fabs(predicted) > kTwoPi / 4) {
            break;
        }
        const double turn = predicted + std::remainder(std::atan2(im, re) - predicted, kTwoPi);
        sww += weight * k * k;
        swp += weight * k * turn;
        slope = swp / sww;
    }
    if (!(sww > 0) || std::fabs(now - before) > kSteadyLimit * before) {
        return false;
    }
    ppm = slope / kTwoPi * 1e6;
    return true;
}

double TClockOffsetEstimator::ResidualError() const {
    const int64_t n = Residual.Count();
    return n > 1 ? std::sqrt(Residual.Variance() / static_cast<double>(n))
                 : std::numeric_limits<double>::infinity();
}

void TClockOffsetEstimator::Publish() {
    PublishedPpm.store(ResidualRatio + Residual.Mean(), std::memory_order_relaxed);
    PublishedError.store(ResidualError(), std::memory_order_relaxed);
    PublishedPairs.store(Residual.Count(), std::memory_order_relaxed);
    PublishedKnown.store(Residual.Count() > 0, std::memory_order_release);
}

TClockOffset TClockOffsetEstimator::Offset() const {
    TClockOffset offset;
    offset.Known = PublishedKnown.load(std::memory_order_acquire);
    offset.Ppm = PublishedPpm.load(std::memory_order_relaxed);
    offset.StandardError = PublishedError.load(std::memory_order_relaxed);
    offset.Pairs = PublishedPairs.load(std::memory_order_relaxed);
    offset.Blocks = BlocksSeen.load(std::memory_order_relaxed);
    return offset;
}

double ClockOffsetTolerancePpm(int32_t highestBin, double blocksAveraged) {
    // The highest tone may turn by 0.01 rad over the blocks averaged.
    const double blocks = std::max(1.0, blocksAveraged);
    return highestBin > 0 ? 0.01 / (kTwoPi * highestBin * blocks) * 1e6 : 0.0;
}

std::string FormatPpm(double ppm) {
    char text[32];
    std::snprintf(text, sizeof text, std::fabs(ppm) < 1.0 ? "%+.2f ppm" : "%+.1f ppm", ppm);
    return text;
}

std::string ClockOffsetText(const TClockOffset& offset) {
    return "Clock offset: " + FormatPpm(offset.Ppm);
}

}  // namespace tavrin
