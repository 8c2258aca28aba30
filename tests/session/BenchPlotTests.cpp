// What the chart draws in place of Re and Im, the bench's own settings file, and its fixture
// file left to the program that owns the files.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include "SessionTestKit.h"
#include "uBenchMeter.h"
#include "uFileError.h"
#include "uVirtualBoxNetwork.h"

namespace tavrin {
namespace {

constexpr uint32_t kRate = 48000;
constexpr int32_t kLength = 4800;  // 10 Hz bins
constexpr double kCs = 4.7e-6;
constexpr double kEsr = 0.2;

std::vector<TComplex> SeriesRc(int32_t slots) {
    std::vector<TComplex> zx(static_cast<size_t>(slots), ComplexZero);
    for (int32_t k = 1; k < slots; ++k) {
        const double w = 2 * std::numbers::pi * k * kRate / kLength;
        zx[static_cast<size_t>(k)] = {static_cast<float>(kEsr), static_cast<float>(-1 / (w * kCs))};
    }
    return zx;
}

std::filesystem::path ScratchFolder(const char* name) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

TEST(BenchPlotTest, PairsOfTheChosenQuantitiesInTheRangeOnly) {
    TBenchMeter bench("unused.ini");
    const std::vector<TComplex> zx = SeriesRc(200);
    const TComplex untouched{-7.0f, -7.0f};
    std::vector<TComplex> out(zx.size(), untouched);
    const TBinRange bins{10, 150};

    bench.PlotPoints(zx, bins, kRate, kLength, out);
    EXPECT_EQ(out[100], untouched) << "Re/Im draws the result itself";

    bench.SetPlot(TBenchPlot::CsEsr);
    bench.PlotPoints(zx, bins, kRate, kLength, out);
    EXPECT_EQ(out[9], untouched);
    EXPECT_EQ(out[151], untouched);
    for (const int32_t k : {10, 100, 150}) {
        EXPECT_NEAR(out[static_cast<size_t>(k)].Re / kCs, 1.0, 1e-5) << k;
        EXPECT_NEAR(out[static_cast<size_t>(k)].Im, kEsr, 1e-6) << k;
    }

    bench.SetPlot(TBenchPlot::DQ);
    bench.PlotPoints(zx, bins, kRate, kLength, out);
    const double d = 2 * std::numbers::pi * 1000 * kCs * kEsr;
    EXPECT_NEAR(out[100].Re / d, 1.0, 1e-5);
    EXPECT_NEAR(out[100].Im * d, 1.0, 1e-5);

    EXPECT_EQ(BenchPlotCurves(TBenchPlot::CsEsr)[1].Name, "ESR");
    EXPECT_EQ(BenchPlotCurves(TBenchPlot::DQ)[0].Unit, "");
    EXPECT_EQ(BenchPlotCurves(TBenchPlot::ReIm)[0].Unit, "Ohm");
}

TEST(BenchPlotTest, PlotAndPanelComeBackAndOddValuesFallBack) {
    const std::filesystem::path folder = ScratchFolder("tavrin-bench-plot");
    const std::string settings = (folder / "tavrin.ini").string();
    {
        TBenchMeter bench(settings);
        bench.SetPlot(TBenchPlot::DQ);
        bench.SetPanelShown(true);
        bench.Save();
    }
    EXPECT_FALSE(std::filesystem::exists(settings)) << "the window's file stays as it is";
    TBenchMeter again(settings);
    again.Load();
    EXPECT_EQ(again.Plot(), TBenchPlot::DQ);
    EXPECT_TRUE(again.PanelShown());

    std::ofstream(again.SettingsPath()) << "[Bench]\nPlot=7\nShown=maybe\n";
    TBenchMeter odd(settings);
    odd.Load();
    EXPECT_EQ(odd.Plot(), TBenchPlot::ReIm);
    EXPECT_FALSE(odd.PanelShown());
    std::filesystem::remove_all(folder);
}

std::string Bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A second program on the same files captures and uses its open, but neither writes nor clears
// the first one's fixture file; it says so each time.
TEST(BenchFilesTest, ASecondProgramUsesItsCapturesButLeavesTheFixtureFileAlone) {
    testing::TScratchFolder folder;
    testing::TSessionRig first(folder);
    first.Calibrate();
    first.Session().SaveCalibration();
    const std::string fixture = first.Session().Bench().CompensationPath();
    std::ofstream(fixture) << "the first program's";

    testing::TSessionRig second(folder);
    TMeasurementSession& session = second.Session();
    ASSERT_FALSE(session.OwnsFiles());
    ASSERT_TRUE(session.CalibrationLoaded());
    bool done = false;
    session.Bench().OnCaptureDone = [&](TFixturePart) { done = true; };
    second.SelectDevices(static_cast<int32_t>(TVirtualBoxState::Open));
    ASSERT_TRUE(session.StartCapture(TFixturePart::Open));
    ASSERT_TRUE(second.RunUntil([&] { return done; }, 60000));
    session.Stop();
    EXPECT_TRUE(session.Bench().Compensation().Part(TFixturePart::Open).Present());
    const std::string notice = "Another Tavrin is using " + folder.PathOf("tavrin.ini") +
                               ": this one will not save its fixture compensation.";
    // (Its reading of the first program's file at start-up was refused: not a fixture file.)
    ASSERT_FALSE(second.Errors.empty());
    EXPECT_EQ(second.Errors.back(), notice);
    EXPECT_EQ(Bytes(fixture), "the first program's");

    EXPECT_THROW(session.Bench().ClearCompensation(), EFileError);
    EXPECT_FALSE(session.Bench().Compensation().Part(TFixturePart::Open).Present());
    EXPECT_EQ(Bytes(fixture), "the first program's");
}

}  // namespace
}  // namespace tavrin
