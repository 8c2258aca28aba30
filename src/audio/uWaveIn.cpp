#include "uWaveIn.h"

#include <algorithm>
#include <cmath>
#include <limits>

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
    : TWaveControl(service, ui), CaptureMode(kStoring) {
    SetBlockLength(kInitialBlockLength);
}

TWaveIn::~TWaveIn() {
    EndStreaming();
}

bool TWaveIn::Start() {
    if (!BeginStart()) {
        return true;
    }
    // The first frames after a start carry the device's settling; they are skipped.
    Position = -(25 + static_cast<int32_t>(SampleRate() / 1000));
    RewindPending.store(false, std::memory_order_relaxed);
    CaptureMode.store(kStoring, std::memory_order_release);
    if (!OpenDevice(true, kWaveCallbackEvent | kWaveFormatDirect, "Can not open input device ")) {
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
    int32_t mode = CaptureMode.load(std::memory_order_acquire);
    while (mode != kStoring &&
           !CaptureMode.compare_exchange_weak(mode, kResumeBuffers, std::memory_order_acq_rel)) {
    }
}

void TWaveIn::ProcessBuffer(TWaveHeader& header) {
    const int32_t length = RequestedLength.load(std::memory_order_relaxed);
    if (static_cast<int32_t>(Block[0].size()) != length) {
        ResizeWaveData(Block, length);
        AssembledLength.store(length, std::memory_order_relaxed);
        if (Position > length - 1) {
            Position = 0;
        }
    }
    if (RewindPending.exchange(false, std::memory_order_acq_rel)) {
        Position = 0;
    }
    const int32_t mode = CaptureMode.load(std::memory_order_acquire);
    if (mode == kStoring) {
        const uint32_t bytes =
            std::min(header.BytesRecorded.load(std::memory_order_relaxed), header.BufferLength);
        StoreFrames(reinterpret_cast<const TStereoFrame*>(header.Data),
                    static_cast<int32_t>(bytes / sizeof(TStereoFrame)));
    } else if (mode > kPaused) {
        // A pause or a new countdown set meanwhile wins over this step.
        int32_t expected = mode;
        CaptureMode.compare_exchange_strong(expected, mode == 1 ? kStoring : mode - 1,
                                            std::memory_order_acq_rel);
    }
    QueueAgain(header);
}

void TWaveIn::StoreFrames(const TStereoFrame* frames, int32_t count) {
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
        const TStereoFrame* source = frames + i;
        for (int32_t k = 0; k < run; ++k) {
            left[k] = static_cast<float>(source[k].Left * kSampleScale);
            right[k] = static_cast<float>(source[k].Right * kSampleScale);
        }
        i += run;
        position += run;
        if (position == length) {
            position = 0;
            if (OnBlock) {
                OnBlock(Block);
            }
        }
    }
    Position = position;
}

void TWaveIn::CloseDevice() {
    StopDevice();
    TWaveControl::CloseDevice();
}

// ---- TSyncIn ----

TSyncIn::TSyncIn(TWaveService& service, TUiDispatcher& ui, TClock& clock)
    : TWorkerThread(ui, [this] { ThreadLoop(); }),
      Clock(clock),
      WaveIn(std::make_unique<TWaveIn>(service, ui)) {
    WaveIn->OnBlock = [this](TWaveData& block) { BlockCaptured(block); };
}

TSyncIn::~TSyncIn() {
    // Ending first: deliveries served while the capture thread ends are dropped.
    RequestEnd();
    WaveIn.reset();
    DataEvent.Signal();
    JoinThread();
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

int32_t TSyncIn::FrequencyToBin(int32_t length, float frequency) const {
    return WaveIn->FrequencyToBin(length, frequency);
}

bool TSyncIn::Start() {
    if (!Parked()) {
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
    if (Parked()) {
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

void TSyncIn::ProcessBlock(TWaveData&) {}

void TSyncIn::BlockCaptured(TWaveData& block) {
    const int32_t length = static_cast<int32_t>(block[0].size());
    if (DropSum.exchange(false, std::memory_order_acq_rel)) {
        BlockCount = 0;
    }
    if (static_cast<int32_t>(Accumulator[0].size()) != length) {
        for (std::vector<double>& channel : Accumulator) {
            channel.assign(static_cast<size_t>(length), 0.0);
        }
        BlockCount = 0;
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
    if (elapsed >= IntegrationMs.load(std::memory_order_relaxed) &&
        Requested.load(std::memory_order_acquire) &&
        !DeliveryBusy.load(std::memory_order_acquire)) {
        LastHandOverMs = now;
        HandedOver = true;
        HandOver();
        BlockCount = 0;
    } else if (!Averaging()) {
        BlockCount = 0;
    }
    SummedBlocks.store(BlockCount, std::memory_order_relaxed);
}

void TSyncIn::HandOver() {
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
        if (Parked()) {
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
    if (Ending() || Parked()) {
        return;
    }
    ProcessBlock(Output);
    if (OnData) {
        OnData(Output);
    }
}

}  // namespace tavrin
