#pragma once

#include "uCliCommand.h"

namespace tavrin::cli {

// `devices`: the capture and playback devices with their numbers, as the Setup page lists them.
class TDevicesCommand : public TCliCommand {
  public:
    void Register(CLI::App& program) override;
    void Run(TCliEnvironment& environment) override;
};

}  // namespace tavrin::cli
