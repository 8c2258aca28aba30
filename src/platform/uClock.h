#pragma once

namespace tavrin {

// Time for everything that waits or measures intervals, so tests can drive it.
// Milliseconds on a monotonic scale: a change of the wall clock (daylight saving, a time
// server) must not stall or rush results.
class TClock {
  public:
    virtual ~TClock() = default;
    virtual double NowMs() const = 0;
};

// The system's steady clock.
class TSystemClock : public TClock {
  public:
    double NowMs() const override;
};

}  // namespace tavrin
