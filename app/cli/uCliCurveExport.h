#pragma once

// `measure --export FILE.zma|.frd|.csv|.s1p [--ppo N]`: the last result's curve in the format its
// extension names, with the comment lines of the measurement, at every bin or N points per
// octave. Other names keep the export of the window's Save button.

#include <optional>
#include <string>

#include "uMeasurementResult.h"
#include "uTrace.h"

namespace tavrin {
class TMeasurementSession;
}

namespace tavrin::cli {

// Whether `path`'s extension names one of the curve formats.
bool NamesCurveFormat(const std::string& path);

// Before a run: throws ECliError when the format cannot hold the mode's curve, or --ppo is not
// one of the resolutions offered or comes without a curve format.
void CheckCurveExport(const std::optional<std::string>& path, TMode mode,
                      std::optional<int> pointsPerOctave);

class TCurveExport {
  public:
    // Each result: kept as a curve with what the session knows of it.
    void Take(const TMeasurementResult& result, const TMeasurementSession& session,
              double integrationSeconds);
    // After the run; throws ECliError when there is no curve or the file cannot be written.
    void Write(const std::string& path, std::optional<int> pointsPerOctave,
               const std::string& calibrationPath) const;

  private:
    std::optional<TTrace> Last;
};

}  // namespace tavrin::cli
