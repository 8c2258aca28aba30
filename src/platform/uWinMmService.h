#pragma once

// The waveform-audio service on real sound cards under Windows, through the system's multimedia
// API (waveIn*/waveOut*), whose model the service interface mirrors. The Windows programs put it
// first in their TCombinedWaveService, where PortAudio stands on Linux.

#include <string>
#include <vector>

#include "uWaveService.h"

namespace tavrin {

class TWinMmService : public TWaveService {
  public:
    // Takes the device lists as the system gives them now: a card plugged in later appears
    // after a restart of the program. Names come in UTF-8.
    TWinMmService();

    int32_t InputDeviceCount() const override;
    std::string InputDeviceName(int32_t index) const override;
    int32_t OutputDeviceCount() const override;
    std::string OutputDeviceName(int32_t index) const override;

    // `flags` goes to the system as given: kWaveFormatDirect refuses a device that would convert
    // the rate or the format on the way (BadFormat).
    TWaveResult OpenInput(uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                          uint32_t flags, std::unique_ptr<TWaveDevice>& device) override;
    TWaveResult OpenOutput(uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                           uint32_t flags, std::unique_ptr<TWaveDevice>& device) override;

  private:
    std::vector<std::string> Inputs;
    std::vector<std::string> Outputs;
};

}  // namespace tavrin
