#include "FakeWaveService.h"

#include <algorithm>
#include <cstring>

namespace tavrin::test {

struct TFakeShared {
    std::mutex Mutex;
    std::vector<std::string> Calls;
    std::function<void()> OnChange;
    bool InputOpenFails = false;
    bool OutputOpenFails = false;

    // Outside the lock, so the test's handler may call back into the fake.
    void Changed() {
        std::function<void()> onChange;
        {
            std::lock_guard<std::mutex> lock(Mutex);
            onChange = OnChange;
        }
        if (onChange) {
            onChange();
        }
    }
};

namespace {

// What the device threads hold: forwards to the state the test keeps.
class TFakeHandle : public TWaveDevice {
  public:
    explicit TFakeHandle(std::shared_ptr<TFakeDevice> device) : Device(std::move(device)) {}
    TWaveResult PrepareHeader(TWaveHeader& header) override { return Device->Prepare(header); }
    TWaveResult UnprepareHeader(TWaveHeader& header) override { return Device->Unprepare(header); }
    TWaveResult Queue(TWaveHeader& header) override { return Device->Queue(header); }
    TWaveResult Start() override { return Device->Start(); }
    TWaveResult Stop() override { return Device->Stop(); }
    TWaveResult Reset() override { return Device->Reset(); }
    TWaveResult Close() override { return Device->Close(); }
    bool Failed() const override { return Device->Failed(); }

  private:
    std::shared_ptr<TFakeDevice> Device;
};

}  // namespace

TFakeDevice::TFakeDevice(std::shared_ptr<TFakeShared> shared, bool input, uint32_t id,
                         const TWaveFormat& format, uint32_t flags, TAutoEvent& notify)
    : Input(input),
      DeviceId(id),
      Format(format),
      OpenFlags(flags),
      Shared(std::move(shared)),
      Notify(notify) {}

void TFakeDevice::Log(std::string_view call) {
    Shared->Calls.push_back(std::string(Input ? "in:" : "out:") + std::string(call));
}

void TFakeDevice::Changed() {
    Shared->Changed();
}

size_t TFakeDevice::QueuedCount() const {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    return Queued.size();
}

bool TFakeDevice::Closed() const {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    return IsClosed;
}

uint32_t TFakeDevice::NextBufferBytes() const {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    return Queued.empty() ? 0 : Queued.front()->BufferLength;
}

TWaveHeader* TFakeDevice::PopOldest() {
    if (Queued.empty()) {
        return nullptr;
    }
    TWaveHeader* header = Queued.front();
    Queued.pop_front();
    return header;
}

void TFakeDevice::GiveBack(TWaveHeader& header) {
    uint32_t flags = header.Flags.load(std::memory_order_relaxed);
    flags = (flags & ~kHeaderInQueue) | kHeaderDone;
    header.Flags.store(flags, std::memory_order_release);
    Signal();
}

void TFakeDevice::Signal() {
    if (Held) {
        SignalHeld = true;
    } else {
        Notify.Signal();
    }
}

bool TFakeDevice::ReturnCapture(const void* data, uint32_t bytes) {
    {
        std::lock_guard<std::mutex> lock(Shared->Mutex);
        TWaveHeader* header = PopOldest();
        if (header == nullptr) {
            return false;
        }
        bytes = std::min(bytes, header->BufferLength);
        std::memcpy(header->Data, data, bytes);
        header->BytesRecorded.store(bytes, std::memory_order_relaxed);
        GiveBack(*header);
    }
    Changed();
    return true;
}

bool TFakeDevice::ReturnCapture(const TBufferData& frames) {
    return ReturnCapture(frames.data(), static_cast<uint32_t>(frames.size() * 4));
}

std::optional<TBufferData> TFakeDevice::ReturnPlayback() {
    TBufferData played;
    {
        std::lock_guard<std::mutex> lock(Shared->Mutex);
        TWaveHeader* header = PopOldest();
        if (header == nullptr) {
            return std::nullopt;
        }
        played.resize(header->BufferLength / 4);
        std::memcpy(played.data(), header->Data, played.size() * 4);
        GiveBack(*header);
    }
    Changed();
    return played;
}

TWaveResult TFakeDevice::Prepare(TWaveHeader& header) {
    {
        std::lock_guard<std::mutex> lock(Shared->Mutex);
        Log("prepare");
        header.Flags.fetch_or(kHeaderPrepared);
    }
    Changed();
    return TWaveResult::Ok;
}

TWaveResult TFakeDevice::Unprepare(TWaveHeader& header) {
    TWaveResult result = TWaveResult::Ok;
    {
        std::lock_guard<std::mutex> lock(Shared->Mutex);
        Log("unprepare");
        if (std::find(Queued.begin(), Queued.end(), &header) != Queued.end()) {
            result = TWaveResult::StillQueued;
        } else {
            header.Flags.fetch_and(~kHeaderPrepared);
        }
    }
    Changed();
    return result;
}

TWaveResult TFakeDevice::Queue(TWaveHeader& header) {
    {
        std::lock_guard<std::mutex> lock(Shared->Mutex);
        Log("queue");
        if (IsClosed) {
            return TWaveResult::NotOpen;
        }
        if ((header.Flags.load() & kHeaderPrepared) == 0) {
            return TWaveResult::Unprepared;
        }
        header.Flags.store((header.Flags.load() & ~kHeaderDone) | kHeaderInQueue,
                           std::memory_order_release);
        Queued.push_back(&header);
    }
    Changed();
    return TWaveResult::Ok;
}

TWaveResult TFakeDevice::Start() {
    {
        std::lock_guard<std::mutex> lock(Shared->Mutex);
        Log("start");
    }
    Changed();
    return TWaveResult::Ok;
}

TWaveResult TFakeDevice::Stop() {
    {
        std::lock_guard<std::mutex> lock(Shared->Mutex);
        Log("stop");
    }
    Changed();
    return TWaveResult::Ok;
}

TWaveResult TFakeDevice::Reset() {
    {
        std::lock_guard<std::mutex> lock(Shared->Mutex);
        Log("reset");
        if (IsClosed) {
            return TWaveResult::NotOpen;
        }
        while (TWaveHeader* header = PopOldest()) {
            header->BytesRecorded.store(0, std::memory_order_relaxed);
            GiveBack(*header);
        }
    }
    Changed();
    return TWaveResult::Ok;
}

TWaveResult TFakeDevice::Close() {
    TWaveResult result = TWaveResult::Ok;
    {
        std::lock_guard<std::mutex> lock(Shared->Mutex);
        Log("close");
        if (IsClosed) {
            result = TWaveResult::NotOpen;
        } else if (!Queued.empty()) {
            result = TWaveResult::StillQueued;
        } else {
            IsClosed = true;
            Signal();
        }
    }
    Changed();
    return result;
}

void TFakeDevice::Fail() {
    {
        std::lock_guard<std::mutex> lock(Shared->Mutex);
        IsFailed = true;
        Signal();
    }
    Changed();
}

bool TFakeDevice::Failed() const {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    return IsFailed;
}

void TFakeDevice::HoldNotifications(bool hold) {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    Held = hold;
    if (!hold && SignalHeld) {
        SignalHeld = false;
        Notify.Signal();
    }
}

TFakeWaveService::TFakeWaveService() : Shared(std::make_shared<TFakeShared>()) {}

void TFakeWaveService::SetOpenFails(bool input, bool fails) {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    (input ? Shared->InputOpenFails : Shared->OutputOpenFails) = fails;
}

std::shared_ptr<TFakeDevice> TFakeWaveService::LastInput() const {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    return LastInputDevice;
}

std::shared_ptr<TFakeDevice> TFakeWaveService::LastOutput() const {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    return LastOutputDevice;
}

std::vector<std::shared_ptr<TFakeDevice>> TFakeWaveService::Devices() const {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    return OpenedDevices;
}

std::vector<std::string> TFakeWaveService::Calls() const {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    return Shared->Calls;
}

int TFakeWaveService::Count(std::string_view call) const {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    return static_cast<int>(std::count(Shared->Calls.begin(), Shared->Calls.end(), call));
}

void TFakeWaveService::SetOnChange(std::function<void()> onChange) {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    Shared->OnChange = std::move(onChange);
}

std::string TFakeWaveService::InputDeviceName(int32_t index) const {
    return "Fake input " + std::to_string(index);
}

std::string TFakeWaveService::OutputDeviceName(int32_t index) const {
    return "Fake output " + std::to_string(index);
}

TWaveResult TFakeWaveService::OpenInput(uint32_t deviceId, const TWaveFormat& format,
                                        TAutoEvent& notify, uint32_t flags,
                                        std::unique_ptr<TWaveDevice>& device) {
    return Open(true, deviceId, format, notify, flags, device);
}

TWaveResult TFakeWaveService::OpenOutput(uint32_t deviceId, const TWaveFormat& format,
                                         TAutoEvent& notify, uint32_t flags,
                                         std::unique_ptr<TWaveDevice>& device) {
    return Open(false, deviceId, format, notify, flags, device);
}

TWaveResult TFakeWaveService::Open(bool input, uint32_t deviceId, const TWaveFormat& format,
                                   TAutoEvent& notify, uint32_t flags,
                                   std::unique_ptr<TWaveDevice>& device) {
    {
        std::lock_guard<std::mutex> lock(Shared->Mutex);
        Shared->Calls.push_back(input ? "in:open" : "out:open");
        if (input ? Shared->InputOpenFails : Shared->OutputOpenFails) {
            return TWaveResult::BadDeviceId;
        }
        auto opened = std::make_shared<TFakeDevice>(Shared, input, deviceId, format, flags, notify);
        (input ? LastInputDevice : LastOutputDevice) = opened;
        OpenedDevices.push_back(opened);
        device = std::make_unique<TFakeHandle>(opened);
        notify.Signal();
    }
    Shared->Changed();
    return TWaveResult::Ok;
}

}  // namespace tavrin::test
