#include "uPortAudioService.h"

#include <portaudio.h>

#include <map>

#include "uPortAudioDevice.h"
#include "uPortAudioLibrary.h"

namespace tavrin {

TPortAudioService::TPortAudioService() {
    TPortAudioLibrary& library = TPortAudioLibrary::Instance();
    if (!library.Ready()) {
        return;
    }
    library.Call(
        [this] {
            const PaDeviceIndex count = Pa_GetDeviceCount();
            for (PaDeviceIndex index = 0; index < count; ++index) {
                const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
                const PaHostApiInfo* host = info ? Pa_GetHostApiInfo(info->hostApi) : nullptr;
                if (host == nullptr) {
                    continue;
                }
                TEndpoint endpoint;
                endpoint.Index = index;
                endpoint.Name = info->name ? info->name : "";
                endpoint.HostApi = host->name ? host->name : "";
                endpoint.Jack = host->type == paJACK;
                if (info->maxInputChannels >= 2) {
                    endpoint.Latency = info->defaultHighInputLatency;
                    Inputs.push_back(endpoint);
                }
                if (info->maxOutputChannels >= 2) {
                    endpoint.Latency = info->defaultHighOutputLatency;
                    Outputs.push_back(endpoint);
                }
            }
        },
        std::chrono::milliseconds::max());
    DistinguishDeviceNames(Inputs);
    DistinguishDeviceNames(Outputs);
}

int32_t TPortAudioService::InputDeviceCount() const {
    return static_cast<int32_t>(Inputs.size());
}

int32_t TPortAudioService::OutputDeviceCount() const {
    return static_cast<int32_t>(Outputs.size());
}

std::string TPortAudioService::InputDeviceName(int32_t index) const {
    return index >= 0 && index < InputDeviceCount() ? Inputs[index].Name : std::string();
}

std::string TPortAudioService::OutputDeviceName(int32_t index) const {
    return index >= 0 && index < OutputDeviceCount() ? Outputs[index].Name : std::string();
}

TWaveResult TPortAudioService::OpenInput(uint32_t deviceId, const TWaveFormat& format,
                                         TAutoEvent& notify, uint32_t /*flags*/,
                                         std::unique_ptr<TWaveDevice>& device) {
    return Open(true, deviceId, format, notify, device);
}

TWaveResult TPortAudioService::OpenOutput(uint32_t deviceId, const TWaveFormat& format,
                                          TAutoEvent& notify, uint32_t /*flags*/,
                                          std::unique_ptr<TWaveDevice>& device) {
    return Open(false, deviceId, format, notify, device);
}

TWaveResult TPortAudioService::Open(bool capture, uint32_t deviceId, const TWaveFormat& format,
                                    TAutoEvent& notify,
                                    std::unique_ptr<TWaveDevice>& device) const {
    const std::vector<TEndpoint>& endpoints = capture ? Inputs : Outputs;
    if (deviceId >= endpoints.size()) {
        return TWaveResult::BadDeviceId;
    }
    if (!IsStereo16Format(format)) {
        return TWaveResult::BadFormat;
    }
    const TEndpoint& endpoint = endpoints[deviceId];
    return TPortAudioDevice::Open(endpoint.Index, capture, endpoint.Jack, format.SamplesPerSec,
                                  endpoint.Latency, notify, device);
}

void DistinguishDeviceNames(std::vector<TPortAudioService::TEndpoint>& endpoints) {
    std::map<std::string, int> uses;
    for (const auto& endpoint : endpoints) {
        ++uses[endpoint.Name];
    }
    for (auto& endpoint : endpoints) {
        if (uses[endpoint.Name] > 1 && !endpoint.HostApi.empty()) {
            endpoint.Name += " (" + endpoint.HostApi + ")";
        }
    }
}

bool IsStereo16Format(const TWaveFormat& format) {
    return format.FormatTag == 1 && format.Channels == 2 && format.BitsPerSample == 16 &&
           format.BlockAlign == kWaveFrameBytes && format.SamplesPerSec > 0 &&
           format.AvgBytesPerSec == format.SamplesPerSec * kWaveFrameBytes;
}

}  // namespace tavrin
