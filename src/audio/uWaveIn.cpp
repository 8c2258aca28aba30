#include "uWaveIn.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "uCaptureResampler.h"
#include "uNumberText.h"

namespace tavrin {

namespace {

constexpr int32_t kInitialBlockLength = 256;
// Capture modes besides a countdown of device buffers to discard.
constexpr int32_t kStoring = -1;
constexpr int32_t kPaused = 0;
constexpr int32_t kResumeBuffers = 3;
// 1/32767.5: the 16-bit range maps onto about +-1.0 with no sample exactly zero-biased.
constexpr double kSampleScale = 2.0 / 65535.0;
// Without a request from the consumer, a hand-over still takes place after this long.
constexpr int64_t kFallbackMs = 60000;

}  // namespace

// ---- TWaveIn ----

TWaveIn::TWaveIn(TWaveService& service, TUiDispatcher& ui)
    : TWaveControl(service, ui),
      CaptureMode(kStoring),
      Resampler(std::make_unique<TCaptureResampler>()) {
    SetBlockLength(kInitialBlockLength);
}

TWaveIn::~TWaveIn() {
    EndStreaming();
}

bool TWaveIn::Start() {
    constexpr std::string_view kFailure = "Can not open input device ";
    if (const std::optional<bool> early = BeginStart(kFailure)) {
        return *early;
    }
    // The first frames after a start carry the device's settling; they are skipped.
    Position = -(25 + static_cast<int32_t>(SampleRate() / 1000));
    Compensating = CompensationRequested.load(std::memory_order_acquire);
    RatioInForce = RatioRequested.load(std::memory_order_acquire);
    if (Compensating) {
        Resampler->Reset();
        Position -= TCaptureResampler::kSettleFrames;
    }
    NewRun();
    RewindPending.store(false, std::memory_order_relaxed);
    CaptureMode.store(kStoring, std::memory_order_release);
    if (!OpenDevice(true, kWaveCallbackEvent | kWaveFormatDirect, kFailure)) {
        return false;
    }
    for (TWaveHeader& header : BufferHeaders()) {
        PrepareHeader(header);
        QueueHeader(header);
    }
    StartDevice();
    return true;
}

void TWaveIn::SetBlockLength(int32_t length) {
    if (length < 1) {
        return;
    }
    RequestedLength.store(length, std::memory_order_relaxed);
    if (Parked()) {
        ResizeWaveData(Block, length);
        AssembledLength.store(length, std::memory_order_relaxed);
    }
}

void TWaveIn::SetCapturing(bool capturing) {
    if (!capturing) {
        CaptureMode.store(kPaused, std::memory_order_release);
        RewindPending.store(true, std::memory_order_release);
        return;
    }
    // Buffers the device has returned but this thread has not handled yet were recorded
    // before the resume, possibly before the change it waited for: they go too.
    int32_t backlog = 0;
    for (const TWaveHeader& header : BufferHeaders()) {
        const uint32_t flags = header.Flags.load(std::memory_order_acquire);
        if ((flags & kHeaderDone) != 0 && (flags & kHeaderInQueue) == 0) {
            ++backlog;
        }
    }
    int32_t mode = CaptureMode.load(std::memory_order_acquire);
    while (mode != kStoring && !CaptureMode.compare_exchange_weak(mode, kResumeBuffers + backlog,
                                                                  std::memory_order_acq_rel)) {
    }
}

void TWaveIn::SetClockCompensation(bool on) {
    CompensationRequested.store(on, std::memory_order_release);
}

void TWaveIn::SetClockRatioPpm(double ppm) {
    RatioRequested.store(ppm, std::memory_order_release);
}

void TWaveIn::NewRun() {
    ++Tag.Run;
    Tag.RatioPpm = Compensating ? RatioInForce : 0.0;
}

void TWaveIn::ProcessBuffer(TWaveHeader& header) {
    const int32_t length = RequestedLength.load(std::memory_order_relaxed);
    if (static_cast<int32_t>(Block[0].size()) != length) {
        ResizeWaveData(Block, length);
        AssembledLength.store(length, std::memory_order_relaxed);
        if (Position > length - 1) {
            Position = 0;
        }
        NewRun();
    }
    if (RewindPending.exchange(false, std::memory_order_acq_rel)) {
        Position = 0;
        NewRun();
    }
    const bool compensate =
        CompensationRequested.load(std::memory_order_acquire) && Resampler->Ready();
    const double ratio = RatioRequested.load(std::memory_order_acquire);
    if (compensate != Compensating || (compensate && ratio != RatioInForce)) {
        // The block in progress mixes two time bases: it is dropped, and a new one begins
        // (after the converter's settling when it has just been switched on).
        if (compensate && !Compensating) {
            Resampler->Reset();
        }
        Position =
            compensate && !Compensating ? -TCaptureResampler::kSettleFrames : std::min(Position, 0);
        Compensating = compensate;
        RatioInForce = ratio;
        NewRun();
    }
    const int32_t mode = CaptureMode.load(std::memory_order_acquire);
    const uint32_t bytes =
        std::min(header.BytesRecorded.load(std::memory_order_relaxed), header.BufferLength);
    const auto* frames = reinterpret_cast<const TStereoFrame*>(header.Data);
    const auto count = static_cast<int32_t>(bytes / sizeof(TStereoFrame));
    if (Compensating) {
        ResampleFrames(frames, count, mode == kStoring);
    } else if (mode == kStoring) {
        Assemble(count, [frames](int32_t i, float& left, float& right) {
            left = static_cast<float>(frames[i].Left * kSampleScale);
            right = static_cast<float>(frames[i].Right * kSampleScale);
        });
    }
    if (mode > kPaused) {
        // A pause or a new countdown set meanwhile wins over this step.
        int32_t expected = mode;
        CaptureMode.compare_exchange_strong(expected, mode == 1 ? kStoring : mode - 1,
                                            std::memory_order_acq_rel);
    }
    QueueAgain(header);
}

template <typename TFrameReader>
void TWaveIn::Assemble(int32_t count, TFrameReader readFrame) {
    const int32_t length = static_cast<int32_t>(Block[0].size());
    int32_t position = Position;
    int32_t i = 0;
    while (i < count) {
        if (position < 0) {
            const int32_t skipped = std::min(-position, count - i);
            position += skipped;
            i += skipped;
            continue;
        }
        const int32_t run = std::min(length - position, count - i);
        float* left = Block[0].data() + position;
        float* right = Block[1].data() + position;
        for (int32_t k = 0; k < run; ++k) {
            readFrame(i + k, left[k], right[k]);
        }
        i += run;
        position += run;
        if (position == length) {
            position = 0;
            CompleteBlock();
        }
    }
    Position = position;
}

void TWaveIn::ResampleFrames(const TStereoFrame* frames, int32_t count, bool store) {
    Converted.resize(2 * static_cast<size_t>(count));
    for (int32_t k = 0; k < count; ++k) {
        Converted[2 * static_cast<size_t>(k)] = static_cast<float>(frames[k].Left * kSampleScale);
        Converted[2 * static_cast<size_t>(k) + 1] =
            static_cast<float>(frames[k].Right * kSampleScale);
    }
    const std::vector<float>& out =
        Resampler->Process(Converted.data(), count, 1.0 / (1.0 + RatioInForce * 1e-6));
    if (store) {
        const float* samples = out.data();
        Assemble(Resampler->OutputFrames(), [samples](int32_t i, float& left, float& right) {
            left = samples[2 * static_cast<size_t>(i)];
            right = samples[2 * static_cast<size_t>(i) + 1];
        });
    }
}

void TWaveIn::CompleteBlock() {
    if (OnBlock) {
        OnBlock(Block);
    }
}

void TWaveIn::CloseDevice() {
    StopDevice();
    TWaveControl::CloseDevice();
}

// ---- TSyncIn ----

TSyncIn::TSyncIn(TWaveService& service, TUiDispatcher& ui, TClock& clock)
    : TWorkerThread(ui, [this] { ThreadLoop(); }),
      Clock(clock),
      WaveIn(std::make_unique<TWaveIn>(service, ui)),
      Capture(WaveIn.get()) {
    WaveIn->OnBlock = [this](TWaveData& block) { BlockCaptured(block, Capture->BlockTag()); };
}

TSyncIn::~TSyncIn() {
    EndCapture();
    DataEvent.Signal();
    JoinThread();
}

void TSyncIn::EndCapture() {
    // Ending first: deliveries served while the capture thread ends are dropped.
    RequestEnd();
    WaveIn.reset();
}

void TSyncIn::SetDeviceID(uint32_t id) {
    WaveIn->SetDeviceID(id);
}
uint32_t TSyncIn::SampleRate() const {
    return WaveIn->SampleRate();
}
void TSyncIn::SetSampleRate(uint32_t rate) {
    WaveIn->SetSampleRate(rate);
}
int32_t TSyncIn::BlockLength() const {
    return WaveIn->BlockLength();
}
void TSyncIn::SetBlockLength(int32_t length) {
    WaveIn->SetBlockLength(length);
}
void TSyncIn::SetOnError(TErrorEvent onError) {
    WaveIn->SetOnError(std::move(onError));
}
void TSyncIn::SetOnDeviceLost(TErrorEvent onLost) {
    WaveIn->SetOnDeviceLost(std::move(onLost));
}

bool TSyncIn::Parked() const {
    return ReceiverParked() && WaveIn->Parked();
}

int32_t TSyncIn::FrequencyToBin(int32_t length, float frequency) const {
    return WaveIn->FrequencyToBin(length, frequency);
}

bool TSyncIn::Start() {
    // A capture whose device was lost has ended its run by itself: that is no run to keep.
    if (!ReceiverParked() && !WaveIn->Parked()) {
        return true;
    }
    // After a Stop the capture may still be closing and the last hand-over may still be on its
    // way; both settle within a few device notifications. The stale delivery is dropped then,
    // so the new run starts clean.
    const auto settled = [this] {
        return WaveIn->Parked() && !DeliveryBusy.load(std::memory_order_acquire);
    };
    if (!settled()) {
        Ui.WaitUntil(settled, kCloseWaitMs);
    }
    DropSum.store(true, std::memory_order_release);
    Requested.store(true, std::memory_order_release);
    Wake();
    if (WaveIn->Start()) {
        return true;
    }
    Park();
    return false;
}

void TSyncIn::Stop() {
    if (ReceiverParked()) {
        return;
    }
    WaveIn->Stop();
    Park();
}

void TSyncIn::SetIntegrationTime(std::string_view seconds) {
    if (const std::optional<int32_t> ms = ParseIntegrationTimeMs(seconds)) {
        IntegrationMs.store(*ms, std::memory_order_relaxed);
    }
}

void TSyncIn::RequestData() {
    Requested.store(true, std::memory_order_release);
}

void TSyncIn::SetCapturing(bool capturing) {
    if (!capturing) {
        DropSum.store(true, std::memory_order_release);
    }
    WaveIn->SetCapturing(capturing);
}

void TSyncIn::SetClockCompensation(bool on) {
    WaveIn->SetClockCompensation(on);
}

void TSyncIn::SetClockRatioPpm(double ppm) {
    WaveIn->SetClockRatioPpm(ppm);
}

void TSyncIn::ProcessBlock(TWaveData&) {}

TBlockUse TSyncIn::PreprocessBlock(TWaveData&, const TBlockTag&) {
    return TBlockUse::Add;
}

int32_t TSyncIn::BlocksWanted(int32_t length) const {
    const double blockMs = 1000.0 * length / std::max<uint32_t>(Capture->SampleRate(), 1);
    const double blocks = std::ceil(IntegrationMs.load(std::memory_order_relaxed) / blockMs);
    return static_cast<int32_t>(std::clamp(blocks, 1.0, 1e9));
}

void TSyncIn::BlockCaptured(TWaveData& block, const TBlockTag& tag) {
    const TBlockUse use = PreprocessBlock(block, tag);
    const int32_t length = static_cast<int32_t>(block[0].size());
    // Blocks of another run (a pause, a new resampling ratio) do not add up with these.
    if (DropSum.exchange(false, std::memory_order_acq_rel) || tag.Run != SumRun ||
        use == TBlockUse::Restart) {
        BlockCount = 0;
        SumRun = tag.Run;
        FirstPeriod = true;
    }
    if (static_cast<int32_t>(Accumulator[0].size()) != length) {
        for (std::vector<double>& channel : Accumulator) {
            channel.assign(static_cast<size_t>(length), 0.0);
        }
        BlockCount = 0;
        FirstPeriod = true;
    }
    if (use == TBlockUse::Skip) {
        return;
    }
    // Summed in double: in 32 bits the rounding of a sum of a few hundred blocks exceeds the
    // averaged noise, and longer integration would stop improving the result.
    for (size_t channel = 0; channel < 2; ++channel) {
        double* sum = Accumulator[channel].data();
        const float* samples = block[channel].data();
        if (BlockCount == 0) {
            std::copy_n(samples, length, sum);
        } else {
            for (int32_t i = 0; i < length; ++i) {
                sum[i] += samples[i];
            }
        }
    }
    ++BlockCount;

    const double now = Clock.NowMs();
    const int64_t elapsed =
        HandedOver ? std::llround(now - LastHandOverMs) : std::numeric_limits<int64_t>::max();
    if (elapsed > kFallbackMs) {
        Requested.store(true, std::memory_order_release);
    }
    const bool averaging = Averaging();
    const int32_t wanted = averaging ? BlocksWanted(length) : 1;
    // A restarted sum is complete once it holds an integration time; later ones are due an
    // integration time after the last hand-over, as blocks keep coming at their own pace.
    const bool complete = FirstPeriod ? BlockCount >= wanted
                                      : elapsed >= IntegrationMs.load(std::memory_order_relaxed);
    if (Requested.load(std::memory_order_acquire) &&
        !DeliveryBusy.load(std::memory_order_acquire) && (complete || (averaging && FirstPeriod))) {
        LastHandOverMs = now;
        HandedOver = true;
        HandOver(complete, wanted);
        if (complete) {
            BlockCount = 0;
            FirstPeriod = false;
        }
    } else if (!averaging) {
        BlockCount = 0;
    }
    SummedBlocks.store(BlockCount, std::memory_order_relaxed);
}

void TSyncIn::HandOver(bool complete, int32_t wanted) {
    // The mean, rounded once to 32 bits; a single block comes out unchanged.
    const size_t length = Accumulator[0].size();
    ResizeWaveData(Output, static_cast<int32_t>(length));
    const double count = BlockCount;
    for (size_t channel = 0; channel < 2; ++channel) {
        const double* sum = Accumulator[channel].data();
        float* out = Output[channel].data();
        for (size_t i = 0; i < length; ++i) {
            out[i] = static_cast<float>(sum[i] / count);
        }
    }
    OutputDelivery = {BlockCount, wanted, complete};
    Requested.store(false, std::memory_order_release);
    DeliveryBusy.store(true, std::memory_order_release);
    DataEvent.Signal();
}

void TSyncIn::ThreadLoop() {
    for (;;) {
        DataEvent.Wait();
        if (Ending()) {
            return;
        }
        if (ReceiverParked()) {
            // Stopped before this hand-over could be delivered: drop it.
            DeliveryBusy.store(false, std::memory_order_release);
            Ui.Notify();
            continue;
        }
        Ui.Call([this] { DeliverBlock(); });
    }
}

void TSyncIn::DeliverBlock() {
    struct TDone {
        TSyncIn& Receiver;
        ~TDone() {
            Receiver.DeliveryBusy.store(false, std::memory_order_release);
            Receiver.Ui.Notify();
        }
    } done{*this};
    if (Ending() || ReceiverParked()) {
        return;
    }
    ProcessBlock(Output);
    if (OnData) {
        OnData(Output);
    }
}

}  // namespace tavrin
