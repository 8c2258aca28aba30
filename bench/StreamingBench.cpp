// The capture path as it runs while measuring: device buffers of 16-bit frames converted to
// floats, assembled into blocks of N = 262144 and summed by the receiver, at 192000 samples/s,
// with a hand-over (mean, copy, delivery on the user-interface thread) at every block. The
// process CPU time is set against the audio time streamed: "cpu_per_audio" is the fraction of
// one core the streaming path needs. The second run resamples the stream as the clock-offset
// compensation does (200 ppm), so the two read side by side give its cost.

#include <benchmark/benchmark.h>

#include <random>

#include "FakeClock.h"
#include "FakeWaveService.h"
#include "uUiDispatcher.h"
#include "uWaveIn.h"

namespace {

using namespace tavrin;

constexpr uint32_t kRate = 192000;
constexpr int32_t kBlockLength = 262144;

TBufferData NoiseFrames(size_t count) {
    std::mt19937 generator(1);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    TBufferData frames(count);
    for (TStereoFrame& frame : frames) {
        frame = TStereoFrame{static_cast<int16_t>(sample(generator)),
                             static_cast<int16_t>(sample(generator))};
    }
    return frames;
}

void BM_CaptureAndSum(benchmark::State& state) {
    TSystemClock systemClock;
    TUiDispatcher ui(systemClock);
    test::TFakeClock audioClock;
    test::TFakeWaveService service;
    service.SetOnChange([&ui] { ui.Notify(); });
    TSyncIn receiver(service, ui, audioClock);
    receiver.SetSampleRate(kRate);
    receiver.SetBlockLength(kBlockLength);
    receiver.SetAveraging(true);
    receiver.SetIntegrationTime("1");
    receiver.SetClockCompensation(state.range(0) != 0);
    receiver.SetClockRatioPpm(200.0);
    int64_t deliveries = 0;
    receiver.OnData = [&](TWaveData&) {
        ++deliveries;
        receiver.RequestData();
    };
    if (!receiver.Start()) {
        state.SkipWithError("the fake device did not open");
        return;
    }
    auto device = service.LastInput();
    const size_t bufferFrames = device->NextBufferBytes() / sizeof(TStereoFrame);
    const TBufferData frames = NoiseFrames(bufferFrames);
    const double bufferMs = 1000.0 * static_cast<double>(bufferFrames) / kRate;

    for (auto _ : state) {
        audioClock.Advance(bufferMs);
        device->ReturnCapture(frames);
        ui.WaitUntil([&] { return device->QueuedCount() == kDeviceBufferCount; });
    }
    receiver.Stop();
    ui.WaitUntil([&] { return device->Closed(); });

    const double audioSeconds = static_cast<double>(state.iterations()) * bufferMs / 1000.0;
    state.counters["cpu_per_audio"] =
        benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["deliveries"] = static_cast<double>(deliveries);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(bufferFrames));
}
BENCHMARK(BM_CaptureAndSum)
    ->ArgName("compensated")
    ->Arg(0)
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
