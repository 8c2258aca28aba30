#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "SaveSequence.h"
#include "TempFolder.h"
#include "uFileError.h"
#include "uSettingsFile.h"

namespace tavrin {
namespace {

using test::ReadBytes;
using test::SaveAtClose;
using test::TempFolder;
using test::WriteBytes;

std::string DataFile(const std::string& name) {
    return ReadBytes(std::string(TAVRIN_TEST_DATA_DIR) + "/settings/" + name);
}

TEST(SettingsFile, FirstCloseWritesTheSectionsInSaveOrderAndLaterOnesMoveRrefToTheEnd) {
    TempFolder folder;
    TSettingsFile file(folder.Path("tavrin.ini"));
    SaveAtClose(file, {});
    EXPECT_EQ(ReadBytes(file.Path()), DataFile("first-close.ini"));
    EXPECT_EQ(static_cast<float>(file.ReadReal("Calibration", "Saturation0", 0)), 0.9f);

    SaveAtClose(file, {.Sampling = 96000,
                       .Swap = true,
                       .RrefValues = {"100", "1k"},
                       .RrefIndex = 1,
                       .Saturation0 = 0.75f,
                       .LgF = true,
                       .Page = 1,
                       .Mode = 2,
                       .Cin = "12.5"});
    EXPECT_EQ(ReadBytes(file.Path()), DataFile("second-close.ini"));
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"tavrin.ini"});
}

TEST(SettingsFile, MissingOrUnreadableValuesGiveTheDefaults) {
    TempFolder folder;
    const TSettingsFile missing(folder.Path("none.ini"));
    EXPECT_EQ(missing.ReadText("WaveSetup", "FMin", "20"), "20");
    EXPECT_EQ(missing.ReadInt("Graph", "Mode", 3), 3);
    EXPECT_TRUE(missing.ReadFlag("WaveSetup", "Swap", true));
    EXPECT_EQ(missing.ReadReal("Calibration", "Saturation0", 0.9), 0.9);

    const std::string path = folder.Path("tavrin.ini");
    WriteBytes(path,
               "[Graph]\nMode=0x1F\nPage= 2 \nModPhase=0X0\nDrawAll=yes\nLg(F)=0x\n"
               "[Calibration]\nSaturation0=\nSaturation1=0,5\n[InputParams]\nCin=1e-3\n");
    const TSettingsFile file(path);
    EXPECT_EQ(file.ReadInt("graph", "mode", 0), 31);
    EXPECT_TRUE(file.ReadFlag("Graph", "Mode", false));
    EXPECT_EQ(file.ReadInt("Graph", "Page", 0), 2);
    EXPECT_FALSE(file.ReadFlag("Graph", "ModPhase", true));
    EXPECT_TRUE(file.ReadFlag("Graph", "DrawAll", true));
    EXPECT_EQ(file.ReadInt("Graph", "Lg(F)", 7), 7);
    EXPECT_EQ(file.ReadReal("Calibration", "Saturation0", 0.9), 0.9);
    EXPECT_EQ(file.ReadReal("Calibration", "Saturation1", 0.9), 0.9);
    EXPECT_EQ(file.ReadReal("InputParams", "Cin", 0), 1e-3);
}

TEST(SettingsFile, GarbageFileReadsAsDefaultsAndKeepsItsLinesThroughASave) {
    TempFolder folder;
    const std::string garbage = DataFile("garbage.ini");
    ASSERT_FALSE(garbage.empty());
    TSettingsFile file(folder.Path("tavrin.ini"));
    WriteBytes(file.Path(), garbage);

    EXPECT_EQ(file.ReadInt("Graph", "Mode", 1), 1);
    EXPECT_EQ(file.ReadInt("Graph", "Page", 0), 1);  // the first of two [Graph] sections
    EXPECT_EQ(file.ReadText("WaveSetup", "FMin", "20"), "20");

    SaveAtClose(file, {});
    const std::string after = ReadBytes(file.Path());
    EXPECT_EQ(file.ReadInt("Graph", "Page", 1), 0);
    EXPECT_EQ(file.ReadText("WaveSetup", "InputName", ""), "Virtual box capture");
    // Every line the program does not own is still there, byte for byte.
    for (const std::string line : {"\x01\x02\xff\xfe binary\r\n", "no equals sign\r\n",
                                   "; comment=1\r\n", "[Graph]\r\nPage=7"}) {
        EXPECT_NE(after.find(line), std::string::npos) << line;
    }
    EXPECT_NE(after.find(std::string(5000, 'L')), std::string::npos);
}

TEST(SettingsFile, ErasedSectionRewrittenWithFewerKeysKeepsNoStaleKey) {
    TempFolder folder;
    TSettingsFile file(folder.Path("tavrin.ini"));
    SaveAtClose(file, {.RrefValues = {"1", "2", "3", "4", "5"}, .RrefIndex = 4});
    SaveAtClose(file, {.RrefValues = {"7"}});
    EXPECT_EQ(file.ReadInt("Rref", "Count", 0), 1);
    EXPECT_EQ(file.ReadText("Rref", "Value0", ""), "7");
    EXPECT_EQ(file.ReadText("Rref", "Value1", "missing"), "missing");
    EXPECT_EQ(ReadBytes(file.Path()).find("Value4"), std::string::npos);
}

TEST(SettingsFile, FailedWriteRaisesWithTheFullPath) {
    TempFolder folder;
    WriteBytes(folder.Path("plain"), "x");
    TSettingsFile file(folder.Path("plain/tavrin.ini"));
    try {
        file.WriteInt("Graph", "Mode", 1);
        FAIL() << "no error raised";
    } catch (const EFileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Impossible d'écrire dans " + folder.Path("plain/tavrin.ini"));
    }
    EXPECT_THROW(file.WriteText("Graph", "Mode", "1"), EFileError);
    EXPECT_THROW(file.WriteReal("Graph", "Mode", 1), EFileError);
    EXPECT_THROW(TSettingsFile(folder.Path("")).DropSection("Rref"), EFileError);

    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path("."));
    const TSettingsFile relative("./sub/../tavrin.ini");
    std::filesystem::current_path(saved);
    EXPECT_EQ(relative.Path(), std::filesystem::canonical(folder.Path(".")) / "tavrin.ini");
}

}  // namespace
}  // namespace tavrin
