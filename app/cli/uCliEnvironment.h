#pragma once

// What every command of the command-line program works with: the device lists (the sound cards,
// then the virtual box, as in the window), the user-interface dispatcher served by the main
// thread, the clocks, and where the window keeps its files.

#include <memory>
#include <string>
#include <string_view>

#include "uClock.h"
#include "uUiDispatcher.h"
#include "uWaveService.h"

namespace tavrin::cli {

struct TVirtualBoxSetup;

// The system's clock sped up with the virtual box, so that integration and run times are counted
// in the audio's own seconds.
class TScaledClock : public TClock {
  public:
    explicit TScaledClock(double factor) : Factor(factor) {}
    double NowMs() const override { return System.NowMs() * Factor; }

  private:
    TSystemClock System;
    double Factor;
};

class TCliEnvironment {
  public:
    // Reads the virtual box's switches (uCliVirtualBox.h); throws ECliError when they are
    // malformed. Constructed on the main thread, which serves the dispatcher.
    TCliEnvironment();

    TWaveService& WaveService() { return *Service; }
    TUiDispatcher& Ui() { return FUi; }
    // Times the integration and the commands' run times.
    TClock& AudioClock() { return FAudioClock; }
    // How much faster than the wall clock the audio runs (1 but with the virtual box's speed-up).
    double SpeedUp() const { return FSpeedUp; }

    // The window's own file with `extension` (".ini", ".cal"): in the program's folder (beside
    // this program, or the user's configuration folder for an installed one), under the window
    // program's name, so that both programs share their settings and calibration.
    static std::string WindowFilePath(std::string_view extension);

  private:
    explicit TCliEnvironment(const TVirtualBoxSetup& box);

    double FSpeedUp = 1.0;
    TSystemClock WallClock;
    TScaledClock FAudioClock;
    TUiDispatcher FUi;
    std::unique_ptr<TWaveService> Service;
};

}  // namespace tavrin::cli
