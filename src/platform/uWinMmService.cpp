#include "uWinMmService.h"

// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include "uWinMmDevice.h"
#include "uWindowsText.h"

namespace tavrin {

TWinMmService::TWinMmService() {
    const UINT inputs = waveInGetNumDevs();
    for (UINT i = 0; i < inputs; ++i) {
        WAVEINCAPSW caps{};
        Inputs.push_back(waveInGetDevCapsW(i, &caps, sizeof caps) == MMSYSERR_NOERROR
                             ? Utf8FromWide(caps.szPname)
                             : std::string());
    }
    const UINT outputs = waveOutGetNumDevs();
    for (UINT i = 0; i < outputs; ++i) {
        WAVEOUTCAPSW caps{};
        Outputs.push_back(waveOutGetDevCapsW(i, &caps, sizeof caps) == MMSYSERR_NOERROR
                              ? Utf8FromWide(caps.szPname)
                              : std::string());
    }
}

int32_t TWinMmService::InputDeviceCount() const {
    return static_cast<int32_t>(Inputs.size());
}

int32_t TWinMmService::OutputDeviceCount() const {
    return static_cast<int32_t>(Outputs.size());
}

std::string TWinMmService::InputDeviceName(int32_t index) const {
    return index >= 0 && index < InputDeviceCount() ? Inputs[static_cast<size_t>(index)]
                                                    : std::string();
}

std::string TWinMmService::OutputDeviceName(int32_t index) const {
    return index >= 0 && index < OutputDeviceCount() ? Outputs[static_cast<size_t>(index)]
                                                     : std::string();
}

TWaveResult TWinMmService::OpenInput(uint32_t deviceId, const TWaveFormat& format,
                                     TAutoEvent& notify, uint32_t flags,
                                     std::unique_ptr<TWaveDevice>& device) {
    // Only the devices listed at start: the system's numbering may have moved since.
    if (deviceId >= Inputs.size()) {
        return TWaveResult::BadDeviceId;
    }
    return TWinMmDevice::Open(true, deviceId, format, flags, notify, device);
}

TWaveResult TWinMmService::OpenOutput(uint32_t deviceId, const TWaveFormat& format,
                                      TAutoEvent& notify, uint32_t flags,
                                      std::unique_ptr<TWaveDevice>& device) {
    if (deviceId >= Outputs.size()) {
        return TWaveResult::BadDeviceId;
    }
    return TWinMmDevice::Open(false, deviceId, format, flags, notify, device);
}

}  // namespace tavrin
