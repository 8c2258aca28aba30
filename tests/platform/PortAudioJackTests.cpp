// The PortAudio backend in real time, on a JACK server of the test's own with the dummy driver:
// PortAudio's playback ports feed its capture ports. Run one test per process (ctest does), or
// all of them in file order, since the last one kills the server.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "JackTest.h"
#include "WaveBuffers.h"

namespace tavrin {
namespace {

using Clock = std::chrono::steady_clock;
using test::StereoFormat;
using test::TJackServer;
using test::TWaveBuffers;
using test::WaitUntil;

constexpr int kTimeoutMs = 5000;
constexpr int64_t kStimulusPeriod = 1000;  // frames; a device buffer holds no whole number of it

// Frame j of the looping stimulus. Neighbouring values lie 16 apart, so a value that JACK's
// float conversion moved by one step still tells where in the period it belongs.
void StimulusFrame(int64_t j, int16_t* frame) {
    const int step = static_cast<int>(j % kStimulusPeriod) + 1;
    frame[0] = static_cast<int16_t>(16 * step);
    frame[1] = static_cast<int16_t>(-16 * step - 8);
}

// The ring of buffers a device thread keeps on one device: returned buffers are handled in
// ring order and queued again, playback refilled with the stimulus continued, capture appended
// to Captured.
class TRing {
  public:
    TRing(TWaveDevice& device, bool capture, size_t count, uint32_t frames)
        : Device(device), IsCapture(capture), Buffers(count, frames * 4) {}

    void QueueAll() {
        for (size_t i = 0; i < Buffers.Size(); ++i) {
            Device.PrepareHeader(Buffers[i]);
            Refill(i);
            Device.Queue(Buffers[i]);
        }
    }
    void Pump() {
        while (!Buffers[Next].InQueue()) {
            ++Returns;
            if (IsCapture) {
                const auto samples = Buffers.Samples(Next);
                Captured.insert(Captured.end(), samples.begin(), samples.end());
            }
            Refill(Next);
            Device.Queue(Buffers[Next]);
            Next = (Next + 1) % Buffers.Size();
        }
    }
    size_t Queued() const { return Buffers.Queued(); }

    size_t Returns = 0;
    std::vector<int16_t> Captured;

  private:
    void Refill(size_t i) {
        if (IsCapture) {
            return;
        }
        auto* frames = reinterpret_cast<int16_t*>(Buffers[i].Data);
        for (uint32_t f = 0; f < Buffers[i].BufferLength / 4; ++f) {
            StimulusFrame(Played++, frames + 2 * f);
        }
    }

    TWaveDevice& Device;
    const bool IsCapture;
    TWaveBuffers Buffers;
    size_t Next = 0;
    int64_t Played = 0;
};

class PortAudioJack : public test::JackTest {
  protected:
    void Open(uint32_t frames) {
        ASSERT_EQ(PortAudio->OpenOutput(OutputId, StereoFormat(TJackServer::kRate), NotifyOut,
                                        kWaveCallbackEvent, Output),
                  TWaveResult::Ok);
        ASSERT_EQ(PortAudio->OpenInput(InputId, StereoFormat(TJackServer::kRate), NotifyIn,
                                       kWaveCallbackEvent, Input),
                  TWaveResult::Ok);
        EXPECT_TRUE(NotifyOut.WaitFor(0) && NotifyIn.WaitFor(0)) << "no open notification";
        Playback = std::make_unique<TRing>(*Output, false, 10, frames);
        Capture = std::make_unique<TRing>(*Input, true, 10, frames);
        Capture->QueueAll();
        Input->Start();
        Playback->QueueAll();
    }

    // Runs both rings for `duration`; returns the time it took.
    std::chrono::duration<double> Run(std::chrono::milliseconds duration) {
        const auto begin = Clock::now();
        while (Clock::now() - begin < duration) {
            NotifyIn.WaitFor(10);
            Capture->Pump();
            Playback->Pump();
        }
        return Clock::now() - begin;
    }

    // Both devices give every buffer back at once, then close.
    void StopAndClose() {
        Output->Reset();
        Input->Stop();
        Input->Reset();
        EXPECT_EQ(Playback->Queued() + Capture->Queued(), 0u) << "Reset left buffers queued";
        EXPECT_EQ(Output->Close(), TWaveResult::Ok);
        EXPECT_EQ(Input->Close(), TWaveResult::Ok);
        Output.reset();
        Input.reset();
    }

    TAutoEvent NotifyIn;
    TAutoEvent NotifyOut;
    std::unique_ptr<TWaveDevice> Input;
    std::unique_ptr<TWaveDevice> Output;
    std::unique_ptr<TRing> Capture;
    std::unique_ptr<TRing> Playback;
};

TEST_F(PortAudioJack, AnotherRateThanTheServersFailsToOpen) {
    std::unique_ptr<TWaveDevice> device;
    EXPECT_EQ(
        PortAudio->OpenInput(InputId, StereoFormat(96000), NotifyIn, kWaveCallbackEvent, device),
        TWaveResult::BadFormat);
    EXPECT_EQ(PortAudio->OpenOutput(OutputId, StereoFormat(192000), NotifyOut, kWaveCallbackEvent,
                                    device),
              TWaveResult::BadFormat);
    EXPECT_EQ(device, nullptr);
    EXPECT_FALSE(NotifyIn.WaitFor(0) || NotifyOut.WaitFor(0));
}

TEST_F(PortAudioJack, LoopbackRunsInRealTimeAndCapturesThePlayedPeriod) {
    constexpr uint32_t kFrames = 4096;
    Open(kFrames);
    std::string why;
    ASSERT_TRUE(Server->ConnectLoopback("Tavrin", why)) << why;
    const double seconds = Run(std::chrono::milliseconds(3000)).count();

    const double expected = seconds * TJackServer::kRate / kFrames;
    EXPECT_NEAR(static_cast<double>(Playback->Returns), expected, 0.1 * expected);
    EXPECT_NEAR(static_cast<double>(Capture->Returns), expected, 0.1 * expected);

    // From one buffer after the stimulus arrives, every captured frame is the stimulus frame
    // that follows the previous one, give or take one step of the float conversion.
    const auto& captured = Capture->Captured;
    const size_t frames = captured.size() / 2;
    size_t first = 0;
    while (first < frames && std::abs(captured[2 * first]) <= 1) {
        ++first;
    }
    first += kFrames;
    ASSERT_LT(first + kStimulusPeriod, frames) << "the stimulus did not come through";
    auto near = [&](size_t at, int64_t j) {
        int16_t frame[2];
        StimulusFrame(j, frame);
        return std::abs(captured[2 * at] - frame[0]) <= 1 &&
               std::abs(captured[2 * at + 1] - frame[1]) <= 1;
    };
    int64_t phase = 0;
    while (phase < kStimulusPeriod && !near(first, phase)) {
        ++phase;
    }
    size_t wrong = 0;
    for (size_t at = first; at < frames; ++at) {
        wrong += near(at, phase + static_cast<int64_t>(at - first)) ? 0 : 1;
    }
    EXPECT_EQ(wrong, 0u) << "of " << frames - first << " captured frames";
    StopAndClose();
}

TEST_F(PortAudioJack, TwentyRunsStartAndStopCleanly) {
    for (int run = 0; run < 20 && !HasFailure(); ++run) {
        Open(1024);
        ASSERT_TRUE(WaitUntil(NotifyIn, kTimeoutMs,
                              [&] {
                                  Capture->Pump();
                                  Playback->Pump();
                                  return Capture->Returns >= 2 && Playback->Returns >= 2;
                              }))
            << "run " << run << ": no buffers came back";
        StopAndClose();
        EXPECT_TRUE(NotifyIn.WaitFor(0) && NotifyOut.WaitFor(0)) << "no close notification";
    }
}

// Last: the server does not come back for the rest of the process.
TEST_F(PortAudioJack, ServerKilledWhileStreamingHangsNothing) {
    Open(4096);
    std::string why;
    ASSERT_TRUE(Server->ConnectLoopback("Tavrin", why)) << why;
    Run(std::chrono::milliseconds(300));
    const size_t playbackBefore = Playback->Returns;
    const size_t captureBefore = Capture->Returns;
    Server->Kill(SIGKILL);

    // Every buffer that was queued comes back, as the device threads need before they stop.
    EXPECT_TRUE(WaitUntil(NotifyIn, kTimeoutMs, [&] {
        Capture->Pump();
        Playback->Pump();
        return Capture->Returns >= captureBefore + 10 && Playback->Returns >= playbackBefore + 10;
    }));
    const auto stop = Clock::now();
    StopAndClose();
    EXPECT_LT(Clock::now() - stop, std::chrono::seconds(1));

    std::unique_ptr<TWaveDevice> device;
    EXPECT_NE(PortAudio->OpenOutput(OutputId, StereoFormat(TJackServer::kRate), NotifyOut,
                                    kWaveCallbackEvent, device),
              TWaveResult::Ok);
    EXPECT_EQ(device, nullptr);
}

}  // namespace
}  // namespace tavrin
