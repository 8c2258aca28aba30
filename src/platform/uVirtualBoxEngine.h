#pragma once

// The running virtual box: one line-output bus per sample rate, the streams of the open
// devices on it, and the thread that advances them in virtual time, returning each buffer
// once its duration has passed. Device calls and the thread meet under one lock; buffers
// come back through ReturnBuffer, which publishes them to the device threads.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "uVirtualBoxOptions.h"
#include "uVirtualBoxStreams.h"
#include "uWaveService.h"

namespace tavrin {

class TVirtualBoxEngine {
  public:
    using TStreamId = uint64_t;

    explicit TVirtualBoxEngine(const TVirtualBoxOptions& options);
    ~TVirtualBoxEngine();
    TVirtualBoxEngine(const TVirtualBoxEngine&) = delete;
    TVirtualBoxEngine& operator=(const TVirtualBoxEngine&) = delete;

    // `rate` must be one the service accepts; `notify` outlives the stream.
    TStreamId OpenPlayback(uint32_t rate, TAutoEvent& notify);
    TStreamId OpenCapture(TVirtualBoxState state, uint32_t rate, TAutoEvent& notify);
    TWaveResult Queue(TStreamId id, TWaveHeader& header);
    TWaveResult Start(TStreamId id);
    TWaveResult Stop(TStreamId id);
    TWaveResult Reset(TStreamId id);
    // StillQueued while buffers are queued; otherwise forgets the stream and signals its event.
    TWaveResult Close(TStreamId id);
    // For a device destroyed while open: returns its buffers and forgets it.
    void Abandon(TStreamId id);

  private:
    struct TBus {
        double Rate = 48000.0;
        TSampleRing Ring;
        int64_t End = 0;  // the bus is built up to here
        bool Silent = true;
        std::vector<TPlaybackStream*> Playbacks;
        std::vector<TCaptureStream*> Captures;
    };
    struct TStream {
        TBus* Bus = nullptr;
        TAutoEvent* Notify = nullptr;
        std::unique_ptr<TPlaybackStream> Playback;
        std::unique_ptr<TCaptureStream> Capture;
    };

    double ClockSeconds() const;  // the clock's time since the start, sped up
    double Now();                 // virtual time, held back in lockstep
    double QueuedUntil() const;
    TBus& BusFor(uint32_t rate, double seconds);
    void AdvanceAll(double seconds);
    void AdvanceBus(TBus& bus, double seconds);
    double NextDue() const;  // virtual seconds
    // Adds a stream on the bus of `rate`; `attach` (TStream&) gives it its playback or capture.
    template <typename TAttach>
    TStreamId AddStream(uint32_t rate, TAutoEvent& notify, TAttach attach);
    // Runs `action` (TStream&, virtual now) -> TWaveResult on the stream under the lock, once
    // the box has caught up with the clock; NotOpen for a stream that is not open.
    template <typename TAction>
    TWaveResult WithStream(TStreamId id, TAction action);
    static void ResetStream(TStream& stream);
    void Forget(TStreamId id);
    std::shared_ptr<const TInputFilters> Filters(TVirtualBoxState state, uint32_t rate);
    void Run();

    const TVirtualBoxOptions Options;
    std::unique_ptr<TClock> OwnClock;
    const TClock* Clock;
    const double StartMs;
    const double SpeedUp;

    std::mutex FilterMutex;
    std::map<std::pair<TVirtualBoxState, uint32_t>, std::shared_ptr<const TInputFilters>>
        FilterCache;

    std::mutex Mutex;  // everything below, and every stream and bus
    std::condition_variable Wake;
    bool Ending = false;
    double Held = 0.0;  // virtual seconds the clock has run ahead of the devices in lockstep
    double Latest = 0.0;
    bool Holding = false;  // lockstep time waits for a device
    std::map<uint32_t, std::unique_ptr<TBus>> Buses;
    std::map<TStreamId, TStream> Streams;
    TStreamId LastId = 0;
    std::thread Worker;
};

}  // namespace tavrin
