#pragma once

// What the audio setup holds, without widgets: the sampling rate, the capture and playback
// device, the input swap and the band texts FMin..FMax in whole hertz, with the rules that check
// them and the section "WaveSetup" of the settings file. The window's setup panel is a view of
// it; the command line sets it directly. User-interface thread only.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tavrin {

class TSettingsFile;
class TWaveService;

class TWaveSetupModel {
  public:
    static constexpr std::array<int32_t, 3> Rates{48000, 96000, 192000};

    // The service's device lists are read once, here; the caller keeps ownership of it.
    explicit TWaveSetupModel(const TWaveService& waveService);

    // Device names by device number of the service.
    const std::vector<std::string>& InputNames() const { return FInputNames; }
    const std::vector<std::string>& OutputNames() const { return FOutputNames; }

    // 48000, 96000 or 192000 samples per second per channel.
    int32_t SampleRate() const { return Rates[static_cast<size_t>(RateIndex)]; }
    // Device numbers of the service; -1 when the list is empty or nothing is selected.
    int32_t InputDevice() const { return FInputDevice; }
    int32_t OutputDevice() const { return FOutputDevice; }
    // The name of the selected device; empty when none is.
    std::string InputName() const;
    std::string OutputName() const;
    // The stored name of a device that was not found when the settings were loaded, so that
    // the replacement the number rule picked does not pass unnoticed; empty otherwise.
    const std::string& MissingInput() const { return FMissingInput; }
    const std::string& MissingOutput() const { return FMissingOutput; }
    bool SwapInputs() const { return FSwap; }

    // The band texts as typed, and whether each is the one in force. FMin and FMax are the last
    // accepted values: FMin is never 0 and lies below SampleRate / 2 (a change of rate brings it
    // down with the rate); FMax was within SampleRate / 2 when it was accepted.
    // FMin < FMax is not guaranteed.
    const std::string& MinText() const { return FMinText; }
    const std::string& MaxText() const { return FMaxText; }
    bool MinInForce() const { return FMinInForce; }
    bool MaxInForce() const { return FMaxInForce; }
    int32_t FMin() const { return FMinValue; }
    int32_t FMax() const { return FMaxValue; }

    // A change of rate: the owner hears of the new rate with the old band first, then FMax
    // follows the new half rate down. False (and nothing changes) for a rate not in Rates.
    bool SelectRate(int32_t rate);
    // -1 clears the selection; a number beyond the list is taken as it is (opening it fails
    // with the device's own message). Clears the missing mark.
    void SelectInput(int32_t device);
    void SelectOutput(int32_t device);
    void SetSwap(bool swap);
    // Takes the text and checks it; true when it is now in force.
    bool SetMinText(std::string text);
    bool SetMaxText(std::string text);

    // Section "WaveSetup". Loading raises OnSetupChange for each band text it accepts.
    void LoadSettings(const TSettingsFile& settings);
    // Throws what the settings file throws when a value cannot be written.
    void SaveSettings(TSettingsFile& settings) const;

    // The owner's: raised after a change of rate (before and again after FMax follows it) and
    // after every accepted band text; may come more than once for one action.
    std::function<void()> OnSetupChange;
    // The views': raised after anything above changed the state, once the change is complete.
    std::function<void()> OnStateChange;

  private:
    bool CheckMinText();
    bool CheckMaxText();
    void RestoreDevice(const TSettingsFile& settings, const std::vector<std::string>& names,
                       const char* idKey, const char* nameKey, int32_t& device,
                       std::string& missing);
    void RaiseSetupChange();
    void RaiseStateChange();

    std::vector<std::string> FInputNames;
    std::vector<std::string> FOutputNames;
    int RateIndex = 0;
    int32_t FInputDevice = -1;
    int32_t FOutputDevice = -1;
    std::string FMissingInput;
    std::string FMissingOutput;
    bool FSwap = false;
    std::string FMinText;
    std::string FMaxText;
    bool FMinInForce = false;
    bool FMaxInForce = false;
    int32_t FMinValue = 20;
    int32_t FMaxValue = 22000;
};

}  // namespace tavrin
