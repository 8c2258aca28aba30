// The multimedia-API backend on whatever devices the system has (under Wine in CI, a sound
// card that plays into nothing and records silence): buffers come back done, in queue order,
// with the notification; Stop, Reset and Close keep the promises the device threads rely on.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "WaveBuffers.h"
#include "uWinMmService.h"

namespace tavrin {
namespace {

using test::StereoFormat;
using test::TWaveBuffers;
using test::WaitUntil;

constexpr uint32_t kBufferBytes = 4800 * 4;  // 100 ms at 48000 frames/s

class WinMmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (Service.InputDeviceCount() == 0 || Service.OutputDeviceCount() == 0) {
            GTEST_SKIP() << "no sound device on this system";
        }
    }
    void PrepareAll(TWaveDevice& device, TWaveBuffers& buffers) {
        for (size_t i = 0; i < buffers.Size(); ++i) {
            ASSERT_EQ(device.PrepareHeader(buffers[i]), TWaveResult::Ok);
            EXPECT_NE(buffers[i].Flags.load() & kHeaderPrepared, 0u);
        }
    }
    static bool Done(const TWaveHeader& header) {
        const uint32_t flags = header.Flags.load(std::memory_order_acquire);
        return (flags & kHeaderDone) != 0 && (flags & kHeaderInQueue) == 0;
    }

    TWinMmService Service;
    TAutoEvent Notify;
};

TEST_F(WinMmTest, DevicesHaveNamesAndUnknownOnesDoNotOpen) {
    EXPECT_FALSE(Service.InputDeviceName(0).empty());
    EXPECT_FALSE(Service.OutputDeviceName(0).empty());
    EXPECT_EQ(Service.InputDeviceName(Service.InputDeviceCount()), "");
    std::unique_ptr<TWaveDevice> device;
    EXPECT_EQ(Service.OpenInput(static_cast<uint32_t>(Service.InputDeviceCount()),
                                StereoFormat(48000), Notify, kWaveCallbackEvent, device),
              TWaveResult::BadDeviceId);
    EXPECT_EQ(device, nullptr);
}

TEST_F(WinMmTest, CaptureFillsBuffersInOrderAndGivesEveryOneBack) {
    std::unique_ptr<TWaveDevice> device;
    ASSERT_EQ(Service.OpenInput(0, StereoFormat(48000), Notify, kWaveCallbackEvent, device),
              TWaveResult::Ok);
    EXPECT_TRUE(Notify.WaitFor(2000));  // the open notification
    TWaveBuffers buffers(4, kBufferBytes);
    PrepareAll(*device, buffers);
    for (size_t i = 0; i < buffers.Size(); ++i) {
        ASSERT_EQ(device->Queue(buffers[i]), TWaveResult::Ok);
        EXPECT_TRUE(buffers[i].InQueue());
    }
    EXPECT_EQ(device->Queue(buffers[0]), TWaveResult::StillQueued);
    // Asked before the start, when nothing can have come back yet: once recording, a test thread
    // held up on a loaded machine could find every buffer done and the device really closed.
    EXPECT_EQ(device->Close(), TWaveResult::StillQueued);
    ASSERT_EQ(device->Start(), TWaveResult::Ok);
    ASSERT_TRUE(WaitUntil(Notify, 5000, [&] { return Done(buffers[1]); }));
    EXPECT_TRUE(Done(buffers[0]));  // queue order
    EXPECT_EQ(buffers[0].BytesRecorded.load(), kBufferBytes);

    device->Stop();
    ASSERT_EQ(device->Reset(), TWaveResult::Ok);
    EXPECT_EQ(buffers.Queued(), 0u);  // every buffer is back once Reset returns
    for (size_t i = 0; i < buffers.Size(); ++i) {
        EXPECT_TRUE(Done(buffers[i])) << i;
    }
    while (Notify.WaitFor(0)) {
    }
    ASSERT_EQ(device->Close(), TWaveResult::Ok);
    EXPECT_TRUE(Notify.WaitFor(0));  // the close notification
    EXPECT_EQ(device->Queue(buffers[0]), TWaveResult::NotOpen);
    for (size_t i = 0; i < buffers.Size(); ++i) {
        EXPECT_EQ(device->UnprepareHeader(buffers[i]), TWaveResult::Ok);
        EXPECT_EQ(buffers[i].Flags.load() & kHeaderPrepared, 0u);
    }
}

TEST_F(WinMmTest, PlaybackStartsWithTheFirstWriteAndResetDropsTheRest) {
    std::unique_ptr<TWaveDevice> device;
    ASSERT_EQ(Service.OpenOutput(0, StereoFormat(48000), Notify, kWaveCallbackEvent, device),
              TWaveResult::Ok);
    TWaveBuffers buffers(6, kBufferBytes);
    PrepareAll(*device, buffers);
    TWaveHeader unprepared;
    EXPECT_EQ(device->Queue(unprepared), TWaveResult::Unprepared);
    for (size_t i = 0; i < buffers.Size(); ++i) {
        buffers.Fill(i, test::CountingFrames(static_cast<int64_t>(i) * 4800, 4800));
        ASSERT_EQ(device->Queue(buffers[i]), TWaveResult::Ok);
    }
    ASSERT_TRUE(WaitUntil(Notify, 5000, [&] { return Done(buffers[0]); }));
    ASSERT_EQ(device->Reset(), TWaveResult::Ok);
    EXPECT_EQ(buffers.Queued(), 0u);
    ASSERT_EQ(device->Close(), TWaveResult::Ok);
}

TEST_F(WinMmTest, ADeviceDestroyedWhileQueuedLetsGoOfItsBuffers) {
    TWaveBuffers buffers(3, kBufferBytes);
    {
        std::unique_ptr<TWaveDevice> device;
        ASSERT_EQ(Service.OpenInput(0, StereoFormat(48000), Notify, kWaveCallbackEvent, device),
                  TWaveResult::Ok);
        PrepareAll(*device, buffers);
        for (size_t i = 0; i < buffers.Size(); ++i) {
            ASSERT_EQ(device->Queue(buffers[i]), TWaveResult::Ok);
        }
        device->Start();
    }
    // Nothing more happens to the buffers once the device is gone.
    const uint32_t flags = buffers[2].Flags.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(buffers[2].Flags.load(), flags);
}

}  // namespace
}  // namespace tavrin
