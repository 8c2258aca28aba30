#include "uUiDispatcher.h"

#include <algorithm>
#include <chrono>

namespace tavrin {

namespace {
// How long WaitUntil sleeps at most before it looks at done() again: conditions that nobody
// announces with Notify are still noticed promptly.
constexpr double kRecheckMs = 10.0;
}  // namespace

TUiDispatcher::TUiDispatcher(TClock& clock) : Clock(clock), UiThread(std::this_thread::get_id()) {}

bool TUiDispatcher::IsUiThread() const {
    return std::this_thread::get_id() == UiThread;
}

void TUiDispatcher::Call(const std::function<void()>& action) {
    if (IsUiThread()) {
        action();
        return;
    }
    TPendingCall pending{&action};
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Queue.push_back(&pending);
        ++Notifications;
    }
    UiWake.notify_all();
    if (OnPosted) {
        OnPosted();
    }
    std::unique_lock<std::mutex> lock(Mutex);
    CallDone.wait(lock, [&pending] { return pending.Done; });
}

void TUiDispatcher::Drain() {
    for (;;) {
        TPendingCall* pending = nullptr;
        {
            std::lock_guard<std::mutex> lock(Mutex);
            if (Queue.empty()) {
                return;
            }
            pending = Queue.front();
            Queue.pop_front();
        }
        // Releases the caller also when the action throws.
        struct TRelease {
            TUiDispatcher& Owner;
            TPendingCall& Pending;
            ~TRelease() {
                {
                    std::lock_guard<std::mutex> lock(Owner.Mutex);
                    Pending.Done = true;
                }
                Owner.CallDone.notify_all();
            }
        } release{*this, *pending};
        (*pending->Action)();
    }
}

bool TUiDispatcher::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    const double deadline = Clock.NowMs() + timeoutMs;
    const bool drains = IsUiThread();
    for (;;) {
        uint64_t seen = 0;
        {
            std::lock_guard<std::mutex> lock(Mutex);
            seen = Notifications;
        }
        if (drains) {
            Drain();
        }
        if (done()) {
            return true;
        }
        double sleepMs = kRecheckMs;
        if (timeoutMs >= 0) {
            const double remaining = deadline - Clock.NowMs();
            if (remaining <= 0) {
                return false;
            }
            sleepMs = std::min(sleepMs, remaining);
        }
        std::unique_lock<std::mutex> lock(Mutex);
        UiWake.wait_for(lock, std::chrono::duration<double, std::milli>(sleepMs),
                        [&] { return Notifications != seen; });
    }
}

void TUiDispatcher::Notify() {
    {
        std::lock_guard<std::mutex> lock(Mutex);
        ++Notifications;
    }
    UiWake.notify_all();
}

}  // namespace tavrin
