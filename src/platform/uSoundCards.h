#pragma once

// The backend for the machine's real sound cards: PortAudio on Linux, the multimedia API on
// Windows. The programs put it first in their device lists, before the virtual box.

#include <memory>

#include "uWaveService.h"

namespace tavrin {

std::unique_ptr<TWaveService> CreateSoundCardService();

}  // namespace tavrin
