#include "uCliCompensate.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <nlohmann/json.hpp>

#include "uCliEnvironment.h"
#include "uCliError.h"
#include "uCliJson.h"
#include "uCliRun.h"
#include "uFileError.h"
#include "uMeasurementSession.h"
#include "uNumberText.h"
#include "uSignalIn.h"
#include "uStopSignal.h"

namespace tavrin::cli {
namespace {

constexpr const char* kDefaultTime = "0.3";

}  // namespace

void AddBenchOptions(CLI::App& command, std::optional<std::string>& spot,
                     std::optional<std::string>& model, std::optional<std::string>& rin,
                     bool& measuredInputs) {
    command.add_option("--spot", spot, "test frequency of the spot readout: 100, 1k, 10k, ...");
    command.add_option("--model", model, "auto, series or parallel")
        ->check(CLI::IsMember({"auto", "series", "parallel"}));
    command.add_option("--rin", rin, "R in beside R ref, ohms; empty for none");
    command.add_flag("--measured-inputs", measuredInputs,
                     "C in and R in as the compensation's load capture found them");
}

void ApplyBenchOptions(TMeasurementSession& session, const std::optional<std::string>& spot,
                       const std::optional<std::string>& model,
                       const std::optional<std::string>& rin, bool measuredInputs) {
    TBenchMeter& bench = session.Bench();
    if (spot && !bench.SetTestFrequencyText(*spot)) {
        throw ECliError("--spot takes a frequency such as 1k or 100, not \"" + *spot + "\"");
    }
    if (model) {
        bench.SetModel(*ParseModelChoice(*model));
    }
    if (rin && !bench.SetRinText(*rin)) {
        throw ECliError("--rin takes ohms above 0, not \"" + *rin + "\"");
    }
    if (measuredInputs && !session.UseMeasuredInputs()) {
        throw ECliError("--measured-inputs: " + bench.InputFigures().Reason +
                        " (tavrin-cli compensate --load OHMS)");
    }
}

void TCompensateCommand::Register(CLI::App& program) {
    Command = program.add_subcommand(
        "compensate", "capture the fixture's open, short or load for the compensation file");
    auto* open = Command->add_flag("--open", Open, "the terminals open");
    auto* shorted = Command->add_flag("--short", Short, "the terminals shorted");
    auto* load = Command->add_option("--load", Load, "a load of OHMS on the terminals");
    auto* clear = Command->add_flag("--clear", Clear, "forget every capture");
    open->excludes(shorted)->excludes(load)->excludes(clear);
    shorted->excludes(load)->excludes(clear);
    load->excludes(clear);
    AddSetupOptions(*Command, Options, "integration time of each result, seconds (default 0.3)");
    Command->add_option("--rref", Rref, "R ref, ohms (default: the window's)");
    Command->add_option("--cin", Cin, "C in, picofarads (default: the window's)");
    Command->add_option("--rin", Rin, "R in beside R ref, ohms; empty for none");
}

void TCompensateCommand::Run(TCliEnvironment& environment) {
    if (!Open && !Short && !Load && !Clear) {
        throw ECliError("compensate needs one of --open, --short, --load OHMS or --clear");
    }
    double loadOhms = 0;
    if (Load) {
        const std::optional<double> ohms = ParseTypedNumber(*Load);
        if (!ohms || !(*ohms > 0.0)) {
            throw ECliError("--load takes ohms above 0, not \"" + *Load + "\"");
        }
        loadOhms = *ohms;
    }
    const std::string time = Options.Time.value_or(kDefaultTime);
    const double seconds = ParseSeconds(time);

    TMeasurementSession session(TSessionEnvironment{environment.WaveService(), environment.Ui(),
                                                    environment.AudioClock(), Options.SettingsPath,
                                                    Options.CalibrationPath});
    session.Open();
    TBenchMeter& bench = session.Bench();
    if (Clear) {
        try {
            bench.ClearCompensation();
        } catch (const EFileError& error) {
            throw ECliError(error.what());
        }
        std::cout << nlohmann::json{{"cleared", bench.CompensationPath()}}.dump() << std::endl;
        return;
    }
    if (!session.OwnsFiles()) {
        throw ECliError("nothing captured: " + bench.CompensationPath() + " is another Tavrin's");
    }
    CheckWritable(bench.CompensationPath());
    TProcessStopSignal stop;
    TCliRun run(environment, session, stop);
    ApplySetup(session, Options);
    if (!session.CalibrationLoaded() || !session.CalibrationFits()) {
        throw ECliError("no calibration for this rate and band in " + Options.CalibrationPath +
                        ": run tavrin-cli calibrate first");
    }
    if (Rref && !session.Rref().Apply(*Rref)) {
        throw ECliError("--rref takes ohms, not \"" + *Rref + "\"");
    }
    if (Cin && !session.SetCinText(*Cin)) {
        throw ECliError("--cin takes picofarads, not \"" + *Cin + "\"");
    }
    ApplyBenchOptions(session, std::nullopt, std::nullopt, Rin, false);
    session.SelectMode(mdZGraph);
    session.SetIntegrationTime(time);

    const TFixturePart part =
        Open ? TFixturePart::Open : (Short ? TFixturePart::Short : TFixturePart::Load);
    bool done = false;
    bench.OnCaptureDone = [&](TFixturePart) { done = true; };
    session.OnResult = [&](const TMeasurementResult&) { session.RequestData(); };
    bench.BeginCapture(part, loadOhms);
    run.Start();
    const int results = TBenchMeter::kSettleResults + TBenchMeter::kCaptureResults + 2;
    const bool finished = run.ServeUntil([&] { return done; }, results * (seconds + 1));
    run.Stop();
    if (!finished) {
        throw ECliError("interrupted before the " + FixturePartName(part) +
                        " was captured: nothing written");
    }
    const TFixtureCompensation& held = bench.Compensation();
    const TFixtureCapture& capture = held.Part(part);
    nlohmann::json line{{"captured", FixturePartName(part)},
                        {"compensation", bench.CompensationPath()},
                        {"date", capture.Date},
                        {"rate", held.Setup.SampleRate},
                        {"block_length", held.Setup.BlockLength},
                        {"band", {ShortestFloat(held.Setup.FMin), ShortestFloat(held.Setup.FMax)}},
                        {"bins", {held.Bins.Lo, held.Bins.Hi}}};
    if (part == TFixturePart::Load) {
        line["load_ohms"] = capture.LoadOhms;
    }
    line["input"] = InputJson(bench.InputFigures());
    std::cout << line.dump() << std::endl;
}

}  // namespace tavrin::cli
