// The driver measured in two steps as the window's panel and the command line drive it: results
// of the session fitted into the step in progress, the moving parts from both, and the files
// saved beside each other, the curves in a form this program and others read back.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "SessionTestKit.h"
#include "uDriverMeasurement.h"
#include "uTraceImport.h"
#include "uVirtualBoxDriver.h"

namespace tavrin::testing {
namespace {

constexpr uint32_t kRate = 48000;
constexpr int32_t kLength = 16384;

// A session result holding the driver's impedance per bin, as the Z modes deliver it.
struct TDriverResult {
    TDriverResult(TDriverMounting mounting, TResultContent content) {
        for (TChannelData& channel : Data) {
            channel.assign(kLength, 0.0f);
        }
        Result.Content = content;
        Result.SampleRate = kRate;
        Result.BlockLength = kLength;
        Result.Bins = BandBins(kLength, kRate, 10.0f, 2000.0f, kLength / 2);
        Result.Data = &Data;
        TComplex* slots = ComplexSlots(Data[0].data());
        for (int32_t k = Result.Bins.Lo; k <= Result.Bins.Hi; ++k) {
            const auto z = VirtualDriverImpedance(TVirtualDriver{}, mounting,
                                                  static_cast<double>(kRate) * k / kLength);
            slots[k] = {static_cast<float>(z.real()), static_cast<float>(z.imag())};
        }
    }
    TWaveData Data;
    TMeasurementResult Result;
};

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(DriverMeasurementTest, TwoStepsGiveTheMovingPartsAndTheirFiles) {
    const TVirtualDriver d;
    TDriverMeasurement driver;
    int changes = 0;
    driver.OnChange = [&] { ++changes; };
    driver.SetMethod(TDriverMethod::AddedMass);
    driver.SetAddedMass(d.AddedMass);
    driver.SetBoxVolume(d.BoxVolume);  // kept for the other method
    driver.SetSd(d.Sd);

    // Only impedances are taken, into the step in progress.
    EXPECT_FALSE(
        driver.Take(TDriverResult(TDriverMounting::FreeAir, TResultContent::Transfer).Result, {}));
    EXPECT_FALSE(driver.Curve(TDriverStep::FreeAir));
    TTraceInfo info;
    info.SampleRate = kRate;
    info.BlockLength = kLength;
    EXPECT_TRUE(driver.Take(
        TDriverResult(TDriverMounting::FreeAir, TResultContent::ImpedanceAndModel).Result, info));
    ASSERT_TRUE(driver.Results().FreeAir.Ok) << driver.Results().FreeAir.Reason;
    EXPECT_NEAR(driver.Results().FreeAir.Parameters.Fs, d.Fs, 1e-4 * d.Fs);
    EXPECT_FALSE(driver.Results().Mechanics.Ok);
    driver.SetStep(TDriverStep::Second);
    driver.Take(TDriverResult(TDriverMounting::AddedMass, TResultContent::Impedance).Result, info);
    ASSERT_TRUE(driver.Results().Mechanics.Ok) << driver.Results().Mechanics.Reason;
    EXPECT_NEAR(driver.Results().Mechanics.Mms, d.Mms, 1e-3 * d.Mms);
    EXPECT_GE(changes, 6);

    // The same free air with the box gives the same driver by the other method.
    driver.SetMethod(TDriverMethod::KnownVolume);
    driver.Take(TDriverResult(TDriverMounting::ClosedBox, TResultContent::Impedance).Result, info);
    ASSERT_TRUE(driver.Results().Mechanics.Ok) << driver.Results().Mechanics.Reason;
    EXPECT_NEAR(driver.Results().Mechanics.Vas, VirtualDriverVas(d), 1e-3 * VirtualDriverVas(d));
    EXPECT_NE(driver.Text().find("In a closed box of 20 l, Sd 220 cm2"), std::string::npos);

    // Saved: the text as the panel shows it, and both curves, which read back and fit alike.
    TScratchFolder folder;
    const std::string base = folder.PathOf("tavrin-driver");
    EXPECT_EQ(driver.Files(base),
              (std::vector<std::string>{base + ".txt", base + ".zma", base + "-box.zma"}));
    ASSERT_EQ(driver.Save(base), std::nullopt);
    EXPECT_EQ(FileText(base + ".txt"), driver.Text());
    const TTraceRead boxed = ReadTraceFile(base + "-box.zma");
    ASSERT_TRUE(boxed.Trace) << boxed.Error;
    TDriverMeasurement reread;
    reread.TakeCurve(TDriverStep::FreeAir, *boxed.Trace);
    EXPECT_NEAR(reread.Results().FreeAir.Parameters.Fs, driver.Results().Second.Parameters.Fs,
                1e-6 * driver.Results().Second.Parameters.Fs);

    // A folder that is not there: the first file's error, nothing claimed.
    const auto error = driver.Save(folder.PathOf("missing/tavrin-driver"));
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("missing/tavrin-driver.zma"), std::string::npos) << *error;

    driver.Clear();
    EXPECT_FALSE(driver.Curve(TDriverStep::Second));
    EXPECT_EQ(driver.Files(base), std::vector<std::string>{base + ".txt"});
    EXPECT_EQ(driver.Method(), TDriverMethod::KnownVolume);
    EXPECT_EQ(driver.Sd(), d.Sd);
}

}  // namespace
}  // namespace tavrin::testing
