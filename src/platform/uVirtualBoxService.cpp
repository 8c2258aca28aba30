#include "uVirtualBoxService.h"

#include "uVirtualBoxEngine.h"

namespace tavrin {
namespace {

bool Accepted(const TWaveFormat& format) {
    const uint32_t rate = format.SamplesPerSec;
    return format.FormatTag == 1 && format.Channels == 2 && format.BitsPerSample == 16 &&
           format.BlockAlign == 4 && (rate == 48000 || rate == 96000 || rate == 192000) &&
           format.AvgBytesPerSec == 4 * rate;
}

class TVirtualBoxDevice : public TWaveDevice {
  public:
    TVirtualBoxDevice(std::shared_ptr<TVirtualBoxEngine> engine, TVirtualBoxEngine::TStreamId id)
        : Engine(std::move(engine)), Id(id) {}
    ~TVirtualBoxDevice() override {
        if (Open) {
            Engine->Abandon(Id);
        }
    }

    TWaveResult PrepareHeader(TWaveHeader& header) override {
        if (!Open) {
            return TWaveResult::NotOpen;
        }
        header.Flags.fetch_or(kHeaderPrepared, std::memory_order_relaxed);
        return TWaveResult::Ok;
    }
    TWaveResult UnprepareHeader(TWaveHeader& header) override {
        if (!Open) {
            return TWaveResult::NotOpen;
        }
        if (header.InQueue()) {
            return TWaveResult::StillQueued;
        }
        header.Flags.fetch_and(~kHeaderPrepared, std::memory_order_relaxed);
        return TWaveResult::Ok;
    }
    TWaveResult Queue(TWaveHeader& header) override {
        if (!Open) {
            return TWaveResult::NotOpen;
        }
        const uint32_t flags = header.Flags.load(std::memory_order_acquire);
        if ((flags & kHeaderPrepared) == 0) {
            return TWaveResult::Unprepared;
        }
        if ((flags & kHeaderInQueue) != 0) {
            return TWaveResult::StillQueued;
        }
        return Engine->Queue(Id, header);
    }
    TWaveResult Start() override { return Open ? Engine->Start(Id) : TWaveResult::NotOpen; }
    TWaveResult Stop() override { return Open ? Engine->Stop(Id) : TWaveResult::NotOpen; }
    TWaveResult Reset() override { return Open ? Engine->Reset(Id) : TWaveResult::NotOpen; }
    TWaveResult Close() override {
        if (!Open) {
            return TWaveResult::NotOpen;
        }
        const TWaveResult result = Engine->Close(Id);
        Open = result != TWaveResult::Ok;
        return result;
    }

  private:
    std::shared_ptr<TVirtualBoxEngine> Engine;
    TVirtualBoxEngine::TStreamId Id;
    bool Open = true;
};

}  // namespace

TVirtualBoxService::TVirtualBoxService(const TVirtualBoxOptions& options)
    : Components(options.Components), Engine(std::make_shared<TVirtualBoxEngine>(options)) {}

TVirtualBoxService::~TVirtualBoxService() = default;

int32_t TVirtualBoxService::InputDeviceCount() const {
    return kVirtualBoxStateCount;
}

int32_t TVirtualBoxService::OutputDeviceCount() const {
    return kVirtualBoxStateCount;
}

std::string TVirtualBoxService::InputDeviceName(int32_t index) const {
    if (index < 0 || index >= kVirtualBoxStateCount) {
        return {};
    }
    return VirtualBoxDeviceName(static_cast<TVirtualBoxState>(index), Components);
}

std::string TVirtualBoxService::OutputDeviceName(int32_t index) const {
    return InputDeviceName(index);
}

TWaveResult TVirtualBoxService::OpenInput(uint32_t deviceId, const TWaveFormat& format,
                                          TAutoEvent& notify, uint32_t /*flags*/,
                                          std::unique_ptr<TWaveDevice>& device) {
    return Open(true, deviceId, format, notify, device);
}

TWaveResult TVirtualBoxService::OpenOutput(uint32_t deviceId, const TWaveFormat& format,
                                           TAutoEvent& notify, uint32_t /*flags*/,
                                           std::unique_ptr<TWaveDevice>& device) {
    return Open(false, deviceId, format, notify, device);
}

TWaveResult TVirtualBoxService::Open(bool input, uint32_t deviceId, const TWaveFormat& format,
                                     TAutoEvent& notify, std::unique_ptr<TWaveDevice>& device) {
    device.reset();
    if (deviceId >= static_cast<uint32_t>(kVirtualBoxStateCount)) {
        return TWaveResult::BadDeviceId;
    }
    if (!Accepted(format)) {
        return TWaveResult::BadFormat;
    }
    const auto state = static_cast<TVirtualBoxState>(deviceId);
    const TVirtualBoxEngine::TStreamId id =
        input ? Engine->OpenCapture(state, format.SamplesPerSec, notify)
              : Engine->OpenPlayback(format.SamplesPerSec, notify);
    device = std::make_unique<TVirtualBoxDevice>(Engine, id);
    notify.Signal();
    return TWaveResult::Ok;
}

int32_t TVirtualBoxService::CalibrationInputDevice() const {
    return static_cast<int32_t>(TVirtualBoxState::Calibration);
}

int32_t TVirtualBoxService::CalibrationOutputDevice() const {
    return static_cast<int32_t>(TVirtualBoxState::Calibration);
}

}  // namespace tavrin
