#include "uBoundedCaller.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace tavrin {

namespace {

struct TJob {
    std::function<void()> Call;
    std::function<void()> Late;
    bool Started = false;
    bool Done = false;
    bool GivenUp = false;
};

}  // namespace

struct TBoundedCaller::TShared {
    std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<std::shared_ptr<TJob>> Queue;
    bool Ending = false;
    bool Jammed = false;  // a call has overrun its time and not yet returned

    // The caller's thread; it holds its own share, so that a thread let go stays safe.
    static void Serve(const std::shared_ptr<TShared>& shared) {
        std::unique_lock<std::mutex> lock(shared->Mutex);
        for (;;) {
            shared->Changed.wait(lock, [&] { return shared->Ending || !shared->Queue.empty(); });
            if (shared->Queue.empty()) {
                return;
            }
            const std::shared_ptr<TJob> job = shared->Queue.front();
            shared->Queue.pop_front();
            if (job->GivenUp) {
                continue;  // its caller gave up before its turn came: it never runs
            }
            job->Started = true;
            lock.unlock();
            job->Call();
            lock.lock();
            if (job->GivenUp && job->Late) {
                lock.unlock();
                job->Late();
                lock.lock();
            }
            job->Done = true;
            // Only a call given up after it had started jams: this one, now back.
            shared->Jammed = shared->Jammed && !job->GivenUp;
            shared->Changed.notify_all();
        }
    }
};

TBoundedCaller::TBoundedCaller() : Shared(std::make_shared<TShared>()) {
    std::thread([shared = Shared] { TShared::Serve(shared); }).detach();
}

TBoundedCaller::~TBoundedCaller() {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    Shared->Ending = true;
    Shared->Changed.notify_all();
}

bool TBoundedCaller::Run(std::function<void()> call, std::chrono::milliseconds limit,
                         std::function<void()> late) {
    auto job = std::make_shared<TJob>();
    job->Call = std::move(call);
    job->Late = std::move(late);
    std::unique_lock<std::mutex> lock(Shared->Mutex);
    if (Shared->Jammed || Shared->Ending) {
        return false;
    }
    Shared->Queue.push_back(job);
    Shared->Changed.notify_all();
    const auto done = [&] { return job->Done; };
    if (limit == std::chrono::milliseconds::max()) {
        Shared->Changed.wait(lock, done);
        return true;
    }
    if (Shared->Changed.wait_for(lock, limit, done)) {
        return true;
    }
    job->GivenUp = true;
    Shared->Jammed = Shared->Jammed || job->Started;
    return false;
}

bool TBoundedCaller::Jammed() const {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    return Shared->Jammed;
}

}  // namespace tavrin
