// The measuring session without a window, on the virtual connection box at speed: its start-up
// state and files, the calibration workflow and the modes, checked against the box's components.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "SessionTestKit.h"
#include "uSettingsFile.h"
#include "uSignalIn.h"
#include "uWaveOut.h"

namespace tavrin::testing {
namespace {

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line.find("Name=") == std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

}  // namespace

// A first start: the defaults, and a close that writes the window's first-close layout with the
// view's keys where the window puts them.
TEST(SessionTest, FirstOpenAndCloseKeepTheWindowsFileLayout) {
    TScratchFolder folder;
    {
        TSessionRig rig(folder);
        TMeasurementSession& session = rig.Session();
        EXPECT_EQ(session.Mode(), mdCalibration);
        EXPECT_EQ(session.BlockLength(), 4096);
        EXPECT_EQ(session.Rref().Text(), "1");
        EXPECT_EQ(session.Rref().Value(), 1.0f);
        EXPECT_EQ(session.CinText(), "0");
        EXPECT_EQ(session.Amplitude(), 1.0f);
        EXPECT_EQ(session.RangeLow(), 20.0f);
        EXPECT_EQ(session.RangeHigh(), 22000.0f);
        EXPECT_FALSE(session.CalibrationLoaded());
        EXPECT_FALSE(session.SignalIn().Averaging());  // calibration mode: the latest block alone
        // Where a calibration is made: the box's S1 state, first in its lists.
        EXPECT_EQ(session.WaveSetup().InputDevice(), 0);
        EXPECT_EQ(session.WaveSetup().OutputDevice(), 0);
        session.OnSaveViewSettings = [](TSettingsFile& settings) {
            settings.WriteFlag("Graph", "ModPhase", false);
            settings.WriteInt("Graph", "Page", 0);
        };
    }
    const std::vector<std::string> expected{"[WaveSetup]",
                                            "InputID=0",
                                            "OutputID=0",
                                            "Sampling=48000",
                                            "Swap=0",
                                            "FMin=20",
                                            "FMax=22000",
                                            "[Rref]",
                                            "Count=1",
                                            "Value0=1",
                                            "CurrentIndex=0",
                                            "[Calibration]",
                                            "Saturation0=0.899999976158142",
                                            "Saturation1=0.899999976158142",
                                            "[Graph]",
                                            "ModPhase=0",
                                            "Page=0",
                                            "Mode=0",
                                            "[InputParams]",
                                            "Cin=0"};
    EXPECT_EQ(FileLines(folder.PathOf("tavrin.ini")), expected);
    EXPECT_EQ(FileBytes(folder.PathOf("tavrin.cal")), std::string(4, '\0'));
}

// The calibration run, a capacitor in "Z graph + LCR", the two-port in "Transfer graph", and a
// restart that comes back in the last mode with the calibration.
TEST(SessionTest, CalibrateThenMeasureEveryKindOfComponent) {
    TScratchFolder folder;
    TSessionRig rig(folder);
    TMeasurementSession& session = rig.Session();
    rig.Calibrate();
    EXPECT_EQ(session.Mode(), mdZGraphLCR);  // the last measuring mode, 2 since start-up
    EXPECT_TRUE(session.SignalIn().Averaging());
    EXPECT_TRUE(session.CalibrationFits());
    EXPECT_TRUE(rig.StageTexts.front().starts_with("Quality:"));

    rig.SelectDevices(kCapacitor);
    ASSERT_TRUE(session.Rref().Apply("100"));
    ASSERT_TRUE(session.SetCinText("100"));
    ASSERT_TRUE(session.Start());
    ASSERT_TRUE(rig.WaitResults(4));  // the level loop settles within a few results
    session.Stop();
    ASSERT_TRUE(rig.LastFit.has_value());
    EXPECT_FALSE(rig.LastFit->Inductive);
    EXPECT_NEAR(rig.LastFit->Capacitance / 4.7e-6, 1.0, 1e-3);
    EXPECT_NEAR(rig.LastFit->Resistance / 0.2, 1.0, 0.05);
    EXPECT_TRUE(rig.LCRText.starts_with("Cx= "));

    session.SelectMode(mdTransfer);
    rig.SelectDevices(kLowPass);
    ASSERT_TRUE(session.Start());
    ASSERT_TRUE(rig.WaitResults(3));
    session.Stop();
    ASSERT_TRUE(rig.LastFirstBin.has_value());
    // The loaded divider at low frequencies: R ref / (R + R ref) = 0.5.
    EXPECT_NEAR(rig.LastFirstBin->Re, 0.5, 0.01);
    EXPECT_FALSE(rig.LastFit.has_value());
    EXPECT_TRUE(rig.Errors.empty());

    rig.Restart();
    EXPECT_TRUE(rig.Session().CalibrationLoaded());
    EXPECT_EQ(rig.Session().Mode(), mdTransfer);
    EXPECT_EQ(rig.Session().Rref().Value(), 100.0f);
    EXPECT_EQ(rig.Session().CinText(), "100");
}

// Stop in level setting keeps the calibration mode with averaging on; the amplitude never goes
// above 1 and a calibration start begins at 1 again.
TEST(SessionTest, LevelSettingStopAndAmplitudeControl) {
    TScratchFolder folder;
    TSessionRig rig(folder);
    TMeasurementSession& session = rig.Session();
    rig.SelectDevices(kCalibration);
    ASSERT_TRUE(session.Start());
    ASSERT_TRUE(rig.RunUntil([&] { return !rig.StageTexts.empty(); }));
    session.Stop();
    EXPECT_EQ(session.Mode(), mdCalibration);
    EXPECT_TRUE(session.LevelSetting());
    EXPECT_TRUE(session.SignalIn().Averaging());
    EXPECT_TRUE(rig.RunUntil([&] { return session.SignalIn().Parked(); }));

    session.ScaleAmplitude(2.0f);
    EXPECT_EQ(session.Amplitude(), 1.0f);
    session.ScaleAmplitude(0.5f);
    EXPECT_EQ(session.Amplitude(), 0.5f);
    session.ScaleAmplitude(4.0f);
    EXPECT_EQ(session.Amplitude(), 1.0f);
    session.ScaleAmplitude(0.25f);
    ASSERT_TRUE(session.Start());
    EXPECT_EQ(session.Amplitude(), 1.0f);
    session.Stop();
}

// A playback device that cannot be opened: its message, both threads idle, no run.
TEST(SessionTest, AFailingPlaybackDeviceLeavesTheSessionIdle) {
    TScratchFolder folder;
    TSessionRig rig(folder);
    TMeasurementSession& session = rig.Session();
    session.SelectMode(mdZGraph);
    session.WaveSetup().SelectOutput(77);
    EXPECT_FALSE(session.Start());
    EXPECT_FALSE(session.Measuring());
    EXPECT_EQ(rig.Errors, std::vector<std::string>{"Can not open output device 77"});
    EXPECT_TRUE(session.SignalIn().Parked());
    EXPECT_TRUE(session.WaveOut().Parked());
}

}  // namespace tavrin::testing
