// What a calibration was made for: the record file, the comparison with the set-up in use, and
// how the analyser keeps the record with its table.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>

#include "uCalibrationRecord.h"
#include "uClock.h"
#include "uCombinedWaveService.h"
#include "uFileReplace.h"
#include "uSettingsFile.h"
#include "uSignalIn.h"
#include "uUiDispatcher.h"

namespace tavrin {
namespace {

namespace fs = std::filesystem;

TMeasuringSetup Setup48k() {
    return {48000, 4096, 20, 22000, "Virtual box", "Virtual box", 100};
}

TEST(CalibrationRecord, FileIsTheGoldenText) {
    const std::string golden =
        ReadFileIfAny(std::string(TAVRIN_TEST_DATA_DIR) + "/calibration/record.ini").value();
    const TCalibrationRecord record{Setup48k(), "2024-05-01 14:03:22", 0.00025};
    EXPECT_EQ(FormatCalibrationRecord(record), golden);

    const std::optional<TCalibrationRecord> read = ParseCalibrationRecord(golden);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Setup.SampleRate, 48000u);
    EXPECT_EQ(read->Setup.BlockLength, 4096);
    EXPECT_EQ(read->Setup.FMin, 20.0f);
    EXPECT_EQ(read->Setup.FMax, 22000.0f);
    EXPECT_EQ(read->Setup.InputDevice, "Virtual box");
    EXPECT_EQ(read->Setup.OutputDevice, "Virtual box");
    EXPECT_EQ(read->Setup.CinPf, 100.0);
    EXPECT_EQ(read->Made, "2024-05-01 14:03:22");
    EXPECT_EQ(read->RelativeNoise, 0.00025);
}

TEST(CalibrationRecord, TextsWithoutRateOrLengthAreNoRecord) {
    EXPECT_FALSE(ParseCalibrationRecord(""));
    EXPECT_FALSE(ParseCalibrationRecord("[Calibration]\nSampleRate=48000\n"));
    EXPECT_FALSE(ParseCalibrationRecord("[Calibration]\nSampleRate=x\nBlockLength=4096\n"));
    EXPECT_FALSE(ParseCalibrationRecord("[Calibration]\nSampleRate=48000\nBlockLength=-2\n"));
    EXPECT_FALSE(ParseCalibrationRecord("[Other]\nSampleRate=48000\nBlockLength=4096\n"));
    // The rest is optional: unknown devices, the whole band, no noise figure.
    const auto bare = ParseCalibrationRecord(
        "[Calibration]\nSampleRate=96000\nBlockLength=8192\nRelativeNoise=-1\n");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->Setup.FMax, 48000.0f);
    EXPECT_TRUE(bare->Setup.InputDevice.empty());
    EXPECT_EQ(bare->RelativeNoise, 0.0);
    // A band edge beyond a float's range is no edge, and the record still writes and reads back.
    const auto huge = ParseCalibrationRecord(
        "[Calibration]\nSampleRate=48000\nBlockLength=4096\nFMin=1e300\nFMax=2e66\n");
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->Setup.FMin, 0.0f);
    EXPECT_EQ(huge->Setup.FMax, 24000.0f);
    const std::string written = FormatCalibrationRecord(*huge);
    EXPECT_EQ(FormatCalibrationRecord(ParseCalibrationRecord(written).value()), written);
}

TEST(CalibrationRecord, TheMarkNamesWhatDiffers) {
    const TCalibrationRecord record{Setup48k(), "", 0};
    const auto mark = [&](TMeasuringSetup now) { return CalibrationMark(record, 2048, now); };
    EXPECT_EQ(mark(Setup48k()), "");

    TMeasuringSetup now = Setup48k();
    now.SampleRate = 96000;  // same block length, other bin frequencies
    EXPECT_EQ(mark(now), "Not calibrated for 96000 S/s, N 4096: calibrate again");
    now = Setup48k();
    now.BlockLength = 8192;
    EXPECT_EQ(mark(now), "Not calibrated for 48000 S/s, N 8192: calibrate again");
    now = Setup48k();
    now.OutputDevice = "USB card";
    EXPECT_EQ(mark(now), "Not calibrated for these devices: calibrate again");
    now.OutputDevice = "";  // not known: not held against it
    EXPECT_EQ(mark(now), "");
    now = Setup48k();
    now.FMin = 10;
    EXPECT_EQ(mark(now), "Not calibrated for 10-22000 Hz: calibrate again");
    now.FMin = 100;  // a narrower band is covered
    now.FMax = 20000;
    now.CinPf = 220;  // C in enters the evaluation, not the ratio
    EXPECT_EQ(mark(now), "");

    EXPECT_EQ(CalibrationMark(std::nullopt, 0, Setup48k()),
              "Not calibrated for 48000 S/s, N 4096: calibrate first");
    EXPECT_EQ(CalibrationMark(std::nullopt, 2048, Setup48k()),
              "Calibration made for an unknown set-up: calibrate again");
    // A table that no longer has the length of its record.
    EXPECT_EQ(CalibrationMark(record, 1024, Setup48k()),
              "Not calibrated for 48000 S/s, N 4096: calibrate again");

    // The same comparison serves other corrections.
    now = Setup48k();
    now.SampleRate = 192000;
    EXPECT_EQ(SetupMismatchText(CompareSetup(Setup48k(), now), now, "compensated", "compensate"),
              "Not compensated for 192000 S/s, N 4096: compensate again");
}

class CalibrationRecordRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Folder = fs::temp_directory_path() /
                 ("tavrin-calrec-" +
                  std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(Folder);
        fs::create_directories(Folder);
    }
    void TearDown() override { fs::remove_all(Folder); }
    std::string PathOf(const std::string& name) const { return (Folder / name).string(); }

    // Both inputs on one multi-tone (bins 10..100 of 1024) with independent white noise.
    TWaveData CalibrationBlock() {
        TWaveData data;
        std::normal_distribution<double> noise(0.0, kNoiseRms);
        for (int c = 0; c < 2; ++c) {
            data[c].resize(kLength);
            for (int32_t j = 0; j < kLength; ++j) {
                double x = noise(Random);
                for (int32_t k = 10; k <= 100; ++k) {
                    x += kTone * std::cos(2 * std::numbers::pi * k * j / kLength + 0.1 * k);
                }
                data[c][j] = static_cast<float>(x);
            }
        }
        return data;
    }

    static constexpr int32_t kLength = 1024;
    static constexpr double kTone = 0.005, kNoiseRms = 1e-4;
    // Bins 10..100 at 48000 samples/s.
    static constexpr float kLow = 468.75f, kHigh = 4687.5f;
    fs::path Folder;
    std::mt19937 Random{5};
    TCombinedWaveService Service{{}};
    TSystemClock Clock;
    TUiDispatcher Ui{Clock};
};

TEST_F(CalibrationRecordRunTest, ACalibrationRunKnowsWhatItWasMadeForAcrossASave) {
    TSignalIn signalIn(Service, Ui, Clock, PathOf("tavrin.cal"));
    signalIn.SetSampleRate(48000);
    signalIn.SetBlockLength(kLength);
    TMeasuringSetup now{48000, kLength, kLow, kHigh, "Card A", "Card B", 100};
    EXPECT_EQ(signalIn.CalibrationMark(now),
              "Not calibrated for 48000 S/s, N 1024: calibrate first");

    signalIn.BeginCalibration(kHigh, kLow, {0, 0, 0, 0, "Card A", "Card B", 100});
    for (int i = 0; i < 6; ++i) {
        TWaveData block = CalibrationBlock();
        signalIn.ProcessBlock(block);
    }
    ASSERT_TRUE(signalIn.CalibrationRecord);
    const TCalibrationRecord& record = *signalIn.CalibrationRecord;
    EXPECT_EQ(record.Setup.SampleRate, 48000u);
    EXPECT_EQ(record.Setup.BlockLength, kLength);
    EXPECT_EQ(record.Setup.FMin, kLow);  // the band in order, whichever way it was typed
    EXPECT_EQ(record.Setup.FMax, kHigh);
    EXPECT_EQ(record.Made.size(), 19u);
    // Each channel's bin carries noise of N sigma^2 on a tone of A N / 2; the ratio doubles it.
    const double expected = std::sqrt(8 * kNoiseRms * kNoiseRms / (kTone * kTone * kLength));
    EXPECT_NEAR(record.RelativeNoise, expected, 0.25 * expected);
    EXPECT_EQ(signalIn.CalibrationMark(now), "");
    now.SampleRate = 96000;
    EXPECT_EQ(signalIn.CalibrationMark(now),
              "Not calibrated for 96000 S/s, N 1024: calibrate again");

    TSettingsFile settings(PathOf("tavrin.ini"));
    signalIn.SaveCalibration(settings);
    TSignalIn loaded(Service, Ui, Clock, PathOf("tavrin.cal"));
    ASSERT_TRUE(loaded.LoadCalibration(settings));
    ASSERT_TRUE(loaded.CalibrationRecord);
    EXPECT_EQ(FormatCalibrationRecord(*loaded.CalibrationRecord), FormatCalibrationRecord(record));
    EXPECT_EQ(loaded.CalibrationMark(now), signalIn.CalibrationMark(now));

    // A new block length drops the table in use, and with it the record: the mark says so. The
    // files keep that calibration, record and all, until a new calibration replaces it.
    const auto size = fs::file_size(PathOf("tavrin.cal"));
    loaded.SetBlockLength(2 * kLength);
    loaded.BeginMeasurement(false);
    now = {48000, 2 * kLength, kLow, kHigh, "Card A", "Card B", 100};
    EXPECT_EQ(loaded.CalibrationMark(now), "Not calibrated for 48000 S/s, N 2048: calibrate first");
    loaded.SaveCalibration(settings);
    EXPECT_TRUE(fs::exists(PathOf("tavrin.cal.ini")));
    EXPECT_EQ(fs::file_size(PathOf("tavrin.cal")), size);
}

TEST_F(CalibrationRecordRunTest, ATableFromElsewhereIsOfUnknownOrigin) {
    TSettingsFile settings(PathOf("tavrin.ini"));
    TSignalIn saved(Service, Ui, Clock, PathOf("tavrin.cal"));
    saved.Calibration.assign(kLength / 2, ComplexOne);
    saved.SaveCalibration(settings);  // a table written without a run: no record
    EXPECT_FALSE(fs::exists(PathOf("tavrin.cal.ini")));

    std::ofstream(PathOf("tavrin.cal.ini")) << "[Calibration]\nSampleRate=oops\n";
    TSignalIn loaded(Service, Ui, Clock, PathOf("tavrin.cal"));
    ASSERT_TRUE(loaded.LoadCalibration(settings));
    EXPECT_FALSE(loaded.CalibrationRecord);
    EXPECT_EQ(loaded.CalibrationMark({48000, kLength, kLow, kHigh, "", "", 0}),
              "Calibration made for an unknown set-up: calibrate again");
}

}  // namespace
}  // namespace tavrin
