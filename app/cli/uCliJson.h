#pragma once

// A result as one JSON object, the line the command line prints for it, and the rows its export
// writes: the curve of channel 0 over the result's bins.

#include <array>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "uBenchMeter.h"
#include "uMeasurementResult.h"

namespace tavrin::cli {

// The program's texts, CR LF between lines, as a list of lines.
std::vector<std::string> TextLines(const std::string& text);

// The mode's name on the command line: "z", "lcr", "transfer" ("calibration" for mode 0).
const char* ModeName(TMode mode);

// The shortest decimal that reads back as the same 32-bit float, as a JSON number.
double ShortestFloat(float value);

// The series fit: its kind, its values in SI units (null where the readout says "??") and the
// three readout lines.
nlohmann::json FitJson(const TSeriesFit& fit);

// The running reading of an LCR run: the means, their expanded uncertainties (k = 2) and the
// readout lines cut to the digits the uncertainty supports; the reactance is null where the
// data do not show one.
nlohmann::json ReadingJson(const TFitReading& reading);

// Frequency (Hz), real and imaginary part of channel 0 for each bin of the result, in the order
// of the bins.
std::vector<std::array<double, 3>> CurveRows(const TMeasurementResult& result);

// The bench readings: the spot readout in SI units (null where a value is infinite), the
// circuits fitted over the band and whether the compensation corrected the result.
nlohmann::json BenchJson(const TBenchReadout& readout);
// What the captures tell of the inputs: C in (F) and R in (ohms, null for none), or why not.
nlohmann::json InputJson(const TInputFigures& figures);

struct TResultExtras {
    int Index = 0;  // 1 for the first result of a run
    float Amplitude = 0;
    bool Saturated = false;
    bool WithCurve = false;
};
nlohmann::json ResultJson(const TMeasurementResult& result, const TResultExtras& extras);

}  // namespace tavrin::cli
