#pragma once

// The filters through which each input of the virtual box hears the line output: the network
// of the box (exact), the converters' band edge (the same on both inputs) and, optionally, the
// right input's mismatch against the left (the same in every state, so the calibration takes
// it out). Designed once per state and rate from the analytic responses.

#include <complex>
#include <cstdint>
#include <vector>

#include "uVirtualBoxNetwork.h"

namespace tavrin {

// The right input against the left: a gain, an input pole of its own and a fraction of a
// sample of delay.
struct TChannelMismatch {
    double Gain = 0.97;
    double PoleHz = 40000.0;
    double DelaySamples = 0.3;
};

// The converters pass everything up to this fraction of the rate untouched and nothing at half
// the rate; the smooth edge between keeps the filters short.
inline constexpr double kConverterPassband = 0.46;
// Samples by which every filter lags the network, so that the band edge (symmetric in time)
// is causal.
inline constexpr int32_t kConverterDelay = 256;

// 1 up to kConverterPassband x rate, falling smoothly to 0 at rate / 2. Frequency in Hz, >= 0.
double ConverterResponse(double frequency, double rate);
std::complex<double> RightChannelResponse(const TChannelMismatch& mismatch, double frequency,
                                          double rate);

// Impulse responses from the line-output samples to each input's samples, with
// kConverterDelay built in: at every frequency up to kConverterPassband x rate, their
// responses equal the box's node voltages (times the mismatch on the right) delayed by
// kConverterDelay samples, to better than 1e-11 of full scale.
struct TInputFilters {
    std::vector<double> Left;
    std::vector<double> Right;  // as long as Left
};

// mismatch: null for identical inputs.
TInputFilters DesignInputFilters(TVirtualBoxState state, const TVirtualBoxComponents& parts,
                                 double rate, const TChannelMismatch* mismatch,
                                 const TVirtualBoxFaults& faults = {});

}  // namespace tavrin
