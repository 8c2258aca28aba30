#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <numbers>
#include <thread>
#include <vector>

#include "VirtualBoxDriver.h"
#include "uCom.h"
#include "uCombinedWaveService.h"
#include "uFFT.h"
#include "uStimulus.h"
#include "uVirtualBoxNetwork.h"
#include "uVirtualBoxService.h"

namespace tavrin {
namespace {

using testing::StereoFormat;
using testing::TDeviceDriver;
using TComplexD = std::complex<double>;

class TManualClock : public TClock {
  public:
    double NowMs() const override { return Ms.load(); }
    void Set(double ms) { Ms.store(ms); }

  private:
    std::atomic<double> Ms{0.0};
};

TVirtualBoxOptions IdealBox() {
    TVirtualBoxOptions options;
    options.ChannelMismatch = false;
    options.Noise = false;
    return options;
}

// Buffers allocated and prepared by hand, for the tests that make every device call themselves.
struct TBuffers {
    TBuffers(int32_t count, uint32_t frames) : Headers(count), Memory(count) {
        for (int32_t i = 0; i < count; ++i) {
            Memory[i].assign(4 * frames, 0);
            Headers[i].Data = Memory[i].data();
            Headers[i].BufferLength = 4 * frames;
        }
    }
    int16_t Sample(int32_t buffer, uint32_t frame, int channel) const {
        int16_t value = 0;
        std::memcpy(&value, &Memory[buffer][4 * frame + 2 * channel], 2);
        return value;
    }
    void SetFrame(int32_t buffer, uint32_t frame, int16_t left, int16_t right) {
        const int16_t pair[2] = {left, right};
        std::memcpy(&Memory[buffer][4 * frame], pair, 4);
    }
    std::vector<TWaveHeader> Headers;
    std::vector<std::vector<char>> Memory;
};

bool Done(const TWaveHeader& header) {
    const uint32_t flags = header.Flags.load(std::memory_order_acquire);
    return (flags & kHeaderDone) != 0 && (flags & kHeaderInQueue) == 0;
}

std::unique_ptr<TWaveDevice> OpenOrFail(TWaveService& service, bool input, uint32_t id,
                                        uint32_t rate, TAutoEvent& event) {
    std::unique_ptr<TWaveDevice> device;
    const TWaveResult result =
        input ? service.OpenInput(id, StereoFormat(rate), event, 0x50008, device)
              : service.OpenOutput(id, StereoFormat(rate), event, 0x5000A, device);
    EXPECT_EQ(result, TWaveResult::Ok);
    EXPECT_TRUE(event.WaitFor(1000)) << "open notification";
    return device;
}

TEST(VirtualBoxService, ListsOnePlaybackAndOneCaptureDevicePerState) {
    const TVirtualBoxService service;
    ASSERT_EQ(service.InputDeviceCount(), kVirtualBoxStateCount);
    ASSERT_EQ(service.OutputDeviceCount(), kVirtualBoxStateCount);
    const TVirtualBoxComponents parts;
    for (int32_t i = 0; i < kVirtualBoxStateCount; ++i) {
        const std::string name = VirtualBoxDeviceName(static_cast<TVirtualBoxState>(i), parts);
        EXPECT_EQ(service.InputDeviceName(i), name);
        EXPECT_EQ(service.OutputDeviceName(i), name);
    }
    EXPECT_EQ(service.InputDeviceName(kVirtualBoxStateCount), "");
    EXPECT_EQ(service.OutputDeviceName(-1), "");
}

// Three devices of a sound card that has no calibration pair of its own.
class TThreeDevices : public TWaveService {
  public:
    int32_t InputDeviceCount() const override { return 3; }
    std::string InputDeviceName(int32_t) const override { return "card"; }
    int32_t OutputDeviceCount() const override { return 3; }
    std::string OutputDeviceName(int32_t) const override { return "card"; }
    TWaveResult OpenInput(uint32_t, const TWaveFormat&, TAutoEvent&, uint32_t,
                          std::unique_ptr<TWaveDevice>&) override {
        return TWaveResult::BadDeviceId;
    }
    TWaveResult OpenOutput(uint32_t, const TWaveFormat&, TAutoEvent&, uint32_t,
                           std::unique_ptr<TWaveDevice>&) override {
        return TWaveResult::BadDeviceId;
    }
};

TEST(VirtualBoxService, OffersItsS1StateForCalibrationWhereverItIsListed) {
    const TVirtualBoxService box;
    EXPECT_EQ(box.CalibrationInputDevice(), 0);
    EXPECT_EQ(box.CalibrationOutputDevice(), 0);

    std::vector<std::unique_ptr<TWaveService>> backends;
    backends.push_back(std::make_unique<TThreeDevices>());
    backends.push_back(std::make_unique<TVirtualBoxService>());
    const TCombinedWaveService combined(std::move(backends));
    EXPECT_EQ(combined.CalibrationInputDevice(), 3);
    EXPECT_EQ(combined.CalibrationOutputDevice(), 3);
    EXPECT_EQ(combined.InputDeviceName(3),
              VirtualBoxDeviceName(TVirtualBoxState::Calibration, TVirtualBoxComponents{}));

    // A real card alone has none: the user switches the box.
    std::vector<std::unique_ptr<TWaveService>> cardOnly;
    cardOnly.push_back(std::make_unique<TThreeDevices>());
    EXPECT_EQ(TCombinedWaveService(std::move(cardOnly)).CalibrationInputDevice(), -1);
}

TEST(VirtualBoxService, OpensOnlyItsDevicesInDirectStereoPcm) {
    TVirtualBoxService service(IdealBox());
    TAutoEvent event;
    std::unique_ptr<TWaveDevice> device;
    EXPECT_EQ(service.OpenInput(kVirtualBoxStateCount, StereoFormat(48000), event, 0x50008, device),
              TWaveResult::BadDeviceId);
    std::vector<TWaveFormat> bad(5, StereoFormat(48000));
    bad[0] = StereoFormat(44100);
    bad[1].Channels = 1;
    bad[2].BitsPerSample = 8;
    bad[3].FormatTag = 3;
    bad[4].AvgBytesPerSec = 96000;
    for (const TWaveFormat& format : bad) {
        EXPECT_EQ(service.OpenOutput(0, format, event, 0x5000A, device), TWaveResult::BadFormat);
    }
    EXPECT_FALSE(device);
    EXPECT_FALSE(event.WaitFor(20)) << "a failed open signals nothing";
    for (uint32_t rate : {48000u, 96000u, 192000u}) {
        EXPECT_EQ(service.OpenInput(4, StereoFormat(rate), event, 0x50008, device),
                  TWaveResult::Ok);
        ASSERT_TRUE(device);
        EXPECT_TRUE(event.WaitFor(1000));
        EXPECT_EQ(device->Close(), TWaveResult::Ok);
        EXPECT_TRUE(event.WaitFor(1000)) << "close notification";
    }
}

TEST(VirtualBoxService, BuffersComeBackWhenTheirDurationHasPassed) {
    TManualClock clock;
    TVirtualBoxOptions options = IdealBox();
    options.Clock = &clock;
    TVirtualBoxService service(options);
    TAutoEvent playEvent;
    TAutoEvent recordEvent;
    auto play = OpenOrFail(service, false, 0, 48000, playEvent);
    auto record = OpenOrFail(service, true, 1, 48000, recordEvent);

    TBuffers out(2, 4800);  // 100 ms each
    TBuffers in(3, 480);    // 10 ms each
    EXPECT_EQ(play->Queue(out.Headers[0]), TWaveResult::Unprepared);
    for (int i = 0; i < 2; ++i) {
        play->PrepareHeader(out.Headers[i]);
    }
    for (int i = 0; i < 3; ++i) {
        record->PrepareHeader(in.Headers[i]);
        EXPECT_EQ(record->Queue(in.Headers[i]), TWaveResult::Ok);
    }
    clock.Set(1000.0);
    EXPECT_EQ(play->Queue(out.Headers[0]), TWaveResult::Ok);
    EXPECT_EQ(play->Queue(out.Headers[0]), TWaveResult::StillQueued);
    EXPECT_EQ(play->UnprepareHeader(out.Headers[0]), TWaveResult::StillQueued);
    EXPECT_EQ(play->Queue(out.Headers[1]), TWaveResult::Ok);
    EXPECT_EQ(record->Start(), TWaveResult::Ok);

    // Device calls bring the box up to the clock, so what follows does not depend on when its
    // own thread looks.
    clock.Set(1009.9);
    play->Stop();
    EXPECT_FALSE(Done(in.Headers[0]));
    clock.Set(1010.1);
    play->Stop();
    EXPECT_TRUE(Done(in.Headers[0]));
    EXPECT_EQ(in.Headers[0].BytesRecorded.load(), 1920u);
    EXPECT_TRUE(recordEvent.WaitFor(1000));

    clock.Set(1015.1);
    EXPECT_EQ(record->Stop(), TWaveResult::Ok);  // the buffer being filled comes back
    EXPECT_TRUE(Done(in.Headers[1]));
    EXPECT_EQ(in.Headers[1].BytesRecorded.load(), 244u * 4);  // 15.1 ms less the first 10
    EXPECT_FALSE(Done(in.Headers[2]));
    clock.Set(1099.9);
    play->Stop();
    EXPECT_FALSE(Done(out.Headers[0]));
    EXPECT_FALSE(Done(in.Headers[2])) << "stopped capture fills nothing";
    clock.Set(1100.1);
    play->Stop();
    EXPECT_TRUE(Done(out.Headers[0]));
    EXPECT_FALSE(Done(out.Headers[1]));
    EXPECT_TRUE(playEvent.WaitFor(1000));

    EXPECT_EQ(play->Close(), TWaveResult::StillQueued);
    EXPECT_EQ(play->Reset(), TWaveResult::Ok);  // every buffer back before it returns
    EXPECT_TRUE(Done(out.Headers[1]));
    EXPECT_EQ(play->Close(), TWaveResult::Ok);
    EXPECT_EQ(play->Queue(out.Headers[0]), TWaveResult::NotOpen);
    EXPECT_EQ(record->Reset(), TWaveResult::Ok);
    EXPECT_TRUE(Done(in.Headers[2]));
    EXPECT_EQ(in.Headers[2].BytesRecorded.load(), 0u);
    EXPECT_EQ(record->Close(), TWaveResult::Ok);
}

TEST(VirtualBoxService, DevicesMayOutliveTheServiceOrGoWhileOpen) {
    TBuffers buffers(2, 480);
    TAutoEvent event;
    std::unique_ptr<TWaveDevice> kept;
    {
        TVirtualBoxService service(IdealBox());
        auto dropped = OpenOrFail(service, true, 3, 96000, event);
        for (TWaveHeader& header : buffers.Headers) {
            dropped->PrepareHeader(header);
            dropped->Queue(header);
        }
        dropped.reset();  // its buffers come back rather than being written later
        EXPECT_TRUE(Done(buffers.Headers[0]));
        EXPECT_TRUE(Done(buffers.Headers[1]));
        kept = OpenOrFail(service, false, 3, 96000, event);
    }
    kept->PrepareHeader(buffers.Headers[0]);
    kept->Queue(buffers.Headers[0]);
    EXPECT_TRUE(event.WaitFor(5000)) << "5 ms of playback";
    EXPECT_TRUE(Done(buffers.Headers[0]));
    EXPECT_EQ(kept->Close(), TWaveResult::Ok);
}

// Plays one buffer with a click at frame 1000 while capturing from the same instant, and
// gives the frame at which each input hears it loudest.
std::array<uint32_t, 2> LoudestFrames(bool latency) {
    TManualClock clock;
    TVirtualBoxOptions options = IdealBox();
    options.Clock = &clock;
    options.Latency = latency;
    TVirtualBoxService service(options);
    TAutoEvent playEvent;
    TAutoEvent recordEvent;
    auto play = OpenOrFail(service, false, 2, 48000, playEvent);
    auto record = OpenOrFail(service, true, 0, 48000, recordEvent);
    TBuffers out(1, 4800);
    TBuffers in(1, 4800);
    out.SetFrame(0, 1000, 16384, 16384);
    play->PrepareHeader(out.Headers[0]);
    record->PrepareHeader(in.Headers[0]);
    record->Queue(in.Headers[0]);
    clock.Set(1000.0);
    play->Queue(out.Headers[0]);
    record->Start();
    clock.Set(1100.1);
    play->Stop();
    EXPECT_TRUE(Done(out.Headers[0]));
    EXPECT_EQ(Done(in.Headers[0]), latency) << "without latency the capture waits for its filters";
    clock.Set(1120.0);
    play->Stop();
    EXPECT_TRUE(Done(in.Headers[0]));
    std::array<uint32_t, 2> loudest{0, 0};
    for (int channel = 0; channel < 2; ++channel) {
        for (uint32_t i = 0; i < 4800; ++i) {
            if (in.Sample(0, i, channel) > in.Sample(0, loudest[channel], channel)) {
                loudest[channel] = i;
            }
        }
    }
    EXPECT_GT(in.Sample(0, loudest[0], 0), 15000);
    record->Reset();
    record->Close();
    play->Close();
    return loudest;
}

TEST(VirtualBoxService, TheInputsHearTheOutputAfterTheLatency) {
    EXPECT_EQ(LoudestFrames(true), (std::array<uint32_t, 2>{1384, 1384}));
    EXPECT_EQ(LoudestFrames(false), (std::array<uint32_t, 2>{1000, 1000}));
}

// Captures `frames` frames from capture device `state` with a manual clock, while playback
// device 0 plays `stimulus` (one channel, looped; empty: nothing plays).
std::vector<int16_t> CaptureByClock(TVirtualBoxOptions options, TVirtualBoxState state,
                                    uint32_t captureRate, const std::vector<int16_t>& stimulus,
                                    uint32_t frames) {
    TManualClock clock;
    options.Clock = &clock;
    TVirtualBoxService service(options);
    TAutoEvent playEvent;
    TAutoEvent recordEvent;
    auto record = OpenOrFail(service, true, static_cast<uint32_t>(state), captureRate, recordEvent);
    TBuffers in(1, frames);
    record->PrepareHeader(in.Headers[0]);
    record->Queue(in.Headers[0]);
    // Playback runs past the capture's end whatever the capture clock does.
    const uint32_t playFrames = frames + 48000;
    TBuffers out(1, playFrames);
    std::unique_ptr<TWaveDevice> play;
    clock.Set(1000.0);
    if (!stimulus.empty()) {
        play = OpenOrFail(service, false, 0, 48000, playEvent);
        for (uint32_t i = 0; i < playFrames; ++i) {
            const int16_t value = stimulus[i % stimulus.size()];
            out.SetFrame(0, i, value, value);
        }
        play->PrepareHeader(out.Headers[0]);
        play->Queue(out.Headers[0]);
    }
    record->Start();
    for (double ms = 1000.0; !Done(in.Headers[0]) && ms < 1000.0 + 2000.0 * frames / 48000;
         ms += 50.0) {
        clock.Set(ms);
        record->Start();  // started already: only brings the box up to the clock
    }
    std::vector<int16_t> samples(2 * frames);
    std::memcpy(samples.data(), in.Memory[0].data(), 4 * frames);
    EXPECT_EQ(in.Headers[0].BytesRecorded.load(), 4 * frames);
    record->Reset();
    record->Close();
    if (play) {
        play->Reset();
        play->Close();
    }
    return samples;
}

std::vector<int16_t> Tone(int32_t period, int32_t bin, double amplitude) {
    std::vector<int16_t> tone(period);
    for (int32_t i = 0; i < period; ++i) {
        tone[i] = static_cast<int16_t>(amplitude * 32767.5 *
                                       std::cos(2.0 * std::numbers::pi * bin * i / period));
    }
    return tone;
}

// The electrical-convention DFT of one channel of a block of interleaved frames at one bin.
TComplexD BinOf(const std::vector<int16_t>& frames, int channel, size_t first, int32_t length,
                int32_t bin) {
    TComplexD sum = 0.0;
    for (int32_t n = 0; n < length; ++n) {
        sum += static_cast<double>(frames[2 * (first + n) + channel]) *
               std::polar(1.0, -2.0 * std::numbers::pi * bin * n / length);
    }
    return sum;
}

double Rms(const std::vector<int16_t>& samples) {
    double sum = 0.0;
    for (int16_t s : samples) {
        sum += static_cast<double>(s) * s;
    }
    return std::sqrt(sum / samples.size());
}

TEST(VirtualBoxService, WithNothingPlayingTheInputsRecordSeededNoise) {
    const TVirtualBoxOptions noisy;
    const std::vector<int16_t> first =
        CaptureByClock(noisy, TVirtualBoxState::Resistor, 48000, {}, 24000);
    // -96 dB of full scale is about half a step of 16 bits; rounding adds its own.
    const double expected = std::sqrt(std::pow(kVirtualBoxNoiseRms * 32767.5, 2) + 1.0 / 12.0);
    EXPECT_NEAR(Rms(first), expected, 0.05 * expected);
    EXPECT_EQ(CaptureByClock(noisy, TVirtualBoxState::Resistor, 48000, {}, 24000), first);
    TVirtualBoxOptions reseeded;
    reseeded.NoiseSeed = 2;
    EXPECT_NE(CaptureByClock(reseeded, TVirtualBoxState::Resistor, 48000, {}, 24000), first);

    const std::vector<int16_t> quiet =
        CaptureByClock(IdealBox(), TVirtualBoxState::Resistor, 48000, {}, 24000);
    EXPECT_EQ(Rms(quiet), 0.0);
}

TEST(VirtualBoxService, CaptureHearsOnlyPlaybackAtItsOwnRate) {
    const std::vector<int16_t> tone = Tone(4096, 100, 0.5);
    const std::vector<int16_t> same =
        CaptureByClock(IdealBox(), TVirtualBoxState::Resistor, 48000, tone, 24000);
    EXPECT_GT(Rms(same), 1000.0);
    const std::vector<int16_t> other =
        CaptureByClock(IdealBox(), TVirtualBoxState::Resistor, 96000, tone, 24000);
    EXPECT_EQ(Rms(other), 0.0);
}

TEST(VirtualBoxService, ClockOffsetTurnsTheTonePhaseBlockByBlock) {
    constexpr int32_t kLength = 4096;
    constexpr int32_t kBin = 64;
    const std::vector<int16_t> tone = Tone(kLength, kBin, 0.5);
    for (double ppm : {0.0, 100.0, -40.0}) {
        TVirtualBoxOptions options = IdealBox();
        options.ClockOffsetPpm = ppm;
        const std::vector<int16_t> frames =
            CaptureByClock(options, TVirtualBoxState::Calibration, 48000, tone, 12 * kLength);
        const double epsilon = ppm * 1e-6;
        const double expected = -2.0 * std::numbers::pi * kBin * epsilon / (1.0 + epsilon);
        for (size_t block = 2; block + 1 < 12; ++block) {
            const TComplexD a = BinOf(frames, 0, block * kLength, kLength, kBin);
            const TComplexD b = BinOf(frames, 0, (block + 1) * kLength, kLength, kBin);
            EXPECT_NEAR(std::arg(b / a), expected, 2e-4) << ppm << " ppm, block " << block;
        }
    }
}

TEST(VirtualBoxService, AToneThroughTheResistorGivesTheExactRatio) {
    constexpr int32_t kLength = 4096;
    constexpr int32_t kBin = 100;
    constexpr uint32_t kRate = 48000;
    TVirtualBoxOptions options = IdealBox();
    options.SpeedUp = 8.0;
    options.Lockstep = true;
    TVirtualBoxService service(options);
    const std::vector<int16_t> tone = Tone(kLength, kBin, 0.9);
    size_t played = 0;
    TDeviceDriver play(service, false, 1, kRate, 10, 4096, [&](TWaveHeader& header) {
        for (uint32_t i = 0; i < header.BufferLength / 4; ++i, ++played) {
            const int16_t frame[2] = {tone[played % kLength], tone[played % kLength]};
            std::memcpy(header.Data + 4 * i, frame, 4);
        }
    });
    std::vector<int16_t> frames;
    TDeviceDriver record(service, true, 1, kRate, 10, 4096, [&](TWaveHeader& header) {
        const auto* samples = reinterpret_cast<const int16_t*>(header.Data);
        frames.insert(frames.end(), samples, samples + header.BytesRecorded.load() / 2);
    });
    ASSERT_EQ(play.OpenResult, TWaveResult::Ok);
    ASSERT_EQ(record.OpenResult, TWaveResult::Ok);
    play.Begin();
    record.Begin();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (record.Returned() < 8 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    record.Finish();
    play.Finish();
    ASSERT_GE(frames.size(), 2u * 8 * 4096);

    const TNodeVoltages v =
        BoxResponse(TVirtualBoxState::Resistor, options.Components, 1.0 * kRate * kBin / kLength);
    const TComplexD expected = v.ZxOut / v.ZxIn;
    // Any kLength frames hold one period; leave the start, where the box was still settling.
    double worst = 0.0;
    for (size_t first = 2 * kLength; first + kLength <= frames.size() / 2; first += 3000) {
        const TComplexD ratio =
            BinOf(frames, 0, first, kLength, kBin) / BinOf(frames, 1, first, kLength, kBin);
        worst = std::max(worst, std::abs(ratio / expected - 1.0));
    }
    EXPECT_LT(worst, 2e-6);
    EXPECT_EQ(play.CloseResult, TWaveResult::Ok);
    EXPECT_EQ(record.CloseResult, TWaveResult::Ok);
}

// The summed blocks of one channel as the program analyses them: 32-bit floats at 2 / 65535
// per step, transformed by RealFFT (positive exponent).
std::vector<float> SummedSpectrum(const std::vector<int16_t>& frames, int channel, size_t first,
                                  int32_t blocks, int32_t length) {
    std::vector<float> sum(length, 0.0f);
    for (int32_t b = 0; b < blocks; ++b) {
        for (int32_t n = 0; n < length; ++n) {
            sum[n] +=
                static_cast<float>(frames[2 * (first + b * length + n) + channel] * 2.0 / 65535.0);
        }
    }
    RealFFT(sum.data(), length, true);
    return sum;
}

// With every imperfection on, a calibration in the calibration state takes the inputs'
// mismatch out, and the program's formula finds each component.
TEST(VirtualBoxService, CalibratedMeasurementFindsTheComponents) {
    constexpr int32_t kLength = 4096;
    constexpr int32_t kBlocks = 40;
    constexpr uint32_t kRate = 48000;
    TVirtualBoxOptions options;
    options.SpeedUp = 8.0;
    options.Lockstep = true;
    TVirtualBoxService service(options);
    const int32_t low = FrequencyToBin(kLength, 20.0f, kRate);
    const int32_t high = FrequencyToBin(kLength, 22000.0f, kRate);
    std::vector<float> stimulus(kLength);
    ASSERT_TRUE(GenerateStimulus(stimulus.data(), kLength, low, high, 0.9));
    size_t played = 0;
    TDeviceDriver play(service, false, 4, kRate, 10, 4096, [&](TWaveHeader& header) {
        for (uint32_t i = 0; i < header.BufferLength / 4; ++i, ++played) {
            const auto value = static_cast<int16_t>(stimulus[played % kLength] * 32767.5);
            const int16_t frame[2] = {value, value};
            std::memcpy(header.Data + 4 * i, frame, 4);
        }
    });
    const TVirtualBoxState states[] = {TVirtualBoxState::Calibration, TVirtualBoxState::Capacitor,
                                       TVirtualBoxState::Inductor};
    std::vector<int16_t> frames[3];
    std::vector<std::unique_ptr<TDeviceDriver>> records;
    for (int i = 0; i < 3; ++i) {
        records.push_back(std::make_unique<TDeviceDriver>(
            service, true, static_cast<uint32_t>(states[i]), kRate, 10, 4096,
            [&frames, i](TWaveHeader& header) {
                const auto* samples = reinterpret_cast<const int16_t*>(header.Data);
                frames[i].insert(frames[i].end(), samples,
                                 samples + header.BytesRecorded.load() / 2);
            }));
    }
    play.Begin();
    for (auto& record : records) {
        record->Begin();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (records[2]->Returned() < kBlocks + 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (auto& record : records) {
        record->Finish();
    }
    play.Finish();

    std::vector<float> spectra[3][2];
    for (int i = 0; i < 3; ++i) {
        ASSERT_GE(frames[i].size(), 2u * (kBlocks + 2) * kLength);
        // The output is strictly periodic: a gap in playback would show here.
        for (size_t n = 0; n < 2u * kLength; ++n) {
            ASSERT_NEAR(frames[i][4 * kLength + n], frames[i][6 * kLength + n], 12) << n;
        }
        for (int channel = 0; channel < 2; ++channel) {
            spectra[i][channel] = SummedSpectrum(frames[i], channel, 2 * kLength, kBlocks, kLength);
        }
    }
    // Per bin, where the reference and the component are of the same order (elsewhere one of
    // the two inputs carries little of the difference and 16 bits limit what can be read), and
    // for the series L or C fitted over the band as the program fits it.
    const TVirtualBoxComponents& parts = options.Components;
    for (int i = 1; i < 3; ++i) {
        double worst = 0.0;
        double sumXW = 0.0;
        double sumWW = 0.0;
        double sumInverse = 0.0;
        double sumXInverse = 0.0;
        for (int32_t k = low; k <= high; ++k) {
            const TComplex calibration = ComplexDiv(ComplexSlots(spectra[0][0].data())[k],
                                                    ComplexSlots(spectra[0][1].data())[k]);
            const TComplex left = ComplexSlots(spectra[i][0].data())[k];
            const TComplex right = ComplexMul(ComplexSlots(spectra[i][1].data())[k], calibration);
            const TComplex q = ComplexDiv(left, right);
            const double f = 1.0 * kRate * k / kLength;
            const double w = 2.0 * std::numbers::pi * f;
            const TComplexD zref = 1.0 / TComplexD(1.0 / parts.RefOhms, w * parts.InputFarads);
            const TComplexD z = zref * (TComplexD(q.Re, -q.Im) - 1.0);
            const TComplexD truth = ComponentImpedance(states[i], parts, f);
            if (std::abs(truth) > 10.0 && std::abs(truth) < 1000.0) {
                worst = std::max(worst, std::abs(z / truth - 1.0));
            }
            sumXW += z.imag() * w;
            sumWW += w * w;
            sumInverse += 1.0 / (w * w);
            sumXInverse -= z.imag() / w;
        }
        EXPECT_LT(worst, 1e-3) << "state " << i;
        if (states[i] == TVirtualBoxState::Capacitor) {
            EXPECT_NEAR(sumInverse / sumXInverse / parts.CapacitorFarads, 1.0, 1e-4);
        } else {
            EXPECT_NEAR(sumXW / sumWW / parts.InductorHenries, 1.0, 1e-4);
        }
    }
}

}  // namespace
}  // namespace tavrin
