#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "WaveBuffers.h"
#include "uWaveBufferQueue.h"

namespace tavrin {
namespace {

using test::CountingFrames;
using test::TWaveBuffers;

constexpr uint32_t kTenFrames = 10 * kWaveFrameBytes;

bool Returned(TWaveHeader& header) {
    const uint32_t flags = header.Flags.load(std::memory_order_acquire);
    return (flags & kHeaderInQueue) == 0 && (flags & kHeaderDone) != 0;
}

void Capture(TWaveBufferQueue& queue, int64_t first, size_t count) {
    const auto frames = CountingFrames(first, count);
    queue.Capture(frames.data(), count);
}

std::vector<int16_t> Play(TWaveBufferQueue& queue, size_t count) {
    std::vector<int16_t> frames(2 * count, 99);
    queue.Play(frames.data(), count);
    return frames;
}

TEST(WaveBufferQueue, CaptureFillsBuffersInQueueOrderAcrossPeriods) {
    TWaveBufferQueue queue(true);
    TWaveBuffers buffers(3, kTenFrames);
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(queue.Add(buffers[i]));
    }
    Capture(queue, 0, 7);  // not started: dropped
    queue.SetCapturing(true);
    for (int period = 0; period < 5; ++period) {
        Capture(queue, 100 + 7 * period, 7);
        EXPECT_EQ(Returned(buffers[0]), period >= 1);
        EXPECT_EQ(Returned(buffers[2]), period >= 4) << period;
    }
    EXPECT_TRUE(queue.WaitForReturns(std::chrono::milliseconds(0)));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(buffers[i].BytesRecorded.load(), kTenFrames);
        EXPECT_EQ(buffers.Samples(i), CountingFrames(100 + 10 * static_cast<int64_t>(i), 10));
    }
    EXPECT_TRUE(queue.Empty());
    // With no buffer queued the rest of the last period was lost; the next buffer starts with
    // the next period.
    ASSERT_TRUE(queue.Add(buffers[0]));
    Capture(queue, 200, 10);
    EXPECT_EQ(buffers.Samples(0), CountingFrames(200, 10));
}

TEST(WaveBufferQueue, CaptureStopReturnsTheBufferBeingFilledWithWhatItHolds) {
    TWaveBufferQueue queue(true);
    TWaveBuffers buffers(2, kTenFrames);
    queue.Add(buffers[0]);
    queue.Add(buffers[1]);
    EXPECT_EQ(queue.ReturnFilling(), 0u);  // nothing held yet: nothing comes back
    queue.SetCapturing(true);
    Capture(queue, 0, 3);
    EXPECT_EQ(queue.ReturnFilling(), 1u);
    EXPECT_TRUE(Returned(buffers[0]));
    EXPECT_EQ(buffers.Samples(0), CountingFrames(0, 3));
    EXPECT_TRUE(buffers[1].InQueue());
    Capture(queue, 3, 10);  // stopped
    EXPECT_TRUE(buffers[1].InQueue());
    queue.SetCapturing(true);
    Capture(queue, 50, 10);
    EXPECT_EQ(buffers.Samples(1), CountingFrames(50, 10));
}

TEST(WaveBufferQueue, ReturnAllGivesBackEveryBufferAndStopsCapture) {
    TWaveBufferQueue queue(true);
    TWaveBuffers buffers(3, kTenFrames);
    for (size_t i = 0; i < 3; ++i) {
        buffers[i].BytesRecorded = 123;
        queue.Add(buffers[i]);
    }
    queue.SetCapturing(true);
    Capture(queue, 0, 4);
    EXPECT_EQ(queue.ReturnAll(), 3u);
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(buffers.Samples(0), CountingFrames(0, 4));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(Returned(buffers[i]));
        EXPECT_EQ(buffers[i].BytesRecorded.load(), i == 0 ? 16u : 0u);
    }
    queue.Add(buffers[0]);
    Capture(queue, 4, 10);
    EXPECT_TRUE(buffers[0].InQueue());
}

TEST(WaveBufferQueue, PlaybackPlaysBuffersBackToBackThenSilence) {
    TWaveBufferQueue queue(false);
    // 22 bytes: five whole frames; the two bytes left over are never played.
    TWaveBuffers buffers(2, 22);
    buffers.Fill(0, CountingFrames(0, 6));
    buffers.Fill(1, CountingFrames(5, 6));
    queue.Add(buffers[0]);
    queue.Add(buffers[1]);
    std::vector<int16_t> played;
    for (int period = 0; period < 4; ++period) {
        const auto frames = Play(queue, 4);
        played.insert(played.end(), frames.begin(), frames.end());
        EXPECT_EQ(Returned(buffers[0]), period >= 1);
        EXPECT_EQ(Returned(buffers[1]), period >= 2);
    }
    std::vector<int16_t> expected = CountingFrames(0, 10);
    expected.resize(2 * 16, 0);
    EXPECT_EQ(played, expected);
}

TEST(WaveBufferQueue, PlaybackResetDropsTheRestAndTheNextBufferPlaysFromItsStart) {
    TWaveBufferQueue queue(false);
    TWaveBuffers buffers(2, kTenFrames);
    buffers.Fill(0, CountingFrames(0, 10));
    buffers.Fill(1, CountingFrames(500, 10));
    queue.Add(buffers[0]);
    queue.Add(buffers[1]);
    Play(queue, 3);
    EXPECT_EQ(queue.ReturnAll(), 2u);
    EXPECT_TRUE(Returned(buffers[0]) && Returned(buffers[1]));
    EXPECT_EQ(Play(queue, 2), std::vector<int16_t>(4, 0));
    queue.Add(buffers[1]);
    EXPECT_EQ(Play(queue, 10), CountingFrames(500, 10));
}

TEST(WaveBufferQueue, ShutQueueKeepsLaterBuffersAwayFromTheStream) {
    TWaveBufferQueue queue(false);
    TWaveBuffers buffers(3, kTenFrames);
    buffers.Fill(2, CountingFrames(0, 10));
    queue.Add(buffers[0]);
    queue.Add(buffers[1]);
    EXPECT_EQ(queue.Shut(), 2u);
    queue.Add(buffers[2]);
    EXPECT_EQ(Play(queue, 10), std::vector<int16_t>(20, 0));
    EXPECT_TRUE(buffers[2].InQueue());
    EXPECT_FALSE(queue.Empty());
    EXPECT_EQ(queue.ReturnAll(), 1u);
    EXPECT_TRUE(Returned(buffers[2]));
}

TEST(WaveBufferQueue, BuffersWithoutWholeFramesComeBackAtOnce) {
    TWaveBufferQueue capture(true);
    TWaveBufferQueue playback(false);
    TWaveBuffers buffers(4, 3);
    buffers[1].BufferLength = 0;
    buffers[1].Data = nullptr;
    buffers[3].BufferLength = 0;
    capture.Add(buffers[0]);
    capture.Add(buffers[1]);
    capture.SetCapturing(true);
    Capture(capture, 0, 2);
    playback.Add(buffers[2]);
    playback.Add(buffers[3]);
    EXPECT_EQ(Play(playback, 2), std::vector<int16_t>(4, 0));
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(Returned(buffers[i])) << i;
    }
    EXPECT_EQ(buffers[0].BytesRecorded.load(), 0u);
}

TEST(WaveBufferQueue, FullQueueRefusesABufferWithoutMarkingIt) {
    TWaveBufferQueue queue(true);
    TWaveBuffers buffers(TWaveBufferQueue::kCapacity + 1, kTenFrames);
    for (size_t i = 0; i < TWaveBufferQueue::kCapacity; ++i) {
        ASSERT_TRUE(queue.Add(buffers[i]));
    }
    EXPECT_FALSE(queue.Add(buffers[TWaveBufferQueue::kCapacity]));
    EXPECT_EQ(buffers[TWaveBufferQueue::kCapacity].Flags.load(), 0u);
}

// The stream runs on its own thread while the caller re-queues returned buffers and now and
// then takes them all back, as the device threads do: every buffer holds consecutive frames
// and later buffers hold later frames.
TEST(WaveBufferQueue, StreamThreadAndCallerShareTheBuffersSafely) {
    TWaveBufferQueue queue(true);
    TWaveBuffers buffers(10, 64 * kWaveFrameBytes);
    for (size_t i = 0; i < buffers.Size(); ++i) {
        queue.Add(buffers[i]);
    }
    queue.SetCapturing(true);
    std::atomic<bool> stop{false};
    std::thread stream([&] {
        for (int64_t next = 0; !stop.load(); next += 37) {
            Capture(queue, next, 37);
            std::this_thread::yield();  // a real stream waits for its next period
        }
    });
    int64_t last = -1;
    size_t index = 0;
    bool ordered = true;
    for (int round = 0; round < 500 && ordered; ++round) {
        if (!queue.WaitForReturns(std::chrono::milliseconds(10000))) {
            ADD_FAILURE() << "no buffer came back";
            break;
        }
        if (round % 50 == 49) {
            queue.ReturnAll();
        }
        while (!buffers[index].InQueue()) {
            const auto samples = buffers.Samples(index);
            for (size_t i = 0; i < samples.size() && ordered; i += 2) {
                const int64_t frame = samples[i] - 1;
                const int64_t step = (frame - last + 32767) % 32767;
                ordered = i == 0 ? step >= 1 : step == 1;
                EXPECT_TRUE(ordered)
                    << "round " << round << " frame " << frame << " after " << last;
                last = frame;
            }
            queue.Add(buffers[index]);
            queue.SetCapturing(true);
            index = (index + 1) % buffers.Size();
        }
    }
    stop = true;
    stream.join();
}

}  // namespace
}  // namespace tavrin
