#pragma once

// A curve against frequency as the program exports, stores, loads and compares it: frequencies
// in Hz, strictly ascending, each with one complex value (ohms for an impedance, a plain ratio
// for a transfer function, the electrical sign convention in both), and what is known of the
// measurement that made it. Values are 64-bit so that curves read from files keep their digits.

#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "uCom.h"
#include "uEvaluation.h"

namespace tavrin {

enum class TTraceKind : uint8_t {
    Impedance = 0,
    Transfer = 1,
};

struct TTracePoint {
    double Frequency = 0;  // Hz
    std::complex<double> Value;
};

// What is known of the measurement; an empty field is unknown (a curve from another program).
struct TTraceInfo {
    std::optional<uint32_t> SampleRate;          // samples per second
    std::optional<int32_t> BlockLength;          // samples
    std::optional<double> Rref;                  // ohms
    std::optional<double> Cin;                   // farads
    std::optional<double> IntegrationTime;       // seconds
    std::optional<std::string> CalibrationDate;  // as the calibration's record gives it
    // Set once the points are means over logarithmic cells; empty for one point per bin.
    std::optional<int32_t> PointsPerOctave;

    bool operator==(const TTraceInfo&) const = default;
};

struct TTrace {
    TTraceKind Kind = TTraceKind::Impedance;
    std::vector<TTracePoint> Points;
    TTraceInfo Info;
};

// The most points a trace may hold: eight times the bins of the longest block, so that any
// curve of this program and of ordinary measuring programs fits, while a damaged count or a
// runaway file is refused before it is allocated.
inline constexpr size_t kTracePointLimit = size_t{1} << 20;

// Bins range.Lo..Hi of a spectrum of complex slots as trace points, bin k at
// k * sampleRate / length Hz. Slots outside the spectrum are not read.
std::vector<TTracePoint> PointsFromBins(std::span<const TComplex> slots, TBinRange range,
                                        uint32_t sampleRate, int32_t length);

// Phase in degrees, -180..180.
double PhaseDegrees(std::complex<double> value);

// Empty when the frequencies are finite, positive and strictly ascending and every value is
// finite; otherwise the index of the first point that is not.
std::optional<size_t> FirstDisorderedPoint(std::span<const TTracePoint> points);

}  // namespace tavrin
