#pragma once

// The virtual box's switches from the environment variable TAVRIN_VIRTUAL_BOX, meant for tests:
// a comma-separated list of
//   speed=X         virtual time runs X times faster than the clock (and so do the integration
//                   time and --time)
//   lockstep        virtual time never runs past what the devices have queued
//   only            the virtual box alone in the device lists, no sound cards
//   ideal           no channel mismatch, no noise, no latency
//   mismatch=0|1, noise=0|1, latency=0|1, clock-offset=PPM
//   leads           test leads between the terminals and the part
//   inputs          a resistance on each line input beside C in
//   rref=OHMS       the box's R ref
// Unset or empty: the box as the window has it, after the sound cards.

#include <string_view>

#include "uVirtualBoxOptions.h"

namespace tavrin::cli {

inline constexpr const char* kVirtualBoxVariable = "TAVRIN_VIRTUAL_BOX";

struct TVirtualBoxSetup {
    TVirtualBoxOptions Options;
    bool BoxOnly = false;
};

// Throws ECliError naming the switch that is not understood.
TVirtualBoxSetup ParseVirtualBoxSwitches(std::string_view text);

}  // namespace tavrin::cli
