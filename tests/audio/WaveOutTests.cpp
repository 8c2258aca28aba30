// Playback: the looping stimulus, its 16-bit conversion and the switch to a new stimulus while
// playing, including Stop and destruction while the switch waits for the user-interface thread.

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

#include "StreamingTestKit.h"
#include "uStimulus.h"
#include "uWaveOut.h"

namespace tavrin::test {
namespace {

// A stimulus of `length` frames whose frame i plays as left i + offset, right -(i + offset);
// the half keeps float rounding away from the truncation's edge.
TWaveData NumberedStimulus(int length, int offset = 0) {
    TWaveData wave;
    for (int i = 0; i < length; ++i) {
        wave[0].push_back(static_cast<float>((i + offset + 0.5) / 32767.5));
        wave[1].push_back(static_cast<float>(-(i + offset + 0.5) / 32767.5));
    }
    return wave;
}

TStereoFrame NumberedFrame(int i, int offset = 0) {
    return TStereoFrame{static_cast<int16_t>(i + offset), static_cast<int16_t>(-(i + offset))};
}

bool SameFrame(const TStereoFrame& a, const TStereoFrame& b) {
    return a.Left == b.Left && a.Right == b.Right;
}

class WaveOutTest : public StreamingTest {
  protected:
    WaveOutTest() {
        Playback->OnStimulusChange = [this](bool playing) {
            std::lock_guard<std::mutex> lock(ChangesMutex);
            Changes.push_back(playing);
        };
    }
    std::vector<bool> StimulusChanges() {
        std::lock_guard<std::mutex> lock(ChangesMutex);
        return Changes;
    }
    // The next `buffers` device buffers as played, end to end.
    TBufferData Play(int buffers) {
        TBufferData played;
        auto device = Service.LastOutput();
        for (int i = 0; i < buffers; ++i) {
            std::optional<TBufferData> buffer = device->ReturnPlayback();
            EXPECT_TRUE(buffer.has_value());
            if (!buffer || !Until([&] { return device->QueuedCount() == 10; })) {
                break;
            }
            played.insert(played.end(), buffer->begin(), buffer->end());
        }
        return played;
    }

    std::mutex ChangesMutex;
    std::vector<bool> Changes;
    std::unique_ptr<TWaveOut> Playback = std::make_unique<TWaveOut>(Service, Ui);
};

TEST_F(WaveOutTest, StimulusLoopsSeamlesslyWhateverItsLengthAgainstTheBuffers) {
    for (const int length : {1000, 10000, 4096}) {
        Playback->LoadStimulus(NumberedStimulus(length));
        ASSERT_TRUE(Playback->Start());
        const TBufferData played = Play(4);
        ASSERT_EQ(played.size(), 4u * 4096u);
        for (size_t i = 0; i < played.size(); ++i) {
            ASSERT_TRUE(SameFrame(played[i], NumberedFrame(static_cast<int>(i) % length)))
                << "length " << length << " frame " << i;
        }
        Playback->Stop();
        ASSERT_TRUE(Until([&] { return Playback->Parked(); }));
    }
    EXPECT_TRUE(StimulusChanges().empty());  // loaded while idle: no events
}

TEST_F(WaveOutTest, SamplesAreTruncatedTowardZeroAndKeptInRange) {
    const std::vector<float> values{
        1.0f, -1.0f, 0.99999f, -0.99999f, 0.9f / 32767.5f, -0.9f / 32767.5f, 2.0f, -2.0f, 0.5f};
    const std::vector<int16_t> expected{32767, -32767, 32767, -32767, 0, 0, 32767, -32768, 16383};
    TWaveData wave{values, values};
    Playback->LoadStimulus(wave);
    ASSERT_TRUE(Playback->Start());
    const TBufferData played = Play(1);
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(played[i].Left, expected[i]) << values[i];
        EXPECT_EQ(played[i].Right, expected[i]) << values[i];
    }
}

TEST_F(WaveOutTest, SetStimulusPlaysTheGeneratedPeriodOnBothChannels) {
    Playback->SetStimulus(1024, 1000, 3000, 1.0);
    std::vector<float> period(1024);
    ASSERT_TRUE(GenerateStimulus(period.data(), 1024, Playback->FrequencyToBin(1024, 1000),
                                 Playback->FrequencyToBin(1024, 3000), 1.0));
    ASSERT_TRUE(Playback->Start());
    const TBufferData played = Play(1);
    for (size_t i = 0; i < 1024; ++i) {
        const auto sample = static_cast<int16_t>(period[i] * 32767.5);
        ASSERT_EQ(played[i].Left, sample) << i;
        ASSERT_EQ(played[i].Right, sample) << i;
    }

    // A band with its low end above its high end keeps what plays.
    Playback->SetStimulus(1024, 5000, 1000, 1.0);
    const TBufferData next = Play(1);
    EXPECT_TRUE(SameFrame(next[0], played[0]));
    EXPECT_TRUE(StimulusChanges().empty());
}

TEST_F(WaveOutTest, StartWithoutAStimulusPlaysSilence) {
    ASSERT_TRUE(Playback->Start());
    for (const TStereoFrame& frame : Play(2)) {
        ASSERT_TRUE(SameFrame(frame, TStereoFrame{0, 0}));
    }
}

TEST_F(WaveOutTest, ANewStimulusWhilePlayingFlushesAndStartsFromItsFirstFrame) {
    Playback->LoadStimulus(NumberedStimulus(1000));
    ASSERT_TRUE(Playback->Start());
    Play(1);
    Playback->LoadStimulus(NumberedStimulus(300, 5000));
    Playback->LoadStimulus(NumberedStimulus(700, 9000));  // only the last one plays
    EXPECT_EQ(StimulusChanges(), (std::vector<bool>{false, false}));
    const size_t resetsBefore = static_cast<size_t>(Service.Count("out:reset"));

    // The next returned buffer still holds the old stimulus; returning it makes the switch.
    const TBufferData old = Play(1);
    EXPECT_TRUE(SameFrame(old[0], NumberedFrame(4096 % 1000)));
    EXPECT_EQ(static_cast<size_t>(Service.Count("out:reset")), resetsBefore + 1);
    EXPECT_EQ(StimulusChanges(), (std::vector<bool>{false, false, true}));
    const TBufferData played = Play(3);
    for (size_t i = 0; i < played.size(); ++i) {
        ASSERT_TRUE(SameFrame(played[i], NumberedFrame(static_cast<int>(i % 700), 9000))) << i;
    }
}

TEST_F(WaveOutTest, StopWhileTheSwitchWaitsReturnsAndTheNextStartPlaysTheNewStimulus) {
    Playback->LoadStimulus(NumberedStimulus(1000));
    ASSERT_TRUE(Playback->Start());
    Playback->LoadStimulus(NumberedStimulus(500, 7000));
    auto device = Service.LastOutput();
    ASSERT_TRUE(device->ReturnPlayback());
    ASSERT_TRUE(AwaitPosted(1));  // the playback thread waits for the switch on this thread
    Playback->Stop();
    ASSERT_TRUE(Until([&] { return Playback->Parked(); }));
    EXPECT_EQ(StimulusChanges(), (std::vector<bool>{false}));  // never written: no true

    ASSERT_TRUE(Playback->Start());
    const TBufferData played = Play(1);
    EXPECT_TRUE(SameFrame(played[0], NumberedFrame(0, 7000)));
}

TEST_F(WaveOutTest, DestroyingWhileTheSwitchWaitsEndsCleanly) {
    ASSERT_TRUE(Playback->Start());
    Playback->LoadStimulus(NumberedStimulus(500));
    ASSERT_TRUE(Service.LastOutput()->ReturnPlayback());
    ASSERT_TRUE(AwaitPosted(1));
    Playback.reset();
    EXPECT_TRUE(Service.LastOutput()->Closed());
    EXPECT_EQ(StimulusChanges(), (std::vector<bool>{false}));
}

TEST_F(WaveOutTest, StimulusLoadedWhileTheLastRunClosesIsPlayedByTheNextStart) {
    Playback->LoadStimulus(NumberedStimulus(1000));
    ASSERT_TRUE(Playback->Start());
    Play(1);
    auto first = Service.LastOutput();
    first->HoldNotifications(true);
    Playback->Stop();  // the thread sleeps before closing the device
    ASSERT_FALSE(Playback->Parked());
    Playback->LoadStimulus(NumberedStimulus(600, 3000));
    first->HoldNotifications(false);
    ASSERT_TRUE(Until([&] { return Playback->Parked(); }));
    ASSERT_TRUE(Playback->Start());
    EXPECT_TRUE(SameFrame(Play(1)[0], NumberedFrame(0, 3000)));
}

TEST_F(WaveOutTest, TwoHundredFastCyclesWithASwitchWaitingInEach) {
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_TRUE(Playback->Start());
        Playback->LoadStimulus(NumberedStimulus(100, 10 * cycle));
        Service.LastOutput()->ReturnPlayback();
        Playback->Stop();
    }
    ASSERT_TRUE(Until([&] { return Playback->Parked(); }));
    EXPECT_EQ(Service.Count("out:close"), 200);
    ASSERT_TRUE(Playback->Start());
    EXPECT_TRUE(SameFrame(Play(1)[0], NumberedFrame(0, 1990)));
}

}  // namespace
}  // namespace tavrin::test
