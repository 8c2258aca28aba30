// The virtual box's own cost: CPU seconds (all threads) per second of audio streamed through
// one capture device in the capacitor state (the longest filters), with every imperfection on,
// with and without a playback device feeding it. One iteration is one second of audio, so the
// CPU time column reads directly as the share of real time (10 ms = 1 %).

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "uVirtualBoxService.h"

namespace {

using namespace tavrin;

class TManualClock : public TClock {
  public:
    double NowMs() const override { return Ms.load(); }
    void Set(double ms) { Ms.store(ms); }

  private:
    std::atomic<double> Ms{0.0};
};

struct TRing {
    TRing(uint32_t frames) : Headers(10), Memory(10, std::vector<char>(4 * frames)) {
        for (size_t i = 0; i < Headers.size(); ++i) {
            Headers[i].Data = Memory[i].data();
            Headers[i].BufferLength = 4 * frames;
        }
    }
    void QueueAll(TWaveDevice& device) {
        for (TWaveHeader& header : Headers) {
            device.PrepareHeader(header);
            device.Queue(header);
        }
    }
    void Requeue(TWaveDevice& device) {
        for (TWaveHeader& header : Headers) {
            if (!header.InQueue()) {
                device.Queue(header);
            }
        }
    }
    std::vector<TWaveHeader> Headers;
    std::vector<std::vector<char>> Memory;
};

void BM_VirtualBoxStream(benchmark::State& state) {
    const auto rate = static_cast<uint32_t>(state.range(0));
    const bool playing = state.range(1) != 0;
    TManualClock clock;
    TVirtualBoxOptions options;
    options.Clock = &clock;
    TVirtualBoxService service(options);
    TWaveFormat format;
    format.SamplesPerSec = rate;
    format.AvgBytesPerSec = 4 * rate;
    TAutoEvent recordEvent;
    TAutoEvent playEvent;
    std::unique_ptr<TWaveDevice> record;
    std::unique_ptr<TWaveDevice> play;
    service.OpenInput(static_cast<uint32_t>(TVirtualBoxState::Capacitor), format, recordEvent,
                      0x50008, record);
    TRing in(rate / 10);
    TRing out(rate / 10);
    in.QueueAll(*record);
    if (playing) {
        service.OpenOutput(0, format, playEvent, 0x5000A, play);
        // A few tones that never repeat within a buffer, so no block is silent.
        for (auto& memory : out.Memory) {
            for (size_t i = 0; i < memory.size() / 4; ++i) {
                const double t = static_cast<double>(i) / rate;
                const auto value =
                    static_cast<int16_t>(8000.0 * (std::sin(2 * std::numbers::pi * 997.0 * t) +
                                                   std::sin(2 * std::numbers::pi * 15013.0 * t)));
                const int16_t frame[2] = {value, value};
                std::memcpy(&memory[4 * i], frame, 4);
            }
        }
        out.QueueAll(*play);
    }
    record->Start();
    double ms = 1000.0;
    for (auto _ : state) {
        for (int step = 0; step < 10; ++step) {
            ms += 100.0;
            clock.Set(ms);
            record->Start();  // started already: brings the box up to the clock
            in.Requeue(*record);
            if (play) {
                out.Requeue(*play);
            }
        }
    }
    record->Reset();
    record->Close();
    if (play) {
        play->Reset();
        play->Close();
    }
}

BENCHMARK(BM_VirtualBoxStream)
    ->ArgNames({"rate", "playing"})
    ->Args({192000, 1})
    ->Args({192000, 0})
    ->Args({48000, 1})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
