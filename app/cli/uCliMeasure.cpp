#include "uCliMeasure.h"

#include <CLI/CLI.hpp>
#include <array>
#include <iostream>
#include <map>
#include <vector>

#include "uCliCompensate.h"
#include "uCliCurveExport.h"
#include "uCliEnvironment.h"
#include "uCliError.h"
#include "uCliJson.h"
#include "uCliRun.h"
#include "uMeasurementSession.h"
#include "uResultExport.h"
#include "uSignalIn.h"
#include "uStopSignal.h"

namespace tavrin::cli {
namespace {

const std::map<std::string, TMode> kModes{
    {"z", mdZGraph}, {"lcr", mdZGraphLCR}, {"transfer", mdTransfer}, {"driver", mdZGraph}};
constexpr const char* kDefaultTime = "0.3";

// Results without a calibration made for this set-up must not pass for calibrated ones: the
// mark ends the command unless the user accepts such results, and then it stays on stderr and
// in every result.
void CheckCalibration(const TMeasurementSession& session, bool allowed) {
    const std::string& mark = session.CalibrationMark();
    if (mark.empty()) {
        return;
    }
    if (!allowed) {
        throw ECliError(mark + " (or --allow-uncalibrated)", kExitUncalibrated);
    }
    std::cerr << kProgram << ": " << mark << std::endl;
}

}  // namespace

void TMeasureCommand::Register(CLI::App& program) {
    Command = program.add_subcommand("measure", "measure and print one JSON object per result");
    Command->add_option("--mode", Mode, "z, lcr, transfer or driver")
        ->required()
        ->check(CLI::IsMember({"z", "lcr", "transfer", "driver"}));
    AddSetupOptions(*Command, Options, "integration time of each result, seconds (default 0.3)");
    Command->add_option("--rref", Rref, "R ref, ohms (default: the window's)");
    Command->add_option("--cin", Cin, "C in, picofarads (default: the window's)");
    Command->add_option("--results", Results, "results to print before stopping")
        ->check(CLI::Range(1, 1000000000))
        ->capture_default_str();
    Command->add_flag("--swap", Swap, "swap the two inputs");
    Command->add_flag("--clock-compensation", ClockCompensation,
                      "resample the capture by the clock offset measured from the stimulus (for "
                      "playback and capture on two devices)");
    Command->add_flag("--allow-uncalibrated", AllowUncalibrated,
                      "measure even without a calibration made for this rate, block length, "
                      "band and devices (otherwise status 3)");
    Command->add_flag("--curve", Curve, "print each result's curve as [frequency, re, im] rows");
    Command->add_option("--export", ExportPath,
                        "write the last result's curve to FILE: .zma, .frd, .csv or .s1p in that "
                        "format, any other name as the window's Save does");
    Command->add_option("--ppo", PointsPerOctave,
                        "points per octave of a .zma, .frd, .csv or .s1p export: 12, 24, 48 or 96 "
                        "(default: every bin)");
    Driver.Register(*Command);
    AddBenchOptions(*Command, Spot, Model, Rin, MeasuredInputs);
}

void TMeasureCommand::Run(TCliEnvironment& environment) {
    const TMode mode = kModes.at(Mode);
    const std::string time = Options.Time.value_or(kDefaultTime);
    const double seconds = ParseSeconds(time);
    if (ExportPath) {
        CheckWritable(*ExportPath);
    }
    CheckCurveExport(ExportPath, mode, PointsPerOctave);
    const bool curveExport = ExportPath && NamesCurveFormat(*ExportPath);
    TCurveExport curveFile;
    const bool driverMode = Mode == "driver";
    if (Driver.Given() && !driverMode) {
        throw ECliError(
            "--added-mass, --volume, --sd, --free-air and --save go with --mode driver");
    }
    TDriverMeasurement driver;
    if (driverMode) {
        Driver.Prepare(driver);
    }

    TMeasurementSession session(TSessionEnvironment{environment.WaveService(), environment.Ui(),
                                                    environment.AudioClock(), Options.SettingsPath,
                                                    Options.CalibrationPath});
    int results = 0;
    bool saturated = false;
    std::vector<std::array<double, 3>> lastCurve;
    session.OnSaturation = [&](bool value) { saturated = value; };
    session.OnResult = [&](const TMeasurementResult& result) {
        if (results >= Results || !result.Averaging.Complete) {
            // One may still come while the run stops; a sum still growing is no result yet.
            session.RequestData();
            return;
        }
        ++results;
        const TResultExtras extras{results, session.Amplitude(), saturated, Curve};
        nlohmann::json line = ResultJson(result, extras);
        if (driverMode) {
            TTraceInfo info;
            info.SampleRate = result.SampleRate;
            info.BlockLength = result.BlockLength;
            info.Rref = session.Rref().Value();
            info.Cin = session.InputCapacitance();
            info.IntegrationTime = seconds;
            driver.Take(result, info);
            line["mode"] = "driver";
            line["driver"] = DriverJson(driver.Results());
        }
        std::cout << line.dump() << std::endl;
        if (curveExport) {
            curveFile.Take(result, session, seconds);
        } else if (ExportPath) {
            lastCurve = CurveRows(result);
        }
        session.RequestData();
    };
    TellOpenOnStderr(session);
    session.Open();
    TProcessStopSignal stop;
    TCliRun run(environment, session, stop);
    ApplySetup(session, Options);
    session.SelectMode(mode);
    CheckCalibration(session, AllowUncalibrated);
    if (Rref && !session.Rref().Apply(*Rref)) {
        throw ECliError("--rref takes ohms, not \"" + *Rref + "\"");
    }
    if (Cin && !session.SetCinText(*Cin)) {
        throw ECliError("--cin takes picofarads, not \"" + *Cin + "\"");
    }
    if (Swap) {
        session.WaveSetup().SetSwap(true);
    }
    ApplyBenchOptions(session, Spot, Model, Rin, MeasuredInputs);
    session.SetIntegrationTime(time);
    session.EnableClockCompensation(ClockCompensation);

    run.Start();
    while (results < Results) {
        const int target = results + 1;
        // The first result also waits for the level to settle, each step of which starts the
        // sum afresh.
        const double wait = results == 0 ? 3 * seconds + 2 : seconds + 1;
        if (!run.ServeUntil([&] { return results >= target; }, wait)) {
            break;  // the user stopped: what was measured so far is kept
        }
    }
    run.Stop();
    if (driverMode) {
        Driver.Save(driver);
    }
    if (curveExport) {
        curveFile.Write(*ExportPath, PointsPerOctave, Options.CalibrationPath);
    } else if (ExportPath) {
        const auto row = [&](size_t i) { return lastCurve[i]; };
        if (const auto error = ExportResults(*ExportPath, lastCurve.size(), row)) {
            throw ECliError("cannot write " + *ExportPath + ": " + *error);
        }
    }
}

}  // namespace tavrin::cli
