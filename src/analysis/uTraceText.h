#pragma once

// The text pieces every trace file shares: numbers as written in the data lines, and the lines
// that describe the measurement ("Sample rate: 48000 Hz"), which the writers put in comments and
// the readers take back from them, and which the reference file keeps with each curve.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "uTrace.h"

namespace tavrin {

// 12 significant digits, the shortest general form ("1000", "0.3", "1.5e-07"), "." as the
// decimal point; enough for any 64-bit value to come back within 1e-11.
void AppendTraceNumber(std::string& out, double value);
std::string TraceNumberText(double value);
// A setting of the measurement: a value the program holds as a 32-bit float (R ref, C in) as
// the float's shortest text ("33.3", not "33.2999992371"), anything else as AppendTraceNumber.
void AppendSettingNumber(std::string& out, double value);

// The shortest text that reads back as exactly `value` ("46.875", "95999.267578125"): for
// frequencies, which must stay distinct and ascending however close they are.
void AppendExactNumber(std::string& out, double value);

// "Tavrin impedance curve" or "Tavrin transfer function", then one line per known field of the
// info and the resolution and point count. No comment prefix, no line end.
std::vector<std::string> TraceInfoLines(const TTrace& trace);

// Takes one line of the form TraceInfoLines writes into `info`; false (info untouched) for any
// other text, so that foreign comments are passed over.
bool ReadTraceInfoLine(std::string_view line, TTraceInfo& info);

// A data token quoted for an error message: at most 24 characters, anything unprintable as "?".
std::string QuotedToken(std::string_view token);

}  // namespace tavrin
