#include "uCliSetup.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "uCliEnvironment.h"
#include "uCliError.h"
#include "uMeasurementSession.h"
#include "uNumberText.h"

namespace tavrin::cli {
namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace

void AddSetupOptions(CLI::App& command, TSetupOptions& options, const std::string& timeMeaning) {
    command.add_option("--input", options.Input, "capture device: its number or exact name")
        ->required();
    command.add_option("--output", options.Output, "playback device: its number or exact name")
        ->required();
    command.add_option("--rate", options.Rate, "samples per second: 48000, 96000 or 192000");
    command.add_option("--band", options.Band, "FMIN:FMAX, whole hertz");
    command.add_option("--time", options.Time, timeMeaning);
    options.SettingsPath = TCliEnvironment::WindowFilePath(".ini");
    options.CalibrationPath = TCliEnvironment::WindowFilePath(".cal");
    command.add_option("--settings", options.SettingsPath, "settings file")->capture_default_str();
    command.add_option("--calibration", options.CalibrationPath, "calibration file")
        ->capture_default_str();
}

int ResolveDevice(const std::vector<std::string>& names, const std::string& text,
                  const std::string& kind) {
    const int count = static_cast<int>(names.size());
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
        const std::optional<int32_t> number = ParseIniInt(text);
        if (number && *number < count) {
            return *number;
        }
        throw ECliError("unknown " + kind + " device " + text + ": there are " +
                        std::to_string(count) + " (tavrin-cli devices lists them)");
    }
    for (int i = 0; i < count; ++i) {
        if (names[static_cast<size_t>(i)] == text) {
            return i;
        }
    }
    throw ECliError("unknown " + kind + " device " + Quoted(text) +
                    " (tavrin-cli devices lists them)");
}

double ParseSeconds(const std::string& text) {
    const std::optional<int32_t> ms = ParseIntegrationTimeMs(text);
    if (!ms) {
        throw ECliError("--time takes seconds, not " + Quoted(text));
    }
    return *ms / 1000.0;
}

void ApplySetup(TMeasurementSession& session, const TSetupOptions& options) {
    TWaveSetupModel& setup = session.WaveSetup();
    setup.SelectInput(ResolveDevice(setup.InputNames(), options.Input, "input"));
    setup.SelectOutput(ResolveDevice(setup.OutputNames(), options.Output, "output"));
    if (options.Rate && !setup.SelectRate(*options.Rate)) {
        throw ECliError("rate " + std::to_string(*options.Rate) +
                        " is not supported: 48000, 96000 or 192000");
    }
    const int32_t half = setup.SampleRate() / 2;
    if (options.Band) {
        const std::string& band = *options.Band;
        const size_t colon = band.find(':');
        const bool whole = colon != std::string::npos && ParseBandEdit(band.substr(0, colon)) &&
                           ParseBandEdit(band.substr(colon + 1));
        if (!whole) {
            throw ECliError("--band takes FMIN:FMAX in whole hertz, not " + Quoted(band));
        }
        if (!setup.SetMinText(band.substr(0, colon)) || !setup.SetMaxText(band.substr(colon + 1))) {
            throw ECliError("band " + band + " is outside the rate: 1.." + std::to_string(half) +
                            " Hz at " + std::to_string(setup.SampleRate()) + " samples/s");
        }
    }
    // The window lets a band that holds no tones stand; a measurement without a window must not
    // run on one.
    if (!(setup.FMin() >= 1 && setup.FMin() < std::min(setup.FMax(), half - 1))) {
        throw ECliError("band " + std::to_string(setup.FMin()) + ":" +
                        std::to_string(setup.FMax()) + " holds no tones at " +
                        std::to_string(setup.SampleRate()) + " samples/s: it must lie within 1.." +
                        std::to_string(half - 1) + " Hz");
    }
}

void CheckWritable(const std::string& path) {
    const bool existed = std::filesystem::exists(path);
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        throw ECliError("cannot write " + path + ": " + std::strerror(errno));
    }
    std::fclose(file);
    if (!existed) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
}

}  // namespace tavrin::cli
