#include "uWaveOut.h"

#include <algorithm>
#include <cmath>

#include "uStimulus.h"

namespace tavrin {

namespace {

// Full scale +-1.0 maps onto +-32767 (the factor keeps a sample of 1.0 just inside the range).
int16_t ToSample(float x) {
    const double scaled = x * 32767.5;
    if (std::isnan(scaled)) {
        return 0;
    }
    if (scaled >= 32767.0) {
        return 32767;
    }
    if (scaled <= -32768.0) {
        return -32768;
    }
    return static_cast<int16_t>(scaled);  // truncates toward zero
}

}  // namespace

TWaveOut::TWaveOut(TWaveService& service, TUiDispatcher& ui) : TWaveControl(service, ui) {}

TWaveOut::~TWaveOut() {
    EndStreaming();
}

void TWaveOut::SetStimulus(int32_t length, double lowFrequency, double highFrequency,
                           double amplitude) {
    if (length < 1) {
        return;
    }
    TChannelData& period = Stimulus[0];
    if (period.size() != static_cast<size_t>(length)) {
        period.resize(static_cast<size_t>(length));
    }
    const int32_t startBin = FrequencyToBin(length, static_cast<float>(lowFrequency));
    const int32_t stopBin = FrequencyToBin(length, static_cast<float>(highFrequency));
    if (!GenerateStimulus(period.data(), length, startBin, stopBin, amplitude)) {
        return;
    }
    Stimulus[1] = period;  // both outputs carry the same signal
    LoadStimulus(Stimulus);
}

void TWaveOut::LoadStimulus(const TWaveData& wave) {
    TBufferData& pending = StimulusBuffers[static_cast<size_t>(PendingBuffer)];
    const size_t length = wave[0].size();
    if (pending.size() != length) {
        pending.resize(length);
    }
    for (size_t i = 0; i < length; ++i) {
        const float right = i < wave[1].size() ? wave[1][i] : 0.0f;
        pending[i] = TStereoFrame{ToSample(wave[0][i]), ToSample(right)};
    }
    if (Parked()) {
        SwitchStimulus();
        return;
    }
    if (OnStimulusChange) {
        OnStimulusChange(false);
    }
    SwitchPending.store(true, std::memory_order_release);
}

bool TWaveOut::Start() {
    constexpr std::string_view kFailure = "Can not open output device ";
    if (const std::optional<bool> early = BeginStart(kFailure)) {
        return *early;
    }
    Position = 0;
    // A stimulus loaded while the previous run was closing is the one the caller wants.
    if (SwitchPending.exchange(false, std::memory_order_acq_rel)) {
        SwitchStimulus();
    }
    if (!OpenDevice(false, kWaveCallbackEvent | kWaveFormatDirect | kWaveAllowSync, kFailure)) {
        return false;
    }
    // All ten are filled before the first is written: once playing, the device may hand
    // buffers back at once, and only the playback thread moves Position from then on.
    auto& headers = BufferHeaders();
    for (TWaveHeader& header : headers) {
        PrepareHeader(header);
        FillBuffer(header);
    }
    for (TWaveHeader& header : headers) {
        QueueHeader(header);
    }
    return true;
}

void TWaveOut::ProcessBuffer(TWaveHeader& header) {
    const bool switched = SwitchPending.load(std::memory_order_acquire);
    if (switched) {
        Ui.Call([this] { SwitchAndFlush(); });
    }
    FillBuffer(header);
    const bool written = QueueAgain(header);
    if (switched && written && OnStimulusChange) {
        OnStimulusChange(true);
    }
}

void TWaveOut::FillBuffer(TWaveHeader& header) {
    auto* frames = reinterpret_cast<TStereoFrame*>(header.Data);
    const int32_t count = static_cast<int32_t>(header.BufferLength / sizeof(TStereoFrame));
    const TBufferData& active = StimulusBuffers[static_cast<size_t>(ActiveBuffer)];
    const int32_t length = static_cast<int32_t>(active.size());
    if (length == 0) {
        std::fill_n(frames, count, TStereoFrame{0, 0});
        return;
    }
    // Continues the stimulus from where the previous buffer ended, wrapping to frame 0 as
    // often as the buffer needs.
    int32_t filled = 0;
    while (filled < count) {
        const int32_t run = std::min(count - filled, length - Position);
        std::copy_n(active.data() + Position, run, frames + filled);
        filled += run;
        Position += run;
        if (Position == length) {
            Position = 0;
        }
    }
}

void TWaveOut::SwitchStimulus() {
    std::swap(ActiveBuffer, PendingBuffer);
    Position = 0;
}

void TWaveOut::SwitchAndFlush() {
    SwitchStimulus();
    // Drops the old audio still queued: every buffer comes back and is refilled from frame 0.
    ResetDevice();
    SwitchPending.store(false, std::memory_order_release);
}

}  // namespace tavrin
