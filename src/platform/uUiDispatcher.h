#pragma once

// The synchronous call onto the user-interface thread. Worker threads queue a call and block
// until the user-interface thread has run it; the user-interface thread runs the queue when the
// application's event loop asks it to (OnPosted) and whenever it waits for a worker thread
// (WaitUntil), so that a worker blocked in Call can never deadlock a Stop or a shut-down.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "uClock.h"

namespace tavrin {

class TUiDispatcher {
  public:
    // Constructed on the user-interface thread, which is the one that drains the queue. The
    // clock is the caller's and outlives the dispatcher; it times WaitUntil's limit.
    // Worker threads that call it end before it is destroyed.
    explicit TUiDispatcher(TClock& clock);
    TUiDispatcher(const TUiDispatcher&) = delete;
    TUiDispatcher& operator=(const TUiDispatcher&) = delete;

    // Any thread: runs `action` on the user-interface thread and returns once it has run. On the
    // user-interface thread itself the action runs at once.
    void Call(const std::function<void()>& action);
    // User-interface thread: runs every queued call, oldest first, including calls queued while
    // draining. An exception thrown by a call releases its caller and propagates from here.
    void Drain();
    // User-interface thread: serves queued calls until done() is true (true) or timeoutMs have
    // passed on the clock (false); a negative limit waits for as long as it takes. done() is
    // checked after every drain, after Notify and at least every few milliseconds.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs = -1);
    // Any thread: makes a WaitUntil in progress check done() again now.
    void Notify();
    bool IsUiThread() const;

    // Called on the queueing thread each time a call has been queued, so that the application
    // can post an event whose handler calls Drain. Set once, before worker threads run.
    std::function<void()> OnPosted;

  private:
    struct TPendingCall {
        const std::function<void()>* Action;
        bool Done = false;
    };

    TClock& Clock;
    const std::thread::id UiThread;
    std::mutex Mutex;
    std::condition_variable UiWake;    // WaitUntil sleeps here
    std::condition_variable CallDone;  // callers of Call sleep here
    std::deque<TPendingCall*> Queue;
    uint64_t Notifications = 0;  // counts calls queued and Notify, so that none is missed
};

}  // namespace tavrin
