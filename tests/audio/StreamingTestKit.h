#pragma once

// What the streaming tests share: the test thread plays the user-interface thread, the fake
// service plays the sound card, and every wait is bounded so a fault fails instead of hanging.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "FakeClock.h"
#include "FakeWaveService.h"
#include "uUiDispatcher.h"
#include "uWaveControl.h"

namespace tavrin::test {

// Frame n of the test stream: distinct left and right samples that run through the whole
// 16-bit range, so that a block shows exactly which frames it holds.
inline TStereoFrame StreamFrame(int64_t n) {
    const auto left = static_cast<int16_t>((n & 0xFFFF) - 32768);
    return TStereoFrame{left, static_cast<int16_t>(-1 - left)};
}

inline TBufferData StreamFrames(int64_t first, int count) {
    TBufferData frames(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        frames[static_cast<size_t>(i)] = StreamFrame(first + i);
    }
    return frames;
}

inline TBufferData ConstantFrames(int16_t left, int16_t right, int count) {
    return TBufferData(static_cast<size_t>(count), TStereoFrame{left, right});
}

// What the capture makes of a 16-bit sample.
inline float Sample(int16_t s) {
    return static_cast<float>(s * 2.0 / 65535.0);
}

// The block of `length` frames starting at stream frame `first`, as the capture delivers it.
inline TWaveData StreamBlock(int64_t first, int length) {
    TWaveData block;
    for (int i = 0; i < length; ++i) {
        const TStereoFrame frame = StreamFrame(first + i);
        block[0].push_back(Sample(frame.Left));
        block[1].push_back(Sample(frame.Right));
    }
    return block;
}

class StreamingTest : public ::testing::Test {
  protected:
    StreamingTest() {
        Ui.OnPosted = [this] { ++Posted; };
        Service.SetOnChange([this] { Ui.Notify(); });
    }

    // Serves the dispatcher until `done`; false after five seconds.
    bool Until(const std::function<bool()>& done) { return Ui.WaitUntil(done, 5000); }
    // Returns a capture buffer and waits until the capture thread has handled and requeued it.
    bool Feed(const TBufferData& frames) {
        auto device = Service.LastInput();
        return device && device->ReturnCapture(frames) &&
               Until([&] { return device->QueuedCount() == kDeviceBufferCount; });
    }
    // Every device opened was closed, none with buffers still queued.
    bool AllDevicesClosed() const {
        for (const auto& device : Service.Devices()) {
            if (!device->Closed()) {
                return false;
            }
        }
        return true;
    }
    // Waits, without serving the dispatcher, until `count` synchronous calls have been queued.
    bool AwaitPosted(int count) {
        const double deadline = SystemClock.NowMs() + 5000;
        while (Posted.load() < count) {
            if (SystemClock.NowMs() > deadline) {
                return false;
            }
            std::this_thread::yield();
        }
        return true;
    }

    TSystemClock SystemClock;
    TUiDispatcher Ui{SystemClock};
    TFakeWaveService Service;
    std::atomic<int> Posted{0};
};

}  // namespace tavrin::test
