#pragma once

#include "uCliCommand.h"
#include "uCliSetup.h"

namespace tavrin::cli {

// `calibrate`: the window's calibration run unattended. Level setting until the level has
// settled, Continue, the band calibration integrated over --time, Stop, and the calibration file
// with the saturation levels written.
class TCalibrateCommand : public TCliCommand {
  public:
    void Register(CLI::App& program) override;
    void Run(TCliEnvironment& environment) override;

  private:
    TSetupOptions Options;
};

}  // namespace tavrin::cli
