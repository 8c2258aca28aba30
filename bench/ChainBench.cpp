// The whole chain in real time, as the window runs it: the measuring session on the virtual
// connection box (playback of the stimulus, capture, the receiver's sums, ProcessBlock, the
// impedance with the series fit) and the display of each result with the chart's redraw, in mode
// "Z graph + LCR" on the 4.7 uF capacitor, at 192000 samples/s with FMin 1 (N = 262144) and an
// integration time of 1 s. The box runs on the system clock, so one second of audio takes one
// second; the process CPU time is set against the audio time, so "cpu_per_audio" is the share
// of one core the whole process needs.
//
// BM_VirtualBoxAlone streams the same devices through the box with nothing but a loop that
// requeues their buffers: the box's own share. The program's own share is the difference. The
// box also computes on the device threads that call it, so the difference is the only honest
// split; "ui_thread_per_audio" adds the user-interface thread's own share (the analysis, the
// evaluation and the display), which is most of the program's.
// The argument of BM_WholeChain picks the code path of the numeric kernels (0 baseline, 1 AVX2).

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "uChart.h"
#include "uClock.h"
#include "uCpuPath.h"
#include "uMeasurementSession.h"
#include "uPageMemory.h"
#include "uQtDispatch.h"
#include "uResultDisplay.h"
#include "uStimulus.h"
#include "uUiDispatcher.h"
#include "uVirtualBoxService.h"
#include "uWaveControl.h"

namespace {

using namespace tavrin;

constexpr uint32_t kRate = 192000;
constexpr int32_t kBlockLength = 262144;  // FMin 1 at 192000 samples/s
constexpr float kLow = 1.0f, kHigh = 90000.0f;
constexpr double kAudioSeconds = 11.0;  // eight blocks
// The box's devices when it is the only backend: one per state, in this order.
constexpr uint32_t kCapacitorDevice = static_cast<uint32_t>(TVirtualBoxState::Capacitor);

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

void ReportShare(benchmark::State& state, double audioSeconds) {
    // CPU seconds (all threads of the process) per second of audio.
    state.counters["cpu_per_audio"] =
        benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

class TScratchFolder {
  public:
    TScratchFolder()
        : Folder(std::filesystem::temp_directory_path() /
                 ("tavrin-chain-bench-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(Folder);
    }
    ~TScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(Folder, ignored);
    }
    std::string PathOf(const char* name) const { return (Folder / name).string(); }

  private:
    std::filesystem::path Folder;
};

// Runs the Qt event loop, which serves the deliveries and the chart's redraws as in the window,
// until `done` (looked at every 50 ms) or for at most `ms` milliseconds.
void RunEventLoop(int ms, const std::function<bool()>& done = nullptr) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QTimer check;
    if (done) {
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (done()) {
                loop.quit();
            }
        });
        check.start(50);
    }
    loop.exec();
}

// The window's part: the chart of a "Z graph + LCR" result, 520 x 400, both curve pairs.
struct TView {
    TView() : Display(Chart) {
        Chart.resize(520, 400);
        Chart.Series(1).SetAxisSide(TAxisSide::Right);
        Chart.Series(3).SetAxisSide(TAxisSide::Right);
        Chart.show();
        // Paint events, and so the chart's reports of drawn results, come once it is exposed.
        RunEventLoop(5000, [this] {
            return Chart.windowHandle() != nullptr && Chart.windowHandle()->isExposed();
        });
        Display.DisplayKind = TDisplayKind::TwoPairs;
    }
    TChart Chart;
    TResultDisplay Display;
};

void BM_WholeChain(benchmark::State& state) {
    const TCpuPath path = state.range(0) != 0 ? TCpuPath::Avx2 : TCpuPath::Baseline;
    if (!SetCpuPath(path)) {
        state.SkipWithError("this CPU has no AVX2");
        return;
    }
    state.SetLabel(CpuPathName(path));
    TScratchFolder folder;
    TSystemClock clock;
    TUiDispatcher ui(clock);
    TVirtualBoxService box;  // as the program has it: real time, a real card's imperfections
    TView view;
    TMeasurementSession session(TSessionEnvironment{box, ui, clock, folder.PathOf("tavrin.ini"),
                                                    folder.PathOf("tavrin.cal")});
    DrainFromQtEventLoop(ui);
    int results = 0;
    session.OnResult = [&](const TMeasurementResult& result) {
        const TResultDisplay::TBand band{result.BandLow, result.BandHigh,
                                         [&](float f) { return session.FrequencyToBin(f); }};
        view.Display.ShowResult(*result.Data, band, static_cast<float>(result.SampleRate));
        // The window asks for the next result once the chart reports the drawn frame; here the
        // chart paints at once, which costs the same and depends on no paint event.
        view.Chart.Redraw();
        ++results;
        session.RequestData();
    };
    session.Open();
    TWaveSetupModel& setup = session.WaveSetup();
    setup.SelectRate(kRate);
    setup.SelectInput(kCapacitorDevice);
    setup.SelectOutput(kCapacitorDevice);
    setup.SetMinText("1");
    setup.SetMaxText(std::to_string(static_cast<int>(kHigh)));
    session.Rref().Apply("100");
    session.SetCinText("100");
    session.SetIntegrationTime("1");
    session.SelectMode(mdZGraphLCR);
    if (session.BlockLength() != kBlockLength || !session.Start()) {
        state.SkipWithError("the session did not start as planned");
        session.Close();
        return;
    }
    // The level control settles within the first results; the run is measured after them.
    RunEventLoop(30000, [&] { return results >= 3; });
    const int before = results;
    const double uiBefore = ThreadCpuSeconds();
    for (auto _ : state) {
        const auto end =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(kAudioSeconds);
        ui.WaitUntil([&] { return std::chrono::steady_clock::now() >= end; },
                     static_cast<int>(kAudioSeconds * 1000) + 1000);
    }
    const double audioSeconds = kAudioSeconds * static_cast<double>(state.iterations());
    state.counters["results"] = results - before;
    state.counters["ui_thread_per_audio"] = (ThreadCpuSeconds() - uiBefore) / audioSeconds;
    ReportShare(state, audioSeconds);
    session.Stop();
    session.Close();
}

// The program's stimulus as 16-bit frames, both channels alike, as the playback thread writes it.
std::vector<int16_t> StimulusFrames() {
    std::vector<float> period(kBlockLength);
    const int32_t lo = FrequencyToBin(kBlockLength, kLow, kRate);
    const int32_t hi = FrequencyToBin(kBlockLength, kHigh, kRate);
    GenerateStimulus(period.data(), kBlockLength, lo, hi, 0.7);
    std::vector<int16_t> frames(2 * period.size());
    for (size_t i = 0; i < period.size(); ++i) {
        const auto sample = static_cast<int16_t>(std::lround(period[i] * 32767.0));
        frames[2 * i] = sample;
        frames[2 * i + 1] = sample;
    }
    return frames;
}

struct TBuffers {
    explicit TBuffers(uint32_t bytes) : Memory(kDeviceBufferCount, std::vector<char>(bytes)) {
        for (int i = 0; i < kDeviceBufferCount; ++i) {
            Headers[static_cast<size_t>(i)].Data = Memory[static_cast<size_t>(i)].data();
            Headers[static_cast<size_t>(i)].BufferLength = bytes;
        }
    }
    std::array<TWaveHeader, kDeviceBufferCount> Headers;
    std::vector<std::vector<char>> Memory;
};

void BM_VirtualBoxAlone(benchmark::State& state) {
    TVirtualBoxService box;
    TWaveFormat format;
    format.SamplesPerSec = kRate;
    format.AvgBytesPerSec = 4 * kRate;
    const uint32_t bytes = DeviceBufferBytes(kRate, format.BlockAlign, PageSize());
    TAutoEvent recordEvent, playEvent;
    std::unique_ptr<TWaveDevice> record, play;
    if (box.OpenInput(kCapacitorDevice, format, recordEvent, 0, record) != TWaveResult::Ok ||
        box.OpenOutput(kCapacitorDevice, format, playEvent, 0, play) != TWaveResult::Ok) {
        state.SkipWithError("the box's devices did not open");
        return;
    }
    const std::vector<int16_t> period = StimulusFrames();
    size_t position = 0;  // in samples of `period`
    const auto fill = [&](TWaveHeader& header) {
        auto* out = reinterpret_cast<int16_t*>(header.Data);
        const size_t count = header.BufferLength / sizeof(int16_t);
        for (size_t i = 0; i < count; ++i) {
            out[i] = period[position];
            position = (position + 1) % period.size();
        }
    };
    TBuffers in(bytes), out(bytes);
    for (TWaveHeader& header : in.Headers) {
        record->PrepareHeader(header);
        record->Queue(header);
    }
    for (TWaveHeader& header : out.Headers) {
        play->PrepareHeader(header);
        fill(header);
        play->Queue(header);
    }
    record->Start();
    const auto serve = [&] {
        recordEvent.WaitFor(50);
        for (TWaveHeader& header : in.Headers) {
            if (!header.InQueue()) {
                record->Queue(header);
            }
        }
        playEvent.WaitFor(0);
        for (TWaveHeader& header : out.Headers) {
            if (!header.InQueue()) {
                fill(header);
                play->Queue(header);
            }
        }
    };
    for (auto _ : state) {
        const auto end =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(kAudioSeconds);
        while (std::chrono::steady_clock::now() < end) {
            serve();
        }
    }
    ReportShare(state, kAudioSeconds * static_cast<double>(state.iterations()));
    record->Reset();
    play->Reset();
    record->Close();
    play->Close();
}

}  // namespace

BENCHMARK(BM_WholeChain)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VirtualBoxAlone)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // The chart needs a widget application; the benchmark has no screen to show it on.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
