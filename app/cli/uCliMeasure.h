#pragma once

#include <optional>
#include <string>

#include "uCliCommand.h"
#include "uCliDriver.h"
#include "uCliSetup.h"

namespace tavrin::cli {

// `measure`: a run in "Z graph", "Z graph + LCR" or "Transfer graph", one JSON object a line for
// each result, and the curves of the last result in the export format when asked. Mode "driver"
// is a run in "Z graph" with each result fitted as a loudspeaker driver.
class TMeasureCommand : public TCliCommand {
  public:
    void Register(CLI::App& program) override;
    void Run(TCliEnvironment& environment) override;

  private:
    TSetupOptions Options;
    std::string Mode;
    std::optional<std::string> Rref;
    std::optional<std::string> Cin;
    int Results = 1;
    bool Swap = false;
    bool AllowUncalibrated = false;
    bool ClockCompensation = false;
    bool Curve = false;
    std::optional<std::string> ExportPath;
    std::optional<std::string> Spot;
    std::optional<std::string> Model;
    std::optional<std::string> Rin;
    bool MeasuredInputs = false;
    std::optional<int> PointsPerOctave;
    TDriverOptions Driver;
};

}  // namespace tavrin::cli
