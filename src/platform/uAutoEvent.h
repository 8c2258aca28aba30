#pragma once

#include <condition_variable>
#include <mutex>

namespace tavrin {

// An auto-reset event: Signal leaves it signalled until one waiting thread takes the signal,
// so a signal given while nobody waits is not lost. Several signals before a wait merge into
// one. Safe to use from any thread.
class TAutoEvent {
  public:
    TAutoEvent() = default;
    TAutoEvent(const TAutoEvent&) = delete;
    TAutoEvent& operator=(const TAutoEvent&) = delete;

    void Signal();
    // Blocks until signalled, then clears the signal.
    void Wait();
    // As Wait, for at most timeoutMs milliseconds; false when the time ran out.
    bool WaitFor(int timeoutMs);

  private:
    std::mutex Mutex;
    std::condition_variable Condition;
    bool Signalled = false;
};

}  // namespace tavrin
