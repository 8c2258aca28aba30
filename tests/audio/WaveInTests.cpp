// Capture: start skip, conversion, block assembly, length changes, pause and resume.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <future>
#include <numbers>
#include <vector>

#include "StreamingTestKit.h"
#include "uWaveIn.h"

namespace tavrin::test {
namespace {

class WaveInTest : public StreamingTest {
  protected:
    WaveInTest() {
        // Capture thread; read by the test after Feed has seen the buffer queued again.
        Capture.OnBlock = [this](TWaveData& block) { Blocks.push_back(block); };
    }
    // Returns the next `count` frames of the test stream as one device buffer.
    bool FeedStream(int64_t& next, int count) {
        const bool fed = Feed(StreamFrames(next, count));
        next += count;
        return fed;
    }

    TWaveIn Capture{Service, Ui};
    std::vector<TWaveData> Blocks;
};

TEST_F(WaveInTest, FirstBlockBeginsAfterTheStartSkipOfTheRate) {
    const struct {
        uint32_t Rate;
        int Skip;
    } cases[] = {{48000, 73}, {96000, 121}, {192000, 217}};
    for (const auto& c : cases) {
        Blocks.clear();
        Capture.SetSampleRate(c.Rate);
        ASSERT_TRUE(Capture.Start());
        int64_t next = 0;
        ASSERT_TRUE(FeedStream(next, c.Skip + 256));
        ASSERT_EQ(Blocks.size(), 1u) << c.Rate;
        EXPECT_EQ(Blocks[0], StreamBlock(c.Skip, 256)) << c.Rate;
        Capture.Stop();
        ASSERT_TRUE(Until([&] { return Capture.Parked(); }));
    }
}

TEST_F(WaveInTest, BlocksAreContiguousAcrossDeviceBuffers) {
    Capture.SetBlockLength(4096);
    ASSERT_TRUE(Capture.Start());
    int64_t next = 0;
    for (int buffer = 0; buffer < 3; ++buffer) {
        ASSERT_TRUE(FeedStream(next, 4096));
    }
    ASSERT_EQ(Blocks.size(), 2u);
    EXPECT_EQ(Blocks[0], StreamBlock(73, 4096));
    EXPECT_EQ(Blocks[1], StreamBlock(73 + 4096, 4096));
}

TEST_F(WaveInTest, SamplesScaleByHalfTheSixteenBitSpan) {
    Capture.SetBlockLength(4);
    ASSERT_TRUE(Capture.Start());
    TBufferData frames = ConstantFrames(0, 0, 73);
    frames.insert(frames.end(), {{-32768, 32767}, {0, 1}, {-1, 16384}, {100, -100}});
    ASSERT_TRUE(Feed(frames));
    ASSERT_EQ(Blocks.size(), 1u);
    const TWaveData& b = Blocks[0];
    EXPECT_EQ(b[0][0], static_cast<float>(-32768 / 32767.5));
    EXPECT_LT(b[0][0], -1.0f);
    EXPECT_EQ(b[1][0], static_cast<float>(32767 / 32767.5));
    EXPECT_EQ(b[0][1], 0.0f);
    EXPECT_EQ(b[1][1], static_cast<float>(1 / 32767.5));
    EXPECT_EQ(b[1][2], static_cast<float>(16384 / 32767.5));
    EXPECT_EQ(b[1][3], -b[0][3]);
}

TEST_F(WaveInTest, OnlyWholeFramesOfARecordedByteCountCount) {
    Capture.SetBlockLength(100);
    ASSERT_TRUE(Capture.Start());
    const TBufferData first = StreamFrames(0, 173);
    std::vector<char> bytes(first.size() * 4 + 3, 0x55);
    std::memcpy(bytes.data(), first.data(), first.size() * 4);
    auto device = Service.LastInput();
    ASSERT_TRUE(device->ReturnCapture(bytes.data(), static_cast<uint32_t>(bytes.size())));
    ASSERT_TRUE(Until([&] { return device->QueuedCount() == 10; }));
    ASSERT_TRUE(Feed(StreamFrames(173, 100)));
    ASSERT_EQ(Blocks.size(), 2u);
    EXPECT_EQ(Blocks[1], StreamBlock(173, 100));
}

TEST_F(WaveInTest, ShorterLengthBeyondThePositionRestartsTheBlockAtTheNextBuffer) {
    Capture.SetBlockLength(4096);
    ASSERT_TRUE(Capture.Start());
    int64_t next = 0;
    ASSERT_TRUE(FeedStream(next, 4096));  // position 4023 in the first block
    Capture.SetBlockLength(1024);
    EXPECT_EQ(Capture.BlockLength(), 4096);
    ASSERT_TRUE(FeedStream(next, 1024));
    EXPECT_EQ(Capture.BlockLength(), 1024);
    ASSERT_EQ(Blocks.size(), 1u);
    EXPECT_EQ(Blocks[0], StreamBlock(4096, 1024));
}

TEST_F(WaveInTest, LongerLengthContinuesTheBlockBeingAssembled) {
    Capture.SetBlockLength(1024);
    ASSERT_TRUE(Capture.Start());
    int64_t next = 0;
    ASSERT_TRUE(FeedStream(next, 4096));  // three blocks, then 951 frames into the fourth
    ASSERT_EQ(Blocks.size(), 3u);
    Capture.SetBlockLength(2048);
    ASSERT_TRUE(FeedStream(next, 2048));
    ASSERT_EQ(Blocks.size(), 4u);
    EXPECT_EQ(Blocks[3], StreamBlock(73 + 3 * 1024, 2048));
}

TEST_F(WaveInTest, PauseDropsBuffersAndResumeDiscardsThreeBeforeStoringFromIndexZero) {
    Capture.SetBlockLength(256);
    ASSERT_TRUE(Capture.Start());
    int64_t next = 0;
    ASSERT_TRUE(FeedStream(next, 73 + 300));  // one block and 44 frames of the next
    Capture.SetCapturing(false);
    ASSERT_TRUE(FeedStream(next, 1000));
    Capture.SetCapturing(true);
    ASSERT_TRUE(FeedStream(next, 1000));
    Capture.SetCapturing(true);  // restarts the countdown
    for (int discarded = 0; discarded < 3; ++discarded) {
        ASSERT_TRUE(FeedStream(next, 1000));
    }
    EXPECT_EQ(Blocks.size(), 1u);
    const int64_t resumed = next;
    ASSERT_TRUE(FeedStream(next, 256));
    ASSERT_EQ(Blocks.size(), 2u);
    EXPECT_EQ(Blocks[1], StreamBlock(resumed, 256));
}

TEST_F(WaveInTest, ResumeWithoutAPauseChangesNothing) {
    Capture.SetBlockLength(256);
    ASSERT_TRUE(Capture.Start());
    int64_t next = 0;
    ASSERT_TRUE(FeedStream(next, 73 + 100));
    Capture.SetCapturing(true);
    ASSERT_TRUE(FeedStream(next, 412));
    ASSERT_EQ(Blocks.size(), 2u);
    EXPECT_EQ(Blocks[1], StreamBlock(73 + 256, 256));
}

TEST_F(WaveInTest, BuffersBackFromBeforeAResumeAreDiscardedWithTheUsualThree) {
    // The capture thread is held inside the first block while the stimulus changes: the
    // buffers the device returns meanwhile were recorded before the resume.
    Capture.SetBlockLength(256);
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> holding{false};
    Capture.OnBlock = [&](TWaveData& block) {
        Blocks.push_back(block);
        if (Blocks.size() == 1) {
            holding = true;
            released.wait();
        }
    };
    ASSERT_TRUE(Capture.Start());
    const auto device = Service.LastInput();
    int64_t next = 0;
    ASSERT_TRUE(device->ReturnCapture(StreamFrames(next, 73 + 256)));  // A
    next += 73 + 256;
    ASSERT_TRUE(Until([&] { return holding.load(); }));
    Capture.SetCapturing(false);
    for (int buffer = 0; buffer < 2; ++buffer, next += 256) {  // B, C
        ASSERT_TRUE(device->ReturnCapture(StreamFrames(next, 256)));
    }
    Capture.SetCapturing(true);
    release.set_value();
    ASSERT_TRUE(Until([&] { return device->QueuedCount() == kDeviceBufferCount; }));
    // A, B and C were back before the resume: three more go after them.
    for (int buffer = 0; buffer < 4; ++buffer) {
        ASSERT_TRUE(FeedStream(next, 256));
    }
    EXPECT_EQ(Blocks.size(), 1u);
    const int64_t first = next;
    ASSERT_TRUE(FeedStream(next, 256));
    ASSERT_EQ(Blocks.size(), 2u);
    EXPECT_EQ(Blocks[1], StreamBlock(first, 256));
}

// A tone of 16 periods per block of 1024, as a capture clock `ppm` fast would record the
// stimulus of a block length: frames first .. first + count - 1.
TBufferData SlowTone(int64_t first, int count) {
    TBufferData frames(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double phase = 2 * std::numbers::pi * 16 * static_cast<double>(first + i) / 1024;
        const auto sample = static_cast<int16_t>(std::lround(16000 * std::cos(phase)));
        frames[static_cast<size_t>(i)] = {sample, static_cast<int16_t>(sample / 2)};
    }
    return frames;
}

// The turn of bin 16 from one block to the next, radians.
double TurnOfBin16(const TWaveData& a, const TWaveData& b) {
    const auto bin16 = [](const TChannelData& x) {
        std::complex<double> sum;
        for (size_t n = 0; n < x.size(); ++n) {
            sum += static_cast<double>(x[n]) *
                   std::polar(1.0, -2 * std::numbers::pi * 16 * static_cast<double>(n) / 1024);
        }
        return sum;
    };
    return std::arg(bin16(b[0]) / bin16(a[0]));
}

TEST_F(WaveInTest, CompensationResamplesTheStreamOntoThePlaybackClock) {
    std::vector<TBlockTag> tags;
    Capture.OnBlock = [&](TWaveData& block) {
        Blocks.push_back(block);
        tags.push_back(Capture.BlockTag());
    };
    Capture.SetBlockLength(1024);
    Capture.SetClockCompensation(true);
    Capture.SetClockRatioPpm(1000.0);
    ASSERT_TRUE(Capture.Start());
    int64_t next = 0;
    for (int buffer = 0; buffer < 6; ++buffer, next += 1024) {
        ASSERT_TRUE(Feed(SlowTone(next, 1024)));
    }
    // The stream is read 1000 ppm slower: a tone that stood still from block to block now
    // turns by 2 pi 16 1e-3 per block.
    ASSERT_GE(Blocks.size(), 4u);
    // (The tone lies 0.016 bin off now, and its mirror image leaks a little into the bin.)
    const double expected = 2 * std::numbers::pi * 16 * 1000e-6;
    EXPECT_NEAR(TurnOfBin16(Blocks[1], Blocks[2]), expected, 2e-3 * expected);
    EXPECT_NEAR(TurnOfBin16(Blocks[2], Blocks[3]), expected, 2e-3 * expected);
    EXPECT_EQ(tags[1].RatioPpm, 1000.0);
    EXPECT_EQ(tags[1].Run, tags[3].Run);

    // A new ratio starts a new run with a fresh block; off again, the samples as captured.
    const size_t before = Blocks.size();
    Capture.SetClockRatioPpm(0.0);
    for (int buffer = 0; buffer < 3; ++buffer, next += 1024) {
        ASSERT_TRUE(Feed(SlowTone(next, 1024)));
    }
    ASSERT_GT(Blocks.size(), before + 1);
    EXPECT_EQ(tags.back().RatioPpm, 0.0);
    EXPECT_NE(tags.back().Run, tags[before - 1].Run);
    EXPECT_NEAR(TurnOfBin16(Blocks[Blocks.size() - 2], Blocks.back()), 0.0, 1e-4);
    Capture.SetClockCompensation(false);
    Blocks.clear();
    ASSERT_TRUE(Feed(SlowTone(next, 1024)));
    ASSERT_TRUE(Feed(SlowTone(next + 1024, 1024)));
    ASSERT_FALSE(Blocks.empty());
    EXPECT_EQ(Blocks.back()[0][0], static_cast<float>(SlowTone(next + 1024, 1)[0].Left / 32767.5));
}

}  // namespace
}  // namespace tavrin::test
