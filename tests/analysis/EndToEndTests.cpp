// A whole measuring run headless, on the virtual connection box at speed, driven the way the
// window drives it: level setting, calibration, then measurements checked against the true
// components of the box.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>

#include "uBandModels.h"
#include "uClock.h"
#include "uFixtureCompensation.h"
#include "uNumberText.h"
#include "uSettingsFile.h"
#include "uSignalIn.h"
#include "uSpotReadout.h"
#include "uUiDispatcher.h"
#include "uVirtualBoxService.h"
#include "uWaveOut.h"

namespace tavrin {
namespace {

namespace fs = std::filesystem;

constexpr double kSpeedUp = 16.0;
constexpr uint32_t kRate = 48000;
constexpr int32_t kBlockLength = 4096;  // FMin 20 at 48000 samples/s
constexpr float kFMin = 20, kFMax = 22000;

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
    TRun(const TVirtualBoxOptions& options, const std::string& calibrationPath)
        : Box(options), Ui(WallClock), WaveOut(Box, Ui), SignalIn(Box, Ui, Clock, calibrationPath) {
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
        SignalIn.SetSampleRate(kRate);
        WaveOut.SetSampleRate(kRate);
        SignalIn.SetBlockLength(kBlockLength);
    }
    void Start(float low, float high) {
        Low = low;
        High = high;
        WaveOut.SetStimulus(kBlockLength, low, high, Amplitude);
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
            const int32_t k = SignalIn.FrequencyToBin(kBlockLength, 1000.0f);
            const double w = 2 * std::numbers::pi * kRate * k / kBlockLength;
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
        WaveOut.SetStimulus(kBlockLength, Low, High, Amplitude);
    }
};

class EndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Folder = fs::temp_directory_path() /
                 ("tavrin-e2e-" +
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

    // Level setting on the test tone, then calibration over the band until it reads done; its
    // last result, integrated over `integration` seconds, is the calibration.
    static void Calibrate(TRun& run, std::vector<std::string>& texts,
                          const char* integration = "0.3") {
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
        run.WaveOut.SetStimulus(kBlockLength, kFMin, kFMax, run.Amplitude);
        run.SignalIn.BeginCalibration(kFMin, kFMax);
        run.SignalIn.SetAveraging(true);
        run.SignalIn.SetIntegrationTime(integration);
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

TEST_F(EndToEndTest, ExactBoxGivesTheComponentsToOnePartIn10000) {
    TRun run(Options(false), PathOf("tavrin.cal"));
    std::vector<std::string> texts;
    Calibrate(run, texts);
    MeasureComponents(run, 1e-4, 0.01);
}

TEST_F(EndToEndTest, RealCardImperfectionsAreCalibratedAway) {
    TRun run(Options(true), PathOf("tavrin.cal"));
    std::vector<std::string> texts;
    Calibrate(run, texts);

    // Level setting: clean channels, one clock, peaks learned. The last text of the stage.
    const auto end = std::find(texts.begin(), texts.end(), "");
    ASSERT_GE(end - texts.begin(), 2);
    const std::string level = *(end - 1);
    ASSERT_EQ(level.rfind("Quality: ", 0), 0u) << level;
    const size_t space = level.find(' ', 9);
    EXPECT_GT(*ParseDecimal(level.substr(9, space - 9)), 40.0) << level;
    EXPECT_GT(*ParseDecimal(level.substr(space + 1, level.find('\r') - space - 1)), 40.0) << level;
    EXPECT_LT(std::fabs(*ParseDecimal(level.substr(level.find("Async: ") + 7))), 0.005) << level;
    EXPECT_GT(run.SignalIn.SaturationLevel[0], 0.5f);
    EXPECT_GT(run.SignalIn.SaturationLevel[1], 0.5f);

    run.SignalIn.SetIntegrationTime("1");
    const double rref = Parts.RefOhms, cin = Parts.InputFarads;
    const TFit capacitor = MeasureComponents(run, 1e-3, 0.05);

    // The two-port's ratio against the analytic low-pass, loaded by R ref and C in.
    double worstDb = 0, worstDegrees = 0;
    run.OnResult = [&](TWaveData& data) {
        run.SignalIn.ComputeTransfer(data, false, 100, 20000);
        worstDb = worstDegrees = 0;
        for (int32_t k = run.SignalIn.FrequencyToBin(kBlockLength, 100);
             k <= run.SignalIn.FrequencyToBin(kBlockLength, 20000); ++k) {
            const TNodeVoltages v = BoxResponse(TVirtualBoxState::LowPass, Parts,
                                                static_cast<double>(kRate) * k / kBlockLength);
            const std::complex<double> truth = v.ZxIn / v.ZxOut;
            const TComplex slot = ComplexSlots(data[0].data())[k];
            // The transfer ratio is the transform's: its phase has the opposite sign.
            const std::complex<double> measured = std::conj(std::complex<double>(slot.Re, slot.Im));
            worstDb = std::max(worstDb, std::fabs(20 * std::log10(std::abs(measured / truth))));
            worstDegrees = std::max(worstDegrees,
                                    std::fabs(std::arg(measured / truth)) * 180 / std::numbers::pi);
        }
    };
    run.Configure(TVirtualBoxState::LowPass);
    run.SignalIn.BeginMeasurement(false);
    run.Start(100, 20000);
    run.WaitResults(5);
    run.Stop();
    EXPECT_LT(worstDb, 0.1);
    EXPECT_LT(worstDegrees, 0.5);

    // The calibration survives a save and a reload into a new analyser.
    TSettingsFile settings(PathOf("tavrin.ini"));
    run.SignalIn.SaveCalibration(settings);
    TRun reloaded(Options(true), PathOf("tavrin.cal"));
    ASSERT_TRUE(reloaded.SignalIn.LoadCalibration(settings));
    reloaded.SignalIn.SetIntegrationTime("1");
    const TFit again =
        reloaded.MeasureImpedance(TVirtualBoxState::Capacitor, 100, 20000, rref, cin);
    EXPECT_LT(Relative(again.C, capacitor.C), 2e-4) << again.C << " against " << capacitor.C;
}

TEST_F(EndToEndTest, WithoutCalibrationTheChannelMismatchSpoilsTheResult) {
    TRun run(Options(true), PathOf("tavrin.cal"));
    run.SignalIn.SetIntegrationTime("1");
    const TFit resistor = run.MeasureImpedance(TVirtualBoxState::Resistor, 100, 20000,
                                               Parts.RefOhms, Parts.InputFarads);
    EXPECT_GT(Relative(resistor.R, Parts.ResistorOhms), 0.01) << resistor.R;
}

TEST_F(EndToEndTest, AClockOffsetShowsInTheAsynchronyFigure) {
    auto asynchrony = [&](double ppm) {
        TVirtualBoxOptions options = Options(false);
        options.ClockOffsetPpm = ppm;
        TRun run(options, PathOf("tavrin.cal"));
        std::vector<std::string> texts;
        run.SignalIn.SetIntegrationTime("0");
        const float f = static_cast<float>(std::sqrt(0.4 * kFMin * kFMax));
        run.Configure(TVirtualBoxState::Calibration);
        run.SignalIn.BeginLevelSetting(f, [&](const std::string& t) { texts.push_back(t); });
        run.Start(f, f);
        run.WaitResults(4);
        run.Stop();
        return *ParseDecimal(texts.back().substr(texts.back().find("Async: ") + 7));
    };
    EXPECT_LT(std::fabs(asynchrony(0)), 0.002);
    // 200 ppm at bin 36 turns the tone by about 0.045 rad per block on each channel.
    EXPECT_GT(std::fabs(asynchrony(200)), 0.02);
}

// The calibrated spectra of `results` results of `state` over low..high, summed, once the
// level loop has settled.
struct TSpectraSum {
    std::vector<TComplex> Driving, Reference;
};
TSpectraSum CaptureSpectra(TRun& run, TVirtualBoxState state, float low, float high, int results) {
    TSpectraSum sum{std::vector<TComplex>(kBlockLength / 2),
                    std::vector<TComplex>(kBlockLength / 2)};
    bool keep = false;
    run.OnResult = [&](TWaveData& data) {
        if (!keep) {
            return;
        }
        for (int32_t k = 0; k < kBlockLength / 2; ++k) {
            const TComplex l = ComplexSlots(data[0].data())[k];
            const TComplex r = ComplexSlots(data[1].data())[k];
            sum.Driving[k] = {sum.Driving[k].Re + l.Re, sum.Driving[k].Im + l.Im};
            sum.Reference[k] = {sum.Reference[k].Re + r.Re, sum.Reference[k].Im + r.Im};
        }
    };
    run.Configure(state);
    run.SignalIn.BeginMeasurement(false);
    run.Start(low, high);
    run.WaitResults(4);
    keep = true;
    run.WaitResults(results);
    keep = false;
    run.OnResult = nullptr;
    run.Stop();
    return sum;
}

// A narrower band than the others: each tone gets more of the stimulus, and a single bin's
// reading is steadier.
class BenchEndToEndTest : public EndToEndTest {
  protected:
    static constexpr float kLow = 500, kHigh = 5000;
    static constexpr int kResults = 6;
    const TBinRange Band = BandBins(kBlockLength, kRate, kLow, kHigh, kBlockLength / 2);
    const float Step = AngularStep(kRate, kBlockLength);

    // Captures the fixture's parts as the compensation keeps them, read with `arm`.
    void CaptureFixture(TRun& run, const TInputArm& arm, bool withLoad) {
        std::vector<std::pair<TFixturePart, TVirtualBoxState>> parts{
            {TFixturePart::Open, TVirtualBoxState::Open},
            {TFixturePart::Short, TVirtualBoxState::Short}};
        if (withLoad) {
            parts.emplace_back(TFixturePart::Load, TVirtualBoxState::Load);
        }
        for (const auto& [part, state] : parts) {
            const TSpectraSum s = CaptureSpectra(run, state, kLow, kHigh, kResults);
            TMeasuringSetup setup;
            setup.SampleRate = kRate;
            setup.BlockLength = kBlockLength;
            setup.FMin = kLow;
            setup.FMax = kHigh;
            StoreFixtureCapture(
                Compensation, part, setup, Band,
                {"2024-06-01 10:00:00 UTC", arm, part == TFixturePart::Load ? Parts.LoadOhms : 0.0,
                 FixtureReading(part, s.Driving, s.Reference, Band, Step, arm)});
        }
    }
    // Zx of the spectra read with `arm`, R in and the compensation applied.
    std::vector<TComplex> Readings(const TSpectraSum& s, const TInputArm& arm) const {
        std::vector<TComplex> zx(kBlockLength / 2);
        ComputeZx(s.Driving, s.Reference, zx, Band, Step, EvaluationArm(arm));
        ApplyInputResistance(zx, Band, Step, arm);
        CompensateZx(zx, Band, Step, Compensation, arm);
        return zx;
    }

    TFixtureCompensation Compensation;
};

// The leads' 50 mOhm, a quarter of the capacitor's ESR, and their stray, taken out by open and
// short captures of the leads themselves.
TEST_F(BenchEndToEndTest, OpenAndShortTakeTheTestLeadsOut) {
    TVirtualBoxOptions options = Options(true);
    options.Faults.TestLeads = true;
    TRun run(options, PathOf("tavrin.cal"));
    std::vector<std::string> texts;
    Calibrate(run, texts, "3");
    run.SignalIn.SetIntegrationTime("1");
    const TInputArm arm{Parts.RefOhms, Parts.InputFarads, kNoInputResistance};
    const TSpectraSum capacitor =
        CaptureSpectra(run, TVirtualBoxState::Capacitor, kLow, kHigh, kResults);
    const std::vector<TComplex> raw = Readings(capacitor, arm);
    EXPECT_GT(SpotReadoutAt(raw, Band, kBlockLength, kRate, 1000, TModelChoice::Automatic).Rs,
              0.24);

    CaptureFixture(run, arm, false);
    const std::vector<TComplex> zx = Readings(capacitor, arm);
    const TSpotReadout spot =
        SpotReadoutAt(zx, Band, kBlockLength, kRate, 1000, TModelChoice::Automatic);
    EXPECT_EQ(spot.Model, TCircuitModel::Series);
    EXPECT_NEAR(spot.Rs, Parts.CapacitorSeriesOhms, 0.002);
    EXPECT_LT(Relative(spot.Cs, Parts.CapacitorFarads), 1e-4) << spot.Cs;
    const TBandModels models = FitBandModels(zx, Band, Step);
    ASSERT_NE(models.BestFit(), nullptr);
    EXPECT_EQ(models.BestFit()->Kind, TBandModelKind::SeriesRLC);
    EXPECT_LT(models.BestFit()->Inductance, 1e-9);  // no more than noise may leave
    EXPECT_LT(Relative(models.BestFit()->Capacitance, Parts.CapacitorFarads), 1e-4);
    EXPECT_NEAR(models.BestFit()->Resistance, Parts.CapacitorSeriesOhms, 0.002);
}

// 47 kOhm on each input beside R ref 10 kOhm makes 100 kOhm read 21 % high. The load capture
// tells the inputs' figures; with them in the arm, open and short alone give the part.
TEST_F(BenchEndToEndTest, TheLoadCaptureTellsTheInputs) {
    TVirtualBoxOptions options = Options(true);
    options.Faults = {true, true};
    options.Components.RefOhms = 10e3;
    TRun run(options, PathOf("tavrin.cal"));
    std::vector<std::string> texts;
    Calibrate(run, texts);
    run.SignalIn.SetIntegrationTime("1");
    const TInputArm typed{10e3, 0, kNoInputResistance};
    CaptureFixture(run, typed, true);
    const TInputFigures figures = MeasureInputFigures(Compensation);
    ASSERT_TRUE(figures.Known) << figures.Reason;
    EXPECT_NEAR(figures.Cin, Parts.InputFarads, 1e-12);
    EXPECT_LT(Relative(figures.Rin, Parts.InputOhms), 0.005) << figures.Rin;

    Compensation.Part(TFixturePart::Load) = {};
    const TSpectraSum part =
        CaptureSpectra(run, TVirtualBoxState::HighResistor, kLow, kHigh, kResults);
    const std::vector<TComplex> wrong = Readings(part, typed);
    EXPECT_GT(SpotReadoutAt(wrong, Band, kBlockLength, kRate, 1000, TModelChoice::Parallel).Rp,
              1.2 * Parts.HighOhms);
    const std::vector<TComplex> zx = Readings(part, {10e3, figures.Cin, figures.Rin});
    for (const float f : {500.0f, 1000.0f, 5000.0f}) {
        const TSpotReadout spot =
            SpotReadoutAt(zx, Band, kBlockLength, kRate, f, TModelChoice::Automatic);
        EXPECT_EQ(spot.Model, TCircuitModel::Parallel);
        EXPECT_LT(Relative(spot.Rp, Parts.HighOhms), 1e-3) << spot.Rp << " at " << f;
    }
}

}  // namespace
}  // namespace tavrin
