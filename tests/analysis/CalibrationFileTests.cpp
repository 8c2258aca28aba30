#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "uCalibrationFile.h"
#include "uClock.h"
#include "uCombinedWaveService.h"
#include "uFileError.h"
#include "uSettingsFile.h"
#include "uSignalIn.h"
#include "uUiDispatcher.h"

namespace tavrin {
namespace {

namespace fs = std::filesystem;

class CalibrationFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Folder =
            fs::temp_directory_path() /
            ("tavrin-cal-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Folder);
        fs::create_directories(Folder);
    }
    void TearDown() override { fs::remove_all(Folder); }

    std::string PathOf(const std::string& name) const { return (Folder / name).string(); }
    void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream(PathOf(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<uint8_t> ReadBytes(const std::string& name) const {
        std::ifstream file(PathOf(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    fs::path Folder;
};

TEST_F(CalibrationFileTest, BytesAreACountThenLittleEndianFloatPairs) {
    EXPECT_EQ(FormatCalibration({}), (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(FormatCalibration({{1.0f, -2.0f}}),
              (std::vector<uint8_t>{1, 0, 0, 0, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0xC0}));
}

TEST_F(CalibrationFileTest, DamagedFilesAreRejectedWithoutTouchingTheTable) {
    const std::vector<TComplex> kept{{3, 4}};
    std::vector<TComplex> table = kept;
    std::vector<uint8_t> shortFile = FormatCalibration({{1, 1}, {2, 2}});
    shortFile.resize(shortFile.size() - 1);
    EXPECT_EQ(ParseCalibration(shortFile, table), TCalibrationRead::Malformed);
    EXPECT_EQ(ParseCalibration(std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}, table),
              TCalibrationRead::Malformed);  // negative count
    EXPECT_EQ(ParseCalibration(std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x7F, 1, 2}, table),
              TCalibrationRead::Malformed);  // far more than the file holds
    EXPECT_EQ(ParseCalibration(std::vector<uint8_t>{1, 0}, table), TCalibrationRead::Malformed);
    EXPECT_EQ(table, kept);
    EXPECT_EQ(ReadCalibrationFile(PathOf("absent.cal"), table), TCalibrationRead::Missing);
    EXPECT_EQ(table, kept);

    EXPECT_EQ(ParseCalibration(std::vector<uint8_t>{0, 0, 0, 0}, table), TCalibrationRead::Loaded);
    EXPECT_TRUE(table.empty());
}

class SignalInCalibrationTest : public CalibrationFileTest {
  protected:
    TCombinedWaveService Service{{}};
    TSystemClock Clock;
    TUiDispatcher Ui{Clock};
};

TEST_F(SignalInCalibrationTest, SaveThenLoadRestoresTableAndLevels) {
    TSettingsFile settings(PathOf("tavrin.ini"));
    TSignalIn saved(Service, Ui, Clock, PathOf("tavrin.cal"));
    saved.SetBlockLength(4096);
    saved.BeginMeasurement(false);
    saved.Calibration[17] = {0.97f, -0.03f};
    saved.SaturationLevel = {0.61f, 0.9f};
    saved.SaveCalibration(settings);
    EXPECT_EQ(settings.ReadText("Calibration", "Saturation1", ""), "0.899999976158142");

    TSignalIn loaded(Service, Ui, Clock, PathOf("tavrin.cal"));
    ASSERT_TRUE(loaded.LoadCalibration(settings));
    EXPECT_EQ(loaded.Calibration, saved.Calibration);
    EXPECT_EQ(loaded.SaturationLevel, saved.SaturationLevel);

    // A calibration made at another block length is dropped when a measurement starts.
    loaded.SetBlockLength(8192);
    loaded.BeginMeasurement(false);
    EXPECT_EQ(loaded.Calibration, std::vector<TComplex>(4096, ComplexOne));
}

TEST_F(SignalInCalibrationTest, MissingEmptyAndDamagedFiles) {
    TSettingsFile settings(PathOf("tavrin.ini"));
    TSignalIn signalIn(Service, Ui, Clock, PathOf("tavrin.cal"));
    signalIn.Calibration = {{5, 5}};
    EXPECT_FALSE(signalIn.LoadCalibration(settings));  // no file, no "Calibration" section
    EXPECT_EQ(signalIn.Calibration, (std::vector<TComplex>{{5, 5}}));
    EXPECT_EQ(signalIn.SaturationLevel, (std::array<float, 2>{0.9f, 0.9f}));

    WriteBytes("tavrin.cal", {3, 0, 0, 0, 1, 2, 3});
    EXPECT_FALSE(signalIn.LoadCalibration(settings));
    EXPECT_EQ(signalIn.Calibration, (std::vector<TComplex>{{5, 5}}));

    WriteBytes("tavrin.cal", {0, 0, 0, 0});
    EXPECT_FALSE(signalIn.LoadCalibration(settings));
    EXPECT_TRUE(signalIn.Calibration.empty());
    signalIn.SaveCalibration(settings);
    EXPECT_EQ(ReadBytes("tavrin.cal"), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST_F(SignalInCalibrationTest, AFileThatCannotBeCreatedNamesItself) {
    TSettingsFile settings(PathOf("tavrin.ini"));
    WriteBytes("not-a-folder", {1});
    const std::string path = PathOf("not-a-folder") + "/tavrin.cal";
    TSignalIn signalIn(Service, Ui, Clock, path);
    try {
        signalIn.SaveCalibration(settings);
        FAIL() << "no error";
    } catch (const EFileError& error) {
        EXPECT_EQ(std::string(error.what()), "Impossible de créer le fichier " + path);
    }
    EXPECT_TRUE(fs::is_regular_file(PathOf("not-a-folder")));
}

}  // namespace
}  // namespace tavrin
