#include "uAutoEvent.h"

#include <chrono>

namespace tavrin {

void TAutoEvent::Signal() {
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Signalled = true;
    }
    Condition.notify_one();
}

void TAutoEvent::Wait() {
    std::unique_lock<std::mutex> lock(Mutex);
    Condition.wait(lock, [this] { return Signalled; });
    Signalled = false;
}

bool TAutoEvent::WaitFor(int timeoutMs) {
    std::unique_lock<std::mutex> lock(Mutex);
    if (!Condition.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [this] { return Signalled; })) {
        return false;
    }
    Signalled = false;
    return true;
}

}  // namespace tavrin
