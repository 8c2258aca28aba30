// tavrin-cli's bench readings end to end on the virtual box with test leads: open and short
// captured by `compensate`, the spot readout and the band's circuits in `measure`'s JSON, a load
// capture that tells the inputs, and the compensation's refusal for a wider band.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "SessionTestKit.h"
#include "uFileLock.h"
#include "uTraceImport.h"
#include "uVirtualBoxNetwork.h"

namespace tavrin::testing {
namespace {

using nlohmann::json;

constexpr const char* kBox = "only,speed=16,lockstep,leads";

std::string DeviceOf(TVirtualBoxState state) {
    return std::to_string(static_cast<int32_t>(state));
}

class CliBenchTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Folder = std::make_unique<TScratchFolder>();
        const TCliOutcome calibration =
            Run({"calibrate", "--input", "0", "--output", "0", "--time", "1"});
        ASSERT_EQ(calibration.Status, 0) << calibration.Err;
    }
    static void TearDownTestSuite() { Folder.reset(); }

    static TCliOutcome Run(std::vector<std::string> arguments, const char* box = kBox) {
        arguments.insert(arguments.end(), {"--settings", Folder->PathOf("tavrin.ini"),
                                           "--calibration", Folder->PathOf("tavrin.cal")});
        return RunCli(Folder->PathOf(""), arguments, box);
    }
    static json Capture(const std::string& part, TVirtualBoxState state,
                        std::vector<std::string> more = {}) {
        std::vector<std::string> arguments{"compensate", part};
        arguments.insert(arguments.end(), more.begin(), more.end());
        arguments.insert(arguments.end(), {"--input", DeviceOf(state), "--output", DeviceOf(state),
                                           "--rref", "100", "--cin", "100"});
        const TCliOutcome outcome = Run(arguments);
        EXPECT_EQ(outcome.Status, 0) << outcome.Err;
        EXPECT_EQ(outcome.OutLines().size(), 1u) << outcome.Out;
        return outcome.OutLines().empty() ? json() : json::parse(outcome.OutLines().back());
    }
    static json Measure(TVirtualBoxState state, std::vector<std::string> more) {
        std::vector<std::string> arguments{
            "measure", "--mode", "lcr",   "--input", DeviceOf(state), "--output", DeviceOf(state),
            "--rref",  "100",    "--cin", "100",     "--results",     "3"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        const TCliOutcome outcome = Run(arguments);
        EXPECT_EQ(outcome.Status, 0) << outcome.Err;
        return outcome.OutLines().empty() ? json() : json::parse(outcome.OutLines().back());
    }

    static inline std::unique_ptr<TScratchFolder> Folder;
    const TVirtualBoxComponents Parts;
};

TEST_F(CliBenchTest, CompensateThenReadTheSpotAndTheModels) {
    const json raw = Measure(TVirtualBoxState::Capacitor, {"--spot", "1k"});
    ASSERT_TRUE(raw.contains("bench")) << raw.dump();
    EXPECT_FALSE(raw["bench"]["compensated"].get<bool>());
    EXPECT_GT(raw["bench"]["spot"]["rs"].get<double>(), 0.24);  // the leads' 50 mOhm

    const json open = Capture("--open", TVirtualBoxState::Open);
    EXPECT_EQ(open["captured"], "open");
    EXPECT_EQ(open["bins"], json({2, 1877}));
    EXPECT_FALSE(open["input"]["known"].get<bool>());
    EXPECT_EQ(Capture("--short", TVirtualBoxState::Short)["captured"], "short");
    EXPECT_TRUE(std::filesystem::exists(Folder->PathOf("tavrin.fixture")));

    const json line = Measure(TVirtualBoxState::Capacitor, {"--spot", "1k", "--model", "auto"});
    const json& bench = line["bench"];
    EXPECT_TRUE(bench["compensated"].get<bool>()) << bench.dump();
    EXPECT_TRUE(bench["compensation_mark"].is_null());
    const json& spot = bench["spot"];
    EXPECT_EQ(spot["bin"], 85);
    EXPECT_EQ(spot["model"], "series");
    EXPECT_TRUE(spot["automatic"].get<bool>());
    EXPECT_NEAR(spot["cs"].get<double>() / Parts.CapacitorFarads, 1.0, 1e-3);
    EXPECT_NEAR(spot["rs"].get<double>(), Parts.CapacitorSeriesOhms, 0.01);
    EXPECT_EQ(spot["readout"][0], "996.094 Hz series (auto)");
    const json& best = bench["models"]["best"];
    // The leads' 300 nH gone; the few nH that noise may leave can still earn a place.
    const std::string circuit = best["circuit"];
    EXPECT_TRUE(circuit == "series R-C" || circuit == "series R-L-C") << circuit;
    EXPECT_LT(best["inductance"].get<double>(), 20e-9);
    EXPECT_NEAR(best["capacitance"].get<double>() / Parts.CapacitorFarads, 1.0, 1e-3);
    EXPECT_NEAR(best["resistance"].get<double>(), Parts.CapacitorSeriesOhms, 0.003);
    EXPECT_EQ(bench["models"]["fits"].size(), 3u);
    ASSERT_TRUE(line.contains("fit"));  // the LCR readout goes on beside it

    // Asked for the parallel model at 10 kHz.
    const json parallel =
        Measure(TVirtualBoxState::Capacitor, {"--spot", "10 kHz", "--model", "parallel"});
    EXPECT_EQ(parallel["bench"]["spot"]["model"], "parallel");
    EXPECT_EQ(parallel["bench"]["spot"]["bin"], 853);
    EXPECT_FALSE(parallel["bench"]["spot"]["automatic"].get<bool>());

    // Over a wider band the compensation does not hold every bin: said, and not applied (the
    // calibration does not either, which is let go here).
    const json other =
        Measure(TVirtualBoxState::Capacitor, {"--band", "20:23000", "--allow-uncalibrated"});
    EXPECT_EQ(other["bench"]["compensation_mark"],
              "Not compensated for 20-23000 Hz: compensate again");
    EXPECT_FALSE(other["bench"]["compensated"].get<bool>());
}

TEST_F(CliBenchTest, TheLoadCaptureTellsTheInputs) {
    const TScratchFolder own;
    const auto run = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), {"--settings", own.PathOf("tavrin.ini"), "--calibration",
                                           own.PathOf("tavrin.cal")});
        return RunCli(own.PathOf(""), arguments, "only,speed=16,lockstep,inputs,rref=10000");
    };
    ASSERT_EQ(run({"calibrate", "--input", "0", "--output", "0", "--time", "1"}).Status, 0);
    const std::string load = DeviceOf(TVirtualBoxState::Load);
    const TCliOutcome outcome = run({"compensate", "--load", "1000", "--input", load, "--output",
                                     load, "--rref", "10000", "--cin", "0"});
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    const json input = json::parse(outcome.OutLines().back())["input"];
    ASSERT_TRUE(input["known"].get<bool>()) << input.dump();
    EXPECT_NEAR(input["cin"].get<double>(), Parts.InputFarads, 2e-12);
    EXPECT_NEAR(input["rin"].get<double>() / Parts.InputOhms, 1.0, 0.02);

    const std::string high = DeviceOf(TVirtualBoxState::HighResistor);
    const TCliOutcome measured =
        run({"measure", "--mode", "z", "--input", high, "--output", high, "--rref", "10000",
             "--cin", "0", "--measured-inputs", "--spot", "1k", "--results", "3"});
    ASSERT_EQ(measured.Status, 0) << measured.Err;
    const json bench = json::parse(measured.OutLines().back())["bench"];
    EXPECT_TRUE(bench["input_resistance"].get<bool>());
    EXPECT_EQ(bench["spot"]["model"], "parallel");
    EXPECT_NEAR(bench["spot"]["rp"].get<double>() / Parts.HighOhms, 1.0, 2e-3);
}

// A CSV export of an impedance carries the bench quantities at every point, and still loads as
// the curve it is.
TEST_F(CliBenchTest, CsvExportCarriesTheSpotQuantities) {
    const std::string path = Folder->PathOf("capacitor.csv");
    const json line = Measure(TVirtualBoxState::Capacitor, {"--export", path});
    ASSERT_FALSE(line.empty());
    std::ifstream file(path, std::ios::binary);  // the CSV line ends, CR included, as written
    std::string row;
    while (std::getline(file, row) && row.starts_with("#")) {
    }
    EXPECT_EQ(row,
              "Frequency (Hz),Re (Ohm),Im (Ohm),|Z| (Ohm),Phase (deg),Cs (F),Ls (H),ESR (Ohm),"
              "Cp (F),Lp (H),Rp (Ohm),D,Q\r");
    double nearest = 0;
    double cs = 0;
    while (std::getline(file, row)) {
        const double f = std::stod(row);
        if (std::abs(f - 1000) < std::abs(nearest - 1000)) {
            nearest = f;
            size_t at = 0;
            for (int comma = 0; comma < 5; ++comma) {
                at = row.find(',', at) + 1;
            }
            cs = std::stod(row.substr(at));
        }
    }
    EXPECT_NEAR(cs / Parts.CapacitorFarads, 1.0, 1e-3) << nearest;
    const TTraceRead read = ReadTraceFile(path);
    ASSERT_TRUE(read.Trace) << read.Error;
    EXPECT_GT(read.Trace->Points.size(), 1800u);
}

// While another program holds the files, `compensate` captures nothing and clears nothing.
TEST_F(CliBenchTest, AnotherProgramsFixtureFileIsLeftAlone) {
    TFileLock first(Folder->PathOf("tavrin.ini") + ".lock");
    ASSERT_EQ(first.TryLock(), TFileLock::TResult::Held);
    std::ofstream(Folder->PathOf("tavrin.fixture")) << "the first program's";
    const std::string open = DeviceOf(TVirtualBoxState::Open);
    const std::vector<std::pair<const char*, std::string>> cases{
        {"--open",
         "nothing captured: " + Folder->PathOf("tavrin.fixture") + " is another Tavrin's"},
        {"--clear", "will not save its fixture compensation"},
    };
    for (const auto& [what, expected] : cases) {
        const TCliOutcome outcome = Run({"compensate", what, "--input", open, "--output", open});
        EXPECT_NE(outcome.Status, 0) << what;
        EXPECT_NE(outcome.Err.find(expected), std::string::npos) << outcome.Err;
    }
    std::ifstream file(Folder->PathOf("tavrin.fixture"));
    std::string text;
    std::getline(file, text);
    EXPECT_EQ(text, "the first program's");
    file.close();
    std::filesystem::remove(Folder->PathOf("tavrin.fixture"));
}

TEST_F(CliBenchTest, UsageErrors) {
    const std::string open = DeviceOf(TVirtualBoxState::Open);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"compensate", "--input", open, "--output", open}, "needs one of --open"},
        {{"compensate", "--open", "--short", "--input", open, "--output", open}, "excludes"},
        {{"compensate", "--load", "-3", "--input", open, "--output", open},
         "--load takes ohms above 0"},
        {{"measure", "--mode", "z", "--input", "2", "--output", "2", "--spot", "x"},
         "--spot takes a frequency"},
        {{"measure", "--mode", "z", "--input", "2", "--output", "2", "--rin", "0"},
         "--rin takes ohms above 0"},
        {{"measure", "--mode", "z", "--input", "2", "--output", "2", "--model", "both"}, "--model"},
    };
    for (const auto& [arguments, expected] : cases) {
        const TCliOutcome outcome = Run(arguments);
        EXPECT_EQ(outcome.Status, 2) << expected;
        EXPECT_NE(outcome.Err.find(expected), std::string::npos) << outcome.Err;
    }
    const TCliOutcome cleared = Run({"compensate", "--clear", "--input", open, "--output", open});
    EXPECT_EQ(cleared.Status, 0) << cleared.Err;
    EXPECT_FALSE(std::filesystem::exists(Folder->PathOf("tavrin.fixture")));
}

}  // namespace
}  // namespace tavrin::testing
