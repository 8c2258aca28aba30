// Two clocks on the virtual box: playback and capture apart by up to 200 ppm, every other
// imperfection of a real card on. The offset is read from the stimulus within 2 s, and with the
// compensation on the components read as they do on one clock.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "VirtualBoxRun.h"

namespace tavrin {
namespace {

using namespace e2e;

class ClockOffsetRunTest : public VirtualBoxRunTest {
  protected:
    static TVirtualBoxOptions OffsetOptions(double ppm) {
        TVirtualBoxOptions options = Options(true);
        options.ClockOffsetPpm = ppm;
        return options;
    }
    // Runs until the capture has delivered two seconds of audio since the start, however
    // slowly the box runs on this machine, and returns the estimate at that point.
    static TClockOffset AfterTwoSeconds(TRun& run) {
        const int64_t blocks = (2 * run.Rate + run.BlockLength - 1) / run.BlockLength;
        TClockOffset offset;
        EXPECT_TRUE(run.RunUntil([&] {
            offset = run.SignalIn.ClockOffset();
            return offset.Blocks >= blocks;
        }));
        run.Stop();
        return offset;
    }
};

TEST_F(ClockOffsetRunTest, TheLevelSettingsToneGivesTheOffsetWithinTwoSeconds) {
    for (const double ppm : {-200.0, -50.0, 0.0, 50.0, 200.0}) {
        TRun run(OffsetOptions(ppm), PathOf("tavrin.cal"));
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

TEST_F(ClockOffsetRunTest, AMeasuringBandGivesTheOffsetWithinTwoSeconds) {
    TRun run(OffsetOptions(-137.0), PathOf("tavrin.cal"));
    run.SignalIn.SetIntegrationTime("1");
    run.Configure(TVirtualBoxState::Capacitor);
    run.SignalIn.BeginMeasurement(false);
    run.Start(100, 20000);
    const TClockOffset offset = AfterTwoSeconds(run);
    ASSERT_TRUE(offset.Known);
    EXPECT_NEAR(offset.Ppm, -137.0, 0.5) << offset.Pairs << " pairs";
}

TEST_F(ClockOffsetRunTest, WithCompensationTwoHundredPpmReadAsOneClock) {
    for (const double ppm : {-200.0, 200.0}) {
        TRun run(OffsetOptions(ppm), PathOf("tavrin.cal"));
        run.SignalIn.EnableClockCompensation(true);
        std::vector<std::string> texts;
        Calibrate(run, texts);
        run.SignalIn.SetIntegrationTime("1");
        MeasureComponents(run, 1e-3, 0.05);
        const TClockOffset offset = run.SignalIn.ClockOffset();
        EXPECT_NEAR(offset.Ppm, ppm, 0.05) << offset.Pairs << " pairs";
    }
}

}  // namespace
}  // namespace tavrin
