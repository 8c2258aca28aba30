#pragma once

// TWaveIn, the capture device thread, and TSyncIn, the block receiver that owns it and hands
// summed blocks over to the analysis on the user-interface thread.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "uAutoEvent.h"
#include "uClock.h"
#include "uWaveControl.h"
#include "uWorkerThread.h"

namespace tavrin {

// Keeps ten buffers queued on an input device, converts what comes back to float samples
// (full scale about +-1.0) and assembles blocks of BlockLength frames.
class TWaveIn final : public TWaveControl {
  public:
    TWaveIn(TWaveService& service, TUiDispatcher& ui);
    ~TWaveIn() override;

    // User-interface thread. False only when the device cannot be opened (reported through
    // OnError); true also when already capturing.
    bool Start();
    // Frames per channel of the block being assembled; lags a length set while capturing until
    // the next device buffer.
    int32_t BlockLength() const { return AssembledLength.load(std::memory_order_relaxed); }
    // Lengths below 1 are ignored.
    void SetBlockLength(int32_t length);
    // Any thread. False pauses storing from the next device buffer on, and the next block
    // starts at index 0; true while paused resumes after three discarded device buffers.
    void SetCapturing(bool capturing);

    // Capture thread, with the completed block itself: the next frames overwrite it once the
    // handler returns, and the handler must not resize it. Set before Start.
    std::function<void(TWaveData& block)> OnBlock;

  private:
    void ProcessBuffer(TWaveHeader& header) override;
    void CloseDevice() override;
    void StoreFrames(const TStereoFrame* frames, int32_t count);

    TWaveData Block;
    std::atomic<int32_t> RequestedLength{0};
    std::atomic<int32_t> AssembledLength{0};
    // kStoring, kPaused, or the device buffers still to discard before storing resumes: one
    // word, so that a pause and the end of a countdown cannot undo each other.
    std::atomic<int32_t> CaptureMode;
    std::atomic<bool> RewindPending{false};  // the next block starts at index 0
};

// Receives the capture's blocks, sums them over the integration time and delivers them on the
// user-interface thread: ProcessBlock, then OnData. A delivery blocks further hand-overs until
// it has run, so Output never changes under ProcessBlock or OnData.
class TSyncIn : public TWorkerThread {
  public:
    // The service, dispatcher and clock are the caller's and outlive the receiver.
    TSyncIn(TWaveService& service, TUiDispatcher& ui, TClock& clock);
    ~TSyncIn() override;

    // Forwarded to the capture thread.
    void SetDeviceID(uint32_t id);
    uint32_t SampleRate() const;
    void SetSampleRate(uint32_t rate);
    int32_t BlockLength() const;  // the length of the block being assembled
    void SetBlockLength(int32_t length);
    void SetOnError(TErrorEvent onError);
    // The bin of a frequency (Hz) for a block of `length` samples at SampleRate.
    int32_t FrequencyToBin(int32_t length, float frequency) const;

    // User-interface thread. Start: false only when the input device cannot be opened.
    bool Start();
    // Returns at once with Parked true; no delivery runs afterwards, not even one that was
    // already waiting for the user-interface thread.
    void Stop();
    // Decimal seconds ("0.3", "30"); a text that is not a number keeps the time in force.
    void SetIntegrationTime(std::string_view seconds);
    // The consumer is done with the last block: the next one may be handed over.
    void RequestData();
    // Any thread (the playback's stimulus change): false drops the running sum and pauses
    // capture, true resumes it after three device buffers.
    void SetCapturing(bool capturing);
    bool Averaging() const { return AveragingFlag.load(std::memory_order_relaxed); }
    // Any thread: the blocks summed so far into the next hand-over, for a progress display.
    int32_t BlocksSummed() const { return SummedBlocks.load(std::memory_order_relaxed); }
    void SetAveraging(bool averaging) { AveragingFlag.store(averaging, std::memory_order_relaxed); }

    // User-interface thread, after ProcessBlock, with the processed block.
    std::function<void(TWaveData& data)> OnData;

    // User-interface thread, once per hand-over, before OnData. Public so that the analysis
    // can be driven with blocks built by hand.
    virtual void ProcessBlock(TWaveData& data);

  private:
    void ThreadLoop();
    void BlockCaptured(TWaveData& block);
    void HandOver();
    void DeliverBlock();

    TClock& Clock;
    TAutoEvent DataEvent;
    TWaveData Output;  // written by HandOver only, read by the delivery
    // Capture thread only. The running sum, per channel.
    std::array<std::vector<double>, 2> Accumulator;
    int32_t BlockCount = 0;
    bool HandedOver = false;  // no hand-over since construction yet
    double LastHandOverMs = 0;
    // Shared single stores.
    std::atomic<bool> AveragingFlag{false};
    std::atomic<bool> Requested{false};
    std::atomic<int32_t> IntegrationMs{0};
    std::atomic<int32_t> SummedBlocks{0};   // BlockCount, published
    std::atomic<bool> DropSum{false};       // BlockCount := 0 at the next block
    std::atomic<bool> DeliveryBusy{false};  // from a hand-over until its delivery is done
    std::unique_ptr<TWaveIn> WaveIn;
};

}  // namespace tavrin
