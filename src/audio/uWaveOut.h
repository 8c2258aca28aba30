#pragma once

// TWaveOut, the playback device thread: keeps ten buffers queued on an output device and fills
// them by repeating the stimulus endlessly, so the output is periodic with the stimulus length.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "uWaveControl.h"

namespace tavrin {

class TWaveOut final : public TWaveControl {
  public:
    // The service and dispatcher are the caller's and outlive the object.
    TWaveOut(TWaveService& service, TUiDispatcher& ui);
    ~TWaveOut() override;

    // User-interface thread. Builds one period of `length` frames with tones on every bin from
    // lowFrequency to highFrequency (Hz) and loads it; a band that gives no valid period (low
    // above high) leaves the stimulus in use unchanged.
    void SetStimulus(int32_t length, double lowFrequency, double highFrequency, double amplitude);
    // User-interface thread. Converts to 16 bits (truncated toward zero, +-1.0 gives +-32767,
    // clamped to the 16-bit range). Idle: the stimulus is in use at once. Playing: it replaces
    // the old one at the next returned device buffer, and the device queue is flushed so that
    // it starts from its first frame at once.
    void LoadStimulus(const TWaveData& wave);
    // User-interface thread. False only when the device cannot be opened (reported through
    // OnError); true also when already playing. Plays silence when no stimulus was loaded.
    bool Start();

    // False on the user-interface thread when a new stimulus has been queued; true on the
    // playback thread once its first buffer has been written. Set before Start.
    std::function<void(bool playing)> OnStimulusChange;

  private:
    void ProcessBuffer(TWaveHeader& header) override;
    void FillBuffer(TWaveHeader& header);
    void SwitchStimulus();
    void SwitchAndFlush();

    // The active buffer is read by the playback thread only; the pending one is written by
    // the user-interface thread only. They are exchanged on the user-interface thread, while
    // the playback thread waits for the exchange or is idle.
    std::array<TBufferData, 2> StimulusBuffers;
    int32_t ActiveBuffer = 0;
    int32_t PendingBuffer = 1;
    std::atomic<bool> SwitchPending{false};
    TWaveData Stimulus;  // the float period SetStimulus builds
};

}  // namespace tavrin
