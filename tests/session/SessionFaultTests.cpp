// The session when its files or its devices are not what they should be: a second program on
// the same files, leftovers of a killed save, files it cannot use, stored values no panel would
// take, and a device that stops working in the middle of a run.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "FakeWaveService.h"
#include "SessionTestKit.h"
#include "uFileError.h"
#include "uSettingsFile.h"
#include "uSignalIn.h"
#include "uWaveOut.h"

namespace tavrin::testing {
namespace {

namespace fs = std::filesystem;

std::string FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool AnyStartsWith(const std::vector<std::string>& texts, const std::string& start) {
    for (const std::string& text : texts) {
        if (text.starts_with(start)) {
            return true;
        }
    }
    return false;
}

// The second program is told at once, measures as usual, and leaves the first one's files to it:
// neither its close nor a calibration it saves writes them. Once the first has gone, the next
// program owns them again.
TEST(SessionFaultTest, ASecondSessionOnTheSameFilesNeverWritesThem) {
    TScratchFolder folder;
    const std::string ini = folder.PathOf("tavrin.ini");
    auto first = std::make_unique<TSessionRig>(folder);
    EXPECT_TRUE(first->Session().OwnsFiles());
    EXPECT_TRUE(first->Notices.empty());
    first->Session().SaveCalibration();
    const std::string before = FileBytes(ini);
    {
        TSessionRig second(folder);
        TMeasurementSession& session = second.Session();
        EXPECT_FALSE(session.OwnsFiles());
        ASSERT_EQ(second.Notices.size(), 1u);
        EXPECT_EQ(second.Notices[0], "Another Tavrin is using " + ini +
                                         ": this one will not save its settings or calibration.");
        ASSERT_TRUE(session.Rref().Apply("470"));
        EXPECT_THROW(session.SaveCalibration(), EFileError);
        ASSERT_TRUE(session.Start());
        EXPECT_TRUE(second.WaitResults(1));
        session.Stop();
    }
    EXPECT_EQ(FileBytes(ini), before);
    first.reset();

    TSessionRig third(folder);
    EXPECT_TRUE(third.Session().OwnsFiles());
    EXPECT_TRUE(third.Notices.empty());
}

// What killed saves left beside the three files goes at start-up; files of other names and a
// temporary written after the start stay.
TEST(SessionFaultTest, StaleTemporariesOfKilledSavesGoAtStart) {
    TScratchFolder folder;
    const std::vector<std::string> stale{".tavrin.ini.4242.0.tmp", ".tavrin.cal.4242.3.tmp",
                                         ".tavrin.cal.ini.4242.7.tmp"};
    const std::vector<std::string> foreign{"tavrin.ini.tmp", ".other.ini.4242.0.tmp",
                                           ".tavrin.ini.bak"};
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (const auto& names : {stale, foreign}) {
        for (const std::string& name : names) {
            WriteBytes(folder.PathOf(name), "half a save");
            fs::last_write_time(folder.PathOf(name), old);
        }
    }
    TSessionRig rig(folder);
    for (const std::string& name : stale) {
        EXPECT_FALSE(fs::exists(folder.PathOf(name))) << name;
    }
    for (const std::string& name : foreign) {
        EXPECT_TRUE(fs::exists(folder.PathOf(name))) << name;
    }
    EXPECT_TRUE(rig.Errors.empty());
}

// Files the session cannot use are told at start-up, the session starts from its defaults, and
// the close leaves them as they are.
TEST(SessionFaultTest, UnusableFilesAreToldAndLeftAsTheyAre) {
    TScratchFolder folder;
    const std::string ini = folder.PathOf("tavrin.ini");
    // "[Graph]\r\nMode=1\r\n" in UTF-16 with its byte order mark.
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[Graph]\r\nMode=1\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    WriteBytes(ini, utf16);
    fs::create_directory(folder.PathOf("tavrin.cal"));
    {
        TSessionRig rig(folder);
        EXPECT_EQ(rig.Session().Mode(), mdCalibration);
        EXPECT_FALSE(rig.Session().CalibrationLoaded());
        EXPECT_TRUE(AnyStartsWith(rig.Errors, "Can not read the settings file " + ini))
            << ::testing::PrintToString(rig.Errors);
        EXPECT_TRUE(AnyStartsWith(rig.Errors, "Can not use the calibration file"))
            << ::testing::PrintToString(rig.Errors);
    }
    EXPECT_EQ(FileBytes(ini), utf16);
    EXPECT_TRUE(fs::is_directory(folder.PathOf("tavrin.cal")));
}

// Stored values no panel would take read as absent: the band's lower limit below 1 Hz and
// saturation levels no input can reach. The calibration's test tone stays a tone.
TEST(SessionFaultTest, StoredValuesOutOfRangeReadAsTheDefaults) {
    TScratchFolder folder;
    WriteBytes(folder.PathOf("tavrin.ini"),
               "[WaveSetup]\nFMin=-20\nFMax=22000\n"
               "[Calibration]\nSaturation0=0\nSaturation1=1e300\n");
    TSessionRig rig(folder);
    TMeasurementSession& session = rig.Session();
    EXPECT_EQ(session.WaveSetup().FMin(), 20);
    EXPECT_FALSE(session.WaveSetup().MinInForce());
    EXPECT_EQ(session.BlockLength(), 4096);
    EXPECT_EQ(session.SignalIn().SaturationLevel[0], 0.9f);
    EXPECT_EQ(session.SignalIn().SaturationLevel[1], 0.9f);
    ASSERT_TRUE(session.Start());
    ASSERT_TRUE(rig.RunUntil([&] { return !rig.StageTexts.empty(); }));
    session.Stop();
    EXPECT_TRUE(rig.StageTexts.front().starts_with("Quality:"));
    EXPECT_EQ(rig.StageTexts.front().find("nan"), std::string::npos);
}

// A device that stops working in the middle of a run: the user is told which, the run ends as a
// Stop would end it, and Start opens the devices afresh.
TEST(SessionFaultTest, ALostDeviceIsNamedAndTheRunEnds) {
    TScratchFolder folder;
    TSystemClock clock;
    TUiDispatcher ui{clock};
    test::TFakeWaveService service;
    service.SetOnChange([&] { ui.Notify(); });
    std::vector<std::string> errors;
    int ended = 0;
    {
        TMeasurementSession session(TSessionEnvironment{
            service, ui, clock, folder.PathOf("tavrin.ini"), folder.PathOf("tavrin.cal")});
        session.OnError = [&](const std::string& text) { errors.push_back(text); };
        session.OnRunEnded = [&] { ++ended; };
        session.Open();
        session.WaveSetup().SelectInput(2);
        ASSERT_TRUE(session.Start());
        service.LastInput()->Fail();
        ASSERT_TRUE(ui.WaitUntil([&] { return ended > 0; }, 5000));
        EXPECT_FALSE(session.Measuring());
        EXPECT_EQ(errors, std::vector<std::string>{"Input device 2 (" + service.InputDeviceName(2) +
                                                   ") stopped responding."});
        ASSERT_TRUE(ui.WaitUntil(
            [&] { return session.SignalIn().Parked() && session.WaveOut().Parked(); }, 5000));

        ASSERT_TRUE(session.Start());
        EXPECT_EQ(service.Count("in:open"), 2);
        service.LastOutput()->Fail();
        ASSERT_TRUE(ui.WaitUntil([&] { return ended > 1; }, 5000));
        EXPECT_EQ(errors.size(), 2u);
        EXPECT_TRUE(errors.back().starts_with("Output device ")) << errors.back();
        session.Close();
    }
    EXPECT_EQ(ended, 2);
}

}  // namespace
}  // namespace tavrin::testing
