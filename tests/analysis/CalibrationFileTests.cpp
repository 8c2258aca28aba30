#include <gtest/gtest.h>

#include <sys/stat.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#ifndef _WIN32
#include "ChildProcess.h"
#endif
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
    EXPECT_EQ(ReadCalibrationFile(PathOf("absent.cal"), table).Result, TCalibrationRead::Missing);
    EXPECT_EQ(table, kept);

    EXPECT_EQ(ParseCalibration(std::vector<uint8_t>{0, 0, 0, 0}, table), TCalibrationRead::Loaded);
    EXPECT_TRUE(table.empty());
}

TEST_F(CalibrationFileTest, EntriesNoRatioCanHaveMakeTheFileInvalid) {
    const std::vector<TComplex> kept{{3, 4}};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const TComplex bad : {TComplex{nan, 0}, TComplex{1, -inf}, TComplex{0, 0}}) {
        std::vector<TComplex> table = kept;
        EXPECT_EQ(ParseCalibration(FormatCalibration({ComplexOne, {0.9f, 0.1f}, bad}), table),
                  TCalibrationRead::Invalid);
        EXPECT_EQ(table, kept);
    }
    std::vector<TComplex> table;
    EXPECT_EQ(ParseCalibration(FormatCalibration({ComplexOne, {0, -1e-30f}}), table),
              TCalibrationRead::Loaded);
}

class SignalInCalibrationTest : public CalibrationFileTest {
  protected:
    // A calibration stage that measures one block, at the block length in use.
    static void CalibrateOneBlock(TSignalIn& signalIn) {
        const size_t n = static_cast<size_t>(signalIn.BlockLength());
        signalIn.BeginCalibration(20, 20000);
        TWaveData block{TChannelData(n, 0.25f), TChannelData(n, 0.5f)};
        block[0][2] = block[1][2] = 1.0f;
        signalIn.ProcessBlock(block);
    }

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

    // A calibration made at another block length is dropped when a measurement starts, but
    // stays in the file until a new calibration replaces it.
    const std::vector<uint8_t> file = ReadBytes("tavrin.cal");
    loaded.SetBlockLength(8192);
    loaded.BeginMeasurement(false);
    EXPECT_EQ(loaded.Calibration, std::vector<TComplex>(4096, ComplexOne));
    loaded.SaveCalibration(settings);
    EXPECT_EQ(ReadBytes("tavrin.cal"), file);

    CalibrateOneBlock(loaded);
    loaded.SaveCalibration(settings);
    EXPECT_EQ(ReadBytes("tavrin.cal"), FormatCalibration(loaded.Calibration));
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

// A file that is there but cannot be taken is told, and is not overwritten at the close unless
// a calibration has measured a new table.
TEST_F(SignalInCalibrationTest, AFileThatWasNotTakenIsToldAndKeptUntilANewCalibration) {
    TSettingsFile settings(PathOf("tavrin.ini"));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<uint8_t> invalid = FormatCalibration({ComplexOne, {nan, nan}});
    const std::vector<uint8_t> damaged{9, 0, 0, 0, 1};
    for (const auto& [content, told] :
         {std::pair{invalid, "not finite"}, std::pair{damaged, "shorter than its count"}}) {
        WriteBytes("tavrin.cal", content);
        TSignalIn signalIn(Service, Ui, Clock, PathOf("tavrin.cal"));
        EXPECT_FALSE(signalIn.LoadCalibration(settings));
        EXPECT_NE(signalIn.CalibrationProblem().find(told), std::string::npos)
            << signalIn.CalibrationProblem();
        EXPECT_NE(signalIn.CalibrationProblem().find(PathOf("tavrin.cal")), std::string::npos);
        EXPECT_TRUE(signalIn.Calibration.empty());
        signalIn.SetBlockLength(256);
        signalIn.BeginMeasurement(false);
        signalIn.SaveCalibration(settings);
        EXPECT_EQ(ReadBytes("tavrin.cal"), content);

        CalibrateOneBlock(signalIn);
        signalIn.SaveCalibration(settings);
        EXPECT_EQ(ReadBytes("tavrin.cal"), FormatCalibration(signalIn.Calibration));
    }

    // A folder, or a pipe that would never end, at the path: told, not read, not replaced.
    fs::remove(PathOf("tavrin.cal"));
    fs::create_directory(PathOf("tavrin.cal"));
    TSignalIn onAFolder(Service, Ui, Clock, PathOf("tavrin.cal"));
    EXPECT_FALSE(onAFolder.LoadCalibration(settings));
    EXPECT_NE(onAFolder.CalibrationProblem().find("not a regular file"), std::string::npos);
    EXPECT_NO_THROW(onAFolder.SaveCalibration(settings));
    EXPECT_TRUE(fs::is_directory(PathOf("tavrin.cal")));

#ifndef _WIN32
    ASSERT_EQ(::mkfifo(PathOf("pipe.cal").c_str(), 0666), 0);
    const auto status = test::RunInChild(
        [&] {
            std::vector<TComplex> table;
            const TCalibrationLoad load = ReadCalibrationFile(PathOf("pipe.cal"), table);
            return load.Result == TCalibrationRead::Unreadable && !load.Problem.empty() ? 0 : 1;
        },
        std::chrono::seconds(5));
    EXPECT_EQ(status, 0) << (status ? "" : "hung on the pipe");
#endif

    // Missing is not a problem: nothing to tell, and the close writes the file.
    TSignalIn none(Service, Ui, Clock, PathOf("none.cal"));
    EXPECT_FALSE(none.LoadCalibration(settings));
    EXPECT_TRUE(none.CalibrationProblem().empty());
    none.SaveCalibration(settings);
    EXPECT_EQ(ReadBytes("none.cal"), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST_F(SignalInCalibrationTest, ALevelNoInputCouldMeasureIsNeitherLoadedNorStored) {
    TSettingsFile settings(PathOf("tavrin.ini"));
    TSignalIn signalIn(Service, Ui, Clock, PathOf("tavrin.cal"));
    for (const char* bad : {"0", "-0.5", "1e300", "nan", "1.5", "0.00001"}) {
        settings.WriteText("Calibration", "Saturation0", bad);
        settings.WriteText("Calibration", "Saturation1", "0.5");
        signalIn.SaturationLevel = {0.9f, 0.9f};
        signalIn.LoadCalibration(settings);
        EXPECT_EQ(signalIn.SaturationLevel, (std::array<float, 2>{0.9f, 0.5f})) << bad;
    }

    // A level setting stopped after its first block has measured nothing: the levels from
    // before it stay, in the file and for the next run.
    signalIn.SetBlockLength(256);
    signalIn.BeginLevelSetting(1000, {});
    TWaveData block{TChannelData(256, 0.3f), TChannelData(256, 0.0f)};
    signalIn.ProcessBlock(block);
    signalIn.SaveCalibration(settings);
    EXPECT_EQ(settings.ReadText("Calibration", "Saturation0", ""), "0.899999976158142");
    EXPECT_EQ(settings.ReadText("Calibration", "Saturation1", ""), "0.5");
    EXPECT_EQ(signalIn.SaturationLevel, (std::array<float, 2>{0.9f, 0.5f}));

    // From the second block on, what a channel measured is its level; a silent one keeps its own.
    signalIn.BeginLevelSetting(1000, {});
    for (int i = 0; i < 2; ++i) {
        TWaveData next{TChannelData(256, 0.3f), TChannelData(256, 0.0f)};
        signalIn.ProcessBlock(next);
    }
    signalIn.BeginMeasurement(false);
    EXPECT_EQ(signalIn.SaturationLevel, (std::array<float, 2>{0.3f, 0.5f}));
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
