#pragma once

// The data lines of each trace format, one line at a time: what is a comment, a heading or an
// option line, how many numbers a data line holds and what they mean. The file handling and the
// line numbers are the caller's.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "uTrace.h"
#include "uTraceExport.h"

namespace tavrin {

class TTraceLineReader {
  public:
    virtual ~TTraceLineReader() = default;
    // Takes one line (without its line end) into the trace. The text for the user (without file
    // and line) when the line is not one the format allows; the trace may then hold part of the
    // file and is to be dropped.
    virtual std::optional<std::string> ReadLine(std::string_view line, TTrace& trace) = 0;
};

// One reader per file: some formats keep state from line to line (headers, options).
std::unique_ptr<TTraceLineReader> MakeTraceLineReader(TTraceFormat format);

// Appends a point, keeping the rules of a trace: finite values, frequencies above 0 Hz and
// strictly ascending, at most kTracePointLimit points. The text for the user when it breaks one.
std::optional<std::string> AppendTracePoint(TTrace& trace, double frequency,
                                            std::complex<double> value);

}  // namespace tavrin
