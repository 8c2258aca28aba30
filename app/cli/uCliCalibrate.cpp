#include "uCliCalibrate.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <nlohmann/json.hpp>

#include "uCliEnvironment.h"
#include "uCliError.h"
#include "uCliJson.h"
#include "uCliRun.h"
#include "uFileError.h"
#include "uMeasurementSession.h"
#include "uSignalIn.h"
#include "uStopSignal.h"

namespace tavrin::cli {
namespace {

// Level-setting results before Continue: the first learns nothing, the next ones raise the
// saturation levels to the peaks they see.
constexpr int kLevelResults = 3;
constexpr const char* kLevelTime = "0.3";
constexpr const char* kDefaultTime = "3";

void Print(const nlohmann::json& line) {
    std::cout << line.dump() << std::endl;
}

}  // namespace

void TCalibrateCommand::Register(CLI::App& program) {
    Command = program.add_subcommand(
        "calibrate", "run the level setting and the calibration, and write the calibration file");
    AddSetupOptions(*Command, Options,
                    "seconds the band calibration integrates before it stops (default 3)");
}

void TCalibrateCommand::Run(TCliEnvironment& environment) {
    const std::string time = Options.Time.value_or(kDefaultTime);
    const double seconds = ParseSeconds(time);
    CheckWritable(Options.SettingsPath);
    CheckWritable(Options.CalibrationPath);

    TMeasurementSession session(TSessionEnvironment{environment.WaveService(), environment.Ui(),
                                                    environment.AudioClock(), Options.SettingsPath,
                                                    Options.CalibrationPath});
    const TClock& clock = environment.AudioClock();
    double continuedMs = 0;
    int levelResults = 0;
    bool calibrated = false;
    bool saturated = false;
    session.OnSaturation = [&](bool value) { saturated = value; };
    session.OnResult = [&](const TMeasurementResult& result) {
        if (result.Content == TResultContent::LevelSpectra) {
            ++levelResults;
        } else if (result.Content == TResultContent::CalibrationRatio) {
            // A block handed over just before Continue can still arrive after it; only a whole
            // integration time summed over the new stimulus counts. A saturated block is stored
            // too, but the level control lowers the stimulus and the next one replaces it.
            const bool fresh = clock.NowMs() - continuedMs >= seconds * 1000 / 2;
            calibrated = fresh && result.Averaging.Complete && !saturated;
            Print({{"stage", "calibration"}, {"saturated", saturated}});
        }
        session.RequestData();
    };
    session.OnStageText = [&](const std::string& text) {
        if (session.LevelSetting()) {
            Print({{"stage", "level"}, {"text", TextLines(text)}});
        }
    };
    TellOpenOnStderr(session);
    session.Open();
    if (!session.OwnsFiles()) {
        throw ECliError("nothing calibrated: " + Options.SettingsPath + " is another Tavrin's");
    }
    TProcessStopSignal stop;
    TCliRun run(environment, session, stop);
    ApplySetup(session, Options);
    session.SelectMode(mdCalibration);
    session.SetIntegrationTime(kLevelTime);

    run.Start();
    if (!run.ServeUntil([&] { return levelResults >= kLevelResults; }, kLevelResults * 1.0)) {
        run.Stop();
        throw ECliError("interrupted in the level setting: nothing written");
    }
    session.SetIntegrationTime(time);
    continuedMs = clock.NowMs();
    session.Continue();
    const bool finished = run.ServeUntil([&] { return calibrated; }, seconds * 3 + 2);
    run.Stop();
    if (!finished) {
        throw ECliError("interrupted before a calibration block was stored: nothing written");
    }
    try {
        session.SaveCalibration();
    } catch (const EFileError& error) {
        throw ECliError(error.what());
    }
    const TSignalIn& analyser = session.SignalIn();
    Print({{"calibration", Options.CalibrationPath},
           {"bins", analyser.Calibration.size()},
           {"rate", session.WaveSetup().SampleRate()},
           {"block_length", session.BlockLength()},
           {"band", {session.WaveSetup().FMin(), session.WaveSetup().FMax()}},
           {"saturation",
            {ShortestFloat(analyser.SaturationLevel[0]),
             ShortestFloat(analyser.SaturationLevel[1])}}});
}

}  // namespace tavrin::cli
