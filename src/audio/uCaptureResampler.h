#pragma once

// Resamples the captured stereo stream by a ratio close to 1, so that a capture clock that runs
// a little faster or slower than the playback clock can be brought back onto the playback's
// time base before blocks are formed. Capture thread only; allocates only when a buffer grows.

#include <cstdint>
#include <vector>

struct SRC_STATE_tag;

namespace tavrin {

class TCaptureResampler {
  public:
    TCaptureResampler();
    ~TCaptureResampler();
    TCaptureResampler(const TCaptureResampler&) = delete;
    TCaptureResampler& operator=(const TCaptureResampler&) = delete;

    // False when the converter could not be made: Process then passes the stream unchanged.
    bool Ready() const { return State != nullptr; }
    // Forgets the history: the next frames start a new stream. The first kSettleFrames output
    // frames after a reset still feel the silence before it.
    void Reset();
    static constexpr int32_t kSettleFrames = 512;

    // `frames` interleaved stereo frames in; `ratio` output frames per input frame. Returns
    // the output, valid until the next call.
    const std::vector<float>& Process(const float* interleaved, int32_t frames, double ratio);
    int32_t OutputFrames() const { return Produced; }

  private:
    SRC_STATE_tag* State = nullptr;
    std::vector<float> Output;
    int32_t Produced = 0;
};

}  // namespace tavrin
