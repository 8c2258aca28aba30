#pragma once

// Buffers and sample patterns for the tests of the waveform-audio backends.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "uAutoEvent.h"
#include "uWaveService.h"

namespace tavrin::test {

// Frame k of a counting pattern: no two frames of a stretch shorter than 32768 frames are
// alike, no frame is silent, and left and right differ, so lost, repeated, shifted or swapped
// frames show.
inline void CountingFrame(int64_t k, int16_t* frame) {
    frame[0] = static_cast<int16_t>(k % 32767 + 1);
    frame[1] = static_cast<int16_t>(-(k % 32767) - 1);
}

inline std::vector<int16_t> CountingFrames(int64_t first, size_t count) {
    std::vector<int16_t> samples(2 * count);
    for (size_t i = 0; i < count; ++i) {
        CountingFrame(first + static_cast<int64_t>(i), &samples[2 * i]);
    }
    return samples;
}

// 16-bit stereo PCM at `rate` frames/s, as the device threads ask for it.
inline TWaveFormat StereoFormat(uint32_t rate) {
    TWaveFormat format;
    format.SamplesPerSec = rate;
    format.AvgBytesPerSec = rate * 4;
    return format;
}

// Prepared headers with their memory, as a device thread holds them.
class TWaveBuffers {
  public:
    TWaveBuffers(size_t count, uint32_t bytes) : Storage(count, std::vector<char>(bytes)) {
        for (auto& memory : Storage) {
            TWaveHeader& header = Headers.emplace_back();
            header.Data = memory.data();
            header.BufferLength = bytes;
        }
    }
    TWaveHeader& operator[](size_t i) { return Headers[i]; }
    size_t Size() const { return Headers.size(); }
    size_t Queued() const {
        size_t queued = 0;
        for (const auto& header : Headers) {
            queued += header.InQueue() ? 1 : 0;
        }
        return queued;
    }
    void Fill(size_t i, const std::vector<int16_t>& samples) {
        std::memcpy(Headers[i].Data, samples.data(),
                    std::min<size_t>(Headers[i].BufferLength, samples.size() * 2));
    }
    std::vector<int16_t> Samples(size_t i) const {
        const uint32_t bytes = Headers[i].BytesRecorded.load(std::memory_order_acquire);
        std::vector<int16_t> samples(bytes / 2);
        if (!samples.empty()) {
            std::memcpy(samples.data(), Headers[i].Data, samples.size() * 2);
        }
        return samples;
    }

  private:
    std::vector<std::vector<char>> Storage;
    std::deque<TWaveHeader> Headers;
};

// Waits until `done` holds, looking again whenever `event` is signalled and at least every 20 ms
// (for what another event announces); false when `timeoutMs` ran out first.
template <typename Condition>
bool WaitUntil(TAutoEvent& event, int timeoutMs, Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            return false;
        }
        event.WaitFor(static_cast<int>(std::min<int64_t>(left, 20)));
    }
    return true;
}

}  // namespace tavrin::test
