#include "uCliDevices.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "uCliEnvironment.h"
#include "uWaveSetupModel.h"

namespace tavrin::cli {
namespace {

void List(const char* heading, const std::vector<std::string>& names) {
    std::cout << heading << '\n';
    for (size_t i = 0; i < names.size(); ++i) {
        std::cout << "  " << i << "  " << names[i] << '\n';
    }
}

}  // namespace

void TDevicesCommand::Register(CLI::App& program) {
    Command = program.add_subcommand("devices", "list the capture and playback devices");
}

void TDevicesCommand::Run(TCliEnvironment& environment) {
    const TWaveSetupModel setup(environment.WaveService());
    List("Input (capture) devices:", setup.InputNames());
    List("Output (playback) devices:", setup.OutputNames());
    std::cout << std::flush;
}

}  // namespace tavrin::cli
