#include "uCliApp.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <memory>
#include <vector>

#include "uCliCalibrate.h"
#include "uCliCompensate.h"
#include "uCliDevices.h"
#include "uCliEnvironment.h"
#include "uCliError.h"
#include "uCliMeasure.h"

namespace tavrin::cli {
namespace {

int Failure(const std::string& text, int status = kExitError) {
    std::cerr << kProgram << ": " << text << std::endl;
    return status;
}

}  // namespace

int RunCli(int argc, char** argv) {
    CLI::App program(
        "Impedance meter and transfer-function analyser for a sound card and its "
        "connection box, without a window.",
        kProgram);
    program.set_version_flag("--version", std::string(kProgram) + " " + TAVRIN_VERSION);
    program.require_subcommand(1);
    std::vector<std::unique_ptr<TCliCommand>> commands;
    commands.push_back(std::make_unique<TDevicesCommand>());
    commands.push_back(std::make_unique<TCalibrateCommand>());
    commands.push_back(std::make_unique<TMeasureCommand>());
    commands.push_back(std::make_unique<TCompensateCommand>());
    for (const auto& command : commands) {
        command->Register(program);
    }

    try {
        program.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return program.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return program.exit(help);
    } catch (const CLI::CallForVersion& version) {
        return program.exit(version);
    } catch (const CLI::ParseError& error) {
        const bool commandChosen = std::any_of(commands.begin(), commands.end(),
                                               [](const auto& c) { return c->Chosen(); });
        if (!commandChosen) {
            return Failure(
                std::string(argc > 1 ? "unknown command \"" + std::string(argv[1]) + "\": " : "") +
                "devices, calibrate, measure or compensate");
        }
        return Failure(error.what());
    }

    try {
        TCliEnvironment environment;
        for (const auto& command : commands) {
            if (command->Chosen()) {
                command->Run(environment);
            }
        }
    } catch (const ECliError& error) {
        return Failure(error.what(), error.Status());
    } catch (const std::exception& error) {
        // ECliError carries the user's line; anything else (a file error) says its own.
        return Failure(error.what());
    }
    return kExitSuccess;
}

}  // namespace tavrin::cli
