#pragma once

// The base of every long-running activity: one worker thread that is parked while idle (its
// owner reads Parked) and ends when its object is destroyed (Ending).
//
// The thread is created parked and runs its body only after the first Wake, so it never touches
// an object that is still being constructed. The body is a plain function, not a virtual call,
// so the thread never reads the object's dispatch table while a derived destructor runs. The
// most-derived destructor ends the thread (RequestEnd, unblock the body, JoinThread) before its
// own members die.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "uUiDispatcher.h"

namespace tavrin {

class TWorkerThread {
  public:
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    // Any thread. True while the thread is parked: idle, doing no work for its owner.
    bool Parked() const { return ParkedFlag.load(std::memory_order_acquire); }
    // True once the object has begun to end its thread.
    bool Ending() const { return EndingFlag.load(std::memory_order_acquire); }

  protected:
    // `body` runs on the worker thread from the first Wake until it returns; it watches Ending.
    // The dispatcher is the caller's and outlives the object.
    TWorkerThread(TUiDispatcher& ui, std::function<void()> body);
    // Ends the thread if the derived destructor has not (the body must then return by itself
    // once Ending is set).
    virtual ~TWorkerThread();

    // Any thread: Parked := false, and the first Wake starts the body.
    void Wake();
    // Any thread: Parked := true. Parking is the flag; how the body idles is its own business.
    void Park();
    // Worker thread: blocks while parked; false once the object is ending.
    bool WaitWhileParked();
    // Sets Ending and releases WaitWhileParked; the body's own waits are the caller's to unblock.
    void RequestEnd();
    // Waits until the body has returned and joins the thread. On the user-interface thread the
    // dispatcher's calls are served meanwhile, so a body blocked in a synchronous call finishes.
    void JoinThread();

    TUiDispatcher& Ui;

  private:
    void Run();

    std::function<void()> Body;
    std::atomic<bool> ParkedFlag{true};
    std::atomic<bool> EndingFlag{false};
    std::atomic<bool> Finished{false};
    std::mutex ParkMutex;
    std::condition_variable ParkChanged;
    std::thread Thread;  // last: starts once everything above exists
};

}  // namespace tavrin
