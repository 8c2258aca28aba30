#include "uClock.h"

#include <chrono>

namespace tavrin {

double TSystemClock::NowMs() const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double, std::milli>(now).count();
}

}  // namespace tavrin
