#pragma once

// The offset between the playback clock and the capture clock, from the stimulus itself: its
// period is one block on the playback clock, so from one captured block to the next every tone
// on bin k turns by 2 pi k times the offset. A least-squares fit of the turn against k over all
// tones of both channels gives the offset, whatever the stimulus (the level setting's single
// tone and its harmonics, or a measuring band).

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "uUncertainty.h"
#include "uWaveControl.h"

namespace tavrin {

// The estimate as the rest of the program reads it.
struct TClockOffset {
    bool Known = false;
    double Ppm = 0;  // the capture clock runs this many ppm faster than the playback clock
    double StandardError = 0;  // ppm
    int64_t Pairs = 0;         // pairs of successive blocks behind it
    int64_t Blocks = 0;        // blocks seen since the last reset, with or without a pair
};

class TClockOffsetEstimator {
  public:
    // Capture thread: one block as captured (time samples, left and right) and its run and
    // resampling (see TBlockTag). Blocks of one run must follow each other without a gap.
    void AddBlock(const TWaveData& block, uint64_t run, double ratioPpm);
    // Any thread: forgets everything at the next block (other devices, another rate).
    void Reset() { ResetRequested.store(true, std::memory_order_release); }

    // Any thread.
    TClockOffset Offset() const;
    // Capture thread: the offset left over after the resampling in force, and how sure it is.
    double ResidualPpm() const { return Residual.Mean(); }
    double ResidualError() const;
    int64_t ResidualPairs() const { return Residual.Count(); }

    // The turn per block of bin k for an offset of ppm, radians (for tests and tolerances).
    static double TurnPerBlock(int32_t bin, double ppm);

  private:
    // The offset of one pair of spectra in ppm, or false when they hold no usable tone.
    bool PairOffset(double& ppm) const;
    void Publish();

    std::vector<float> Spectra[2];   // this block's, left and right
    std::vector<float> Previous[2];  // the last block's
    bool HavePrevious = false;
    uint64_t PreviousRun = 0;
    double ResidualRatio = 0;  // the resampling Residual was measured through
    TRunningStats Residual;    // per pair, ppm
    std::atomic<bool> ResetRequested{false};
    // Published for other threads.
    std::atomic<bool> PublishedKnown{false};
    std::atomic<double> PublishedPpm{0.0};
    std::atomic<double> PublishedError{0.0};
    std::atomic<int64_t> PublishedPairs{0};
    std::atomic<int64_t> BlocksSeen{0};
};

// "+50.0 ppm" (two decimals below 1 ppm).
std::string FormatPpm(double ppm);
// "Clock offset: +50.0 ppm", as shown beside the asynchrony figure.
std::string ClockOffsetText(const TClockOffset& offset);

// The largest offset (ppm) that leaves results unaffected to about one part in 10^4 for tones
// up to bin `highestBin` averaged over `blocksAveraged` blocks, where it is not compensated.
double ClockOffsetTolerancePpm(int32_t highestBin, double blocksAveraged);

}  // namespace tavrin
