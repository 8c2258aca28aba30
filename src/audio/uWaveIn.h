#pragma once

// CONTRACT DRAFT from the lead: public API of the block receiver that the analyser and the
// window rely on. The streaming helper completes this unit (TWaveIn, private members,
// implementation) and may refine it.

#include <cstdint>
#include <functional>
#include <string_view>

#include "uWaveControl.h"

namespace tavrin {

class TWaveService;
class TUiDispatcher;
class TClock;
class TWaveIn;

// Receives the capture's blocks, sums them over the integration time and delivers them on the
// user-interface thread: ProcessBlock, then OnData.
class TSyncIn /* : public <worker thread base> */ {
  public:
    // The service, dispatcher and clock are the caller's and outlive the receiver.
    TSyncIn(TWaveService& service, TUiDispatcher& ui, TClock& clock);
    virtual ~TSyncIn();

    // Forwarded to the capture thread.
    void SetDeviceID(uint32_t id);
    uint32_t SampleRate() const;
    void SetSampleRate(uint32_t rate);
    int32_t BlockLength() const;  // the length of the block being assembled
    void SetBlockLength(int32_t length);
    void SetOnError(TErrorEvent onError);
    // The bin of a frequency (Hz) for a block of `length` samples at SampleRate.
    int32_t FrequencyToBin(int32_t length, float frequency) const;

    bool Parked() const;
    bool Start();
    void Stop();
    void SetIntegrationTime(std::string_view seconds);
    void RequestData();
    void SetCapturing(bool capturing);
    bool Averaging() const;
    void SetAveraging(bool averaging);

    // User-interface thread, after ProcessBlock, with the processed block.
    std::function<void(TWaveData& data)> OnData;

    // User-interface thread, once per hand-over, before OnData. Public so that the analysis
    // can be driven with blocks built by hand.
    virtual void ProcessBlock(TWaveData& data);

  protected:
    virtual void PreprocessBlock(TWaveData& data);
};

}  // namespace tavrin
