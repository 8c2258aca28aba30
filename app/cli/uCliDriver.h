#pragma once

// `measure --mode driver`: the driver's options, the two-step measurement they set up, and the
// driver's part of each result's JSON. A free-air run fits each result as the driver in free
// air; with --added-mass or --volume the run is the second step, the free-air curve coming from
// the file an earlier free-air run saved (--free-air).

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "uDriverMeasurement.h"

namespace CLI {
class App;
}

namespace tavrin::cli {

class TDriverOptions {
  public:
    void Register(CLI::App& command);
    // Whether any driver option was given, which only --mode driver allows.
    bool Given() const;
    // Checks the options and the files before the run spends its time, and sets up the
    // measurement: method, mass or volume, Sd, and the free-air curve read and fitted. Throws
    // ECliError with the line the user reads.
    void Prepare(TDriverMeasurement& driver) const;
    // Writes what --save asks for; throws ECliError.
    void Save(const TDriverMeasurement& driver) const;

  private:
    std::optional<std::string> AddedMass;
    std::optional<std::string> Volume;
    std::optional<std::string> Sd;
    std::optional<std::string> FreeAir;
    std::optional<std::string> SaveBase;
};

// The fits, the moving parts and the text, in SI units; a fit that is not there is
// {"fit": false, "reason": ...}.
nlohmann::json DriverJson(const TDriverResults& results);

}  // namespace tavrin::cli
