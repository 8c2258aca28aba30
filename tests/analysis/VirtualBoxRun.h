#pragma once

// A measuring run headless on the virtual connection box at speed, driven the way the window
// drives it: the analyser and the playback thread on one box, with the window's amplitude
// control, a level loop that settles and results served as they come.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "uClock.h"
#include "uSignalIn.h"
#include "uUiDispatcher.h"
#include "uVirtualBoxService.h"
#include "uWaveOut.h"

namespace tavrin::testing {

inline constexpr double kSpeedUp = 16.0;

inline double Relative(double measured, double truth) {
    return std::fabs(measured / truth - 1.0);
}

// Time as the audio sees it: one block's length each time the receiver looks at the clock,
// which it does once per block captured. The integration time then counts the blocks the box
// delivered, however busy the machine is, so a result always averages as many blocks.
class TAudioClock : public TClock {
  public:
    explicit TAudioClock(double blockMs) : BlockMs(blockMs) {}
    double NowMs() const override {
        return BlockMs * static_cast<double>(Reads.fetch_add(1, std::memory_order_relaxed) + 1);
    }

  private:
    const double BlockMs;
    mutable std::atomic<int64_t> Reads{0};
};

struct TFit {
    double R = 0, L = 0, C = 0;
};

// The analyser and the playback thread on one virtual box, with the window's amplitude control.
class TRun {
  public:
    TRun(const TVirtualBoxOptions& options, const std::string& calibrationPath,
         int32_t blockLength = 4096, uint32_t rate = 48000)
        : Box(options),
          Clock(1000.0 * blockLength / rate),
          Ui(WallClock),
          WaveOut(Box, Ui),
          SignalIn(Box, Ui, Clock, calibrationPath),
          BlockLength(blockLength),
          Rate(rate) {
        WaveOut.OnStimulusChange = [this](bool playing) { SignalIn.SetCapturing(playing); };
        SignalIn.OnScaleAmplitude = [this](float factor) { ScaleAmplitude(factor); };
        SignalIn.OnData = [this](TWaveData& data) {
            // A sum still growing towards a whole integration time is progress, not a result,
            // unless the test wants to see it.
            if (SignalIn.Delivery().Complete || WithProgress) {
                if (OnResult) {
                    OnResult(data);
                }
                ++Results;
            }
            SignalIn.RequestData();  // the window asks again once the chart has drawn
        };
    }
    ~TRun() { Stop(); }

    // Devices, rate and block length first, as the window's Start does: the stages size their
    // tables by the block length.
    void Configure(TVirtualBoxState state) {
        const auto device = static_cast<uint32_t>(state);
        WaveOut.SetDeviceID(device);
        SignalIn.SetDeviceID(device);
        SignalIn.SetSampleRate(Rate);
        WaveOut.SetSampleRate(Rate);
        SignalIn.SetBlockLength(BlockLength);
    }
    void Start(float low, float high) {
        Low = low;
        High = high;
        WaveOut.SetStimulus(BlockLength, low, high, Amplitude);
        ASSERT_TRUE(WaveOut.Start());
        ASSERT_TRUE(SignalIn.Start());
    }
    void Stop() {
        SignalIn.Stop();
        WaveOut.Stop();
        Ui.WaitUntil([this] { return SignalIn.Parked() && WaveOut.Parked(); }, 5000);
    }
    // Serves deliveries until `done` or the wall-clock time is out.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs = 60000) {
        return Ui.WaitUntil(done, timeoutMs);
    }
    void WaitResults(int count) {
        const int target = Results + count;
        ASSERT_TRUE(RunUntil([&] { return Results >= target; })) << "no results from the box";
    }

    // Level setting on the test tone, then calibration over the band until it reads done; the
    // stage texts go to `texts`, with an empty one at the end of the level setting. The
    // calibration is the last result, integrated over `integration` seconds.
    void Calibrate(float low, float high, std::vector<std::string>& texts,
                   const char* integration = "0.3") {
        SignalIn.SetIntegrationTime("0.3");
        SignalIn.SetAveraging(false);
        const float f = static_cast<float>(std::sqrt(0.4 * low * high));
        Configure(TVirtualBoxState::Calibration);
        SignalIn.BeginLevelSetting(f, [&](const std::string& t) { texts.push_back(t); });
        Amplitude = 1.0f;
        Start(f, f);
        WaitResults(4);
        texts.push_back("");

        Low = low;
        High = high;
        WaveOut.SetStimulus(BlockLength, low, high, Amplitude);
        SignalIn.BeginCalibration(low, high);
        SignalIn.SetAveraging(true);
        SignalIn.SetIntegrationTime(integration);
        ASSERT_TRUE(RunUntil([&] { return texts.back() == "Press Stop\r\nto finish."; }));
        WaitResults(2);
        Stop();
    }

    // Measures and fits the series model over the band; the values are read from the fitted
    // model in full precision rather than from the four-digit readout.
    TFit MeasureImpedance(TVirtualBoxState state, float low, float high, double rref, double cin) {
        std::optional<TFit> fit;
        OnResult = [&](TWaveData& data) {
            SignalIn.ComputeImpedance(data, false, low, high, static_cast<float>(rref),
                                      static_cast<float>(cin), true, nullptr);
            const int32_t k = SignalIn.FrequencyToBin(BlockLength, 1000.0f);
            const double w = 2 * std::numbers::pi * Rate * k / BlockLength;
            const TComplex model = ComplexSlots(data[1].data())[k];
            fit = TFit{model.Re, model.Im / w, -1.0 / (w * model.Im)};
        };
        Configure(state);
        SignalIn.BeginMeasurement(false);
        Start(low, high);
        WaitResults(4);  // the level loop settles within a few results
        fit.reset();
        WaitResults(1);
        OnResult = nullptr;
        Stop();
        return fit.value_or(TFit{});
    }

    TVirtualBoxService Box;
    TSystemClock WallClock;
    TAudioClock Clock;
    TUiDispatcher Ui;
    TWaveOut WaveOut;
    TSignalIn SignalIn;
    std::function<void(TWaveData&)> OnResult;
    bool WithProgress = false;  // OnResult also sees the growing sums before a whole one
    int Results = 0;
    float Amplitude = 1.0f;
    float Low = 0, High = 0;
    const int32_t BlockLength;
    const uint32_t Rate;

  private:
    void ScaleAmplitude(float factor) {
        const float proposed = Amplitude * factor;
        if (proposed > 1.0f && Amplitude == 1.0f) {
            return;
        }
        Amplitude = std::min(proposed, 1.0f);
        WaveOut.SetStimulus(BlockLength, Low, High, Amplitude);
    }
};

}  // namespace tavrin::testing
