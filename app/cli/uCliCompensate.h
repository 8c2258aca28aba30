#pragma once

#include <optional>
#include <string>

#include "uCliCommand.h"
#include "uCliSetup.h"

namespace CLI {
class App;
}

namespace tavrin {
class TMeasurementSession;
}

namespace tavrin::cli {

// `compensate`: captures the open terminals, the short or a load of known value with the
// stimulus and integration of a measurement, and keeps it in the compensation file beside the
// settings; or clears that file. Prints one JSON object.
class TCompensateCommand : public TCliCommand {
  public:
    void Register(CLI::App& program) override;
    void Run(TCliEnvironment& environment) override;

  private:
    TSetupOptions Options;
    bool Open = false;
    bool Short = false;
    std::optional<std::string> Load;
    bool Clear = false;
    std::optional<std::string> Rref;
    std::optional<std::string> Cin;
    std::optional<std::string> Rin;
};

// The bench options that `measure` and `compensate` share where they apply: the test frequency,
// the model, R in, and the inputs' figures from the captures.
void AddBenchOptions(CLI::App& command, std::optional<std::string>& spot,
                     std::optional<std::string>& model, std::optional<std::string>& rin,
                     bool& measuredInputs);
// Throws ECliError with the user's line for a value that does not parse, or measured inputs
// when the captures tell nothing of them.
void ApplyBenchOptions(TMeasurementSession& session, const std::optional<std::string>& spot,
                       const std::optional<std::string>& model,
                       const std::optional<std::string>& rin, bool measuredInputs);

}  // namespace tavrin::cli
