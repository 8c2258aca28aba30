// The playback and capture threads on real sound-card devices, in real time: PortAudio on a JACK
// server of the test's own (dummy driver) whose playback ports feed its capture ports. The test
// thread plays the user-interface thread. Run one test per process (ctest does), or all of them
// in file order, since the last one kills the server.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "JackTest.h"
#include "uPageMemory.h"
#include "uUiDispatcher.h"
#include "uWaveIn.h"
#include "uWaveOut.h"

namespace tavrin {
namespace {

using Clock = std::chrono::steady_clock;
using test::TJackServer;

constexpr int kRate = TJackServer::kRate;
// One stimulus period and capture block, in frames: a device buffer holds no whole number of
// them, so buffer and block boundaries drift against each other.
constexpr int kPeriod = 3000;
constexpr int kTimeoutMs = 5000;

double SecondsSince(Clock::time_point begin) {
    return std::chrono::duration<double>(Clock::now() - begin).count();
}

// One period of random 16-bit frames, different left and right, with the extremes of the range
// at its start so that an overflow in a conversion on the way shows.
TBufferData RandomPeriod(unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> sample(-20000, 20000);
    TBufferData period(kPeriod);
    for (TStereoFrame& frame : period) {
        frame = TStereoFrame{static_cast<int16_t>(sample(generator)),
                             static_cast<int16_t>(sample(generator))};
    }
    period[0] = TStereoFrame{32767, -32768};
    period[1] = TStereoFrame{-32768, 32767};
    return period;
}

// Floats that the playback turns back into exactly these 16-bit values (a quarter step away
// from the truncation's edge).
TWaveData AsWave(const TBufferData& period) {
    auto toFloat = [](int16_t s) {
        return static_cast<float>((s + (s < 0 ? -0.25 : 0.25)) / 32767.5);
    };
    TWaveData wave;
    for (const TStereoFrame& frame : period) {
        wave[0].push_back(toFloat(frame.Left));
        wave[1].push_back(toFloat(frame.Right));
    }
    return wave;
}

// The 16-bit frames a captured float block came from.
TBufferData AsFrames(const TWaveData& block) {
    auto toSample = [](float x) { return static_cast<int16_t>(std::lround(x * 32767.5)); };
    TBufferData frames(block[0].size());
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i] = TStereoFrame{toSample(block[0][i]), toSample(block[1][i])};
    }
    return frames;
}

// How a captured block compares with the looping period when block frame i is taken for period
// frame (i + shift) mod the period's length.
struct TComparison {
    int MaxDifference = 0;
    int OffByOne = 0;  // samples one step away
};

TComparison Compare(const TBufferData& block, const TBufferData& period, size_t shift) {
    TComparison comparison;
    for (size_t i = 0; i < block.size(); ++i) {
        const TStereoFrame& expected = period[(i + shift) % period.size()];
        for (int d :
             {std::abs(block[i].Left - expected.Left), std::abs(block[i].Right - expected.Right)}) {
            comparison.MaxDifference = std::max(comparison.MaxDifference, d);
            comparison.OffByOne += d == 1 ? 1 : 0;
        }
    }
    return comparison;
}

// Where a captured block lies in the looping period: the shift that correlates best.
size_t FindShift(const TBufferData& block, const TBufferData& period) {
    size_t bestShift = 0;
    double best = -1e300;
    for (size_t shift = 0; shift < period.size(); ++shift) {
        double correlation = 0;
        for (size_t i = 0; i < block.size(); ++i) {
            correlation += double(block[i].Left) * period[(i + shift) % period.size()].Left;
        }
        if (correlation > best) {
            best = correlation;
            bestShift = shift;
        }
    }
    return bestShift;
}

// The blocks of the capture thread: counted always, kept (as 16-bit frames) while asked to.
class TBlockRecorder {
  public:
    void Receive(TWaveData& block) {
        ++Count;
        std::lock_guard<std::mutex> lock(Mutex);
        if (Keeping) {
            Kept.push_back(AsFrames(block));
        }
    }
    int64_t Blocks() const { return Count.load(); }
    void Keep(bool keep) {
        std::lock_guard<std::mutex> lock(Mutex);
        Keeping = keep;
        if (keep) {
            Kept.clear();
        }
    }
    std::vector<TBufferData> KeptBlocks() {
        std::lock_guard<std::mutex> lock(Mutex);
        return Kept;
    }

  private:
    std::atomic<int64_t> Count{0};
    std::mutex Mutex;
    bool Keeping = false;
    std::vector<TBufferData> Kept;
};

// The PortAudio service as the device threads see it, counting what they do with its devices.
class TCountingService : public TWaveService {
  public:
    struct TCounts {
        std::atomic<int64_t> Queued{0};  // buffers written or added, the first ten of a run too
        std::atomic<int> Opened{0};
        std::atomic<int> Closed{0};
    };

    explicit TCountingService(TWaveService& inner) : Inner(inner) {}

    int32_t InputDeviceCount() const override { return Inner.InputDeviceCount(); }
    std::string InputDeviceName(int32_t i) const override { return Inner.InputDeviceName(i); }
    int32_t OutputDeviceCount() const override { return Inner.OutputDeviceCount(); }
    std::string OutputDeviceName(int32_t i) const override { return Inner.OutputDeviceName(i); }
    TWaveResult OpenInput(uint32_t id, const TWaveFormat& format, TAutoEvent& notify,
                          uint32_t flags, std::unique_ptr<TWaveDevice>& device) override {
        return Counted(Inner.OpenInput(id, format, notify, flags, device), Input, device);
    }
    TWaveResult OpenOutput(uint32_t id, const TWaveFormat& format, TAutoEvent& notify,
                           uint32_t flags, std::unique_ptr<TWaveDevice>& device) override {
        return Counted(Inner.OpenOutput(id, format, notify, flags, device), Output, device);
    }

    TCounts Input;
    TCounts Output;

  private:
    class TDevice : public TWaveDevice {
      public:
        TDevice(std::unique_ptr<TWaveDevice> inner, TCounts& counts)
            : Inner(std::move(inner)), Counts(counts) {}
        TWaveResult PrepareHeader(TWaveHeader& h) override { return Inner->PrepareHeader(h); }
        TWaveResult UnprepareHeader(TWaveHeader& h) override { return Inner->UnprepareHeader(h); }
        TWaveResult Queue(TWaveHeader& header) override {
            const TWaveResult result = Inner->Queue(header);
            Counts.Queued += result == TWaveResult::Ok ? 1 : 0;
            return result;
        }
        TWaveResult Start() override { return Inner->Start(); }
        TWaveResult Stop() override { return Inner->Stop(); }
        TWaveResult Reset() override { return Inner->Reset(); }
        TWaveResult Close() override {
            const TWaveResult result = Inner->Close();
            Counts.Closed += result == TWaveResult::Ok ? 1 : 0;
            return result;
        }
        bool Failed() const override { return Inner->Failed(); }

      private:
        std::unique_ptr<TWaveDevice> Inner;
        TCounts& Counts;
    };

    static TWaveResult Counted(TWaveResult result, TCounts& counts,
                               std::unique_ptr<TWaveDevice>& device) {
        if (result == TWaveResult::Ok && device) {
            ++counts.Opened;
            device = std::make_unique<TDevice>(std::move(device), counts);
        }
        return result;
    }

    TWaveService& Inner;
};

// Ends the process with a message when a step that must be prompt hangs, rather than leaving it
// to the test runner's time limit.
class THangGuard {
  public:
    THangGuard(const char* step, std::chrono::seconds limit)
        : Guard([this, step, limit] {
              std::unique_lock<std::mutex> lock(Mutex);
              if (!Done.wait_for(lock, limit, [this] { return Finished; })) {
                  std::fprintf(stderr, "%s did not finish within %lld s\n", step,
                               static_cast<long long>(limit.count()));
                  std::_Exit(EXIT_FAILURE);
              }
          }) {}
    ~THangGuard() {
        {
            std::lock_guard<std::mutex> lock(Mutex);
            Finished = true;
        }
        Done.notify_all();
        Guard.join();
    }

  private:
    std::mutex Mutex;
    std::condition_variable Done;
    bool Finished = false;
    std::thread Guard;  // last: starts once the rest exists
};

class WaveThreadsJack : public test::JackTest {
  protected:
    void SetUp() override {
        JackTest::SetUp();
        if (IsSkipped() || HasFailure()) {
            return;
        }
        Service = std::make_unique<TCountingService>(*PortAudio);
        Playback = std::make_unique<TWaveOut>(*Service, Ui);
        Capture = std::make_unique<TWaveIn>(*Service, Ui);
        Playback->SetDeviceID(static_cast<uint32_t>(OutputId));
        Capture->SetDeviceID(static_cast<uint32_t>(InputId));
        Playback->SetSampleRate(kRate);
        Capture->SetSampleRate(kRate);
        Capture->SetBlockLength(kPeriod);
        Capture->OnBlock = [this](TWaveData& block) { Recorder.Receive(block); };
    }
    void TearDown() override {
        // Playback first: its stimulus change reaches into the capture.
        const THangGuard guard("destroying the device threads", std::chrono::seconds(10));
        Playback.reset();
        Capture.reset();
    }

    // Serves the dispatcher, as the user-interface thread's event loop would.
    void Serve(int ms) {
        Ui.WaitUntil([] { return false; }, ms);
    }
    bool Until(const std::function<bool()>& done, int ms = kTimeoutMs) {
        return Ui.WaitUntil(done, ms);
    }
    bool BothParked() const { return Playback->Parked() && Capture->Parked(); }

    // Plays `period`, captures it, and feeds the playback to the capture.
    void StartLoopback(const TBufferData& period) {
        Playback->LoadStimulus(AsWave(period));
        ASSERT_TRUE(Playback->Start());
        ASSERT_TRUE(Capture->Start());
        std::string why;
        ASSERT_TRUE(Server->ConnectLoopback("Tavrin", why)) << why;
    }
    // As the program shuts down: capture, then playback. Returns the seconds until both park.
    double StopBoth() {
        const auto begin = Clock::now();
        Capture->Stop();
        Playback->Stop();
        EXPECT_TRUE(Until([this] { return BothParked(); })) << "a device thread did not park";
        return SecondsSince(begin);
    }

    TSystemClock SystemClock;
    TUiDispatcher Ui{SystemClock};
    std::unique_ptr<TCountingService> Service;
    TBlockRecorder Recorder;
    std::unique_ptr<TWaveOut> Playback;
    std::unique_ptr<TWaveIn> Capture;
};

TEST_F(WaveThreadsJack, PlayedPeriodComesBackInRealTimeAndANewOneReplacesItWhole) {
    const TBufferData first = RandomPeriod(1);
    const TBufferData second = RandomPeriod(2);
    Playback->OnStimulusChange = [this](bool playing) { Capture->SetCapturing(playing); };
    StartLoopback(first);
    // What was captured before the loopback was connected has left the buffers by then.
    Serve(400);

    Recorder.Keep(true);
    const int64_t blocksBefore = Recorder.Blocks();
    const int64_t buffersBefore = Service->Output.Queued.load();
    const auto begin = Clock::now();
    Serve(3000);
    const double seconds = SecondsSince(begin);
    const int64_t blocks = Recorder.Blocks() - blocksBefore;
    const int64_t buffers = Service->Output.Queued.load() - buffersBefore;
    const std::vector<TBufferData> played = Recorder.KeptBlocks();

    const double bufferFrames = DeviceBufferBytes(kRate, 4, PageSize()) / 4.0;
    const double expectedBlocks = seconds * kRate / kPeriod;
    const double expectedBuffers = seconds * kRate / bufferFrames;
    EXPECT_NEAR(double(blocks), expectedBlocks, 0.1 * expectedBlocks);
    EXPECT_NEAR(double(buffers), expectedBuffers, 0.1 * expectedBuffers);

    // Every block holds the period once, all at one shift: no frame lost or repeated between.
    ASSERT_GE(played.size(), 2u) << "no block came back";
    const size_t shift = FindShift(played.front(), first);
    int maxDifference = 0;
    int offByOne = 0;
    std::vector<size_t> wrong;
    for (size_t b = 0; b < played.size(); ++b) {
        const TComparison comparison = Compare(played[b], first, shift);
        maxDifference = std::max(maxDifference, comparison.MaxDifference);
        offByOne += comparison.OffByOne;
        if (comparison.MaxDifference > 1) {
            wrong.push_back(b);
        }
    }
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " of " << played.size()
                               << " blocks differ from the period, the first is block "
                               << (wrong.empty() ? 0 : wrong.front());
    std::printf(
        "%.2f s: %lld blocks (%.1f expected), %lld playback buffers (%.1f expected); "
        "%zu blocks at shift %zu, largest difference %d LSB, %d of %zu samples 1 LSB off\n",
        seconds, static_cast<long long>(blocks), expectedBlocks, static_cast<long long>(buffers),
        expectedBuffers, played.size(), shift, maxDifference, offByOne,
        played.size() * 2 * kPeriod);

    // A new stimulus while playing: capture pauses until it plays, so a block holds the old
    // period or the new one, never a mix, and once the new one comes it stays, at one shift.
    Recorder.Keep(true);
    const int64_t blocksAtSwitch = Recorder.Blocks();
    Playback->LoadStimulus(AsWave(second));
    EXPECT_TRUE(Until([&] { return Recorder.Blocks() >= blocksAtSwitch + 6; }));
    const std::vector<TBufferData> switched = Recorder.KeptBlocks();
    size_t b = 0;
    while (b < switched.size() && Compare(switched[b], first, shift).MaxDifference <= 1) {
        ++b;
    }
    EXPECT_LE(b, 2u) << "blocks of the old period after the switch";
    ASSERT_LT(b, switched.size()) << "the new period did not come";
    const size_t newShift = FindShift(switched[b], second);
    while (b < switched.size() && Compare(switched[b], second, newShift).MaxDifference <= 1) {
        ++b;
    }
    EXPECT_EQ(b, switched.size()) << "block " << b << " after the switch holds neither period";
    StopBoth();
}

TEST_F(WaveThreadsJack, TwentyStartStopCyclesAllPark) {
    Capture->SetBlockLength(256);
    Playback->LoadStimulus(AsWave(RandomPeriod(3)));
    double longestStop = 0;
    double longestCycle = 0;
    double totalStop = 0;
    for (int cycle = 0; cycle < 20 && !HasFailure(); ++cycle) {
        const auto begin = Clock::now();
        const int64_t blocks = Recorder.Blocks();
        const int64_t written = Service->Output.Queued.load();
        ASSERT_TRUE(Playback->Start());
        ASSERT_TRUE(Capture->Start());
        // Streaming: a block was captured and a played buffer was written again.
        EXPECT_TRUE(Until([&] {
            return Recorder.Blocks() > blocks && Service->Output.Queued.load() > written + 10;
        })) << "cycle "
            << cycle << ": nothing came back";
        const double stop = StopBoth();
        longestStop = std::max(longestStop, stop);
        totalStop += stop;
        longestCycle = std::max(longestCycle, SecondsSince(begin));
    }
    EXPECT_EQ(Service->Input.Opened.load(), 20);
    EXPECT_EQ(Service->Output.Opened.load(), 20);
    EXPECT_EQ(Service->Input.Closed.load(), 20);
    EXPECT_EQ(Service->Output.Closed.load(), 20);
    std::printf("stop until both parked: %.0f ms mean, %.0f ms longest; longest cycle %.0f ms\n",
                totalStop / 20 * 1000, longestStop * 1000, longestCycle * 1000);
}

// Starts one Start after the other until one succeeds or `seconds` have passed: a server that has
// just been thawed finishes what it was asked while frozen first.
bool StartWithin(const std::function<bool()>& start, double seconds) {
    const auto begin = Clock::now();
    while (SecondsSince(begin) < seconds) {
        if (start()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// A frozen server answers nobody: opening a device must neither hang the user-interface thread
// nor pass for a run, and once the server is back a run starts again.
TEST_F(WaveThreadsJack, StartOnAFrozenServerFailsWithinTheBoundAndAgainAtOnce) {
    std::vector<std::string> errors;
    Playback->SetOnError([&](const std::string& message) { errors.push_back(message); });
    Capture->SetOnError([&](const std::string& message) { errors.push_back(message); });
    Playback->LoadStimulus(AsWave(RandomPeriod(5)));
    Server->Freeze();
    const auto first = Clock::now();
    {
        const THangGuard guard("starting on a frozen server", std::chrono::seconds(10));
        EXPECT_FALSE(Playback->Start());
    }
    const double firstSeconds = SecondsSince(first);
    const auto again = Clock::now();
    {
        const THangGuard guard("starting again on a frozen server", std::chrono::seconds(10));
        EXPECT_FALSE(Playback->Start());
        EXPECT_FALSE(Capture->Start());
    }
    const double againSeconds = SecondsSince(again);
    const std::string output = "Can not open output device " + std::to_string(OutputId);
    EXPECT_EQ(errors, (std::vector<std::string>{
                          output, output, "Can not open input device " + std::to_string(InputId)}));
    EXPECT_TRUE(BothParked());
    EXPECT_LT(firstSeconds, 4.5);
    EXPECT_LT(againSeconds, 1.0);

    Server->Thaw();
    EXPECT_TRUE(StartWithin([this] { return Playback->Start(); }, 10));
    EXPECT_TRUE(Capture->Start());
    // The stream the frozen open made is left to itself, ports and all, so the test's loopback
    // does not apply: the capture's blocks coming back are what shows the run is on.
    const int64_t blocks = Recorder.Blocks();
    EXPECT_TRUE(Until([&] { return Recorder.Blocks() > blocks + 2; })) << "nothing after the thaw";
    StopBoth();
    std::printf("frozen server: Start failed after %.0f ms, the next two after %.0f ms\n",
                firstSeconds * 1000, againSeconds * 1000);
}

// Destruction of a streaming thread and Stop within the first seconds of a freeze (before the
// devices count as lost) are bounded: a stream that does not close in time is abandoned.
TEST_F(WaveThreadsJack, DestructionAndStopRightAfterAFreezeAreBounded) {
    StartLoopback(RandomPeriod(6));
    ASSERT_TRUE(Until([&] { return Recorder.Blocks() >= 3; }));
    Server->Freeze();
    const auto destroy = Clock::now();
    {
        const THangGuard guard("destroying the capture on a frozen server",
                               std::chrono::seconds(10));
        Capture.reset();
    }
    const double destroySeconds = SecondsSince(destroy);
    const auto stop = Clock::now();
    Playback->Stop();
    EXPECT_TRUE(Until([&] { return Playback->Parked(); }, 8000));
    const double stopSeconds = SecondsSince(stop);
    EXPECT_LT(destroySeconds, 4.5);
    EXPECT_LT(stopSeconds, 4.5);
    EXPECT_LT(SecondsSince(destroy), 6.0);
    Server->Thaw();
    std::printf("frozen server: capture destroyed in %.0f ms, playback parked %.0f ms after Stop\n",
                destroySeconds * 1000, stopSeconds * 1000);
}

// A server that stays frozen while streaming loses its devices: the user hears of it once, by
// the device's name, and the run ends.
TEST_F(WaveThreadsJack, DevicesOfAServerFrozenWhileStreamingAreReportedLost) {
    std::vector<std::string> lost;
    for (TWaveControl* device :
         std::initializer_list<TWaveControl*>{Playback.get(), Capture.get()}) {
        device->SetOnDeviceLost([&](const std::string& message) {
            lost.push_back(message);
            Capture->Stop();
            Playback->Stop();
        });
    }
    StartLoopback(RandomPeriod(7));
    ASSERT_TRUE(Until([&] { return Recorder.Blocks() >= 3; }));
    Server->Freeze();
    const auto freeze = Clock::now();
    EXPECT_TRUE(Until([&] { return BothParked(); }, 10000));
    const double parkedSeconds = SecondsSince(freeze);
    ASSERT_EQ(lost.size(), 1u);
    const bool named =
        lost[0] == "Input device " + std::to_string(InputId) + " (system) stopped responding." ||
        lost[0] == "Output device " + std::to_string(OutputId) + " (system) stopped responding.";
    EXPECT_TRUE(named) << lost[0];
    Server->Thaw();
    std::printf("frozen while streaming: \"%s\", both parked %.0f ms after the freeze\n",
                lost[0].c_str(), parkedSeconds * 1000);
}

// Last: the server does not come back for the rest of the process.
TEST_F(WaveThreadsJack, KilledServerIsReportedAndHangsNeitherStopNorDestructionNorStart) {
    std::vector<std::string> lost;
    Capture->SetOnDeviceLost([&](const std::string& message) { lost.push_back(message); });
    StartLoopback(RandomPeriod(4));
    ASSERT_TRUE(Until([&] { return Recorder.Blocks() >= 3; }));
    Server->Kill(SIGKILL);

    // Playback stopped at once.
    const auto stop = Clock::now();
    Playback->Stop();
    EXPECT_TRUE(Until([&] { return Playback->Parked(); }));
    const double stopSeconds = SecondsSince(stop);

    // The capture, left streaming, tells of its lost device and ends its run by itself.
    EXPECT_TRUE(Until([&] { return Capture->Parked(); }));
    EXPECT_EQ(lost, std::vector<std::string>{"Input device " + std::to_string(InputId) +
                                             " (system) stopped responding."});
    const auto destroy = Clock::now();
    {
        const THangGuard guard("destroying the capture", std::chrono::seconds(10));
        Capture.reset();
    }
    const double destroySeconds = SecondsSince(destroy);

    // A new run cannot open the device: it fails at once, as a missing device does.
    std::string error;
    Playback->SetOnError([&](const std::string& message) { error = message; });
    const auto start = Clock::now();
    {
        const THangGuard guard("starting on a killed server", std::chrono::seconds(10));
        EXPECT_FALSE(Playback->Start());
    }
    const double startSeconds = SecondsSince(start);
    EXPECT_EQ(error, "Can not open output device " + std::to_string(Playback->DeviceID()));
    EXPECT_TRUE(Playback->Parked());

    EXPECT_LT(stopSeconds, 5.0);
    EXPECT_LT(destroySeconds, 5.0);
    std::printf(
        "after the kill: playback parked %.1f ms after Stop, capture destroyed in %.1f ms, "
        "a new Start failed in %.1f ms\n",
        stopSeconds * 1000, destroySeconds * 1000, startSeconds * 1000);
}

}  // namespace
}  // namespace tavrin
