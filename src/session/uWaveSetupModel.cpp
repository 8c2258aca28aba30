#include "uWaveSetupModel.h"

#include <algorithm>
#include <optional>

#include "uNumberText.h"
#include "uSettingsFile.h"
#include "uWaveService.h"

namespace tavrin {
namespace {

constexpr const char* kSection = "WaveSetup";

template <typename NameOf>
std::vector<std::string> DeviceNames(int32_t count, NameOf nameOf) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; ++i) {
        std::string name = nameOf(i);
        // Names come from C records on some backends; nothing after a NUL belongs to the name.
        name.resize(std::char_traits<char>::length(name.c_str()));
        names.push_back(std::move(name));
    }
    return names;
}

// The middle of the list: the only device of one, the second of two or three, ...
int32_t MiddleDevice(const std::vector<std::string>& names) {
    return names.empty() ? -1 : static_cast<int32_t>(names.size() / 2);
}

std::string NameAt(const std::vector<std::string>& names, int32_t device) {
    return device >= 0 && device < static_cast<int32_t>(names.size())
               ? names[static_cast<size_t>(device)]
               : std::string();
}

}  // namespace

TWaveSetupModel::TWaveSetupModel(const TWaveService& waveService)
    : FInputNames(DeviceNames(waveService.InputDeviceCount(),
                              [&](int32_t i) { return waveService.InputDeviceName(i); })),
      FOutputNames(DeviceNames(waveService.OutputDeviceCount(),
                               [&](int32_t i) { return waveService.OutputDeviceName(i); })),
      FInputDevice(MiddleDevice(FInputNames)),
      FOutputDevice(MiddleDevice(FOutputNames)),
      FMinText("20"),
      FMaxText("22000") {
    CheckMinText();
    CheckMaxText();
}

std::string TWaveSetupModel::InputName() const {
    return NameAt(FInputNames, FInputDevice);
}

std::string TWaveSetupModel::OutputName() const {
    return NameAt(FOutputNames, FOutputDevice);
}

bool TWaveSetupModel::SelectRate(int32_t rate) {
    const auto found = std::find(Rates.begin(), Rates.end(), rate);
    if (found == Rates.end()) {
        return false;
    }
    RateIndex = static_cast<int>(found - Rates.begin());
    // The owner sees the new rate with the old band first.
    RaiseSetupChange();
    const int32_t half = SampleRate() / 2;
    // At or above half the rate FMin leaves no bin below it: it follows the rate down too.
    if (FMinValue >= half) {
        FMinText = FormatIniInt(half - 1);
        CheckMinText();
    } else if (!FMinInForce) {
        CheckMinText();
    }
    if (half < FMaxValue) {
        FMaxText = FormatIniInt(half);
        CheckMaxText();
    } else if (!FMaxInForce) {
        // A text rejected under the old rate is taken once it fits the new one, so that the
        // marking of the upper limit always tells whether its text is in force.
        CheckMaxText();
    }
    RaiseStateChange();
    return true;
}

void TWaveSetupModel::SelectInput(int32_t device) {
    FInputDevice = std::max(device, -1);
    FMissingInput.clear();
    RaiseStateChange();
}

void TWaveSetupModel::SelectOutput(int32_t device) {
    FOutputDevice = std::max(device, -1);
    FMissingOutput.clear();
    RaiseStateChange();
}

void TWaveSetupModel::SetSwap(bool swap) {
    FSwap = swap;
    RaiseStateChange();
}

bool TWaveSetupModel::SetMinText(std::string text) {
    FMinText = std::move(text);
    const bool accepted = CheckMinText();
    RaiseStateChange();
    return accepted;
}

bool TWaveSetupModel::SetMaxText(std::string text) {
    FMaxText = std::move(text);
    const bool accepted = CheckMaxText();
    RaiseStateChange();
    return accepted;
}

bool TWaveSetupModel::CheckMinText() {
    const std::optional<int32_t> number = ParseBandEdit(FMinText);
    // At or above half the rate the block would be 2 samples long and hold no bin at all.
    FMinInForce = number && *number != 0 && *number < SampleRate() / 2;
    if (FMinInForce) {
        FMinValue = *number;
        RaiseSetupChange();
    }
    return FMinInForce;
}

bool TWaveSetupModel::CheckMaxText() {
    const std::optional<int32_t> number = ParseBandEdit(FMaxText);
    FMaxInForce = number && *number >= 0 && *number <= SampleRate() / 2;
    if (FMaxInForce) {
        FMaxValue = *number;
        RaiseSetupChange();
    }
    return FMaxInForce;
}

void TWaveSetupModel::RaiseSetupChange() {
    if (OnSetupChange) {
        OnSetupChange();
    }
}

void TWaveSetupModel::RaiseStateChange() {
    if (OnStateChange) {
        OnStateChange();
    }
}

void TWaveSetupModel::LoadSettings(const TSettingsFile& settings) {
    RestoreDevice(settings, FInputNames, "InputID", "InputName", FInputDevice, FMissingInput);
    RestoreDevice(settings, FOutputNames, "OutputID", "OutputName", FOutputDevice, FMissingOutput);

    const int32_t rate = settings.ReadInt(kSection, "Sampling", SampleRate());
    const auto found = std::find(Rates.begin(), Rates.end(), rate);
    if (found != Rates.end()) {
        RateIndex = static_cast<int>(found - Rates.begin());
    }
    FSwap = settings.ReadFlag(kSection, "Swap", FSwap);

    // A stored text is shown as it stands, marked when refused, and a refused one leaves the
    // default in force. A lower limit below 1 Hz is refused here although the edit takes a
    // typed one: a stored one would silently make the calibration's test tone the root of a
    // negative product.
    FMinText = settings.ReadText(kSection, "FMin", FMinText);
    if (const std::optional<int32_t> min = ParseBandEdit(FMinText); min && *min < 1) {
        FMinInForce = false;
    } else {
        CheckMinText();
    }
    FMaxText = settings.ReadText(kSection, "FMax", FMaxText);
    CheckMaxText();
    RaiseStateChange();
}

void TWaveSetupModel::RestoreDevice(const TSettingsFile& settings,
                                    const std::vector<std::string>& names, const char* idKey,
                                    const char* nameKey, int32_t& device, std::string& missing) {
    missing.clear();
    const int32_t count = static_cast<int32_t>(names.size());
    const int32_t id = settings.ReadInt(kSection, idKey, device);
    const std::string name = settings.ReadText(kSection, nameKey, "");

    // Devices come and go between runs (a USB card plugged in shifts the numbers), so a
    // device still present under its stored name is found wherever it now is.
    if (!name.empty()) {
        if (id >= 0 && id < count && names[static_cast<size_t>(id)] == name) {
            device = id;
            return;
        }
        const auto moved = std::find(names.begin(), names.end(), name);
        if (moved != names.end()) {
            device = static_cast<int32_t>(moved - names.begin());
            return;
        }
    }
    if (id < count) {
        device = std::max(id, -1);
    }
    // The stored device is gone: the number rule has picked another one.
    missing = name;
}

void TWaveSetupModel::SaveSettings(TSettingsFile& settings) const {
    settings.WriteInt(kSection, "InputID", FInputDevice);
    settings.WriteText(kSection, "InputName", InputName());
    settings.WriteInt(kSection, "OutputID", FOutputDevice);
    settings.WriteText(kSection, "OutputName", OutputName());
    settings.WriteInt(kSection, "Sampling", SampleRate());
    settings.WriteFlag(kSection, "Swap", FSwap);
    settings.WriteText(kSection, "FMin", FMinText);
    settings.WriteText(kSection, "FMax", FMaxText);
}

}  // namespace tavrin
