#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "uBoundedCaller.h"

namespace tavrin {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A call that blocks until the test lets it go, as a call into a frozen sound server does.
struct TGate {
    std::promise<void> Open;
    std::shared_future<void> Opened{Open.get_future().share()};
};

TEST(BoundedCaller, ACallThatHangsIsGivenUpAndJamsTheCallsAfterItUntilItReturns) {
    TBoundedCaller caller;
    std::atomic<int> ran{0};
    EXPECT_TRUE(caller.Run([&] { ++ran; }, 1000ms));
    EXPECT_EQ(ran.load(), 1);

    auto gate = std::make_shared<TGate>();
    auto late = std::make_shared<std::atomic<int>>(0);
    const auto begin = Clock::now();
    EXPECT_FALSE(caller.Run([gate] { gate->Opened.wait(); }, 100ms, [late] { ++*late; }));
    EXPECT_GE(Clock::now() - begin, 100ms);
    EXPECT_LT(Clock::now() - begin, 2000ms);
    EXPECT_TRUE(caller.Jammed());

    // While jammed: refused at once (well before its own limit, even on a loaded machine), never
    // run.
    const auto refused = Clock::now();
    EXPECT_FALSE(caller.Run([&] { ++ran; }, 5000ms));
    EXPECT_LT(Clock::now() - refused, 1000ms);

    gate->Open.set_value();
    const auto deadline = Clock::now() + 5s;
    while (caller.Jammed() && Clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_FALSE(caller.Jammed());
    EXPECT_EQ(late->load(), 1);
    EXPECT_TRUE(caller.Run([&] { ++ran; }, 1000ms));
    EXPECT_EQ(ran.load(), 2);
}

TEST(BoundedCaller, ACallWhoseTurnComesTooLateNeverRuns) {
    TBoundedCaller caller;
    auto gate = std::make_shared<TGate>();
    auto slowDone = std::make_shared<std::atomic<bool>>(false);
    auto slowStarted = std::make_shared<std::promise<void>>();
    std::future<void> started = slowStarted->get_future();
    std::thread slow([&caller, gate, slowDone, slowStarted] {
        *slowDone = caller.Run(
            [gate, slowStarted] {
                slowStarted->set_value();
                gate->Opened.wait();
            },
            5000ms);
    });
    // Waited for, not slept on: on a loaded machine the slow call may start late.
    started.wait();
    auto queuedRan = std::make_shared<std::atomic<bool>>(false);
    EXPECT_FALSE(caller.Run([queuedRan] { *queuedRan = true; }, 50ms));
    EXPECT_FALSE(caller.Jammed());  // it never started: nothing hangs on its account
    gate->Open.set_value();
    slow.join();
    EXPECT_TRUE(*slowDone);
    EXPECT_TRUE(caller.Run([] {}, 1000ms));
    EXPECT_FALSE(*queuedRan);
}

TEST(BoundedCaller, AJammedCallerCanBeDestroyed) {
    auto gate = std::make_shared<TGate>();
    {
        TBoundedCaller caller;
        EXPECT_FALSE(caller.Run([gate] { gate->Opened.wait(); }, 10ms));
    }
    gate->Open.set_value();  // the thread let go returns into what it shares, and ends
    std::this_thread::sleep_for(20ms);
}

}  // namespace
}  // namespace tavrin
