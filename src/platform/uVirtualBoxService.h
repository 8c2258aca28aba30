#pragma once

// The virtual connection box: a simulated sound card wired to the box of the Setup page, so
// the program runs, and is tested end to end, without hardware. It offers one playback and one
// capture device per state of the box (TVirtualBoxState, in that order). Every virtual playback
// device drives the same line output; a capture device hears it through its own state's
// network, and only the playback devices open at its own sample rate. Real sound cards and the
// virtual box never hear each other.

#include <memory>

#include "uVirtualBoxOptions.h"
#include "uWaveService.h"

namespace tavrin {

class TVirtualBoxEngine;

class TVirtualBoxService : public TWaveService {
  public:
    explicit TVirtualBoxService(const TVirtualBoxOptions& options = {});
    ~TVirtualBoxService() override;

    int32_t InputDeviceCount() const override;
    std::string InputDeviceName(int32_t index) const override;
    int32_t OutputDeviceCount() const override;
    std::string OutputDeviceName(int32_t index) const override;
    // 16-bit stereo PCM at 48000, 96000 or 192000 samples per second only, whatever the flags
    // (the box converts nothing): BadFormat otherwise.
    TWaveResult OpenInput(uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                          uint32_t flags, std::unique_ptr<TWaveDevice>& device) override;
    TWaveResult OpenOutput(uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                           uint32_t flags, std::unique_ptr<TWaveDevice>& device) override;
    // The devices of the state with S1 on Zx Out.
    int32_t CalibrationInputDevice() const override;
    int32_t CalibrationOutputDevice() const override;

  private:
    TWaveResult Open(bool input, uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                     std::unique_ptr<TWaveDevice>& device);

    TVirtualBoxComponents Components;
    // Shared with the open devices, which may outlive the service.
    std::shared_ptr<TVirtualBoxEngine> Engine;
};

}  // namespace tavrin
