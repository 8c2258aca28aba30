#pragma once

// One open PortAudio stream as a device of the waveform-audio service. Created by
// TPortAudioService; nothing else uses this unit.

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "uWaveBufferQueue.h"
#include "uWaveService.h"

namespace tavrin {

// What the stream callback works on. Shared, so that a stream that cannot be closed safely
// (see TPortAudioLibrary::Abandon) keeps its callback's target alive.
struct TPortAudioStreamTarget {
    explicit TPortAudioStreamTarget(bool capture) : Queue(capture) {}
    TWaveBufferQueue Queue;
    std::atomic<bool> Finished{false};  // PortAudio ended the stream (an error in its thread)
};

class TPortAudioDevice : public TWaveDevice {
  public:
    // How long a started stream may go without a callback before it counts as dead.
    static constexpr std::chrono::milliseconds kStallLimit{2000};
    // How long a running stream may go without a callback before a close takes it for one whose
    // server has stopped answering. A JACK period is at most a few hundred milliseconds.
    static constexpr std::chrono::milliseconds kAnswerLimit{500};

    // Opens PortAudio device `index` (`jack`: served by a JACK server) for 16-bit stereo at
    // exactly `rate` frames/s with `latency` seconds of host buffering. BadFormat when the device
    // cannot take that format itself; `device` stays empty and nothing is signalled on failure.
    static TWaveResult Open(int index, bool capture, bool jack, uint32_t rate, double latency,
                            TAutoEvent& notify, std::unique_ptr<TWaveDevice>& device);

    // Takes over `stream`, open but not started, whose callback works on `target`.
    TPortAudioDevice(void* stream, std::shared_ptr<TPortAudioStreamTarget> target, bool capture,
                     bool jack, TAutoEvent& notify);
    ~TPortAudioDevice() override;

    TWaveResult PrepareHeader(TWaveHeader& header) override;
    TWaveResult UnprepareHeader(TWaveHeader& header) override;
    TWaveResult Queue(TWaveHeader& header) override;
    TWaveResult Start() override;
    TWaveResult Stop() override;
    TWaveResult Reset() override;
    TWaveResult Close() override;
    bool Failed() const override { return Lost.load(std::memory_order_acquire); }

  private:
    // The stream runs from the first write (playback) or Start (capture) until Close.
    void StartStream();
    // The stream has died: every queued buffer comes back, later ones wait for Reset.
    void GiveUp();
    // Thread that turns returned buffers into signals of the event and watches the stream.
    void Watch();
    bool StreamDead(std::chrono::steady_clock::time_point now);
    void StopWatching();
    // True when the stream calls back within kAnswerLimit.
    bool StreamAnswers() const;
    void CloseStream();

    void* Stream;
    std::shared_ptr<TPortAudioStreamTarget> Target;
    TWaveBufferQueue& Buffers;
    const bool IsCapture;
    const bool IsJack;
    TAutoEvent& Notify;
    bool IsOpen = true;
    std::atomic<bool> Started{false};
    std::atomic<bool> Lost{false};
    std::atomic<bool> Ending{false};
    // Watcher thread only.
    uint64_t LastCalls = 0;
    std::chrono::steady_clock::time_point LastProgress{};
    bool SawStart = false;
    std::thread Watcher;
};

}  // namespace tavrin
