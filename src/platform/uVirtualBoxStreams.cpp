#include "uVirtualBoxStreams.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "uVirtualBoxOptions.h"

namespace tavrin {
namespace {

constexpr double kFullScale = 32767.5;  // the inverse of the capture thread's 2 / 65535

// Reading between the filter-output frames when the capture clock differs: a Kaiser-windowed
// sinc of 2 x kHalfTaps taps, tabulated at kPhases fractions and interpolated between them.
constexpr int32_t kHalfTaps = 16;
constexpr int32_t kPhases = 256;
constexpr double kKernelBeta = 9.0;

const std::vector<double>& FractionalKernel() {
    static const std::vector<double> table = [] {
        std::vector<double> t((kPhases + 1) * 2 * kHalfTaps);
        const double norm = std::cyl_bessel_i(0.0, kKernelBeta);
        for (int32_t phase = 0; phase <= kPhases; ++phase) {
            const double fraction = static_cast<double>(phase) / kPhases;
            for (int32_t tap = 0; tap < 2 * kHalfTaps; ++tap) {
                const double x = fraction - (tap - kHalfTaps + 1);
                const double r = x / kHalfTaps;
                const double window =
                    std::cyl_bessel_i(0.0, kKernelBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) /
                    norm;
                const double sinc =
                    x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
                t[phase * 2 * kHalfTaps + tap] = sinc * window;
            }
        }
        return t;
    }();
    return table;
}

// Frames per call of the filters: as large as the latency allows, so that what a capture
// frame needs has been computed by the time the frame is due.
int32_t FilterBlock(int32_t margin) {
    if (margin < 64) {
        return 256;
    }
    int32_t block = 64;
    while (block * 2 <= margin && block < 1024) {
        block *= 2;
    }
    return block;
}

}  // namespace

void TSampleRing::Read(int64_t frame, int32_t count, double* to) const {
    for (int32_t i = 0; i < count; ++i) {
        to[i] = Samples[(frame + i) & (kSize - 1)];
    }
}

void TSampleRing::Clear() {
    std::fill(Samples.begin(), Samples.end(), 0.0);
}

void ReturnBuffer(TWaveHeader& header, TAutoEvent& notify) {
    const uint32_t flags = header.Flags.load(std::memory_order_relaxed);
    header.Flags.store((flags | kHeaderDone) & ~kHeaderInQueue, std::memory_order_release);
    notify.Signal();
}

void TPlaybackStream::Write(TWaveHeader& header, int64_t busEnd) {
    const int64_t start = Buffers.empty() ? busEnd : Buffers.back().Start + Buffers.back().Frames;
    Buffers.push_back({&header, start, header.BufferLength / 4});
}

void TPlaybackStream::Mix(int64_t from, int32_t count, double* bus) {
    const int64_t to = from + count;
    for (const TEntry& entry : Buffers) {
        const int64_t first = std::max(from, entry.Start);
        const int64_t last = std::min(to, entry.Start + entry.Frames);
        const char* data = entry.Header->Data;
        for (int64_t frame = first; frame < last; ++frame) {
            int16_t sample[2];
            std::memcpy(sample, data + 4 * (frame - entry.Start), sizeof sample);
            bus[frame - from] += (sample[0] + sample[1]) / (2.0 * kFullScale);
        }
        if (entry.Start >= to) {
            break;
        }
    }
    while (!Buffers.empty() && Buffers.front().Start + Buffers.front().Frames <= to) {
        TWaveHeader& header = *Buffers.front().Header;
        Buffers.pop_front();
        ReturnBuffer(header, Notify);
    }
}

void TPlaybackStream::Reset() {
    while (!Buffers.empty()) {
        TWaveHeader& header = *Buffers.front().Header;
        Buffers.pop_front();
        ReturnBuffer(header, Notify);
    }
}

int64_t TPlaybackStream::NextDue() const {
    return Buffers.empty() ? -1 : Buffers.front().Start + Buffers.front().Frames;
}

int64_t TPlaybackStream::QueuedEnd() const {
    return Buffers.empty() ? -1 : Buffers.back().Start + Buffers.back().Frames;
}

TCaptureStream::TCaptureStream(std::shared_ptr<const TInputFilters> filters,
                               const TCaptureSetup& setup, TAutoEvent& notify,
                               const TSampleRing& bus, int64_t busEnd)
    : Filters(std::move(filters)),
      Setup(setup),
      Notify(notify),
      Convolver(FilterBlock(setup.LatencyFrames - kConverterDelay -
                            (setup.ClockRatio != 1.0 ? kHalfTaps : 0)),
                Filters->Left, Filters->Right),
      Random(setup.NoiseSeed) {
    const int32_t block = Convolver.BlockLength();
    Block.resize(block);
    OutLeft.resize(block);
    OutRight.resize(block);
    const int64_t length = static_cast<int64_t>(Filters->Left.size());
    const int64_t warmUp = std::min<int64_t>(((length + block - 1) / block + 1) * block,
                                             TSampleRing::kSize / 2 / block * block);
    Computed = busEnd - warmUp;
    Advance(bus, busEnd, 0);
}

int64_t TCaptureStream::CaptureFrame(double seconds) const {
    return static_cast<int64_t>(std::floor(seconds * Setup.Rate * Setup.ClockRatio));
}

void TCaptureStream::Add(TWaveHeader& header) {
    header.BytesRecorded.store(0, std::memory_order_relaxed);
    Buffers.push_back({&header, 0});
}

void TCaptureStream::Start(int64_t captureNow) {
    if (!Started) {
        Started = true;
        Next = captureNow;
    }
}

void TCaptureStream::Stop() {
    Started = false;
    if (!Buffers.empty() && Buffers.front().Filled > 0) {
        ReturnFirst();
    }
}

void TCaptureStream::Reset() {
    Started = false;
    while (!Buffers.empty()) {
        ReturnFirst();
    }
}

void TCaptureStream::ReturnFirst() {
    const TEntry entry = Buffers.front();
    Buffers.pop_front();
    entry.Header->BytesRecorded.store(entry.Filled * 4, std::memory_order_relaxed);
    ReturnBuffer(*entry.Header, Notify);
}

double TCaptureStream::SourcePosition(int64_t frame) const {
    return static_cast<double>(frame) / Setup.ClockRatio - Setup.LatencyFrames + kConverterDelay;
}

bool TCaptureStream::Available(int64_t frame) const {
    if (Setup.ClockRatio == 1.0) {
        return frame - Setup.LatencyFrames + kConverterDelay < Computed;
    }
    return static_cast<int64_t>(std::floor(SourcePosition(frame))) + kHalfTaps < Computed;
}

int64_t TCaptureStream::FirstUnavailable() const {
    if (Setup.ClockRatio == 1.0) {
        return Computed + Setup.LatencyFrames - kConverterDelay;
    }
    int64_t frame = static_cast<int64_t>(std::ceil(
        static_cast<double>(Computed - kHalfTaps + Setup.LatencyFrames - kConverterDelay) *
        Setup.ClockRatio));
    // The estimate may be off by a frame through rounding; Available decides.
    while (Available(frame)) {
        ++frame;
    }
    while (!Available(frame - 1)) {
        --frame;
    }
    return frame;
}

void TCaptureStream::Advance(const TSampleRing& bus, int64_t busEnd, int64_t captureNow) {
    const int32_t block = Convolver.BlockLength();
    while (Computed + block <= busEnd) {
        bus.Read(Computed, block, Block.data());
        Convolver.Process(Block.data(), OutLeft.data(), OutRight.data());
        for (int32_t i = 0; i < block; ++i) {
            *Left.At(Computed + i) = OutLeft[i];
            *Right.At(Computed + i) = OutRight[i];
        }
        Computed += block;
    }
    Record(captureNow);
}

void TCaptureStream::Record(int64_t captureNow) {
    if (!Started) {
        return;
    }
    const int64_t limit = std::min(captureNow, FirstUnavailable());
    while (Next < limit) {
        if (Buffers.empty()) {
            Next = limit;  // nowhere to put them: these frames are lost
            return;
        }
        TEntry& entry = Buffers.front();
        const uint32_t capacity = entry.Header->BufferLength / 4;
        const int64_t count = std::min<int64_t>(capacity - entry.Filled, limit - Next);
        char* data = entry.Header->Data + 4 * entry.Filled;
        for (int64_t i = 0; i < count; ++i) {
            double left = 0.0;
            double right = 0.0;
            Sample(Next + i, left, right);
            const int16_t frame[2] = {Convert(left), Convert(right)};
            std::memcpy(data + 4 * i, frame, sizeof frame);
        }
        entry.Filled += static_cast<uint32_t>(count);
        Next += count;
        if (entry.Filled == capacity) {
            ReturnFirst();
        }
    }
}

void TCaptureStream::Sample(int64_t frame, double& left, double& right) const {
    if (Setup.ClockRatio == 1.0) {
        const int64_t source = frame - Setup.LatencyFrames + kConverterDelay;
        left = Left.At(source);
        right = Right.At(source);
        return;
    }
    const double position = SourcePosition(frame);
    const double whole = std::floor(position);
    const double phase = (position - whole) * kPhases;
    const int32_t row = std::min(static_cast<int32_t>(phase), kPhases - 1);
    const double blend = phase - row;
    const double* a = &FractionalKernel()[row * 2 * kHalfTaps];
    const double* b = a + 2 * kHalfTaps;
    const int64_t first = static_cast<int64_t>(whole) - kHalfTaps + 1;
    left = 0.0;
    right = 0.0;
    for (int32_t tap = 0; tap < 2 * kHalfTaps; ++tap) {
        const double weight = a[tap] + blend * (b[tap] - a[tap]);
        left += weight * Left.At(first + tap);
        right += weight * Right.At(first + tap);
    }
}

int16_t TCaptureStream::Convert(double volts) {
    if (Setup.Noise) {
        volts += Noise();
    }
    const double level = std::nearbyint(volts * kFullScale);
    return static_cast<int16_t>(std::clamp(level, -32768.0, 32767.0));
}

// Marsaglia's polar method, one pair of normal deviates per accepted point.
double TCaptureStream::Noise() {
    if (HasSpare) {
        HasSpare = false;
        return Spare * kVirtualBoxNoiseRms;
    }
    double u = 0.0;
    double v = 0.0;
    double s = 0.0;
    do {
        u = static_cast<double>(Random() >> 11) * 0x1.0p-52 - 1.0;
        v = static_cast<double>(Random() >> 11) * 0x1.0p-52 - 1.0;
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double factor = std::sqrt(-2.0 * std::log(s) / s);
    Spare = v * factor;
    HasSpare = true;
    return u * factor * kVirtualBoxNoiseRms;
}

double TCaptureStream::NextDue() const {
    if (!Started || Buffers.empty()) {
        return std::numeric_limits<double>::infinity();
    }
    const TEntry& entry = Buffers.front();
    const int64_t last = Next + (entry.Header->BufferLength / 4 - entry.Filled) - 1;
    const double captured = static_cast<double>(last + 1) / (Setup.Rate * Setup.ClockRatio);
    // The filters must have run past what the last frame reads, one block at a time.
    const int64_t needed = static_cast<int64_t>(std::floor(SourcePosition(last))) + 1 +
                           (Setup.ClockRatio != 1.0 ? kHalfTaps : 0);
    const int32_t block = Convolver.BlockLength();
    const int64_t blocks = needed > Computed ? (needed - Computed + block - 1) / block : 0;
    const double filtered = static_cast<double>(Computed + blocks * block) / Setup.Rate;
    return std::max(captured, filtered);
}

double TCaptureStream::QueuedEnd() const {
    if (!Started) {
        return std::numeric_limits<double>::infinity();
    }
    int64_t frames = 0;
    for (const TEntry& entry : Buffers) {
        frames += entry.Header->BufferLength / 4 - entry.Filled;
    }
    return static_cast<double>(Next + frames) / (Setup.Rate * Setup.ClockRatio);
}

}  // namespace tavrin
