#pragma once

// Writing a trace in the formats other programs read: ZMA (frequency, |Z| in ohms, phase in
// degrees) for impedances, FRD (frequency, dB, degrees) for transfer functions, CSV with a header
// row for either, and Touchstone 1.1 one-port files (Z as real and imaginary part, normalised to
// R ref) for impedances. Each file opens with comment lines, in the format's own comment syntax,
// saying what is known of the measurement. Values have 12 significant digits, frequencies all the
// digits they need to stay distinct, and "." is the decimal point whatever the process locale;
// lines end in CR LF.

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "uTrace.h"

namespace tavrin {

enum class TTraceFormat : uint8_t {
    Zma,
    Frd,
    Csv,
    Touchstone,
};

// The format a file name's extension names (".zma", ".frd", ".csv", ".s1p", any case).
std::optional<TTraceFormat> TraceFormatOfPath(std::string_view path);
// ".zma", ".frd", ".csv", ".s1p".
std::string_view TraceFormatExtension(TTraceFormat format);
// Whether the format can hold a curve of that kind: ZMA and Touchstone hold impedances, FRD
// holds transfer functions, CSV holds either.
bool TraceFormatSuits(TTraceFormat format, TTraceKind kind);

// A CSV column beyond the five of every export (the spot readout's quantities): its header and
// its value at each point; a value that is not finite leaves the cell empty.
struct TExtraColumn {
    std::string Header;
    std::function<double(const TTracePoint&)> Value;
};

// The R ref a Touchstone file is normalised to: the trace's own, or 50 ohms (the format's
// default) when it is unknown or not a positive number.
double TouchstoneReference(const TTraceInfo& info);

// The whole text of the file. Points whose value or frequency is not finite cannot be written in
// any of the formats and are left out. Extra columns are written in CSV only.
std::string FormatTrace(const TTrace& trace, TTraceFormat format,
                        std::span<const TExtraColumn> extra = {});

// Writes the file at `path` in the format its extension names, replacing it as a whole (a failed
// write leaves the old file as it was). Nothing on success, otherwise the text for the user.
std::optional<std::string> WriteTraceFile(const std::string& path, const TTrace& trace,
                                          std::span<const TExtraColumn> extra = {});

}  // namespace tavrin
