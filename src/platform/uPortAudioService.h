#pragma once

// The waveform-audio service on real sound cards, through PortAudio (ALSA and JACK on Linux, the
// system's own interfaces elsewhere). The program puts it first in its TCombinedWaveService.

#include <string>
#include <vector>

#include "uWaveService.h"

namespace tavrin {

class TPortAudioService : public TWaveService {
  public:
    // Initialises PortAudio if this is the first PortAudio service of the process, and takes
    // the device lists as PortAudio found them then: a device plugged in later, or a JACK server
    // started later, appears after a restart of the program. Capture devices are PortAudio's
    // devices with at least two input channels, playback devices those with at least two output
    // channels, both in PortAudio's order.
    TPortAudioService();

    int32_t InputDeviceCount() const override;
    std::string InputDeviceName(int32_t index) const override;
    int32_t OutputDeviceCount() const override;
    std::string OutputDeviceName(int32_t index) const override;

    // 16-bit stereo at exactly the format's rate, or the open fails (BadFormat): nothing is
    // converted to another rate on the way. `flags` asks for what this backend always does.
    TWaveResult OpenInput(uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                          uint32_t flags, std::unique_ptr<TWaveDevice>& device) override;
    TWaveResult OpenOutput(uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                           uint32_t flags, std::unique_ptr<TWaveDevice>& device) override;

    struct TEndpoint {
        int Index = -1;        // PortAudio's device index
        std::string Name;      // as the device lists show it
        std::string HostApi;   // PortAudio's name for its host interface ("ALSA", ...)
        bool Jack = false;     // served by a JACK server
        double Latency = 0.0;  // seconds, PortAudio's safe default for the direction
    };

  private:
    TWaveResult Open(bool capture, uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                     std::unique_ptr<TWaveDevice>& device) const;

    std::vector<TEndpoint> Inputs;
    std::vector<TEndpoint> Outputs;
};

// Names the user can tell apart: a name that two endpoints of the list share gets the host
// interface's name added, "default (ALSA)".
void DistinguishDeviceNames(std::vector<TPortAudioService::TEndpoint>& endpoints);

// 16-bit stereo PCM with consistent block size and byte rate.
bool IsStereo16Format(const TWaveFormat& format);

}  // namespace tavrin
