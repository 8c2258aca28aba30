#include "uCliVirtualBox.h"

#include <cmath>
#include <optional>
#include <string>

#include "uCliError.h"
#include "uNumberText.h"

namespace tavrin::cli {
namespace {

[[noreturn]] void Reject(std::string_view what) {
    throw ECliError(std::string(kVirtualBoxVariable) + ": " + std::string(what));
}

bool Flag(std::string_view name, std::string_view value) {
    if (value != "0" && value != "1") {
        Reject(std::string(name) + " takes 0 or 1, not \"" + std::string(value) + "\"");
    }
    return value == "1";
}

double Number(std::string_view name, std::string_view value) {
    const std::optional<double> number = ParseDecimal(value);
    if (!number || !std::isfinite(*number)) {
        Reject(std::string(name) + " takes a number, not \"" + std::string(value) + "\"");
    }
    return *number;
}

}  // namespace

TVirtualBoxSetup ParseVirtualBoxSwitches(std::string_view text) {
    TVirtualBoxSetup setup;
    TVirtualBoxOptions& options = setup.Options;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view item = TrimBlanks(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const size_t equals = item.find('=');
        const std::string_view name = item.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1);
        if (item.empty()) {
            continue;
        } else if (name == "speed") {
            options.SpeedUp = Number(name, value);
            if (!(options.SpeedUp >= 0.1 && options.SpeedUp <= 1000)) {
                Reject("speed lies in 0.1..1000");
            }
        } else if (item == "lockstep") {
            options.Lockstep = true;
        } else if (item == "only") {
            setup.BoxOnly = true;
        } else if (item == "ideal") {
            options.ChannelMismatch = options.Noise = options.Latency = false;
        } else if (name == "mismatch") {
            options.ChannelMismatch = Flag(name, value);
        } else if (name == "noise") {
            options.Noise = Flag(name, value);
        } else if (name == "latency") {
            options.Latency = Flag(name, value);
        } else if (name == "clock-offset") {
            options.ClockOffsetPpm = Number(name, value);
        } else if (item == "leads") {
            options.Faults.TestLeads = true;
        } else if (item == "inputs") {
            options.Faults.InputResistance = true;
        } else if (name == "rref") {
            options.Components.RefOhms = Number(name, value);
            if (!(options.Components.RefOhms > 0)) {
                Reject("rref takes ohms above 0");
            }
        } else {
            Reject("unknown switch \"" + std::string(item) + "\"");
        }
    }
    return setup;
}

}  // namespace tavrin::cli
