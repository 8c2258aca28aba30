// The block receiver: summing, pacing, delivery on the user-interface thread, and the ways a
// run can end while a delivery is on its way.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "StreamingTestKit.h"
#include "uWaveIn.h"

namespace tavrin::test {
namespace {

constexpr int kLength = 512;
constexpr int kSkip = 73;  // start skip at 48000 samples/s

// Records what reaches the analysis, in order.
class TRecordingSyncIn final : public TSyncIn {
  public:
    using TSyncIn::TSyncIn;
    // The capture thread calls PreprocessBlock: it must end before this part of the object goes.
    ~TRecordingSyncIn() override { EndCapture(); }
    void ProcessBlock(TWaveData& data) override {
        Events.push_back("process");
        Processed = &data;
    }
    // Capture thread: the verdict the test set for the next block.
    TBlockUse PreprocessBlock(TWaveData&, const TBlockTag&) override {
        return NextUse.exchange(TBlockUse::Add);
    }
    std::vector<std::string> Events;
    TWaveData* Processed = nullptr;
    std::atomic<TBlockUse> NextUse{TBlockUse::Add};
};

class SyncInTest : public StreamingTest {
  protected:
    SyncInTest() {
        Receiver->SetBlockLength(kLength);
        Receiver->OnData = [this](TWaveData& data) {
            Receiver->Events.push_back("data");
            EXPECT_EQ(&data, Receiver->Processed);
            Delivered.push_back(data);
            Deliveries.push_back(Receiver->Delivery());
        };
    }
    // One block of constant samples; the first after Start also covers the start skip.
    bool FeedBlock(int16_t value, int length = kLength) {
        const int count = length + (FirstBlock ? kSkip : 0);
        FirstBlock = false;
        return Feed(ConstantFrames(value, static_cast<int16_t>(-value), count));
    }
    bool Start() {
        FirstBlock = true;
        return Receiver->Start();
    }
    bool AwaitDeliveries(size_t count) {
        return Until([&] { return Delivered.size() >= count; }) && Delivered.size() == count;
    }
    static TWaveData Mean(std::initializer_list<int16_t> values, int length = kLength) {
        // Summed in double and rounded once, as the receiver does.
        double left = 0;
        double right = 0;
        for (int16_t v : values) {
            left += Sample(v);
            right += Sample(static_cast<int16_t>(-v));
        }
        const auto count = static_cast<double>(values.size());
        const auto size = static_cast<size_t>(length);
        return TWaveData{TChannelData(size, static_cast<float>(left / count)),
                         TChannelData(size, static_cast<float>(right / count))};
    }

    // Blocks summed, wanted and complete, as each delivery said.
    static std::vector<std::tuple<int32_t, int32_t, bool>> Counts(
        const std::vector<TDelivery>& deliveries) {
        std::vector<std::tuple<int32_t, int32_t, bool>> counts;
        for (const TDelivery& d : deliveries) {
            counts.emplace_back(d.Blocks, d.Wanted, d.Complete);
        }
        return counts;
    }

    TFakeClock Clock;
    std::vector<TWaveData> Delivered;
    std::vector<TDelivery> Deliveries;
    bool FirstBlock = true;
    std::unique_ptr<TRecordingSyncIn> Receiver =
        std::make_unique<TRecordingSyncIn>(Service, Ui, Clock);
};

TEST_F(SyncInTest, FirstBlockIsHandedOverAtOnceAndProcessedBeforeOnData) {
    Receiver->SetIntegrationTime("30");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(FeedBlock(1000));
    ASSERT_TRUE(AwaitDeliveries(1));
    EXPECT_EQ(Delivered[0], Mean({1000}));
    EXPECT_EQ(Receiver->Events, (std::vector<std::string>{"process", "data"}));
}

TEST_F(SyncInTest, WithoutARequestBlocksAreDroppedUntilTheNextRequest) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(FeedBlock(1000));
    ASSERT_TRUE(AwaitDeliveries(1));
    ASSERT_TRUE(FeedBlock(2000));  // not requested: dropped
    Receiver->RequestData();
    ASSERT_TRUE(FeedBlock(3000));
    ASSERT_TRUE(AwaitDeliveries(2));
    EXPECT_EQ(Delivered[1], Mean({3000}));
}

TEST_F(SyncInTest, AFreshSumShowsHowFarItHasComeUntilItHoldsAWholeIntegrationTime) {
    // Blocks of 50 ms: an integration time of 0.15 s wants three.
    Receiver->SetBlockLength(2400);
    Receiver->SetAveraging(true);
    EXPECT_TRUE(Receiver->Averaging());
    Receiver->SetIntegrationTime("0.15");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(FeedBlock(1000, 2400));  // the first block is no result yet: 1 of 3
    ASSERT_TRUE(AwaitDeliveries(1));
    EXPECT_EQ(Delivered[0], Mean({1000}, 2400));
    ASSERT_TRUE(FeedBlock(2000, 2400));  // not asked for: summed, not delivered
    Receiver->RequestData();
    ASSERT_TRUE(FeedBlock(3000, 2400));  // the whole integration time: the result
    ASSERT_TRUE(AwaitDeliveries(2));
    EXPECT_EQ(Delivered[1], Mean({1000, 2000, 3000}, 2400));

    // From there on, the blocks of each integration time, delivered when it has passed.
    Receiver->RequestData();
    Clock.Advance(50);
    ASSERT_TRUE(FeedBlock(2000, 2400));
    Clock.Advance(99);
    ASSERT_TRUE(FeedBlock(-3000, 2400));  // 149 ms: not yet
    Clock.Advance(1);
    ASSERT_TRUE(FeedBlock(7000, 2400));  // 150 ms: due
    ASSERT_TRUE(AwaitDeliveries(3));
    EXPECT_EQ(Delivered[2], Mean({2000, -3000, 7000}, 2400));
    EXPECT_EQ(Counts(Deliveries), (std::vector<std::tuple<int32_t, int32_t, bool>>{
                                      {1, 3, false}, {3, 3, true}, {3, 3, true}}));
}

TEST_F(SyncInTest, BlocksThePreprocessingRefusesAreLeftOutAndAChangeStartsAfresh) {
    Receiver->SetBlockLength(2400);
    Receiver->SetAveraging(true);
    Receiver->SetIntegrationTime("0.15");
    ASSERT_TRUE(Start());
    Receiver->NextUse = TBlockUse::Skip;
    ASSERT_TRUE(FeedBlock(-9000, 2400));  // not the steady response yet: neither summed nor shown
    ASSERT_TRUE(FeedBlock(1000, 2400));
    ASSERT_TRUE(AwaitDeliveries(1));
    EXPECT_EQ(Delivered[0], Mean({1000}, 2400));
    Receiver->RequestData();
    Receiver->NextUse = TBlockUse::Restart;  // steady again after a change
    ASSERT_TRUE(FeedBlock(5000, 2400));
    ASSERT_TRUE(AwaitDeliveries(2));
    EXPECT_EQ(Delivered[1], Mean({5000}, 2400));
    EXPECT_EQ(Counts(Deliveries),
              (std::vector<std::tuple<int32_t, int32_t, bool>>{{1, 3, false}, {1, 3, false}}));
}

TEST_F(SyncInTest, ALongSumKeepsTheMeanToTheLastBit) {
    // Three thousand blocks of 10 ms: a 32-bit running sum would by now have drifted off the
    // mean by more than the noise that averaging so long is meant to remove.
    Receiver->SetAveraging(true);
    Receiver->SetIntegrationTime("30");
    Receiver->SetBlockLength(480);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(FeedBlock(12346, 480));
    ASSERT_TRUE(AwaitDeliveries(1));  // 1 of 3000
    constexpr int kBlocks = 3000;
    for (int i = 1; i < kBlocks; ++i) {
        if (i == kBlocks - 1) {
            Receiver->RequestData();
        }
        ASSERT_TRUE(FeedBlock(static_cast<int16_t>(i % 2 == 0 ? 12345 : 12347), 480));
    }
    ASSERT_TRUE(AwaitDeliveries(2));
    EXPECT_TRUE(Deliveries[1].Complete);
    EXPECT_EQ(Deliveries[1].Blocks, kBlocks);
    // The exact mean: one block 12346, then half of the others 12347 and half 12345.
    const double left =
        (static_cast<double>(Sample(12346)) + (kBlocks / 2) * static_cast<double>(Sample(12347)) +
         (kBlocks / 2 - 1) * static_cast<double>(Sample(12345))) /
        kBlocks;
    EXPECT_EQ(Delivered[1][0][0], static_cast<float>(left));
}

TEST_F(SyncInTest, WithoutAveragingTheBlockThatMakesItDueIsDelivered) {
    Receiver->SetIntegrationTime("1");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(FeedBlock(1000));
    ASSERT_TRUE(AwaitDeliveries(1));
    Receiver->RequestData();
    Clock.Advance(500);
    ASSERT_TRUE(FeedBlock(2000));
    Clock.Advance(500);
    ASSERT_TRUE(FeedBlock(3000));
    ASSERT_TRUE(AwaitDeliveries(2));
    EXPECT_EQ(Delivered[1], Mean({3000}));
}

TEST_F(SyncInTest, AMinuteWithoutARequestRequestsByItself) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(FeedBlock(1000));
    ASSERT_TRUE(AwaitDeliveries(1));
    Clock.Advance(60000);
    ASSERT_TRUE(FeedBlock(2000));  // exactly a minute: still waiting for a request
    Clock.Advance(1);
    ASSERT_TRUE(FeedBlock(3000));
    ASSERT_TRUE(AwaitDeliveries(2));
    EXPECT_EQ(Delivered[1], Mean({3000}));
}

TEST_F(SyncInTest, TextThatIsNoNumberKeepsTheIntegrationTime) {
    Receiver->SetIntegrationTime("2");
    Receiver->SetIntegrationTime("two");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(FeedBlock(1000));
    ASSERT_TRUE(AwaitDeliveries(1));
    Receiver->RequestData();
    Clock.Advance(1999);
    ASSERT_TRUE(FeedBlock(2000));
    Clock.Advance(1);
    ASSERT_TRUE(FeedBlock(3000));
    ASSERT_TRUE(AwaitDeliveries(2));
    EXPECT_EQ(Delivered[1], Mean({3000}));
}

TEST_F(SyncInTest, ANewBlockLengthRestartsTheSumAndResizesTheOutput) {
    Receiver->SetAveraging(true);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(FeedBlock(1000));
    ASSERT_TRUE(AwaitDeliveries(1));
    ASSERT_TRUE(FeedBlock(2000));  // summed, not requested
    Receiver->SetBlockLength(256);
    ASSERT_TRUE(FeedBlock(4000, 256));
    Receiver->RequestData();
    ASSERT_TRUE(FeedBlock(6000, 256));
    ASSERT_TRUE(AwaitDeliveries(2));
    EXPECT_EQ(Receiver->BlockLength(), 256);
    EXPECT_EQ(Delivered[1], Mean({4000, 6000}, 256));
}

TEST_F(SyncInTest, PausingCaptureDropsTheRunningSum) {
    Receiver->SetAveraging(true);
    Receiver->SetIntegrationTime("1");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(FeedBlock(1000));
    ASSERT_TRUE(AwaitDeliveries(1));
    ASSERT_TRUE(FeedBlock(2000));
    Receiver->SetCapturing(false);
    ASSERT_TRUE(FeedBlock(-5000));  // paused: not stored
    Receiver->SetCapturing(true);
    for (int discarded = 0; discarded < 3; ++discarded) {
        ASSERT_TRUE(FeedBlock(-5000));
    }
    Receiver->RequestData();
    ASSERT_TRUE(FeedBlock(3000));
    ASSERT_TRUE(AwaitDeliveries(2));
    EXPECT_EQ(Delivered[1], Mean({3000}));
    EXPECT_EQ(Deliveries[1].Blocks, 1);
}

TEST_F(SyncInTest, StartWhileRunningAndStopWhileIdleChangeNothing) {
    Receiver->Stop();
    EXPECT_TRUE(Receiver->Parked());
    EXPECT_TRUE(Service.Calls().empty());
    ASSERT_TRUE(Start());
    EXPECT_FALSE(Receiver->Parked());
    ASSERT_TRUE(Receiver->Start());
    EXPECT_EQ(Service.Count("in:open"), 1);
}

// Parked means parked: while the capture has not closed its device, the receiver is not idle,
// so that an owner waiting for it can tell a capture that does not stop.
TEST_F(SyncInTest, ParkedOnlyOnceTheCaptureHasClosedItsDevice) {
    ASSERT_TRUE(Start());
    auto device = Service.LastInput();
    device->HoldNotifications(true);
    Receiver->Stop();
    Ui.WaitUntil([] { return false; }, 50);
    EXPECT_FALSE(Receiver->Parked());
    device->HoldNotifications(false);
    ASSERT_TRUE(Until([&] { return Receiver->Parked(); }));
    EXPECT_TRUE(device->Closed());
}

TEST_F(SyncInTest, FailedOpenLeavesTheReceiverIdle) {
    std::string error;
    Receiver->SetOnError([&](const std::string& text) { error = text; });
    Receiver->SetDeviceID(3);
    Service.SetOpenFails(true, true);
    EXPECT_FALSE(Start());
    EXPECT_TRUE(Receiver->Parked());
    EXPECT_EQ(error, "Can not open input device 3");
}

TEST_F(SyncInTest, StopWhileADeliveryWaitsReturnsParkedAndDropsIt) {
    ASSERT_TRUE(Start());
    auto device = Service.LastInput();
    ASSERT_TRUE(device->ReturnCapture(ConstantFrames(1000, -1000, kSkip + kLength)));
    ASSERT_TRUE(AwaitPosted(1));  // the delivery now waits for this thread
    Receiver->Stop();
    ASSERT_TRUE(Until([&] { return Receiver->Parked(); }));
    EXPECT_TRUE(device->Closed());
    EXPECT_TRUE(Delivered.empty());
    EXPECT_TRUE(Receiver->Events.empty());

    // The next run delivers its own first block, not the dropped one.
    ASSERT_TRUE(Start());
    ASSERT_TRUE(FeedBlock(2000));
    ASSERT_TRUE(AwaitDeliveries(1));
    EXPECT_EQ(Delivered[0], Mean({2000}));
}

TEST_F(SyncInTest, DestroyingWhileADeliveryWaitsDeliversNothing) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Service.LastInput()->ReturnCapture(ConstantFrames(1, 1, kSkip + kLength)));
    ASSERT_TRUE(AwaitPosted(1));
    Receiver.reset();
    EXPECT_TRUE(Delivered.empty());
    EXPECT_TRUE(Service.LastInput()->Closed());
}

TEST_F(SyncInTest, DestroyingWhileStreamingClosesTheDevice) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(FeedBlock(1000));
    ASSERT_TRUE(AwaitDeliveries(1));
    Receiver->RequestData();
    Service.LastInput()->ReturnCapture(ConstantFrames(1, 1, kLength));
    Receiver.reset();
    EXPECT_EQ(Delivered.size(), 1u);
    EXPECT_TRUE(Service.LastInput()->Closed());
}

TEST_F(SyncInTest, TwoHundredFastStartStopCyclesThenAFreshDelivery) {
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_TRUE(Start());
        if (cycle % 2 == 0) {
            Service.LastInput()->ReturnCapture(ConstantFrames(1, 1, kSkip + kLength));
        }
        Receiver->Stop();
        ASSERT_TRUE(Until([&] { return Receiver->Parked(); }));
    }
    EXPECT_TRUE(Delivered.empty());
    ASSERT_TRUE(Start());
    ASSERT_TRUE(FeedBlock(4000));
    ASSERT_TRUE(AwaitDeliveries(1));
    EXPECT_EQ(Delivered[0], Mean({4000}));
    EXPECT_EQ(Service.Count("in:open"), 201);
}

}  // namespace
}  // namespace tavrin::test
