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

#include "VirtualBoxRun.h"
#include "uNumberText.h"
#include "uSettingsFile.h"

namespace tavrin {
namespace {

namespace fs = std::filesystem;

using testing::kSpeedUp;
using testing::Relative;
using testing::TFit;
using testing::TRun;

constexpr uint32_t kRate = 48000;
constexpr int32_t kBlockLength = 4096;  // FMin 20 at 48000 samples/s
constexpr float kFMin = 20, kFMax = 22000;

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
    fs::path Folder;
    const TVirtualBoxComponents Parts;
};

TEST_F(EndToEndTest, ExactBoxGivesTheComponentsToOnePartIn10000) {
    TRun run(Options(false), PathOf("tavrin.cal"));
    std::vector<std::string> texts;
    run.Calibrate(kFMin, kFMax, texts);
    MeasureComponents(run, 1e-4, 0.01);
}

TEST_F(EndToEndTest, RealCardImperfectionsAreCalibratedAway) {
    TRun run(Options(true), PathOf("tavrin.cal"));
    std::vector<std::string> texts;
    run.Calibrate(kFMin, kFMax, texts);

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

// Runs until the capture has delivered two seconds of audio since the start, however slowly the
// box runs on this machine, and returns the clock-offset estimate at that point.
TClockOffset AfterTwoSeconds(TRun& run) {
    const int64_t blocks = (2 * run.Rate + run.BlockLength - 1) / run.BlockLength;
    TClockOffset offset;
    EXPECT_TRUE(run.RunUntil([&] {
        offset = run.SignalIn.ClockOffset();
        return offset.Blocks >= blocks;
    }));
    run.Stop();
    return offset;
}

TVirtualBoxOptions WithClockOffset(TVirtualBoxOptions options, double ppm) {
    options.ClockOffsetPpm = ppm;
    return options;
}

TEST_F(EndToEndTest, TheLevelSettingsToneGivesTheClockOffsetWithinTwoSeconds) {
    for (const double ppm : {-200.0, -50.0, 0.0, 50.0, 200.0}) {
        TRun run(WithClockOffset(Options(true), ppm), PathOf("tavrin.cal"));
        run.SignalIn.SetIntegrationTime("0.3");
        const float f = static_cast<float>(std::sqrt(0.4 * kFMin * kFMax));
        run.Configure(TVirtualBoxState::Calibration);
        run.SignalIn.BeginLevelSetting(f, nullptr);
        run.Start(f, f);
        const TClockOffset offset = AfterTwoSeconds(run);
        ASSERT_TRUE(offset.Known) << ppm;
        EXPECT_NEAR(offset.Ppm, ppm, 0.5) << offset.Pairs << " pairs";
    }
}

TEST_F(EndToEndTest, AMeasuringBandGivesTheClockOffsetWithinTwoSeconds) {
    TRun run(WithClockOffset(Options(true), -137.0), PathOf("tavrin.cal"));
    run.SignalIn.SetIntegrationTime("1");
    run.Configure(TVirtualBoxState::Capacitor);
    run.SignalIn.BeginMeasurement(false);
    run.Start(100, 20000);
    const TClockOffset offset = AfterTwoSeconds(run);
    ASSERT_TRUE(offset.Known);
    EXPECT_NEAR(offset.Ppm, -137.0, 0.5) << offset.Pairs << " pairs";
}

TEST_F(EndToEndTest, WithCompensationTwoHundredPpmReadAsOneClock) {
    for (const double ppm : {-200.0, 200.0}) {
        TRun run(WithClockOffset(Options(true), ppm), PathOf("tavrin.cal"));
        run.SignalIn.EnableClockCompensation(true);
        std::vector<std::string> texts;
        run.Calibrate(kFMin, kFMax, texts);
        run.SignalIn.SetIntegrationTime("1");
        MeasureComponents(run, 1e-3, 0.05);
        const TClockOffset offset = run.SignalIn.ClockOffset();
        EXPECT_NEAR(offset.Ppm, ppm, 0.05) << offset.Pairs << " pairs";
    }
}

TEST_F(EndToEndTest, ALongIntegrationShowsItsProgressAndNeverTheStartAsAResult) {
    // Latency on: the first block after Start holds the stimulus arriving. With ten seconds of
    // integration each delivery before the first whole one says how far the sum has come, and
    // none of them holds the start.
    {
        TRun calibration(Options(true), PathOf("tavrin.cal"));
        std::vector<std::string> texts;
        calibration.Calibrate(kFMin, kFMax, texts);
        calibration.SignalIn.SaveCalibrationTable();
    }
    // A box that has been silent until Start, as after the program starts.
    TRun run(Options(true), PathOf("tavrin.cal"));
    ASSERT_TRUE(run.SignalIn.LoadCalibration(TSettingsFile(PathOf("tavrin.ini"))));
    run.SignalIn.SetIntegrationTime("10");
    run.SignalIn.SetAveraging(true);
    run.WithProgress = true;
    std::vector<TDelivery> deliveries;
    std::vector<double> resistances;
    run.OnResult = [&](TWaveData& data) {
        deliveries.push_back(run.SignalIn.Delivery());
        std::optional<TSeriesFit> fit =
            run.SignalIn.ComputeImpedance(data, false, 100, 20000, Parts.RefOhms,
                                          static_cast<float>(Parts.InputFarads), true, nullptr);
        resistances.push_back(fit ? fit->Resistance : 0.0);
    };
    run.Configure(TVirtualBoxState::Resistor);
    run.SignalIn.BeginMeasurement(false);
    run.Start(100, 20000);
    ASSERT_TRUE(run.RunUntil([&] { return !deliveries.empty() && deliveries.back().Complete; }));
    run.Stop();
    const int32_t wanted = (10 * kRate + kBlockLength - 1) / kBlockLength;
    ASSERT_GE(deliveries.size(), 2u);
    EXPECT_FALSE(deliveries.front().Complete);
    EXPECT_EQ(deliveries.front().Wanted, wanted);
    EXPECT_GE(deliveries.back().Blocks, wanted);
    for (size_t i = 0; i < deliveries.size(); ++i) {
        EXPECT_LT(Relative(resistances[i], Parts.ResistorOhms), 1e-3)
            << resistances[i] << " at delivery " << i << ", " << deliveries[i].Blocks << " of "
            << deliveries[i].Wanted << " blocks";
    }
}

}  // namespace
}  // namespace tavrin
