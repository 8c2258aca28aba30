// The setup and R ref models as the command line uses them, with no panel in front.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "SessionTestKit.h"
#include "uSettingsFile.h"
#include "uValueHistory.h"
#include "uVirtualBoxService.h"
#include "uWaveSetupModel.h"

namespace tavrin::testing {

TEST(WaveSetupModelTest, DevicesByNameAndTheBandFollowingTheRate) {
    TScratchFolder folder;
    TSettingsFile settings(folder.PathOf("tavrin.ini"));
    TVirtualBoxService box;
    TWaveSetupModel model(box);
    EXPECT_EQ(model.InputDevice(), kVirtualBoxStateCount / 2);  // the middle one
    const std::string capacitor = model.InputNames()[kCapacitor];

    // A device stored under another number is found by its name; a gone one keeps the number
    // rule and is reported.
    settings.WriteInt("WaveSetup", "InputID", 0);
    settings.WriteText("WaveSetup", "InputName", capacitor);
    settings.WriteInt("WaveSetup", "OutputID", 1);
    settings.WriteText("WaveSetup", "OutputName", "USB card");
    settings.WriteInt("WaveSetup", "Sampling", 96000);
    settings.WriteText("WaveSetup", "FMax", "40000");
    std::vector<std::pair<int32_t, int32_t>> seen;
    model.OnSetupChange = [&] { seen.emplace_back(model.SampleRate(), model.FMax()); };
    model.LoadSettings(settings);
    EXPECT_EQ(model.InputDevice(), kCapacitor);
    EXPECT_EQ(model.MissingInput(), "");
    EXPECT_EQ(model.OutputDevice(), 1);
    EXPECT_EQ(model.MissingOutput(), "USB card");
    EXPECT_EQ(model.FMax(), 40000);

    // The new rate with the old band first, then the band cut to the new half rate.
    seen.clear();
    EXPECT_TRUE(model.SelectRate(48000));
    EXPECT_EQ(seen, (std::vector<std::pair<int32_t, int32_t>>{{48000, 40000}, {48000, 24000}}));
    EXPECT_EQ(model.MaxText(), "24000");
    EXPECT_FALSE(model.SelectRate(44100));
    EXPECT_FALSE(model.SetMinText("0"));
    EXPECT_FALSE(model.SetMaxText("24001"));
    EXPECT_EQ(model.FMin(), 20);
    EXPECT_EQ(model.FMax(), 24000);

    model.SaveSettings(settings);
    EXPECT_EQ(settings.ReadText("WaveSetup", "InputName", ""), capacitor);
    EXPECT_EQ(settings.ReadText("WaveSetup", "FMin", ""), "0");  // kept as typed
}

TEST(WaveSetupModelTest, FMinAtHalfTheRateLeavesNoBinAndIsRejected) {
    TVirtualBoxService box;
    TWaveSetupModel model(box);
    EXPECT_FALSE(model.SetMinText("24000"));  // a block of 2: no bin at all
    EXPECT_FALSE(model.MinInForce());
    EXPECT_EQ(model.FMin(), 20);
    EXPECT_TRUE(model.SetMinText("23999"));
    EXPECT_TRUE(model.SetMinText("-5"));  // as before: negative numbers stand
    // Taken at 192000, then the rate falls under it: FMin follows the half rate down.
    ASSERT_TRUE(model.SelectRate(192000));
    EXPECT_TRUE(model.SetMinText("50000"));
    ASSERT_TRUE(model.SelectRate(48000));
    EXPECT_EQ(model.FMin(), 23999);
    EXPECT_EQ(model.MinText(), "23999");
    EXPECT_TRUE(model.MinInForce());
}

TEST(ValueHistoryTest, EntriesSurviveASaveAndALoad) {
    TScratchFolder folder;
    TSettingsFile settings(folder.PathOf("tavrin.ini"));
    TValueHistory values;
    values.SetSectionName("Rref");
    values.SetValue(1.0f);
    EXPECT_EQ(values.Text(), "1");
    values.AddEntry();
    EXPECT_TRUE(values.Apply(" 2.2E3 "));
    EXPECT_EQ(values.Value(), 2200.0f);
    EXPECT_FALSE(values.Apply("4x"));
    EXPECT_EQ(values.Value(), 2200.0f);
    values.AddEntry();  // left empty
    EXPECT_EQ(values.Entries(), (std::vector<std::string>{"1", "2.2E3", ""}));
    values.SaveSettings(settings);

    TValueHistory loaded;
    loaded.SetSectionName("Rref");
    loaded.LoadSettings(settings);
    EXPECT_EQ(loaded.Entries(), values.Entries());
    EXPECT_EQ(loaded.Current(), 2);
    EXPECT_FALSE(loaded.TextInForce());
    EXPECT_TRUE(loaded.RemoveEntry());  // an empty box: the entry goes, its neighbour shows
    EXPECT_EQ(loaded.Text(), "2.2E3");
    EXPECT_EQ(loaded.Value(), 2200.0f);
}

}  // namespace tavrin::testing
