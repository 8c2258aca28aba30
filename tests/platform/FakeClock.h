#pragma once

#include <atomic>

#include "uClock.h"

namespace tavrin::test {

// A clock that moves only when the test says so; readable from any thread.
class TFakeClock : public TClock {
  public:
    double NowMs() const override { return Now.load(); }
    void Advance(double ms) { Now.store(Now.load() + ms); }

  private:
    std::atomic<double> Now{1000.0};
};

}  // namespace tavrin::test
