#pragma once

// The two kinds of stream of the virtual box and what they share: the line-output bus. All of
// it runs under the engine's lock (uVirtualBoxEngine), on the engine's thread or on the thread
// of a device call; positions are frames counted from the engine's start.

#include <cstdint>
#include <deque>
#include <memory>
#include <random>
#include <vector>

#include "uAutoEvent.h"
#include "uVirtualBoxConvolver.h"
#include "uVirtualBoxFilter.h"
#include "uWaveService.h"

namespace tavrin {

// The latest samples of one signal (full scale 1), indexed by frame: the line-output bus, and
// what a capture device's filters made of it.
class TSampleRing {
  public:
    static constexpr int32_t kSize = 1 << 16;
    TSampleRing() : Samples(kSize, 0.0) {}
    double* At(int64_t frame) { return &Samples[frame & (kSize - 1)]; }
    double At(int64_t frame) const { return Samples[frame & (kSize - 1)]; }
    // Frames up to the ring's end from `frame` on.
    int32_t ContiguousFrom(int64_t frame) const {
        return kSize - static_cast<int32_t>(frame & (kSize - 1));
    }
    void Read(int64_t frame, int32_t count, double* to) const;
    void Clear();

  private:
    std::vector<double> Samples;
};

// Marks a buffer done and no longer queued, publishing what was written into it, and tells
// its device.
void ReturnBuffer(TWaveHeader& header, TAutoEvent& notify);

// A playback device: its buffers play one after the other on the bus from the moment the
// first is written; a buffer written after the queue ran dry starts at once.
class TPlaybackStream {
  public:
    explicit TPlaybackStream(TAutoEvent& notify) : Notify(notify) {}

    bool Queued() const { return !Buffers.empty(); }
    // The bus has been built up to `busEnd`; the buffer plays from there if none is queued.
    void Write(TWaveHeader& header, int64_t busEnd);
    // Adds the samples for bus frames [from, from + count) and returns the buffers played by
    // then. Both line outputs drive R ballast together: the bus hears their mean.
    void Mix(int64_t from, int32_t count, double* bus);
    // Returns every buffer; what has not been played is dropped.
    void Reset();
    // The bus frame at which the first buffer will have played; -1 with nothing queued.
    int64_t NextDue() const;
    // The bus frame at which the last buffer will have played; -1 with nothing queued.
    int64_t QueuedEnd() const;

  private:
    struct TEntry {
        TWaveHeader* Header;
        int64_t Start;
        int64_t Frames;
    };
    TAutoEvent& Notify;
    std::deque<TEntry> Buffers;
};

struct TCaptureSetup {
    double Rate = 48000.0;
    // Capture frames per bus frame.
    double ClockRatio = 1.0;
    int32_t LatencyFrames = 0;
    bool Noise = false;
    uint64_t NoiseSeed = 1;
};

// A capture device: hears the bus through its state's filters and fills its buffers, frame
// after frame, at its own clock while started.
class TCaptureStream {
  public:
    // Warmed up with the bus frames before `busEnd`, as if it had always been listening.
    TCaptureStream(std::shared_ptr<const TInputFilters> filters, const TCaptureSetup& setup,
                   TAutoEvent& notify, const TSampleRing& bus, int64_t busEnd);

    bool Queued() const { return !Buffers.empty(); }
    int64_t CaptureFrame(double seconds) const;
    void Add(TWaveHeader& header);
    void Start(int64_t captureNow);
    // Stops filling; the buffer being filled comes back with what it holds.
    void Stop();
    // Stops and returns every buffer.
    void Reset();
    // Runs the filters over the bus up to `busEnd` and records up to `captureNow`.
    void Advance(const TSampleRing& bus, int64_t busEnd, int64_t captureNow);
    // When (virtual seconds) the first buffer will be full; infinity when none will be.
    double NextDue() const;
    // When (virtual seconds) every queued buffer will be full; infinity when stopped.
    double QueuedEnd() const;

  private:
    struct TEntry {
        TWaveHeader* Header;
        uint32_t Filled;  // frames
    };

    // Where frame `frame` reads the filters' output (filter-output frames, fractional when
    // the clocks differ).
    double SourcePosition(int64_t frame) const;
    // The first capture frame that needs filter output not computed yet.
    int64_t FirstUnavailable() const;
    bool Available(int64_t frame) const;
    void Record(int64_t captureNow);
    void Sample(int64_t frame, double& left, double& right) const;
    int16_t Convert(double volts);
    double Noise();
    void ReturnFirst();

    std::shared_ptr<const TInputFilters> Filters;
    TCaptureSetup Setup;
    TAutoEvent& Notify;
    TStereoConvolver Convolver;
    int64_t Computed = 0;  // the filters' output exists for frames before this
    std::vector<double> Block;
    std::vector<double> OutLeft;
    std::vector<double> OutRight;
    TSampleRing Left;  // filter output, by bus frame
    TSampleRing Right;
    std::deque<TEntry> Buffers;
    bool Started = false;
    int64_t Next = 0;  // the next capture frame to record
    std::mt19937_64 Random;
    bool HasSpare = false;
    double Spare = 0.0;
};

}  // namespace tavrin
