#pragma once

// CONTRACT DRAFT from the lead: public API the rest of the program relies on. The streaming
// helper completes this unit (private members, implementation) and may refine it.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tavrin {

// One channel's samples in time order (captured samples full scale at about +-1.0); after
// analysis the same array holds a packed spectrum.
using TChannelData = std::vector<float>;
// Element 0 the left channel, element 1 the right, both of the block length. Passed by
// reference; whoever keeps samples beyond a call copies them.
using TWaveData = std::array<TChannelData, 2>;

struct TStereoFrame {
    int16_t Left;
    int16_t Right;
};
// Stereo PCM frames as the device takes them.
using TBufferData = std::vector<TStereoFrame>;

// Sets both channels to `length` samples when channel 0 has another length.
void ResizeWaveData(TWaveData& data, int32_t length);
// Copies each source channel into the destination channel from index 0.
void CopyWaveData(const TWaveData& source, TWaveData& destination);

using TErrorEvent = std::function<void(const std::string& message)>;

}  // namespace tavrin
