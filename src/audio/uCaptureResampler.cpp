#include "uCaptureResampler.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

namespace tavrin {
namespace {

// The medium sinc keeps its errors some 120 dB down over 90 % of the band; the tones above
// that share the converter's response on both channels, so their ratio is unaffected.
constexpr int kConverter = SRC_SINC_MEDIUM_QUALITY;

}  // namespace

TCaptureResampler::TCaptureResampler() {
    int error = 0;
    State = src_new(kConverter, 2, &error);
}

TCaptureResampler::~TCaptureResampler() {
    if (State) {
        src_delete(State);
    }
}

void TCaptureResampler::Reset() {
    if (State) {
        src_reset(State);
    }
}

const std::vector<float>& TCaptureResampler::Process(const float* interleaved, int32_t frames,
                                                     double ratio) {
    Produced = 0;
    if (!State) {
        Output.assign(interleaved, interleaved + 2 * static_cast<size_t>(frames));
        Produced = frames;
        return Output;
    }
    // A step to the new ratio rather than a glide over this buffer: the caller starts a new
    // block with it.
    src_set_ratio(State, ratio);
    // The converter holds back what its filter still needs and releases it with later input,
    // so one call may give more frames than it takes; it goes on until all input is used.
    int32_t used = 0;
    while (used < frames) {
        const auto room = static_cast<size_t>(std::ceil((frames - used) * ratio)) + 256;
        if (Output.size() < 2 * (static_cast<size_t>(Produced) + room)) {
            Output.resize(2 * (static_cast<size_t>(Produced) + room));
        }
        SRC_DATA data{};
        data.data_in = interleaved + 2 * static_cast<size_t>(used);
        data.data_out = Output.data() + 2 * static_cast<size_t>(Produced);
        data.input_frames = frames - used;
        data.output_frames = static_cast<long>(room);
        data.src_ratio = ratio;
        if (src_process(State, &data) != 0 ||
            (data.input_frames_used == 0 && data.output_frames_gen == 0)) {
            break;
        }
        used += static_cast<int32_t>(data.input_frames_used);
        Produced += static_cast<int32_t>(data.output_frames_gen);
    }
    return Output;
}

}  // namespace tavrin
