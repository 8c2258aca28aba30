#pragma once

// A measuring run headless on the virtual connection box at speed, driven the way the program
// drives it: the analyser and the playback thread on one box, the level control, results
// served on the test thread. Shared by the whole-run tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
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

namespace tavrin::e2e {

inline constexpr double kSpeedUp = 16.0;
inline constexpr uint32_t kRate = 48000;
inline constexpr int32_t kBlockLength = 4096;  // FMin 20 at 48000 samples/s
inline constexpr float kFMin = 20, kFMax = 22000;

// Time as the audio sees it: the box runs kSpeedUp times faster than the wall clock, so the
// receiver's integration time is counted in the box's seconds.
class TAudioClock : public TClock {
  public:
    double NowMs() const override { return System.NowMs() * kSpeedUp; }

  private:
    TSystemClock System;
};

struct TFit {
    double R = 0, L = 0, C = 0;
};

// The analyser and the playback thread on one virtual box, with the window's amplitude control.
class TRun {
  public:
    TRun(const TVirtualBoxOptions& options, const std::string& calibrationPath,
         uint32_t rate = kRate, int32_t blockLength = kBlockLength)
        : Rate(rate),
          BlockLength(blockLength),
          Box(options),
          Ui(WallClock),
          WaveOut(Box, Ui),
          SignalIn(Box, Ui, Clock, calibrationPath) {
        WaveOut.OnStimulusChange = [this](bool playing) { SignalIn.SetCapturing(playing); };
        SignalIn.OnScaleAmplitude = [this](float factor) { ScaleAmplitude(factor); };
        SignalIn.OnData = [this](TWaveData& data) {
            if (OnResult) {
                OnResult(data);
            }
            ++Results;
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

    const uint32_t Rate;
    const int32_t BlockLength;
    TVirtualBoxService Box;
    TSystemClock WallClock;
    TAudioClock Clock;
    TUiDispatcher Ui;
    TWaveOut WaveOut;
    TSignalIn SignalIn;
    std::function<void(TWaveData&)> OnResult;
    int Results = 0;
    float Amplitude = 1.0f;
    float Low = 0, High = 0;

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

namespace fs = std::filesystem;

// A temporary folder for the files of a run, and the steps every whole run takes.
class VirtualBoxRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Folder = fs::temp_directory_path() /
                 ("tavrin-run-" +
                  std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(Folder);
        fs::create_directories(Folder);
    }
    void TearDown() override { fs::remove_all(Folder); }
    std::string PathOf(const char* name) const { return (Folder / name).string(); }

    static TVirtualBoxOptions Options(bool imperfections) {
        TVirtualBoxOptions options;
        options.SpeedUp = kSpeedUp;
        options.Lockstep = true;
        options.ChannelMismatch = imperfections;
        options.Noise = imperfections;
        options.Latency = imperfections;
        return options;
    }

    // Level setting on the test tone, then calibration over the band until it reads done.
    static void Calibrate(TRun& run, std::vector<std::string>& texts) {
        run.SignalIn.SetIntegrationTime("0.3");
        run.SignalIn.SetAveraging(false);
        const float f = static_cast<float>(std::sqrt(0.4 * kFMin * kFMax));
        run.Configure(TVirtualBoxState::Calibration);
        run.SignalIn.BeginLevelSetting(f, [&](const std::string& t) { texts.push_back(t); });
        run.Amplitude = 1.0f;
        run.Start(f, f);
        run.WaitResults(4);
        texts.push_back("");  // the end of the level setting

        run.Low = kFMin;
        run.High = kFMax;
        run.WaveOut.SetStimulus(run.BlockLength, kFMin, kFMax, run.Amplitude);
        run.SignalIn.BeginCalibration(kFMin, kFMax);
        run.SignalIn.SetAveraging(true);
        ASSERT_TRUE(run.RunUntil([&] { return texts.back() == "Press Stop\r\nto finish."; }));
        run.WaitResults(2);
        run.Stop();
    }

    // R, C and L within `tolerance` of the box's parts, their series resistances within
    // `seriesTolerance`. Returns the capacitor's fit.
    TFit MeasureComponents(TRun& run, double tolerance, double seriesTolerance) const {
        const double rref = Parts.RefOhms, cin = Parts.InputFarads;
        const TFit resistor =
            run.MeasureImpedance(TVirtualBoxState::Resistor, 100, 20000, rref, cin);
        EXPECT_LT(Relative(resistor.R, Parts.ResistorOhms), tolerance) << resistor.R;
        const TFit capacitor =
            run.MeasureImpedance(TVirtualBoxState::Capacitor, 100, 20000, rref, cin);
        EXPECT_LT(Relative(capacitor.C, Parts.CapacitorFarads), tolerance) << capacitor.C;
        EXPECT_LT(Relative(capacitor.R, Parts.CapacitorSeriesOhms), seriesTolerance) << capacitor.R;
        const TFit inductor =
            run.MeasureImpedance(TVirtualBoxState::Inductor, 100, 20000, rref, cin);
        EXPECT_LT(Relative(inductor.L, Parts.InductorHenries), tolerance) << inductor.L;
        EXPECT_LT(Relative(inductor.R, Parts.InductorSeriesOhms), seriesTolerance) << inductor.R;
        return capacitor;
    }
    static double Relative(double measured, double truth) {
        return std::fabs(measured / truth - 1.0);
    }

    fs::path Folder;
    const TVirtualBoxComponents Parts;
};

}  // namespace tavrin::e2e
