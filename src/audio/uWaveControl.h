#pragma once

// The sample containers of the measurement, and TWaveControl: the base of the capture and the
// playback device threads. An instance keeps a ring of ten page-sized buffers queued on one
// waveform-audio device while it streams; its worker thread sleeps on the device's event and
// handles each notification by the state of the run.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "uAutoEvent.h"
#include "uWaveService.h"
#include "uWorkerThread.h"

namespace tavrin {

// One channel's samples in time order (captured samples full scale at about +-1.0); after
// analysis the same array holds a packed spectrum.
using TChannelData = std::vector<float>;
// Element 0 the left channel, element 1 the right, both of the block length. Passed by
// reference; whoever keeps samples beyond a call copies them.
using TWaveData = std::array<TChannelData, 2>;

struct TStereoFrame {
    int16_t Left;
    int16_t Right;
};
// Stereo PCM frames as the device takes them.
using TBufferData = std::vector<TStereoFrame>;

// Sets both channels to `length` samples when channel 0 has another length.
void ResizeWaveData(TWaveData& data, int32_t length);
// Copies each source channel into the destination channel from index 0.
void CopyWaveData(const TWaveData& source, TWaveData& destination);

using TErrorEvent = std::function<void(const std::string& message)>;

inline constexpr int kDeviceBufferCount = 10;
// How long a Start waits for the previous run of its thread to finish closing.
inline constexpr int kCloseWaitMs = 2000;

// Bytes of one device buffer: 0.1 s of frames rounded down to whole pages, at least one page.
uint32_t DeviceBufferBytes(uint32_t sampleRate, uint32_t blockAlign, size_t pageSize);

// States of a streaming run. Opening and Stopping are set by the owner's thread, Running and
// Closed by the worker thread.
enum class TDeviceState : uint8_t { Opening = 0, Running = 1, Stopping = 2, Closed = 3 };

class TWaveControl : public TWorkerThread {
  public:
    // User-interface thread: the device number for the next Start.
    void SetDeviceID(uint32_t id) { DeviceId.store(id, std::memory_order_relaxed); }
    uint32_t DeviceID() const { return DeviceId.load(std::memory_order_relaxed); }
    // Samples per second; a new rate takes effect at the next Start.
    uint32_t SampleRate() const { return Rate.load(std::memory_order_relaxed); }
    void SetSampleRate(uint32_t rate) { Rate.store(rate, std::memory_order_relaxed); }
    // User-interface thread, when the device cannot be opened. Set before Start.
    void SetOnError(TErrorEvent onError) { OnError = std::move(onError); }
    // User-interface thread, when the device stops working while streaming, with a text that
    // names it. The run then ends by itself (Parked turns true), unless the handler has stopped
    // it already; the next Start opens the device afresh. Set before Start.
    void SetOnDeviceLost(TErrorEvent onLost) { OnDeviceLost = std::move(onLost); }
    // The bin of a frequency (Hz) for a block of `length` samples at SampleRate.
    int32_t FrequencyToBin(int32_t length, float frequency) const;
    // User-interface thread: State := Stopping and, if the thread is streaming, the device is
    // reset; the thread then closes the device and parks by itself.
    void Stop();

  protected:
    // The service and dispatcher are the caller's and outlive the object.
    TWaveControl(TWaveService& service, TUiDispatcher& ui);
    ~TWaveControl() override;

    // For Start, on the user-interface thread. When idle: allocates the buffers, State :=
    // Opening, wakes the thread and returns nullopt: Start goes on to open the device. While
    // streaming: true, nothing changes. While a run is still closing it first waits, at most
    // kCloseWaitMs and serving the dispatcher, for the thread to go idle; a run that has not
    // closed by then makes the Start fail: `failureText` with DeviceID goes to OnError, false.
    std::optional<bool> BeginStart(std::string_view failureText);
    // For Start, after BeginStart: opens the device with the worker's event. On failure parks
    // the thread, releases the buffers, reports `failureText` with DeviceID and returns false.
    bool OpenDevice(bool input, uint32_t flags, std::string_view failureText);
    // The destruction sequence; the most-derived destructor calls it first.
    void EndStreaming();

    // Worker thread: handles one returned buffer and queues it again (QueueAgain).
    virtual void ProcessBuffer(TWaveHeader& header) = 0;
    // Worker thread: closes the device; State := Closed.
    virtual void CloseDevice();

    // Device calls, serialised between the owner's thread and the worker; nothing is called
    // when no device is open. Results are ignored.
    void PrepareHeader(TWaveHeader& header);
    void QueueHeader(TWaveHeader& header);
    // Worker thread: queues a processed buffer again unless a stop has been requested; true
    // when it was queued.
    bool QueueAgain(TWaveHeader& header);
    void StartDevice();
    void StopDevice();
    void ResetDevice();

    TDeviceState State() const { return RunState.load(std::memory_order_acquire); }
    std::array<TWaveHeader, kDeviceBufferCount>& BufferHeaders() { return Headers; }

    // The capture's position in its block or the playback's position in its stimulus.
    int32_t Position = 0;

  private:
    // Reports `failureText` followed by DeviceID through OnError.
    void ReportOpenFailure(std::string_view failureText);
    void ThreadLoop();
    void ProcessReturnedBuffers();
    // Worker thread, while streaming: a device that has failed is reported and its run ended.
    void CheckDevice();
    // False when some memory was refused; Start then fails as if the device would not open.
    bool AllocateBuffers();
    // Unprepares the headers (when a device is open) and releases their memory.
    void FreeBuffers();
    void ReleaseMemory();
    void ReleaseDevice();

    TWaveService& Service;
    std::atomic<uint32_t> DeviceId{0};
    std::atomic<uint32_t> Rate{48000};
    TWaveFormat Format;
    std::array<TWaveHeader, kDeviceBufferCount> Headers;
    uint32_t BufferBytes = 0;
    bool BuffersReady = false;  // every header has its memory
    int32_t BufferIndex = 0;    // the next header the device is expected to return
    std::atomic<TDeviceState> RunState{TDeviceState::Opening};
    TAutoEvent DeviceEvent;
    std::mutex DeviceMutex;               // one device call at a time
    std::unique_ptr<TWaveDevice> Device;  // after DeviceEvent: the device must not outlive it
    bool InputDevice = false;             // what the last OpenDevice opened
    TErrorEvent OnError;
    TErrorEvent OnDeviceLost;
};

}  // namespace tavrin
