#pragma once

// A scriptable waveform-audio service for deterministic streaming tests: every call is logged,
// opens can be made to fail, and a queued buffer comes back only when the test returns it, with
// the content the test gives (capture) or handing the test what was played (playback).

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "uWaveControl.h"
#include "uWaveService.h"

namespace tavrin::test {

struct TFakeShared;

// One opened device as the test sees it. Safe to use from the test thread while the device
// threads call into it.
class TFakeDevice {
  public:
    TFakeDevice(std::shared_ptr<TFakeShared> shared, bool input, uint32_t id,
                const TWaveFormat& format, uint32_t flags, TAutoEvent& notify);

    const bool Input;
    const uint32_t DeviceId;
    const TWaveFormat Format;
    const uint32_t OpenFlags;

    size_t QueuedCount() const;
    bool Closed() const;
    // Bytes of the oldest queued buffer; 0 when none is queued.
    uint32_t NextBufferBytes() const;
    // Capture: the oldest queued buffer comes back holding `bytes` of `data` (cut to its
    // length) as its recorded bytes. False when no buffer is queued.
    bool ReturnCapture(const void* data, uint32_t bytes);
    bool ReturnCapture(const TBufferData& frames);
    // Playback: the oldest queued buffer comes back (played); its frames, or nullopt when no
    // buffer is queued.
    std::optional<TBufferData> ReturnPlayback();
    // The device stops working, as an unplugged card does: it says so and signals its thread;
    // what is queued stays there until a reset.
    void Fail();
    bool Failed() const;
    // While held, notifications are kept back (several merge into one) and the device thread
    // sleeps on, for example in the middle of a stop; releasing gives what was kept.
    void HoldNotifications(bool hold);

    // TWaveDevice calls, forwarded by the handle the service gives out.
    TWaveResult Prepare(TWaveHeader& header);
    TWaveResult Unprepare(TWaveHeader& header);
    TWaveResult Queue(TWaveHeader& header);
    TWaveResult Start();
    TWaveResult Stop();
    TWaveResult Reset();
    TWaveResult Close();

  private:
    void Log(std::string_view call);  // under the lock
    void Changed();                   // outside it
    TWaveHeader* PopOldest();
    void GiveBack(TWaveHeader& header);

    std::shared_ptr<TFakeShared> Shared;
    TAutoEvent& Notify;
    std::deque<TWaveHeader*> Queued;
    void Signal();  // under the lock

    bool IsClosed = false;
    bool IsFailed = false;
    bool Held = false;
    bool SignalHeld = false;
};

class TFakeWaveService : public TWaveService {
  public:
    TFakeWaveService();

    void SetOpenFails(bool input, bool fails);
    // The device opened last for each direction (kept after it closes), or nullptr.
    std::shared_ptr<TFakeDevice> LastInput() const;
    std::shared_ptr<TFakeDevice> LastOutput() const;
    // Every device opened so far, both directions.
    std::vector<std::shared_ptr<TFakeDevice>> Devices() const;
    // Every call made, in order: "in:open", "in:prepare", "in:queue", "in:start", "in:stop",
    // "in:reset", "in:close", "in:unprepare" and the same with "out:".
    std::vector<std::string> Calls() const;
    int Count(std::string_view call) const;
    // Called on the calling thread after every change a device thread makes (for example the
    // dispatcher's Notify, so that a test waiting in WaitUntil looks again at once).
    void SetOnChange(std::function<void()> onChange);

    int32_t InputDeviceCount() const override { return 3; }
    std::string InputDeviceName(int32_t index) const override;
    int32_t OutputDeviceCount() const override { return 3; }
    std::string OutputDeviceName(int32_t index) const override;
    TWaveResult OpenInput(uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                          uint32_t flags, std::unique_ptr<TWaveDevice>& device) override;
    TWaveResult OpenOutput(uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                           uint32_t flags, std::unique_ptr<TWaveDevice>& device) override;

  private:
    TWaveResult Open(bool input, uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                     uint32_t flags, std::unique_ptr<TWaveDevice>& device);

    std::shared_ptr<TFakeShared> Shared;
    std::shared_ptr<TFakeDevice> LastInputDevice;
    std::shared_ptr<TFakeDevice> LastOutputDevice;
    std::vector<std::shared_ptr<TFakeDevice>> OpenedDevices;
};

}  // namespace tavrin::test
