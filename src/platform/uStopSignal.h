#pragma once

// The user's request to stop a program that runs without a window: Ctrl-C (SIGINT), a
// termination request (SIGTERM) or, on Windows, Ctrl-Break (SIGBREAK). The handler only records the
// request; the program looks at it between waits and stops its devices the normal way.

namespace tavrin {

class TStopSignal {
  public:
    virtual ~TStopSignal() = default;
    // Any thread.
    virtual bool Raised() const = 0;
};

// Catches the process's interrupt and termination signals while it exists (one at a time per
// process); the previous handlers come back when it is destroyed.
class TProcessStopSignal : public TStopSignal {
  public:
    TProcessStopSignal();
    ~TProcessStopSignal() override;
    TProcessStopSignal(const TProcessStopSignal&) = delete;
    TProcessStopSignal& operator=(const TProcessStopSignal&) = delete;

    bool Raised() const override;

  private:
    using THandler = void (*)(int);
    THandler PreviousInterrupt = nullptr;
    THandler PreviousTerminate = nullptr;
#ifdef _WIN32
    THandler PreviousBreak = nullptr;
#endif
};

}  // namespace tavrin
