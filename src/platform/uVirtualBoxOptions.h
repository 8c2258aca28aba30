#pragma once

#include <cstdint>

#include "uClock.h"
#include "uVirtualBoxFilter.h"
#include "uVirtualBoxNetwork.h"

namespace tavrin {

// How the virtual connection box behaves. The program uses the defaults: real time, every
// imperfection of a real sound card on except a clock offset. Tests switch off what they do
// not want and run faster than real time.
struct TVirtualBoxOptions {
    // Virtual time runs this many times faster than the clock.
    double SpeedUp = 1.0;
    // Null: the system's steady clock. Otherwise the caller keeps ownership, and the clock
    // must outlive the service; the box then looks at it every millisecond.
    const TClock* Clock = nullptr;

    TVirtualBoxComponents Components;

    // The right input's gain, phase and delay against the left.
    bool ChannelMismatch = true;
    TChannelMismatch Mismatch;
    // Gaussian noise of kVirtualBoxNoiseRms on each input, the same sequence for a seed.
    bool Noise = true;
    uint64_t NoiseSeed = 1;
    // kVirtualBoxLatencySeconds from line output to line input; without it a capture buffer
    // comes back a few milliseconds late, once the filters have heard what it must hold.
    bool Latency = true;
    // The capture clock runs this many parts per million faster than the playback clock.
    double ClockOffsetPpm = 0.0;
    // Test leads on the terminals and a resistance on each line input (values in Components);
    // off unless a test asks for them, since a good box has neither.
    TVirtualBoxFaults Faults;
    // Virtual time never runs past what the devices have queued: no playback device runs dry
    // and no started capture device overflows, however late their threads come back. For tests
    // on a loaded machine; buffers still never come back early.
    bool Lockstep = false;
};

// -96 dB of full scale.
inline constexpr double kVirtualBoxNoiseRms = 1.5848931924611134e-5;
inline constexpr double kVirtualBoxLatencySeconds = 0.008;

}  // namespace tavrin
