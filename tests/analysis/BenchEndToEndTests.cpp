// The bench-meter readings measured as a user would on the virtual box at speed, with the
// card's imperfections on: the test leads taken out by open and short captures, and the
// inputs' resistance found by a load capture.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "VirtualBoxRun.h"
#include "uBandModels.h"
#include "uFixtureCompensation.h"
#include "uSpotReadout.h"

namespace tavrin {
namespace {

using testing::Relative;
using testing::TRun;

constexpr uint32_t kRate = 48000;
constexpr int32_t kBlockLength = 4096;  // FMin 20 at 48000 samples/s
constexpr float kFMin = 20, kFMax = 22000;

TVirtualBoxOptions ImperfectBox() {
    TVirtualBoxOptions options;
    options.SpeedUp = testing::kSpeedUp;
    options.Lockstep = true;
    return options;
}

// A folder of the test's own for the calibration file; the process's number keeps two runs of
// the suite at once (other checkouts) apart.
class TScratch {
  public:
    TScratch()
        : Root(std::filesystem::temp_directory_path() /
               ("tavrin-bench-" + std::to_string(::getpid()) + "-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()))) {
        std::filesystem::remove_all(Root);
        std::filesystem::create_directories(Root);
    }
    ~TScratch() { std::filesystem::remove_all(Root); }
    std::string Path(const char* name) const { return (Root / name).string(); }

  private:
    std::filesystem::path Root;
};

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
class BenchEndToEndTest : public ::testing::Test {
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
    const TVirtualBoxComponents Parts;
    TScratch Folder;
};

// The leads' 50 mOhm, a quarter of the capacitor's ESR, and their stray, taken out by open and
// short captures of the leads themselves.
TEST_F(BenchEndToEndTest, OpenAndShortTakeTheTestLeadsOut) {
    TVirtualBoxOptions options = ImperfectBox();
    options.Faults.TestLeads = true;
    TRun run(options, Folder.Path("tavrin.cal"));
    std::vector<std::string> texts;
    run.Calibrate(kFMin, kFMax, texts, "3");
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
    // The leads' 300 nH gone: what noise leaves is a few nH at most (ωL is under a milliohm
    // beside the capacitor's 1.7 Ohm at the top of the band), depending on the blocks summed.
    EXPECT_LT(models.BestFit()->Inductance, 20e-9);
    EXPECT_LT(Relative(models.BestFit()->Capacitance, Parts.CapacitorFarads), 1e-4);
    EXPECT_NEAR(models.BestFit()->Resistance, Parts.CapacitorSeriesOhms, 0.002);
}

// 47 kOhm on each input beside R ref 10 kOhm makes 100 kOhm read 21 % high. The load capture
// tells the inputs' figures; with them in the arm, open and short alone give the part.
TEST_F(BenchEndToEndTest, TheLoadCaptureTellsTheInputs) {
    TVirtualBoxOptions options = ImperfectBox();
    options.Faults = {true, true};
    options.Components.RefOhms = 10e3;
    TRun run(options, Folder.Path("tavrin.cal"));
    std::vector<std::string> texts;
    run.Calibrate(kFMin, kFMax, texts);
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
