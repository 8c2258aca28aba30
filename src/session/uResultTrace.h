#pragma once

// A result of the measuring session as a curve to export, store or compare: the impedance of
// modes "Z graph" and "Z graph + LCR" in ohms, or the transfer function of "Transfer graph",
// over the result's band. Both in the electrical sign convention, which the transfer ratio as the
// transform gives it does not follow (a low-pass then has a negative phase, as other programs
// expect).

#include <optional>

#include "uMeasurementResult.h"
#include "uTrace.h"

namespace tavrin {

// Nothing for the results of a calibration run, or a result without a bin in its band. The info
// holds the sampling rate and block length; the caller adds what the session knows.
std::optional<TTrace> TraceOfResult(const TMeasurementResult& result);

}  // namespace tavrin
