#pragma once

// Calls that may block for long (a sound server that has stopped answering) are run on a thread
// of their own, one at a time, while their caller waits for each at most a given time. A call
// cannot be interrupted: one that overruns its time keeps the thread until it returns, and until
// then the caller is jammed, so that every further call fails at once rather than queue behind
// it. Any thread may call.

#include <chrono>
#include <functional>
#include <memory>

namespace tavrin {

class TBoundedCaller {
  public:
    TBoundedCaller();
    // A jammed thread is let go: it may never return, and it keeps what it needs alive itself.
    ~TBoundedCaller();
    TBoundedCaller(const TBoundedCaller&) = delete;
    TBoundedCaller& operator=(const TBoundedCaller&) = delete;

    // Runs `call` on the caller's thread and waits for it at most `limit`; true when it ran to
    // its end in time. False, with `call` never run, while jammed or when the limit passes before
    // its turn comes; false too when `call` overran: it then runs on, `late` (if any) runs on the
    // caller's thread as soon as it has returned, to undo what it did for nobody, and the caller
    // is jammed until then. Whatever `call` and `late` use must outlive a late return: capture
    // it by value. A limit of milliseconds::max() waits for as long as it takes.
    bool Run(std::function<void()> call, std::chrono::milliseconds limit,
             std::function<void()> late = {});
    bool Jammed() const;

  private:
    struct TShared;
    std::shared_ptr<TShared> Shared;
};

}  // namespace tavrin
