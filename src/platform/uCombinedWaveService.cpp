#include "uCombinedWaveService.h"

#include <algorithm>

namespace tavrin {

TCombinedWaveService::TCombinedWaveService(std::vector<std::unique_ptr<TWaveService>> backends)
    : Backends(std::move(backends)) {}

TWaveService* TCombinedWaveService::Locate(bool input, uint32_t id, uint32_t& local) const {
    uint32_t first = 0;
    for (const auto& backend : Backends) {
        const int32_t count = input ? backend->InputDeviceCount() : backend->OutputDeviceCount();
        if (count > 0 && id < first + static_cast<uint32_t>(count)) {
            local = id - first;
            return backend.get();
        }
        first += count > 0 ? static_cast<uint32_t>(count) : 0;
    }
    return nullptr;
}

int32_t TCombinedWaveService::InputDeviceCount() const {
    int32_t count = 0;
    for (const auto& backend : Backends) {
        count += backend->InputDeviceCount();
    }
    return count;
}

int32_t TCombinedWaveService::OutputDeviceCount() const {
    int32_t count = 0;
    for (const auto& backend : Backends) {
        count += backend->OutputDeviceCount();
    }
    return count;
}

std::string TCombinedWaveService::InputDeviceName(int32_t index) const {
    uint32_t local = 0;
    TWaveService* backend = index < 0 ? nullptr : Locate(true, static_cast<uint32_t>(index), local);
    return backend ? backend->InputDeviceName(static_cast<int32_t>(local)) : std::string();
}

std::string TCombinedWaveService::OutputDeviceName(int32_t index) const {
    uint32_t local = 0;
    TWaveService* backend =
        index < 0 ? nullptr : Locate(false, static_cast<uint32_t>(index), local);
    return backend ? backend->OutputDeviceName(static_cast<int32_t>(local)) : std::string();
}

TWaveResult TCombinedWaveService::OpenInput(uint32_t deviceId, const TWaveFormat& format,
                                            TAutoEvent& notify, uint32_t flags,
                                            std::unique_ptr<TWaveDevice>& device) {
    uint32_t local = 0;
    TWaveService* backend = Locate(true, deviceId, local);
    return backend ? backend->OpenInput(local, format, notify, flags, device)
                   : TWaveResult::BadDeviceId;
}

TWaveResult TCombinedWaveService::OpenOutput(uint32_t deviceId, const TWaveFormat& format,
                                             TAutoEvent& notify, uint32_t flags,
                                             std::unique_ptr<TWaveDevice>& device) {
    uint32_t local = 0;
    TWaveService* backend = Locate(false, deviceId, local);
    return backend ? backend->OpenOutput(local, format, notify, flags, device)
                   : TWaveResult::BadDeviceId;
}

int32_t TCombinedWaveService::CalibrationInputDevice() const {
    return CalibrationDevice(true);
}

int32_t TCombinedWaveService::CalibrationOutputDevice() const {
    return CalibrationDevice(false);
}

int32_t TCombinedWaveService::CalibrationDevice(bool input) const {
    int32_t first = 0;
    for (const auto& backend : Backends) {
        const int32_t count = input ? backend->InputDeviceCount() : backend->OutputDeviceCount();
        const int32_t local =
            input ? backend->CalibrationInputDevice() : backend->CalibrationOutputDevice();
        if (local >= 0 && local < count) {
            return first + local;
        }
        first += std::max(count, 0);
    }
    return -1;
}

}  // namespace tavrin
