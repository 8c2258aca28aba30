// tavrin-cli end to end on the virtual box at speed, imperfections on: the device list, a
// calibration, measurements checked against the box's components, every usage error, and an
// interrupt in the middle of a measurement.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CliProcess.h"
#include "SessionTestKit.h"
#include "uTraceImport.h"
#include "uVirtualBoxNetwork.h"

namespace tavrin::testing {
namespace {

using nlohmann::json;

// The box alone, faster than real time, with every imperfection of a real card.
constexpr const char* kBox = "only,speed=16,lockstep";

std::string Bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

class CliTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Folder = std::make_unique<TScratchFolder>();
        Calibration = Run({"calibrate", "--input", "0", "--output", "0", "--time", "1"});
    }
    static void TearDownTestSuite() { Folder.reset(); }

    static TCliOutcome Run(std::vector<std::string> arguments) {
        const bool ownFiles =
            std::find(arguments.begin(), arguments.end(), "--calibration") != arguments.end();
        if (arguments.front() != "devices" && !ownFiles) {
            arguments.insert(arguments.end(), {"--settings", Folder->PathOf("tavrin.ini"),
                                               "--calibration", Folder->PathOf("tavrin.cal")});
        }
        return RunCli(Folder->PathOf(""), arguments, kBox);
    }
    // The last result of an LCR measurement of `device`.
    static json MeasureLcr(const std::string& device) {
        const TCliOutcome outcome =
            Run({"measure", "--mode", "lcr", "--input", device, "--output", device, "--rref", "100",
                 "--cin", "100", "--results", "3"});
        EXPECT_EQ(outcome.Status, 0) << outcome.Err;
        EXPECT_EQ(outcome.OutLines().size(), 3u);
        return outcome.OutLines().empty() ? json() : json::parse(outcome.OutLines().back());
    }

    static std::unique_ptr<TScratchFolder> Folder;
    static TCliOutcome Calibration;
};

std::unique_ptr<TScratchFolder> CliTest::Folder;
TCliOutcome CliTest::Calibration;

TEST_F(CliTest, DevicesAreListedWithTheirNumbers) {
    const TCliOutcome outcome = Run({"devices"});
    EXPECT_EQ(outcome.Status, 0);
    const std::vector<std::string> lines = outcome.OutLines();
    const size_t count = kVirtualBoxStateCount;
    ASSERT_EQ(lines.size(), 2 * count + 2);
    EXPECT_EQ(lines[0], "Input (capture) devices:");
    EXPECT_EQ(lines[1].rfind("  0  Virtual box: S1 calibration", 0), 0u);
    EXPECT_EQ(lines[count + 1], "Output (playback) devices:");
    EXPECT_EQ(lines[count + 4].rfind("  2  Virtual box: Zx 4.7 \u00B5F", 0), 0u);
}

TEST_F(CliTest, CalibrationWritesTheFileAndTheSaturationLevels) {
    ASSERT_EQ(Calibration.Status, 0) << Calibration.Err;
    EXPECT_TRUE(Calibration.Err.empty());
    const json last = json::parse(Calibration.OutLines().back());
    EXPECT_EQ(last["bins"], 2048);
    EXPECT_EQ(Bytes(Folder->PathOf("tavrin.cal")).size(), 4u + 2048 * 8);
    const std::string settings = Bytes(Folder->PathOf("tavrin.ini"));
    EXPECT_NE(settings.find("[Calibration]"), std::string::npos);
    // The run's other settings are the window's to keep.
    EXPECT_EQ(settings.find("[WaveSetup]"), std::string::npos);
}

TEST_F(CliTest, CapacitorAndInductorWithinTheirTolerances) {
    ASSERT_EQ(Calibration.Status, 0);
    const json capacitor = MeasureLcr("2");
    EXPECT_EQ(capacitor["mode"], "lcr");
    EXPECT_EQ(capacitor["fit"]["reactance"], "capacitive");
    EXPECT_NEAR(capacitor["fit"]["capacitance"].get<double>() / 4.7e-6, 1.0, 1e-3);
    EXPECT_NEAR(capacitor["fit"]["resistance"].get<double>() / 0.2, 1.0, 0.05);
    EXPECT_EQ(capacitor["fit"]["readout"][0].get<std::string>().rfind("Cx= ", 0), 0u);

    const json inductor = MeasureLcr("Virtual box: Zx 10 mH + 3.3 \u03A9 (R ref 100 \u03A9)");
    EXPECT_EQ(inductor["fit"]["reactance"], "inductive");
    EXPECT_NEAR(inductor["fit"]["inductance"].get<double>() / 10e-3, 1.0, 1e-3);
    EXPECT_NEAR(inductor["fit"]["resistance"].get<double>() / 3.3, 1.0, 0.05);
}

// The loaded low-pass: 0.5 at low frequencies, its corner at 3.18 kHz; the export as the
// window's Save writes it.
TEST_F(CliTest, TransferOfTheLowPassWithItsCurveAndExport) {
    ASSERT_EQ(Calibration.Status, 0);
    const std::string exportPath = Folder->PathOf("curve.txt");
    const TCliOutcome outcome = Run({"measure", "--mode", "transfer", "--input", "4", "--output",
                                     "4", "--band", "20:10000", "--curve", "--export", exportPath});
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    const json result = json::parse(outcome.OutLines().at(0));
    EXPECT_EQ(result.count("fit"), 0u);
    EXPECT_EQ(result["band"], json({20.0, 10000.0}));
    const json& curve = result["curve"];
    EXPECT_NEAR(curve.front()[1].get<double>(), 0.5, 0.01);
    for (const json& point : curve) {
        const double f = point[0], re = point[1], im = point[2];
        if (std::fabs(f - 3183.0) < 12.0) {
            EXPECT_NEAR(std::hypot(re, im), 0.5 / std::sqrt(2.0), 0.01) << f;
        }
    }
    const std::string exported = Bytes(exportPath);
    EXPECT_EQ(exported.size(), curve.size() * 73);
    EXPECT_EQ(exported.substr(71, 2), "\r\n");
}

// The curve formats: the low-pass as FRD at 12 points per octave, the resistor as Touchstone
// normalised to R ref, each with the comments of its measurement; formats that do not suit the
// mode, and resolutions not offered, refused before the run.
TEST_F(CliTest, CurveExportsInTheFormatTheirNameGives) {
    ASSERT_EQ(Calibration.Status, 0);
    const std::string frd = Folder->PathOf("low-pass.frd");
    TCliOutcome outcome = Run({"measure", "--mode", "transfer", "--input", "4", "--output", "4",
                               "--export", frd, "--ppo", "12"});
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    const TTraceRead lowPass = ReadTraceFile(frd);
    ASSERT_TRUE(lowPass.Trace) << lowPass.Error;
    EXPECT_EQ(lowPass.Trace->Kind, TTraceKind::Transfer);
    EXPECT_EQ(lowPass.Trace->Info.PointsPerOctave, 12);
    EXPECT_EQ(lowPass.Trace->Info.IntegrationTime, 0.3);
    EXPECT_TRUE(lowPass.Trace->Info.CalibrationDate);  // the calibration's record
    EXPECT_NEAR(std::abs(lowPass.Trace->Points.front().Value), 0.5, 0.01);
    EXPECT_LT(std::arg(lowPass.Trace->Points.back().Value), -1.0);  // lagging

    const std::string s1p = Folder->PathOf("resistor.s1p");
    outcome = Run({"measure", "--mode", "z", "--input", "1", "--output", "1", "--rref", "100",
                   "--cin", "100", "--export", s1p});
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    EXPECT_NE(Bytes(s1p).find("\r\n# Hz Z RI R 100\r\n"), std::string::npos);
    const TTraceRead resistor = ReadTraceFile(s1p);
    ASSERT_TRUE(resistor.Trace) << resistor.Error;
    EXPECT_GT(resistor.Trace->Points.size(), 1800u);
    EXPECT_NEAR(std::abs(resistor.Trace->Points[100].Value), 47.0, 0.1);

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused{
        {{"--mode", "transfer", "--export", Folder->PathOf("x.zma")},
         "a transfer function is written as .frd or .csv"},
        {{"--mode", "z", "--export", Folder->PathOf("x.frd")}, "an impedance is written as"},
        {{"--mode", "z", "--export", Folder->PathOf("x.csv"), "--ppo", "10"}, "--ppo takes 12"},
        {{"--mode", "z", "--export", Folder->PathOf("x.txt"), "--ppo", "12"}, "--ppo needs"},
    };
    for (auto [arguments, expected] : refused) {
        arguments.insert(arguments.begin(), {"measure", "--input", "1", "--output", "1"});
        outcome = Run(arguments);
        EXPECT_EQ(outcome.Status, 2) << expected;
        EXPECT_NE(outcome.Err.find(expected), std::string::npos) << outcome.Err;
        EXPECT_TRUE(outcome.Out.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(Folder->PathOf("x.zma")));
}

TEST_F(CliTest, UsageAndDeviceErrorsGiveStatus2AndOneLine) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"measure", "--mode", "lcr", "--input", "99", "--output", "2"}, "unknown input device 99"},
        {{"measure", "--mode", "lcr", "--input", "2", "--output", "USB card"},
         "unknown output device \"USB card\""},
        {{"measure", "--mode", "lcr", "--input", "2", "--output", "2", "--rate", "44100"},
         "rate 44100 is not supported"},
        {{"measure", "--mode", "lcr", "--input", "2", "--output", "2", "--band", "20:30000"},
         "band 20:30000 is outside the rate"},
        {{"measure", "--mode", "z", "--input", "2", "--output", "2", "--export", "/nonexistent/x"},
         "cannot write /nonexistent/x"},
        {{"calibrate", "--input", "0", "--output", "0", "--calibration", "/nonexistent/c.cal"},
         "cannot write /nonexistent/c.cal"},
        {{"measure", "--mode", "q", "--input", "2", "--output", "2"}, "--mode"},
        {{"measure", "--mode", "lcr", "--output", "2"}, "--input is required"},
        {{"measure", "--mode", "lcr", "--input", "2", "--output", "2", "--rref", "1,5"},
         "--rref takes ohms"},
        {{"frequency"}, "unknown command \"frequency\""},
    };
    for (const auto& [arguments, expected] : cases) {
        const TCliOutcome outcome = Run(arguments);
        EXPECT_EQ(outcome.Status, 2) << expected;
        ASSERT_EQ(outcome.ErrLines().size(), 1u) << outcome.Err;
        EXPECT_NE(outcome.Err.find(expected), std::string::npos) << outcome.Err;
        EXPECT_TRUE(outcome.Out.empty()) << outcome.Out;
    }
}

// A result the calibration does not correct (none yet, or one made at another rate with the
// same block length, which used to be applied as it was) ends the command with status 3 and
// the mark; --allow-uncalibrated measures all the same and marks every result.
TEST_F(CliTest, UncalibratedResultsGiveStatus3UnlessAllowed) {
    const TScratchFolder empty;
    const std::vector<std::string> files{"--settings", empty.PathOf("tavrin.ini"), "--calibration",
                                         empty.PathOf("tavrin.cal")};
    std::vector<std::string> none{"measure", "--mode", "lcr", "--input", "2", "--output", "2"};
    none.insert(none.end(), files.begin(), files.end());
    const TCliOutcome missing = RunCli(empty.PathOf(""), none, kBox);
    EXPECT_EQ(missing.Status, 3);
    ASSERT_EQ(missing.ErrLines().size(), 1u) << missing.Err;
    EXPECT_NE(missing.Err.find("Not calibrated for 48000 S/s, N "), std::string::npos)
        << missing.Err;
    EXPECT_TRUE(missing.Out.empty());

    // 96000 with FMin 40 keeps N 4096 of 48000 with FMin 20: the table has the right length.
    const std::vector<std::string> otherRate{"measure", "--mode",   "lcr",     "--input",
                                             "2",       "--output", "2",       "--rate",
                                             "96000",   "--band",   "40:20000"};
    const TCliOutcome refused = Run(otherRate);
    EXPECT_EQ(refused.Status, 3);
    EXPECT_NE(refused.Err.find("Not calibrated for 96000 S/s"), std::string::npos) << refused.Err;
    EXPECT_NE(refused.Err.find("calibrate again"), std::string::npos) << refused.Err;
    EXPECT_TRUE(refused.Out.empty());

    std::vector<std::string> allowed = otherRate;
    allowed.push_back("--allow-uncalibrated");
    const TCliOutcome marked = Run(allowed);
    EXPECT_EQ(marked.Status, 0) << marked.Err;
    EXPECT_NE(marked.Err.find("Not calibrated for 96000 S/s"), std::string::npos) << marked.Err;
    ASSERT_EQ(marked.OutLines().size(), 1u);
    const json line = json::parse(marked.OutLines().front());
    EXPECT_NE(line.value("calibration_mark", "").find("calibrate again"), std::string::npos)
        << line.dump();

    // The calibrated set-up carries no mark; a plain transfer ratio needs no calibration.
    const json calibrated = MeasureLcr("2");
    EXPECT_FALSE(calibrated.contains("calibration_mark")) << calibrated.dump();
    std::vector<std::string> ratio{"measure", "--mode",   "transfer", "--input",
                                   "4",       "--output", "4"};
    ratio.insert(ratio.end(), files.begin(), files.end());
    const TCliOutcome plain = RunCli(empty.PathOf(""), ratio, kBox);
    EXPECT_EQ(plain.Status, 0) << plain.Err;
    EXPECT_TRUE(plain.Err.empty()) << plain.Err;
}

// Each LCR result carries the running reading with its expanded uncertainty, digits cut to
// what it supports; a resistor's reactance, which the data do not show, is null and reads "??"
// rather than a value fitted to noise.
TEST_F(CliTest, LcrResultsCarryTheirUncertaintyAndNoReactanceMadeOfNoise) {
    const json capacitor = MeasureLcr("2");
    ASSERT_TRUE(capacitor.contains("reading")) << capacitor.dump();
    const json& reading = capacitor["reading"];
    EXPECT_EQ(reading["results"], 3);
    EXPECT_TRUE(reading["reactance_supported"].get<bool>());
    const double u = reading["uncertainty"]["capacitance"].get<double>();
    EXPECT_GT(u, 0.0);
    EXPECT_LT(u, 4.7e-6 * 1e-3);
    EXPECT_NEAR(reading["capacitance"].get<double>(), 4.7e-6, 4.7e-6 * 1e-3);
    const std::string first = reading["readout"][0];
    EXPECT_EQ(first.rfind("Cx= 4.", 0), 0u) << reading.dump();
    EXPECT_NE(first.find(" µF ± "), std::string::npos) << first;

    const json resistor = MeasureLcr("1");
    ASSERT_TRUE(resistor.contains("reading")) << resistor.dump();
    EXPECT_FALSE(resistor["reading"]["reactance_supported"].get<bool>());
    EXPECT_TRUE(resistor["reading"]["capacitance"].is_null() ||
                resistor["reading"].contains("inductance"));
    EXPECT_EQ(resistor["reading"]["readout"][2], "tg= ??");
    EXPECT_NEAR(resistor["reading"]["resistance"].get<double>(), 47.0, 0.05);
}

// Playback and capture 200 ppm apart: the offset is measured and, uncompensated, warned of;
// compensated, the capacitor reads as on one clock.
TEST_F(CliTest, AClockOffsetIsMeasuredAndWarnedOfUnlessCompensated) {
    const std::vector<std::string> measure{"measure",
                                           "--mode",
                                           "lcr",
                                           "--input",
                                           "2",
                                           "--output",
                                           "2",
                                           "--rref",
                                           "100",
                                           "--cin",
                                           "100",
                                           "--time",
                                           "1",
                                           "--settings",
                                           Folder->PathOf("tavrin.ini"),
                                           "--calibration",
                                           Folder->PathOf("tavrin.cal")};
    const std::string box = std::string(kBox) + ",clock-offset=200";
    const TCliOutcome plain = RunCli(Folder->PathOf(""), measure, box);
    ASSERT_EQ(plain.Status, 0) << plain.Err;
    const json warned = json::parse(plain.OutLines().back());
    EXPECT_NEAR(warned.value("clock_offset_ppm", 0.0), 200.0, 0.5) << warned.dump();
    EXPECT_NE(warned.value("clock_warning", "").find("use one device for both directions"),
              std::string::npos)
        << warned.dump();

    std::vector<std::string> compensated = measure;
    compensated.push_back("--clock-compensation");
    const TCliOutcome outcome = RunCli(Folder->PathOf(""), compensated, box);
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    const json line = json::parse(outcome.OutLines().back());
    EXPECT_FALSE(line.contains("clock_warning")) << line.dump();
    EXPECT_NEAR(line.value("clock_offset_ppm", 0.0), 200.0, 0.5);
    EXPECT_NEAR(line["fit"]["capacitance"].get<double>() / 4.7e-6, 1.0, 1e-3) << line.dump();
}

// --version and --help answer on stdout with success, before any device or file is looked at.
TEST_F(CliTest, VersionAndHelpAnswerWithoutAnError) {
    const TCliOutcome version = RunCli(Folder->PathOf(""), {"--version"}, kBox);
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out.rfind("tavrin-cli ", 0), 0u) << version.Out;
    EXPECT_TRUE(version.Err.empty()) << version.Err;
    for (const std::string command : {"devices", "calibrate", "measure"}) {
        const TCliOutcome help = RunCli(Folder->PathOf(""), {command, "--help"}, kBox);
        EXPECT_EQ(help.Status, 0) << command;
        EXPECT_NE(help.Out.find("--help"), std::string::npos) << help.Out;
    }
}

// Ctrl-C in the middle of a measurement: the devices stop, the export of what was measured is
// written, the calibration is untouched and the status is success.
TEST_F(CliTest, InterruptEndsAMeasurementWithinASecond) {
    if (!InterruptsReachChildren()) {
        GTEST_SKIP() << "no console here to carry Ctrl-Break to the program";
    }
    ASSERT_EQ(Calibration.Status, 0);
    const std::string calibration = Bytes(Folder->PathOf("tavrin.cal"));
    const std::string exportPath = Folder->PathOf("interrupted.txt");
    TCliProcess process(
        Folder->PathOf(""),
        {"measure", "--mode", "lcr", "--input", "2", "--output", "2", "--results", "100000",
         "--export", exportPath, "--settings", Folder->PathOf("tavrin.ini"), "--calibration",
         Folder->PathOf("tavrin.cal")},
        "only,speed=2,lockstep");
    ASSERT_TRUE(process.WaitForLines(2, 30000));
    const auto interrupted = std::chrono::steady_clock::now();
    process.Signal(SIGINT);
    const TCliOutcome outcome = process.Wait(5000);
    const auto took = std::chrono::steady_clock::now() - interrupted;
    EXPECT_EQ(outcome.Status, 0) << outcome.Err;
    EXPECT_LT(took, std::chrono::seconds(1));
    EXPECT_TRUE(outcome.Err.empty()) << outcome.Err;
    EXPECT_EQ(Bytes(Folder->PathOf("tavrin.cal")), calibration);
    EXPECT_EQ(Bytes(exportPath).size(), 1876u * 73);
}

}  // namespace
}  // namespace tavrin::testing
