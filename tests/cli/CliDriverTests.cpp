// tavrin-cli measuring the virtual box's loudspeaker driver, imperfections on: the free-air run
// saves its curve, the second steps read it back and give the moving parts, and the driver's
// options that do not fit together are refused before anything runs.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "CliProcess.h"
#include "SessionTestKit.h"
#include "uVirtualBoxDriver.h"

namespace tavrin::testing {
namespace {

using nlohmann::json;

constexpr const char* kBox = "only,speed=16,lockstep";

class CliDriverTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Folder = std::make_unique<TScratchFolder>();
        Calibration = Run({"calibrate", "--input", "0", "--output", "0", "--time", "1"});
    }
    static void TearDownTestSuite() { Folder.reset(); }

    // The driver's band, the box's R ref and C in, and the test's own files.
    static TCliOutcome Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.end(),
                         {"--band", "10:2000", "--settings", Folder->PathOf("tavrin.ini"),
                          "--calibration", Folder->PathOf("tavrin.cal")});
        if (arguments.front() == "measure") {
            arguments.insert(arguments.end(), {"--rref", "100", "--cin", "100"});
        }
        return RunCli(Folder->PathOf(""), arguments, kBox);
    }
    // The driver's part of the last result of a run on `device`.
    static json Measure(const std::string& device, std::vector<std::string> more) {
        std::vector<std::string> arguments{"measure",  "--mode", "driver",    "--input", device,
                                           "--output", device,   "--results", "3"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        const TCliOutcome outcome = Run(arguments);
        EXPECT_EQ(outcome.Status, 0) << outcome.Err;
        EXPECT_EQ(outcome.OutLines().size(), 3u);
        if (outcome.OutLines().empty()) {
            return json();
        }
        const json last = json::parse(outcome.OutLines().back());
        EXPECT_EQ(last["mode"], "driver");
        return last["driver"];
    }
    static double Relative(double measured, double truth) {
        return std::fabs(measured / truth - 1.0);
    }

    static std::unique_ptr<TScratchFolder> Folder;
    static TCliOutcome Calibration;
};

std::unique_ptr<TScratchFolder> CliDriverTest::Folder;
TCliOutcome CliDriverTest::Calibration;

TEST_F(CliDriverTest, FreeAirThenAddedMassAndKnownVolume) {
    ASSERT_EQ(Calibration.Status, 0) << Calibration.Err;
    const TVirtualDriver d;
    const std::string base = Folder->PathOf("woofer");
    const json free = Measure("5", {"--save", base})["free_air"];
    ASSERT_TRUE(free["fit"].get<bool>()) << free;
    EXPECT_LT(Relative(free["fs"], d.Fs), 0.002) << free;
    EXPECT_LT(Relative(free["re"], d.Re), 0.002) << free;
    EXPECT_LT(Relative(free["qms"], d.Qms), 0.01) << free;
    EXPECT_LT(Relative(free["qes"], d.Qes), 0.01) << free;
    EXPECT_LT(Relative(free["le"], d.Le), 0.05) << free;
    EXPECT_EQ(free["model"], "LR2");
    EXPECT_TRUE(std::filesystem::exists(base + ".txt"));
    ASSERT_TRUE(std::filesystem::exists(base + ".zma"));

    const json mass =
        Measure("6", {"--added-mass", "10", "--sd", "220", "--free-air", base + ".zma"});
    EXPECT_EQ(mass["method"], "added_mass");
    EXPECT_DOUBLE_EQ(mass["added_mass"].get<double>(), 0.01);
    EXPECT_LT(Relative(mass["free_air"]["fs"], d.Fs), 0.002) << mass;
    EXPECT_LT(Relative(mass["mechanics"]["mms"], d.Mms), 0.02) << mass;
    EXPECT_LT(Relative(mass["mechanics"]["vas"], VirtualDriverVas(d)), 0.03) << mass;

    const json box = Measure("7", {"--volume", "20", "--sd", "220", "--free-air", base + ".zma"});
    EXPECT_EQ(box["method"], "known_volume");
    EXPECT_LT(Relative(box["mechanics"]["mms"], d.Mms), 0.02) << box;
    EXPECT_LT(Relative(box["mechanics"]["vas"], VirtualDriverVas(d)), 0.03) << box;
    EXPECT_LT(Relative(box["mechanics"]["bl"], VirtualDriverBl(d)), 0.02) << box;
}

TEST_F(CliDriverTest, OptionsThatDoNotFitTogetherGiveStatus2) {
    const std::string zma = Folder->PathOf("nothing-here.zma");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--added-mass", "10"}, "need the cone's area"},
        {{"--added-mass", "10", "--sd", "220"}, "needs the free-air curve"},
        {{"--volume", "-2", "--sd", "220"}, "--volume takes litres"},
        {{"--added-mass", "10", "--volume", "20"}, "excludes"},
        {{"--added-mass", "10", "--sd", "220", "--free-air", zma}, "nothing-here.zma"},
        {{"--save", "/nonexistent/woofer"}, "cannot write /nonexistent/woofer.txt"},
    };
    for (const auto& [more, expected] : cases) {
        std::vector<std::string> arguments{"measure", "--mode",   "driver", "--input",
                                           "6",       "--output", "6"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        const TCliOutcome outcome = Run(arguments);
        EXPECT_EQ(outcome.Status, 2) << expected;
        EXPECT_EQ(outcome.ErrLines().size(), 1u) << outcome.Err;
        EXPECT_NE(outcome.Err.find(expected), std::string::npos) << outcome.Err;
        EXPECT_TRUE(outcome.Out.empty()) << outcome.Out;
    }
    const TCliOutcome z =
        Run({"measure", "--mode", "z", "--input", "5", "--output", "5", "--sd", "220"});
    EXPECT_EQ(z.Status, 2);
    EXPECT_NE(z.Err.find("go with --mode driver"), std::string::npos) << z.Err;
}

}  // namespace
}  // namespace tavrin::testing
