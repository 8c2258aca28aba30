#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "FakeClock.h"
#include "uUiDispatcher.h"

namespace tavrin {
namespace {

class UiDispatcherTest : public ::testing::Test {
  protected:
    TSystemClock Clock;
    TUiDispatcher Ui{Clock};
};

TEST_F(UiDispatcherTest, CallOnTheUiThreadRunsAtOnce) {
    bool ran = false;
    Ui.Call([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST_F(UiDispatcherTest, WorkerCallWaitsUntilTheUiThreadDrains) {
    std::atomic<int> posted{0};
    std::atomic<bool> returned{false};
    bool ran = false;
    std::thread::id ranOn;
    Ui.OnPosted = [&] { ++posted; };
    std::thread worker([&] {
        Ui.Call([&] {
            ran = true;
            ranOn = std::this_thread::get_id();
        });
        returned = true;
    });
    while (posted.load() == 0) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(ran);
    EXPECT_FALSE(returned);
    Ui.Drain();
    EXPECT_TRUE(ran);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(posted.load(), 1);
}

TEST_F(UiDispatcherTest, WaitUntilServesCallsUntilDone) {
    std::atomic<bool> done{false};
    int served = 0;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) {
            Ui.Call([&] { ++served; });
        }
        done = true;
        Ui.Notify();
    });
    EXPECT_TRUE(Ui.WaitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(served, 3);
}

TEST(UiDispatcherTimeout, WaitUntilGivesUpWhenTheClockPassesTheLimit) {
    test::TFakeClock clock;
    TUiDispatcher ui(clock);
    int checks = 0;
    EXPECT_FALSE(ui.WaitUntil(
        [&] {
            ++checks;
            clock.Advance(5);
            return false;
        },
        20));
    EXPECT_EQ(checks, 4);
    EXPECT_TRUE(ui.WaitUntil([] { return true; }, 0));
}

TEST_F(UiDispatcherTest, ThrowingCallReleasesItsCallerAndPropagates) {
    std::atomic<bool> queued{false};
    Ui.OnPosted = [&] { queued = true; };
    std::thread worker([&] { Ui.Call([] { throw std::runtime_error("boom"); }); });
    while (!queued) {
        std::this_thread::yield();
    }
    EXPECT_THROW(Ui.Drain(), std::runtime_error);
    worker.join();
}

}  // namespace
}  // namespace tavrin
