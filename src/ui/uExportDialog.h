#pragma once

// The file dialog of "Export…": a file name, a format chooser offering the formats that suit the
// curve (the name's extension decides when it names one), and the resolution, every bin or a
// number of points per octave. User-interface thread.

#include <cstdint>
#include <optional>
#include <string>

#include "uTrace.h"

class QWidget;

namespace tavrin {

struct TExportChoice {
    std::string Path;             // ends in the extension of a format that suits the curve
    int32_t PointsPerOctave = 0;  // 0: every bin
};

// Modal; nothing when the user cancels. `last` is offered again (its folder, its resolution).
std::optional<TExportChoice> AskExportFile(QWidget* parent, TTraceKind kind,
                                           const TExportChoice& last);

// `path` as the export writes it: unchanged when its extension names a format that suits the
// kind, otherwise with the extension of `chosen` (the chooser's format) appended.
std::string ExportPathFor(std::string path, TTraceKind kind, const std::string& chosenExtension);

}  // namespace tavrin
