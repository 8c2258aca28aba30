#pragma once

// Reading a curve written by this program or another one (ZMA, FRD, CSV, Touchstone 1.1 .s1p)
// as a trace, for use as a reference. Reading stops at the first line that is not what the
// format allows, and the message names the file and that line; a failed read returns no trace
// at all, so the caller has nothing half-read to undo.

#include <optional>
#include <string>
#include <string_view>

#include "uTrace.h"
#include "uTraceExport.h"

namespace tavrin {

struct TTraceRead {
    std::optional<TTrace> Trace;
    // When there is no trace: "<file>, line 12: "1.5x" is not a number" and the like.
    std::string Error;
};

// A line longer than this ends the reading: no curve file has one, and a file without line ends
// is not read into memory as a whole.
inline constexpr size_t kTraceLineLimit = 16384;

// Reads `text` in `format`; `fileName` names it in messages. Lines end in LF, CR LF or CR.
TTraceRead ParseTraceText(std::string_view text, TTraceFormat format, std::string_view fileName);

// Reads the file at `path` in the format its extension names, a piece at a time, so that a huge
// file costs no more than the lines up to its first fault.
TTraceRead ReadTraceFile(const std::string& path);

}  // namespace tavrin
