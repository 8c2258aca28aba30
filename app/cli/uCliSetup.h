#pragma once

// The options that calibrate and measure share: devices, rate, band, time and the two files.
// Whatever is not given comes from the settings file, read with the window's rules.

#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace tavrin {
class TMeasurementSession;
}

namespace tavrin::cli {

struct TSetupOptions {
    std::string Input;
    std::string Output;
    std::optional<int> Rate;
    std::optional<std::string> Band;
    std::optional<std::string> Time;
    std::string SettingsPath;
    std::string CalibrationPath;
};

// `timeMeaning` says what --time means for the command.
void AddSetupOptions(CLI::App& command, TSetupOptions& options, const std::string& timeMeaning);

// Applies the devices, the rate and the band to an open session and checks that the band holds
// tones; throws ECliError with the line the user reads.
void ApplySetup(TMeasurementSession& session, const TSetupOptions& options);

// DEV: a device number of the list, or a device's exact name. `kind` names the list in errors.
int ResolveDevice(const std::vector<std::string>& names, const std::string& text,
                  const std::string& kind);

// Seconds as typed (decimal, "." as the point), checked for the integration time.
double ParseSeconds(const std::string& text);

// Throws ECliError when the file cannot be written, before a run spends its time; leaves an
// existing file as it is and creates none.
void CheckWritable(const std::string& path);

}  // namespace tavrin::cli
