// The loudspeaker driver measured on the virtual box as a user would, with every imperfection
// of a real card on: calibration, then the driver in free air, with its added mass and in its
// closed box, each curve fitted and the moving parts worked out. The box's driver is known, so
// the results are checked against it.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "VirtualBoxRun.h"
#include "uDriverFit.h"
#include "uDriverMechanics.h"
#include "uEvaluation.h"

namespace tavrin {
namespace {

namespace fs = std::filesystem;
using testing::Relative;
using testing::TRun;

constexpr int32_t kLength = 65536;
constexpr uint32_t kRate = 48000;
constexpr float kLow = 10, kHigh = 2000;

class DriverEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Folder = fs::temp_directory_path() / "tavrin-driver-e2e";
        fs::remove_all(Folder);
        fs::create_directories(Folder);
    }
    void TearDown() override { fs::remove_all(Folder); }

    // The impedance curve of one delivered result, once the level loop has settled.
    std::vector<TTracePoint> MeasureCurve(TRun& run, TVirtualBoxState state) const {
        std::vector<TTracePoint> curve;
        run.OnResult = [&](TWaveData& data) {
            run.SignalIn.ComputeImpedance(data, false, kLow, kHigh,
                                          static_cast<float>(Parts.RefOhms),
                                          static_cast<float>(Parts.InputFarads), false, nullptr);
            const TBinRange bins =
                BandBins(kLength, kRate, kLow, kHigh, static_cast<int32_t>(data[0].size() / 2));
            curve = PointsFromBins({ComplexSlots(data[0].data()), data[0].size() / 2}, bins, kRate,
                                   kLength);
        };
        run.Configure(state);
        run.SignalIn.BeginMeasurement(false);
        run.Start(kLow, kHigh);
        run.WaitResults(4);
        curve.clear();
        run.WaitResults(1);
        run.OnResult = nullptr;
        run.Stop();
        return curve;
    }

    fs::path Folder;
    const TVirtualBoxComponents Parts;
};

TEST_F(DriverEndToEndTest, TheBoxsDriverIsMeasuredWithinTheAcceptance) {
    TVirtualBoxOptions options;
    options.SpeedUp = testing::kSpeedUp;
    options.Lockstep = true;
    TRun run(options, (Folder / "tavrin.cal").string(), kLength, kRate);
    std::vector<std::string> texts;
    run.Calibrate(kLow, kHigh, texts);
    run.SignalIn.SetIntegrationTime("1");

    const TVirtualDriver& d = Parts.Driver;
    const TDriverFit freeAir = FitDriver(MeasureCurve(run, TVirtualBoxState::DriverFreeAir));
    ASSERT_TRUE(freeAir.Ok) << freeAir.Reason;
    const TDriverParameters& p = freeAir.Parameters;
    EXPECT_LT(Relative(p.Re, d.Re), 0.002) << p.Re;
    EXPECT_LT(Relative(p.Fs, d.Fs), 0.002) << p.Fs;
    EXPECT_LT(Relative(p.Qms, d.Qms), 0.01) << p.Qms;
    EXPECT_LT(Relative(p.Qes, d.Qes), 0.01) << p.Qes;
    EXPECT_LT(Relative(p.Le, d.Le), 0.05) << p.Le;
    EXPECT_EQ(p.Model, TDriverModel::LR2);
    EXPECT_LT(freeAir.Residual, 0.001);

    // The moving parts by each second measurement.
    const struct {
        TVirtualBoxState State;
        TDriverMethod Method;
        double Amount;
    } seconds[] = {{TVirtualBoxState::DriverAddedMass, TDriverMethod::AddedMass, d.AddedMass},
                   {TVirtualBoxState::DriverClosedBox, TDriverMethod::KnownVolume, d.BoxVolume}};
    for (const auto& second : seconds) {
        const TDriverFit fit = FitDriver(MeasureCurve(run, second.State));
        const TDriverMechanics m =
            DriverMechanics(freeAir, fit, second.Method, second.Amount, d.Sd);
        ASSERT_TRUE(m.Ok) << m.Reason << " " << fit.Reason;
        EXPECT_LT(Relative(m.Mms, d.Mms), 0.02) << m.Mms;
        EXPECT_LT(Relative(m.Vas, VirtualDriverVas(d)), 0.03) << m.Vas;
    }
}

}  // namespace
}  // namespace tavrin
