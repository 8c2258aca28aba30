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

class TCaptureResampler;

// What a completed block belongs to. Blocks of one run follow each other without a gap, at one
// block length and one resampling ratio, so that the phase of a periodic stimulus advances
// from one to the next by the clocks' offset alone.
struct TBlockTag {
    uint64_t Run = 0;
    // The resampling in force: the capture clock taken to run this many ppm faster than the
    // playback clock; 0 when the stream is not resampled.
    double RatioPpm = 0;
};

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
    // starts at index 0; true while paused resumes after three discarded device buffers, and
    // after those the device had already returned and this thread not yet handled.
    void SetCapturing(bool capturing);
    // Any thread; takes effect at the next device buffer, with a new run and a new block.
    // With compensation on, the captured stream is resampled by 1 / (1 + ppm 1e-6) before
    // blocks are formed, so that tones played on the playback clock land back on their bins.
    // Off (the default), blocks hold the samples as captured.
    void SetClockCompensation(bool on);
    void SetClockRatioPpm(double ppm);
    // Capture thread, inside OnBlock: the tag of the block handed over.
    const TBlockTag& BlockTag() const { return Tag; }

    // Capture thread, with the completed block itself: the next frames overwrite it once the
    // handler returns, and the handler must not resize it. Set before Start.
    std::function<void(TWaveData& block)> OnBlock;

  private:
    void ProcessBuffer(TWaveHeader& header) override;
    void CloseDevice() override;
    // The compensated path: every frame goes through the resampler, stored or not, so that its
    // history stays continuous across a pause.
    void ResampleFrames(const TStereoFrame* frames, int32_t count, bool store);
    // Stores `count` frames, `readFrame(i, left, right)` giving frame i, into the block from
    // Position on (a negative Position skips frames first), handing on each block filled.
    template <typename TFrameReader>
    void Assemble(int32_t count, TFrameReader readFrame);
    void CompleteBlock();
    void NewRun();

    TWaveData Block;
    std::atomic<int32_t> RequestedLength{0};
    std::atomic<int32_t> AssembledLength{0};
    // kStoring, kPaused, or the device buffers still to discard before storing resumes: one
    // word, so that a pause and the end of a countdown cannot undo each other.
    std::atomic<int32_t> CaptureMode;
    std::atomic<bool> RewindPending{false};  // the next block starts at index 0
    TBlockTag Tag;                           // capture thread
    std::atomic<bool> CompensationRequested{false};
    std::atomic<double> RatioRequested{0.0};
    bool Compensating = false;  // capture thread: what the stream is going through
    double RatioInForce = 0.0;
    std::unique_ptr<TCaptureResampler> Resampler;
    std::vector<float> Converted;
};

// What the receiver does with a captured block, as its preprocessing decides.
enum class TBlockUse : uint8_t {
    Add,      // into the sum
    Skip,     // left out: not (yet) the steady response to the stimulus
    Restart,  // steady again after a change: the sum starts afresh with this block
};

// What a delivered block holds: how many blocks were summed into it, how many an integration
// time holds, and whether it is a complete result or shows how far the averaging has come
// since the sum (re)started.
struct TDelivery {
    int32_t Blocks = 0;
    int32_t Wanted = 1;
    bool Complete = true;
};

// Receives the capture's blocks, sums them over the integration time and delivers them on the
// user-interface thread: ProcessBlock, then OnData. After a start or any break in the stream
// (a pause, a new block length or resampling), and while averaging, the sum is delivered as it
// grows, each marked incomplete, until a whole integration time has been summed. A delivery blocks
// further hand-overs until it has run, so Output never changes under ProcessBlock or OnData.
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
    void SetOnDeviceLost(TErrorEvent onLost);
    // The bin of a frequency (Hz) for a block of `length` samples at SampleRate.
    int32_t FrequencyToBin(int32_t length, float frequency) const;

    // User-interface thread. Start: false only when the input device cannot be opened (or the
    // last run's device has not finished closing).
    bool Start();
    // Returns at once; no delivery runs afterwards, not even one that was already waiting for
    // the user-interface thread. The capture goes on closing its device by itself.
    void Stop();
    // True once both the receiver and the capture are idle: after a Stop, once the capture has
    // closed its device. Hides the receiver thread's own flag, which the owner must not mistake
    // for the whole.
    bool Parked() const;
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
    // User-interface thread, during ProcessBlock and OnData: what the block being delivered
    // holds.
    const TDelivery& Delivery() const { return OutputDelivery; }

    // Forwarded to the capture thread: the resampling that compensates a clock offset.
    void SetClockCompensation(bool on);
    void SetClockRatioPpm(double ppm);

    // User-interface thread, once per hand-over, before OnData. Public so that the analysis
    // can be driven with blocks built by hand.
    virtual void ProcessBlock(TWaveData& data);
    // Capture thread, with every completed block before it is summed; must not block. What it
    // changes in place is what gets summed; what it returns decides whether it is. Add here.
    virtual TBlockUse PreprocessBlock(TWaveData& block, const TBlockTag& tag);

  protected:
    // Ends the capture thread for good. A derived receiver whose PreprocessBlock uses its own
    // members calls it first in its destructor, so that no block reaches them as they go.
    void EndCapture();

  private:
    bool ReceiverParked() const { return TWorkerThread::Parked(); }
    void ThreadLoop();
    void BlockCaptured(TWaveData& block, const TBlockTag& tag);
    void HandOver(bool complete, int32_t wanted);
    // Blocks of `length` samples in one integration time, at least 1.
    int32_t BlocksWanted(int32_t length) const;
    void DeliverBlock();

    TClock& Clock;
    TAutoEvent DataEvent;
    TWaveData Output;  // written by HandOver only, read by the delivery
    TDelivery OutputDelivery;
    // Capture thread only. The running sum, per channel.
    std::array<std::vector<double>, 2> Accumulator;
    int32_t BlockCount = 0;
    bool HandedOver = false;  // no hand-over since construction yet
    uint64_t SumRun = 0;      // the run of the blocks in the sum
    bool FirstPeriod = true;  // no whole integration time summed since the sum restarted
    double LastHandOverMs = 0;
    // Shared single stores.
    std::atomic<bool> AveragingFlag{false};
    std::atomic<bool> Requested{false};
    std::atomic<int32_t> IntegrationMs{0};
    std::atomic<int32_t> SummedBlocks{0};   // BlockCount, published
    std::atomic<bool> DropSum{false};       // BlockCount := 0 at the next block
    std::atomic<bool> DeliveryBusy{false};  // from a hand-over until its delivery is done
    std::unique_ptr<TWaveIn> WaveIn;
    // The same object, for the capture thread: the owning pointer is cleared before that thread
    // has ended, the object only after.
    TWaveIn* Capture;
};

}  // namespace tavrin
