#pragma once

#include <memory>
#include <vector>

#include "uWaveService.h"

namespace tavrin {

// The program's device lists: the devices of each backend in turn (real sound cards first,
// then the virtual connection box), numbered from 0 across all of them.
class TCombinedWaveService : public TWaveService {
  public:
    explicit TCombinedWaveService(std::vector<std::unique_ptr<TWaveService>> backends);

    int32_t InputDeviceCount() const override;
    std::string InputDeviceName(int32_t index) const override;
    int32_t OutputDeviceCount() const override;
    std::string OutputDeviceName(int32_t index) const override;
    TWaveResult OpenInput(uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                          uint32_t flags, std::unique_ptr<TWaveDevice>& device) override;
    TWaveResult OpenOutput(uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                           uint32_t flags, std::unique_ptr<TWaveDevice>& device) override;
    // The first backend's pair that has one, numbered in the combined lists.
    int32_t CalibrationInputDevice() const override;
    int32_t CalibrationOutputDevice() const override;

  private:
    int32_t CalibrationDevice(bool input) const;

    // The backend serving combined device `id` of a direction and the backend's own number.
    TWaveService* Locate(bool input, uint32_t id, uint32_t& local) const;

    std::vector<std::unique_ptr<TWaveService>> Backends;
};

}  // namespace tavrin
