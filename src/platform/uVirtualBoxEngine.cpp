#include "uVirtualBoxEngine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace tavrin {
namespace {

// Bus frames built per step, so that the rings hold what the filters still need however far
// behind the engine has fallen.
constexpr int32_t kStepFrames = 4096;
// The engine looks at least this often while devices are open, keeping each step's work small.
constexpr double kLongestSleepSeconds = 0.02;
constexpr double kShortestSleepSeconds = 0.00005;
constexpr double kPollSeconds = 0.001;  // with a clock the engine cannot wait for

class TSteadyClock : public TClock {
  public:
    double NowMs() const override {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return std::chrono::duration<double, std::milli>(now).count();
    }
};

// Different rates for each state keep noise sequences of different devices apart.
uint64_t NoiseSeed(uint64_t seed, TVirtualBoxState state) {
    return seed * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(state) + 1;
}

}  // namespace

TVirtualBoxEngine::TVirtualBoxEngine(const TVirtualBoxOptions& options)
    : Options(options),
      OwnClock(options.Clock ? nullptr : std::make_unique<TSteadyClock>()),
      Clock(options.Clock ? options.Clock : OwnClock.get()),
      StartMs(Clock->NowMs()),
      SpeedUp(options.SpeedUp > 0.0 ? options.SpeedUp : 1.0),
      Worker([this] { Run(); }) {}

TVirtualBoxEngine::~TVirtualBoxEngine() {
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Ending = true;
    }
    Wake.notify_all();
    Worker.join();
}

double TVirtualBoxEngine::ClockSeconds() const {
    return (Clock->NowMs() - StartMs) * 0.001 * SpeedUp;
}

double TVirtualBoxEngine::Now() {
    double now = ClockSeconds() - Held;
    if (Options.Lockstep) {
        const double limit = QueuedUntil();
        Holding = now > limit;
        if (Holding) {
            Held += now - limit;
            now = limit;
        }
    }
    Latest = std::max(Latest, now);
    return Latest;
}

double TVirtualBoxEngine::QueuedUntil() const {
    double until = std::numeric_limits<double>::infinity();
    for (const auto& [id, stream] : Streams) {
        if (stream.Playback) {
            // A playback device with nothing queued holds time where its bus is.
            const int64_t end = stream.Playback->QueuedEnd();
            until = std::min(
                until, static_cast<double>(end >= 0 ? end : stream.Bus->End) / stream.Bus->Rate);
        } else {
            until = std::min(until, stream.Capture->QueuedEnd());
        }
    }
    return until;
}

std::shared_ptr<const TInputFilters> TVirtualBoxEngine::Filters(TVirtualBoxState state,
                                                                uint32_t rate) {
    std::lock_guard<std::mutex> lock(FilterMutex);
    auto& filters = FilterCache[{state, rate}];
    if (!filters) {
        filters = std::make_shared<const TInputFilters>(DesignInputFilters(
            state, Options.Components, rate, Options.ChannelMismatch ? &Options.Mismatch : nullptr,
            Options.Faults));
    }
    return filters;
}

TVirtualBoxEngine::TBus& TVirtualBoxEngine::BusFor(uint32_t rate, double seconds) {
    std::unique_ptr<TBus>& bus = Buses[rate];
    if (!bus) {
        bus = std::make_unique<TBus>();
        bus->Rate = rate;
        bus->End = static_cast<int64_t>(std::floor(seconds * rate));
    }
    return *bus;
}

template <typename TAttach>
TVirtualBoxEngine::TStreamId TVirtualBoxEngine::AddStream(uint32_t rate, TAutoEvent& notify,
                                                          TAttach attach) {
    TStreamId id = 0;
    {
        std::lock_guard<std::mutex> lock(Mutex);
        const double now = Now();
        AdvanceAll(now);
        TStream stream;
        stream.Bus = &BusFor(rate, now);
        stream.Notify = &notify;
        attach(stream);
        id = ++LastId;
        Streams.emplace(id, std::move(stream));
    }
    Wake.notify_all();
    return id;
}

TVirtualBoxEngine::TStreamId TVirtualBoxEngine::OpenPlayback(uint32_t rate, TAutoEvent& notify) {
    return AddStream(rate, notify, [&notify](TStream& stream) {
        stream.Playback = std::make_unique<TPlaybackStream>(notify);
        stream.Bus->Playbacks.push_back(stream.Playback.get());
    });
}

TVirtualBoxEngine::TStreamId TVirtualBoxEngine::OpenCapture(TVirtualBoxState state, uint32_t rate,
                                                            TAutoEvent& notify) {
    std::shared_ptr<const TInputFilters> filters = Filters(state, rate);  // the slow part
    TCaptureSetup setup;
    setup.Rate = rate;
    setup.ClockRatio = 1.0 + Options.ClockOffsetPpm * 1e-6;
    setup.LatencyFrames =
        Options.Latency ? static_cast<int32_t>(std::lround(kVirtualBoxLatencySeconds * rate)) : 0;
    setup.Noise = Options.Noise;
    setup.NoiseSeed = NoiseSeed(Options.NoiseSeed, state);
    return AddStream(rate, notify, [&](TStream& stream) {
        stream.Capture = std::make_unique<TCaptureStream>(std::move(filters), setup, notify,
                                                          stream.Bus->Ring, stream.Bus->End);
        stream.Bus->Captures.push_back(stream.Capture.get());
    });
}

template <typename TAction>
TWaveResult TVirtualBoxEngine::WithStream(TStreamId id, TAction action) {
    TWaveResult result = TWaveResult::NotOpen;
    {
        std::lock_guard<std::mutex> lock(Mutex);
        auto it = Streams.find(id);
        if (it != Streams.end()) {
            // Whatever the call changes happens now: the box first catches up with the clock.
            const double now = Now();
            AdvanceAll(now);
            result = action(it->second, now);
        }
    }
    // New buffers or a start may bring the next return forward.
    Wake.notify_all();
    return result;
}

TWaveResult TVirtualBoxEngine::Queue(TStreamId id, TWaveHeader& header) {
    return WithStream(id, [&header](TStream& stream, double) {
        const uint32_t flags = header.Flags.load(std::memory_order_relaxed);
        header.Flags.store((flags & ~kHeaderDone) | kHeaderInQueue, std::memory_order_relaxed);
        if (stream.Playback) {
            stream.Playback->Write(header, stream.Bus->End);
        } else {
            stream.Capture->Add(header);
        }
        return TWaveResult::Ok;
    });
}

TWaveResult TVirtualBoxEngine::Start(TStreamId id) {
    return WithStream(id, [](TStream& stream, double now) {
        if (stream.Capture) {
            stream.Capture->Start(stream.Capture->CaptureFrame(now));
        }
        return TWaveResult::Ok;
    });
}

TWaveResult TVirtualBoxEngine::Stop(TStreamId id) {
    return WithStream(id, [](TStream& stream, double) {
        if (stream.Capture) {
            stream.Capture->Stop();
        }
        return TWaveResult::Ok;
    });
}

TWaveResult TVirtualBoxEngine::Reset(TStreamId id) {
    return WithStream(id, [](TStream& stream, double) {
        ResetStream(stream);
        return TWaveResult::Ok;
    });
}

TWaveResult TVirtualBoxEngine::Close(TStreamId id) {
    return WithStream(id, [this, id](TStream& stream, double) {
        if (stream.Playback ? stream.Playback->Queued() : stream.Capture->Queued()) {
            return TWaveResult::StillQueued;
        }
        TAutoEvent& notify = *stream.Notify;
        Forget(id);
        notify.Signal();
        return TWaveResult::Ok;
    });
}

void TVirtualBoxEngine::Abandon(TStreamId id) {
    WithStream(id, [this, id](TStream& stream, double) {
        ResetStream(stream);
        Forget(id);
        return TWaveResult::Ok;
    });
}

void TVirtualBoxEngine::ResetStream(TStream& stream) {
    if (stream.Playback) {
        stream.Playback->Reset();
    } else {
        stream.Capture->Reset();
    }
}

void TVirtualBoxEngine::Forget(TStreamId id) {
    TStream& stream = Streams.at(id);
    std::erase(stream.Bus->Playbacks, stream.Playback.get());
    std::erase(stream.Bus->Captures, stream.Capture.get());
    Streams.erase(id);
}

void TVirtualBoxEngine::AdvanceAll(double seconds) {
    for (auto& [rate, bus] : Buses) {
        AdvanceBus(*bus, seconds);
    }
}

void TVirtualBoxEngine::AdvanceBus(TBus& bus, double seconds) {
    const int64_t target = static_cast<int64_t>(std::floor(seconds * bus.Rate));
    if (bus.Playbacks.empty() && bus.Captures.empty()) {
        // Nobody listens: the bus stays silent without being built.
        if (!bus.Silent) {
            bus.Ring.Clear();
            bus.Silent = true;
        }
        bus.End = std::max(bus.End, target);
        return;
    }
    while (bus.End < target) {
        const int32_t count = static_cast<int32_t>(
            std::min<int64_t>({target - bus.End, kStepFrames, bus.Ring.ContiguousFrom(bus.End)}));
        double* samples = bus.Ring.At(bus.End);
        std::fill(samples, samples + count, 0.0);
        for (TPlaybackStream* playback : bus.Playbacks) {
            bus.Silent = false;
            playback->Mix(bus.End, count, samples);
        }
        bus.End += count;
        for (TCaptureStream* capture : bus.Captures) {
            capture->Advance(bus.Ring, bus.End, capture->CaptureFrame(seconds));
        }
    }
    for (TCaptureStream* capture : bus.Captures) {
        capture->Advance(bus.Ring, bus.End, capture->CaptureFrame(seconds));
    }
}

double TVirtualBoxEngine::NextDue() const {
    double due = std::numeric_limits<double>::infinity();
    for (const auto& [id, stream] : Streams) {
        if (stream.Playback) {
            const int64_t frame = stream.Playback->NextDue();
            if (frame >= 0) {
                due = std::min(due, static_cast<double>(frame) / stream.Bus->Rate);
            }
        } else {
            due = std::min(due, stream.Capture->NextDue());
        }
    }
    return due;
}

void TVirtualBoxEngine::Run() {
    std::unique_lock<std::mutex> lock(Mutex);
    while (!Ending) {
        const double now = Now();
        AdvanceAll(now);
        if (Streams.empty()) {
            Wake.wait(lock);
            continue;
        }
        double sleep = kPollSeconds;
        if (Holding) {
            sleep = kLongestSleepSeconds;  // until a device queues a buffer
        } else if (!Options.Clock) {
            sleep = std::clamp((NextDue() - now) / SpeedUp, kShortestSleepSeconds,
                               kLongestSleepSeconds);
        }
        Wake.wait_for(lock, std::chrono::duration<double>(sleep));
    }
}

}  // namespace tavrin
