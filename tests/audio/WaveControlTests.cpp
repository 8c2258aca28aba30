// The device-thread life cycle, seen through the capture and the playback threads.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "StreamingTestKit.h"
#include "uPageMemory.h"
#include "uWaveIn.h"
#include "uWaveOut.h"

namespace tavrin::test {
namespace {

TEST(DeviceBufferBytes, TenthOfASecondInWholePagesButAtLeastOne) {
    EXPECT_EQ(DeviceBufferBytes(48000, 4, 4096), 16384u);
    EXPECT_EQ(DeviceBufferBytes(96000, 4, 4096), 36864u);
    EXPECT_EQ(DeviceBufferBytes(192000, 4, 4096), 73728u);
    EXPECT_EQ(DeviceBufferBytes(44100, 4, 4096), 16384u);
    EXPECT_EQ(DeviceBufferBytes(48000, 4, 65536), 65536u);
    EXPECT_EQ(DeviceBufferBytes(0, 4, 4096), 4096u);
}

using WaveControlTest = StreamingTest;

TEST_F(WaveControlTest, CaptureOpensWithItsFormatAndKeepsTenBuffersQueued) {
    TWaveIn capture(Service, Ui);
    capture.SetDeviceID(2);
    capture.SetSampleRate(96000);
    ASSERT_TRUE(capture.Start());
    EXPECT_FALSE(capture.Parked());
    auto device = Service.LastInput();
    ASSERT_TRUE(device);
    EXPECT_EQ(device->DeviceId, 2u);
    EXPECT_EQ(device->OpenFlags, 0x50008u);
    EXPECT_EQ(device->Format.FormatTag, 1);
    EXPECT_EQ(device->Format.Channels, 2);
    EXPECT_EQ(device->Format.SamplesPerSec, 96000u);
    EXPECT_EQ(device->Format.AvgBytesPerSec, 384000u);
    EXPECT_EQ(device->Format.BlockAlign, 4);
    EXPECT_EQ(device->Format.BitsPerSample, 16);
    EXPECT_EQ(device->QueuedCount(), 10u);
    EXPECT_EQ(device->NextBufferBytes(), DeviceBufferBytes(96000, 4, PageSize()));
    std::vector<std::string> expected{"in:open"};
    for (int i = 0; i < 10; ++i) {
        expected.insert(expected.end(), {"in:prepare", "in:queue"});
    }
    expected.push_back("in:start");
    EXPECT_EQ(Service.Calls(), expected);
}

TEST_F(WaveControlTest, PlaybackOpensForASynchronousDeviceAndNeedsNoStart) {
    TWaveOut playback(Service, Ui);
    playback.SetDeviceID(1);
    ASSERT_TRUE(playback.Start());
    auto device = Service.LastOutput();
    ASSERT_TRUE(device);
    EXPECT_EQ(device->OpenFlags, 0x5000Au);
    EXPECT_EQ(device->Format.SamplesPerSec, 48000u);
    EXPECT_EQ(device->QueuedCount(), 10u);
    EXPECT_EQ(Service.Count("out:prepare"), 10);
    EXPECT_EQ(Service.Count("out:queue"), 10);
    EXPECT_EQ(Service.Count("out:start"), 0);
}

TEST_F(WaveControlTest, StopClosesTheDeviceReleasesTheBuffersAndParks) {
    TWaveIn capture(Service, Ui);
    ASSERT_TRUE(capture.Start());
    ASSERT_TRUE(Feed(StreamFrames(0, 100)));
    const size_t callsBefore = Service.Calls().size();
    capture.Stop();
    ASSERT_TRUE(Until([&] { return capture.Parked(); }));
    const std::vector<std::string> calls = Service.Calls();
    std::vector<std::string> expected{"in:reset", "in:stop", "in:close"};
    expected.insert(expected.end(), 10, "in:unprepare");
    EXPECT_EQ(std::vector<std::string>(calls.begin() + static_cast<long>(callsBefore), calls.end()),
              expected);
    EXPECT_TRUE(Service.LastInput()->Closed());
}

TEST_F(WaveControlTest, StartWhileStreamingAndStopWhileIdleChangeNothing) {
    TWaveIn capture(Service, Ui);
    capture.Stop();
    EXPECT_TRUE(Service.Calls().empty());
    EXPECT_TRUE(capture.Parked());
    ASSERT_TRUE(capture.Start());
    ASSERT_TRUE(capture.Start());
    EXPECT_EQ(Service.Count("in:open"), 1);
    EXPECT_EQ(Service.LastInput()->QueuedCount(), 10u);
}

TEST_F(WaveControlTest, FailedOpenReportsTheUnsignedDeviceNumberAndParks) {
    std::vector<std::string> errors;
    TWaveIn capture(Service, Ui);
    TWaveOut playback(Service, Ui);
    capture.SetOnError([&](const std::string& text) { errors.push_back(text); });
    playback.SetOnError([&](const std::string& text) { errors.push_back(text); });
    capture.SetDeviceID(4294967295u);
    playback.SetDeviceID(7);
    Service.SetOpenFails(true, true);
    Service.SetOpenFails(false, true);
    EXPECT_FALSE(capture.Start());
    EXPECT_FALSE(playback.Start());
    EXPECT_TRUE(capture.Parked());
    EXPECT_TRUE(playback.Parked());
    EXPECT_EQ(errors, (std::vector<std::string>{"Can not open input device 4294967295",
                                                "Can not open output device 7"}));
    EXPECT_EQ(Service.Calls(), (std::vector<std::string>{"in:open", "out:open"}));

    // The next run starts normally.
    Service.SetOpenFails(true, false);
    ASSERT_TRUE(capture.Start());
    ASSERT_TRUE(Feed(StreamFrames(0, 10)));
    EXPECT_EQ(errors.size(), 2u);
}

TEST_F(WaveControlTest, SampleRateWrittenWhileStreamingWaitsForTheNextRun) {
    TWaveIn capture(Service, Ui);
    ASSERT_TRUE(capture.Start());
    capture.SetSampleRate(192000);
    ASSERT_TRUE(Feed(StreamFrames(0, 10)));
    capture.Stop();
    ASSERT_TRUE(Until([&] { return capture.Parked(); }));
    ASSERT_TRUE(capture.Start());
    EXPECT_EQ(Service.LastInput()->Format.SamplesPerSec, 192000u);
    EXPECT_EQ(Service.LastInput()->NextBufferBytes(), DeviceBufferBytes(192000, 4, PageSize()));
}

TEST_F(WaveControlTest, DestroyingAnIdleThreadMakesNoDeviceCall) {
    { TWaveIn capture(Service, Ui); }
    { TWaveOut playback(Service, Ui); }
    EXPECT_TRUE(Service.Calls().empty());
    size_t calls = 0;
    {
        TWaveIn capture(Service, Ui);
        ASSERT_TRUE(capture.Start());
        capture.Stop();
        ASSERT_TRUE(Until([&] { return capture.Parked(); }));
        calls = Service.Calls().size();
    }
    EXPECT_EQ(Service.Calls().size(), calls);
}

TEST_F(WaveControlTest, DestroyingWhileStreamingClosesTheDevice) {
    {
        TWaveIn capture(Service, Ui);
        TWaveOut playback(Service, Ui);
        ASSERT_TRUE(capture.Start());
        ASSERT_TRUE(playback.Start());
        ASSERT_TRUE(Feed(StreamFrames(0, 4096)));
    }
    EXPECT_TRUE(Service.LastInput()->Closed());
    EXPECT_TRUE(Service.LastOutput()->Closed());
    EXPECT_EQ(Service.Count("in:unprepare"), 10);
    EXPECT_EQ(Service.Count("out:unprepare"), 10);
}

TEST_F(WaveControlTest, StartWhileTheLastRunIsStillClosingStartsANewRun) {
    TWaveIn capture(Service, Ui);
    ASSERT_TRUE(capture.Start());
    ASSERT_TRUE(Feed(StreamFrames(0, 10)));
    auto first = Service.LastInput();
    first->HoldNotifications(true);
    capture.Stop();  // the thread sleeps before closing the device
    EXPECT_FALSE(capture.Parked());
    std::thread releaser([&] { first->HoldNotifications(false); });
    EXPECT_TRUE(capture.Start());
    releaser.join();
    EXPECT_EQ(Service.Count("in:open"), 2);
    EXPECT_NE(Service.LastInput(), first);
    EXPECT_EQ(Service.LastInput()->QueuedCount(), 10u);
}

// A start that finds the last run's device still not closed after the wait is no run: it fails
// with its message, and the next one, once the device has closed, starts.
TEST_F(WaveControlTest, StartWhileTheLastRunWillNotCloseFailsWithItsMessage) {
    std::vector<std::string> errors;
    TWaveOut playback(Service, Ui);
    playback.SetDeviceID(2);
    playback.SetOnError([&](const std::string& text) { errors.push_back(text); });
    ASSERT_TRUE(playback.Start());
    auto first = Service.LastOutput();
    first->HoldNotifications(true);
    playback.Stop();
    EXPECT_FALSE(playback.Start());
    EXPECT_EQ(errors, std::vector<std::string>{"Can not open output device 2"});
    EXPECT_EQ(Service.Count("out:open"), 1);
    first->HoldNotifications(false);
    ASSERT_TRUE(Until([&] { return playback.Parked(); }));
    EXPECT_TRUE(playback.Start());
    EXPECT_EQ(Service.Count("out:open"), 2);
    EXPECT_EQ(errors.size(), 1u);
}

// A device that stops working while streaming is reported once, by name, on the user-interface
// thread; its run ends by itself and a new Start opens the device afresh.
TEST_F(WaveControlTest, ADeviceThatDiesWhileStreamingIsReportedAndItsRunEnds) {
    std::vector<std::string> lost;
    const std::thread::id uiThread = std::this_thread::get_id();
    TWaveIn capture(Service, Ui);
    TWaveOut playback(Service, Ui);
    capture.SetDeviceID(2);
    for (TWaveControl* device : std::initializer_list<TWaveControl*>{&capture, &playback}) {
        device->SetOnDeviceLost([&, uiThread](const std::string& text) {
            EXPECT_EQ(std::this_thread::get_id(), uiThread);
            lost.push_back(text);
            // As the owner does: the whole measurement stops.
            capture.Stop();
            playback.Stop();
        });
    }
    ASSERT_TRUE(capture.Start());
    ASSERT_TRUE(playback.Start());
    ASSERT_TRUE(Feed(StreamFrames(0, 100)));
    Service.LastInput()->Fail();
    ASSERT_TRUE(Until([&] { return capture.Parked() && playback.Parked(); }));
    EXPECT_EQ(lost, std::vector<std::string>{"Input device 2 (Fake input 2) stopped responding."});
    EXPECT_TRUE(AllDevicesClosed());

    // Without a handler the run ends all the same.
    capture.SetOnDeviceLost({});
    ASSERT_TRUE(capture.Start());
    Service.LastInput()->Fail();
    ASSERT_TRUE(Until([&] { return capture.Parked(); }));
    EXPECT_TRUE(Service.LastInput()->Closed());
    ASSERT_TRUE(capture.Start());
    EXPECT_EQ(Service.Count("in:open"), 3);
    ASSERT_TRUE(Feed(StreamFrames(0, 100)));
}

TEST_F(WaveControlTest, TwoHundredFastStartStopCyclesStayBalanced) {
    TWaveIn capture(Service, Ui);
    TWaveOut playback(Service, Ui);
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_TRUE(playback.Start());
        ASSERT_TRUE(capture.Start());
        // A notification still on its way when Stop comes must not let the thread close the
        // device before the stop has reset it.
        Service.LastInput()->ReturnCapture(StreamFrames(0, 500));
        Service.LastOutput()->ReturnPlayback();
        capture.Stop();
        playback.Stop();
    }
    ASSERT_TRUE(Until([&] { return capture.Parked() && playback.Parked(); }));
    EXPECT_EQ(Service.Devices().size(), 400u);
    EXPECT_TRUE(AllDevicesClosed());
    EXPECT_EQ(Service.Count("in:unprepare"), 2000);
    EXPECT_EQ(Service.Count("out:unprepare"), 2000);
}

}  // namespace
}  // namespace tavrin::test
