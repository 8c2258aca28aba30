#include <gtest/gtest.h>

#include <atomic>

#include "uPageMemory.h"
#include "uWorkerThread.h"

namespace tavrin {
namespace {

// A worker that counts its rounds: it parks itself after each round and, when asked, makes a
// synchronous call onto the user-interface thread in every round.
class TCountingWorker final : public TWorkerThread {
  public:
    TCountingWorker(TUiDispatcher& ui, bool callUi)
        : TWorkerThread(ui, [this] { Loop(); }), CallUi(callUi) {}
    ~TCountingWorker() override {
        RequestEnd();
        JoinThread();
    }
    using TWorkerThread::Park;
    using TWorkerThread::Wake;

    std::atomic<int> Rounds{0};
    int UiCalls = 0;  // user-interface thread only

  private:
    void Loop() {
        while (!Ending()) {
            if (CallUi) {
                Ui.Call([this] { ++UiCalls; });
            }
            ++Rounds;
            if (!CallUi) {
                Park();
                if (!WaitWhileParked()) {
                    return;
                }
            }
        }
    }

    const bool CallUi;
};

class WorkerThreadTest : public ::testing::Test {
  protected:
    TSystemClock Clock;
    TUiDispatcher Ui{Clock};
};

TEST_F(WorkerThreadTest, CreatedParkedAndEndsWithoutEverRunning) {
    TCountingWorker worker(Ui, false);
    EXPECT_TRUE(worker.Parked());
    EXPECT_FALSE(worker.Ending());
    EXPECT_EQ(worker.Rounds.load(), 0);
}

TEST_F(WorkerThreadTest, EachWakeRunsOneRoundUntilTheThreadParksAgain) {
    TCountingWorker worker(Ui, false);
    for (int round = 1; round <= 3; ++round) {
        worker.Wake();
        ASSERT_TRUE(Ui.WaitUntil([&] { return worker.Rounds.load() == round; }, 5000));
        ASSERT_TRUE(Ui.WaitUntil([&] { return worker.Parked(); }, 5000));
    }
    EXPECT_EQ(worker.Rounds.load(), 3);
}

TEST_F(WorkerThreadTest, EndingServesAWorkerBlockedInASynchronousCall) {
    auto worker = std::make_unique<TCountingWorker>(Ui, true);
    worker->Wake();
    ASSERT_TRUE(Ui.WaitUntil([&] { return worker->UiCalls >= 3; }, 5000));
    // The worker is now blocked in Call or about to be: ending must serve it, not deadlock.
    worker.reset();
}

TEST(PageMemory, AllocationsAreWholeZeroedAlignedPages) {
    const size_t page = PageSize();
    ASSERT_GE(page, 1024u);
    EXPECT_EQ(page & (page - 1), 0u);
    char* pages = AllocatePages(3 * page);
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pages) % page, 0u);
    for (size_t i = 0; i < 3 * page; ++i) {
        ASSERT_EQ(pages[i], 0);
    }
    pages[3 * page - 1] = 1;
    FreePages(pages, 3 * page);
    FreePages(nullptr, page);
}

}  // namespace
}  // namespace tavrin
