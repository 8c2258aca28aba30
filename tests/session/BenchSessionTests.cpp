// The bench-meter readings measured end to end as a user would: the virtual box with a real
// card's imperfections and test leads on its terminals, a calibration, open and short (and a
// load) captured by the session, then the parts of the box read at a test frequency and over
// the band.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>

#include "SessionTestKit.h"
#include "uCompensationFile.h"
#include "uNumberText.h"
#include "uSettingsFile.h"

namespace tavrin::testing {
namespace {

constexpr double kPi = std::numbers::pi;
// Minutes of audio at 192000 samples/s, under a sanitizer on a busy machine.
constexpr int kLongWaitMs = 400000;

int32_t Device(TVirtualBoxState state) {
    return static_cast<int32_t>(state);
}

TVirtualBoxOptions LeadsBox(double refOhms, bool inputFault = false) {
    TVirtualBoxOptions options = FastBox();
    options.Components.RefOhms = refOhms;
    options.Faults.TestLeads = true;
    options.Faults.InputResistance = inputFault;
    return options;
}

class BenchSessionTest : public ::testing::Test {
  protected:
    // Rate and band of the setup, a calibration integrated over `seconds`, then R ref and C in
    // as the box has them and the measuring mode. The session counts its integration time in
    // captured audio, so a busy machine makes no reading noisier.
    void Prepare(TSessionRig& rig, int rate, const char* fMin, const char* fMax,
                 const char* seconds, double refOhms) {
        TMeasurementSession& session = rig.Session();
        ASSERT_TRUE(session.WaveSetup().SelectRate(rate));
        ASSERT_TRUE(session.WaveSetup().SetMinText(fMin));
        ASSERT_TRUE(session.WaveSetup().SetMaxText(fMax));
        ASSERT_TRUE(session.SetIntegrationTime(seconds));
        rig.Calibrate();
        session.OnSaturation = [this](bool saturated) { Saturated = saturated; };
        ASSERT_TRUE(session.Rref().Apply(FormatGeneral(refOhms, 6)));
        ASSERT_TRUE(session.SetCinText("100"));
        session.SelectMode(mdZGraphLCR);
        ASSERT_TRUE(session.SetIntegrationTime("2.4"));
    }

    // A capture of `part` from the box in `state`, as the window's buttons run it.
    void Capture(TSessionRig& rig, TFixturePart part, TVirtualBoxState state, double ohms = 0,
                 int timeoutMs = 60000) {
        TMeasurementSession& session = rig.Session();
        bool done = false;
        session.Bench().OnCaptureDone = [&](TFixturePart stored) { done = stored == part; };
        rig.SelectDevices(Device(state));
        ASSERT_TRUE(session.StartCapture(part, ohms));
        ASSERT_TRUE(rig.RunUntil([&] { return done; }, timeoutMs)) << FixturePartName(part);
        session.Stop();
        session.Bench().OnCaptureDone = nullptr;
    }

    // The readings of the last of `results` results of the part in `state`, the level loop
    // settled: the last result saturated nowhere (the window would say so).
    TBenchReadout Measure(TSessionRig& rig, TVirtualBoxState state, int results = 4,
                          int timeoutMs = 30000) {
        rig.SelectDevices(Device(state));
        rig.LastBench.reset();
        EXPECT_TRUE(rig.Session().Start());
        EXPECT_TRUE(rig.WaitResults(results, timeoutMs));
        for (int more = 0; Saturated && more < 4; ++more) {
            EXPECT_TRUE(rig.WaitResults(1, timeoutMs));
        }
        EXPECT_FALSE(Saturated);
        rig.Session().Stop();
        EXPECT_TRUE(rig.LastBench.has_value());
        return rig.LastBench.value_or(TBenchReadout{});
    }

    // The readout at `frequency` of the last result's Zx.
    static TSpotReadout SpotAt(const TSessionRig& rig, float frequency) {
        return SpotReadoutAt(rig.LastZx, rig.LastBins, rig.Session().BlockLength(),
                             static_cast<uint32_t>(rig.Session().WaveSetup().SampleRate()),
                             frequency, TModelChoice::Series);
    }

    const TVirtualBoxComponents Parts;
    TScratchFolder Folder;
    bool Saturated = false;
};

// 4.7 uF + 0.2 ohm read at 1 kHz through leads of 50 mOhm + 300 nH: a quarter of its ESR is
// the leads' until open and short are captured. A narrow band around the test frequency gives
// each tone the whole stimulus, as a bench meter measures at one frequency.
TEST_F(BenchSessionTest, CapacitorAtOneKilohertzThroughTestLeads) {
    TSessionRig rig(Folder, LeadsBox(100), true);
    // D to 1e-5 is ESR to a third of a milliohm: the calibration must be that good too.
    ASSERT_NO_FATAL_FAILURE(Prepare(rig, 48000, "20", "22000", "24", 100));
    TMeasurementSession& session = rig.Session();
    session.SetRange(900, 1100);
    const TBenchReadout raw = Measure(rig, TVirtualBoxState::Capacitor);
    EXPECT_NEAR(raw.Spot.Rs, 0.25, 0.003) << "the leads add their 50 mOhm";

    // D to 1e-5 is the short's resistance and the reading's to a third of a milliohm: at 2.4 s
    // their noise put D outside it once in sixteen runs; four times as long halves it.
    ASSERT_TRUE(session.SetIntegrationTime("9.6"));
    ASSERT_NO_FATAL_FAILURE(Capture(rig, TFixturePart::Open, TVirtualBoxState::Open));
    ASSERT_NO_FATAL_FAILURE(Capture(rig, TFixturePart::Short, TVirtualBoxState::Short));
    const TBenchReadout readout = Measure(rig, TVirtualBoxState::Capacitor, 2);
    const TSpotReadout& spot = readout.Spot;
    ASSERT_TRUE(spot.Valid);
    EXPECT_TRUE(readout.Compensated) << readout.CompensationMark;
    EXPECT_EQ(spot.Model, TCircuitModel::Series);
    EXPECT_TRUE(spot.Automatic);
    const double w = 2 * kPi * spot.Frequency;
    EXPECT_NEAR(spot.Cs / Parts.CapacitorFarads, 1.0, 1e-4) << spot.Cs;
    EXPECT_NEAR(spot.D, w * Parts.CapacitorFarads * Parts.CapacitorSeriesOhms, 1e-5);
    EXPECT_NEAR(spot.Rs, Parts.CapacitorSeriesOhms, 0.002);
    EXPECT_TRUE(rig.LCRText.starts_with("Cx= "));  // the LCR readout goes on beside it
    EXPECT_TRUE(rig.Errors.empty());
}

// 1 kOhm over the band up to 20 kHz, the leads and their stray taken out.
TEST_F(BenchSessionTest, OneKilohmUpToTwentyKilohertz) {
    TSessionRig rig(Folder, LeadsBox(100), true);
    ASSERT_NO_FATAL_FAILURE(Prepare(rig, 48000, "20", "22000", "8", 100));
    ASSERT_NO_FATAL_FAILURE(Capture(rig, TFixturePart::Open, TVirtualBoxState::Open));
    ASSERT_NO_FATAL_FAILURE(Capture(rig, TFixturePart::Short, TVirtualBoxState::Short));
    Measure(rig, TVirtualBoxState::Load, 3);
    for (const float f : {100.0f, 1000.0f, 10000.0f, 20000.0f}) {
        const TSpotReadout spot = SpotAt(rig, f);
        ASSERT_TRUE(spot.Valid) << f;
        EXPECT_NEAR(spot.Rs / Parts.LoadOhms, 1.0, 1e-3) << f << " Hz";
        EXPECT_NEAR(spot.Xs / Parts.LoadOhms, 0.0, 1e-3) << f << " Hz";
    }
}

// 10 nF || 20 kOhm and 100 kOhm against R ref 10 kOhm, each input loaded by 47 kOhm: the load
// capture tells C in and R in, with which the parts read right.
TEST_F(BenchSessionTest, ParallelPartsAndTheInputsResistance) {
    TSessionRig rig(Folder, LeadsBox(10e3, true), true);
    ASSERT_NO_FATAL_FAILURE(Prepare(rig, 48000, "20", "22000", "8", 10e3));
    TMeasurementSession& session = rig.Session();
    session.SetRange(100, 20000);
    ASSERT_NO_FATAL_FAILURE(Capture(rig, TFixturePart::Open, TVirtualBoxState::Open));
    ASSERT_NO_FATAL_FAILURE(Capture(rig, TFixturePart::Short, TVirtualBoxState::Short));
    ASSERT_NO_FATAL_FAILURE(
        Capture(rig, TFixturePart::Load, TVirtualBoxState::Load, Parts.LoadOhms));
    const TInputFigures figures = session.Bench().InputFigures();
    ASSERT_TRUE(figures.Known) << figures.Reason;
    EXPECT_NEAR(figures.Cin, Parts.InputFarads, 1e-12);
    EXPECT_NEAR(figures.Rin / Parts.InputOhms, 1.0, 0.01);
    ASSERT_TRUE(session.UseMeasuredInputs());
    EXPECT_NEAR(std::stod(session.CinText()), 100.0, 1.0);
    EXPECT_TRUE(std::isfinite(session.Bench().Rin()));

    const TBenchReadout high = Measure(rig, TVirtualBoxState::HighResistor);
    EXPECT_EQ(high.Spot.Model, TCircuitModel::Parallel);
    EXPECT_NEAR(high.Spot.Rp / Parts.HighOhms, 1.0, 1e-3) << high.Spot.Rp;

    const TBenchReadout rc = Measure(rig, TVirtualBoxState::ParallelRC);
    EXPECT_EQ(rc.Spot.Model, TCircuitModel::Parallel);
    EXPECT_NEAR(rc.Spot.Cp / Parts.ParallelFarads, 1.0, 1e-3) << rc.Spot.Cp;
    EXPECT_NEAR(rc.Spot.Rp / Parts.ParallelOhms, 1.0, 1e-3) << rc.Spot.Rp;
    const TBandModelFit* best = rc.Models.BestFit();
    ASSERT_NE(best, nullptr);
    EXPECT_EQ(best->Kind, TBandModelKind::ParallelRC);
    EXPECT_NEAR(best->Capacitance / Parts.ParallelFarads, 1.0, 1e-3);
    EXPECT_NEAR(best->Resistance / Parts.ParallelOhms, 1.0, 1e-3);
}

// 100 nF with 20 mOhm and 5 nH in series, behind 300 nH of leads: its ESL and self-resonance
// from the series R-L-C fitted over the top of the band, read at 192000 samples/s against
// 10 ohms. Five nanohenries are a few parts in 10^5 of the capacitor's reactance there, so the
// short and the reading integrate for minutes of audio, and the box runs as fast as the machine
// lets it (in lockstep it slows down rather than lose audio).
TEST_F(BenchSessionTest, CapacitorsSeriesInductanceAndSelfResonance) {
    TVirtualBoxOptions box = LeadsBox(10);
    box.SpeedUp = 32;
    TSessionRig rig(Folder, box, true);
    ASSERT_NO_FATAL_FAILURE(Prepare(rig, 192000, "100", "90000", "8", 10));
    TMeasurementSession& session = rig.Session();
    // From 30 kHz up, where the ESL shows: lower down the capacitor's reactance swamps it and
    // R ref gets a small share of the signal, so those bins add noise and little else. With the
    // same integration the ESL scattered by 2.1 % over 10-88 kHz and by 0.9 % over 30-88 kHz.
    session.SetRange(30000, 88000);
    ASSERT_TRUE(session.SetIntegrationTime("8"));
    ASSERT_NO_FATAL_FAILURE(Capture(rig, TFixturePart::Open, TVirtualBoxState::Open));
    // The short takes out 300 nH of leads, and its noise goes straight into the ESL.
    ASSERT_TRUE(session.SetIntegrationTime("80"));
    ASSERT_NO_FATAL_FAILURE(
        Capture(rig, TFixturePart::Short, TVirtualBoxState::Short, 0, kLongWaitMs));
    ASSERT_TRUE(session.SetIntegrationTime("160"));
    const TBenchReadout readout = Measure(rig, TVirtualBoxState::EslCapacitor, 1, kLongWaitMs);
    const TBandModelFit* best = readout.Models.BestFit();
    ASSERT_NE(best, nullptr);
    EXPECT_EQ(BandModelName(*best), "series R-L-C") << FormatBandModels(readout.Models);
    EXPECT_NEAR(best->Inductance / Parts.EslHenries, 1.0, 0.05);
    const double resonance = 1 / (2 * kPi * std::sqrt(Parts.EslHenries * Parts.EslFarads));
    // Over 42 runs the ESL scattered by 0.5 % and the self-resonance stayed within 0.5 %.
    EXPECT_NEAR(best->SelfResonance / resonance, 1.0, 0.01);
    EXPECT_NEAR(best->Capacitance / Parts.EslFarads, 1.0, 1e-3);
}

}  // namespace
}  // namespace tavrin::testing
