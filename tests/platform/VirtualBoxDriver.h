#pragma once

// A device thread for the virtual box tests: keeps a ring of buffers queued on one device, in
// the way the program's device threads do, and hands every returned buffer to a callback
// before queueing it again. The worker thread makes every device call after the open, so no
// two threads ever call the device at once.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "uWaveService.h"

namespace tavrin::testing {

inline TWaveFormat StereoFormat(uint32_t rate) {
    TWaveFormat format;
    format.SamplesPerSec = rate;
    format.AvgBytesPerSec = 4 * rate;
    return format;
}

class TDeviceDriver {
  public:
    // Called on the worker thread with each returned buffer (playback: refill it).
    using TBufferEvent = std::function<void(TWaveHeader& header)>;

    TDeviceDriver(TWaveService& service, bool input, uint32_t deviceId, uint32_t rate,
                  int32_t buffers, uint32_t frames, TBufferEvent onBuffer)
        : Input(input), OnBuffer(std::move(onBuffer)), Headers(buffers), Memory(buffers) {
        const TWaveFormat format = StereoFormat(rate);
        OpenResult = input ? service.OpenInput(deviceId, format, Event, 0x50008, Device)
                           : service.OpenOutput(deviceId, format, Event, 0x5000A, Device);
        for (int32_t i = 0; i < buffers; ++i) {
            Memory[i].assign(4 * frames, 0);
            Headers[i].Data = Memory[i].data();
            Headers[i].BufferLength = 4 * frames;
        }
    }
    ~TDeviceDriver() { Finish(); }

    TWaveResult OpenResult;

    // Prepares and queues every buffer (playback: filled first), starts capture, and runs.
    void Begin() {
        Event.Wait();  // the open notification
        for (TWaveHeader& header : Headers) {
            Device->PrepareHeader(header);
            if (!Input) {
                OnBuffer(header);
            }
            Device->Queue(header);
        }
        if (Input) {
            Device->Start();
        }
        Worker = std::thread([this] { Run(); });
    }
    // Resets and closes the device on the worker thread, then ends it.
    void Finish() {
        if (!Worker.joinable()) {
            return;
        }
        Ending.store(true);
        Event.Signal();
        Worker.join();
    }
    int64_t Returned() const { return ReturnedCount.load(); }
    TWaveResult CloseResult = TWaveResult::Error;

  private:
    void Run() {
        size_t next = 0;
        while (true) {
            Event.WaitFor(20);
            if (Ending.load()) {
                break;
            }
            while (!Headers[next].InQueue()) {
                OnBuffer(Headers[next]);
                ReturnedCount.fetch_add(1);
                Device->Queue(Headers[next]);
                next = (next + 1) % Headers.size();
            }
        }
        Device->Reset();
        CloseResult = Device->Close();
        for (TWaveHeader& header : Headers) {
            Device->UnprepareHeader(header);
        }
    }

    bool Input;
    TBufferEvent OnBuffer;
    TAutoEvent Event;
    std::unique_ptr<TWaveDevice> Device;
    std::vector<TWaveHeader> Headers;
    std::vector<std::vector<char>> Memory;
    std::atomic<bool> Ending{false};
    std::atomic<int64_t> ReturnedCount{0};
    std::thread Worker;
};

}  // namespace tavrin::testing
