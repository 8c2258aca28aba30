#pragma once

// CONTRACT DRAFT from the lead: public API of the playback thread that the window relies on.
// The streaming helper completes this unit and may refine it.

#include <cstdint>
#include <functional>

#include "uWaveControl.h"

namespace tavrin {

class TWaveService;
class TUiDispatcher;

class TWaveOut /* : public TWaveControl */ {
  public:
    TWaveOut(TWaveService& service, TUiDispatcher& ui);
    ~TWaveOut();

    void SetDeviceID(uint32_t id);
    uint32_t SampleRate() const;
    void SetSampleRate(uint32_t rate);
    void SetOnError(TErrorEvent onError);
    int32_t FrequencyToBin(int32_t length, float frequency) const;
    bool Parked() const;

    // Builds the stimulus for the band and loads it; a band that gives no valid period
    // (low above high) leaves the stimulus in use unchanged.
    void SetStimulus(int32_t length, double lowFrequency, double highFrequency, double amplitude);
    void LoadStimulus(const TWaveData& wave);
    bool Start();
    void Stop();

    // False when a new stimulus has been queued (user-interface thread), true once it plays
    // (playback thread).
    std::function<void(bool playing)> OnStimulusChange;
};

}  // namespace tavrin
