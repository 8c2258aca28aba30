#pragma once

// The keys of the settings file in the order the program saves them when it closes, with the
// values of one saved state: the workload of the settings tests, the benchmark and the fuzzer.

#include <cstdint>
#include <string>
#include <vector>

#include "uSettingsFile.h"

namespace tavrin::test {

struct TSavedState {
    int32_t Sampling = 48000;
    bool Swap = false;
    std::string FMin = "20";
    std::vector<std::string> RrefValues{"1"};
    int32_t RrefIndex = 0;
    float Saturation0 = 0.9f;
    bool LgF = false;
    int32_t Page = 0;
    int32_t Mode = 0;
    std::string Cin = "0";
};

inline void SaveAtClose(TSettingsFile& file, const TSavedState& state) {
    file.WriteInt("WaveSetup", "InputID", 0);
    file.WriteText("WaveSetup", "InputName", "Virtual box capture");
    file.WriteInt("WaveSetup", "OutputID", 0);
    file.WriteText("WaveSetup", "OutputName", "Virtual box playback");
    file.WriteInt("WaveSetup", "Sampling", state.Sampling);
    file.WriteFlag("WaveSetup", "Swap", state.Swap);
    file.WriteText("WaveSetup", "FMin", state.FMin);
    file.WriteText("WaveSetup", "FMax", "22000");
    file.DropSection("Rref");
    file.WriteInt("Rref", "Count", static_cast<int32_t>(state.RrefValues.size()));
    for (size_t i = 0; i < state.RrefValues.size(); ++i) {
        file.WriteText("Rref", "Value" + std::to_string(i), state.RrefValues[i]);
    }
    file.WriteInt("Rref", "CurrentIndex", state.RrefIndex);
    file.WriteReal("Calibration", "Saturation0", state.Saturation0);
    file.WriteReal("Calibration", "Saturation1", 0.9f);
    file.WriteFlag("Graph", "ModPhase", false);
    file.WriteFlag("Graph", "DrawAll", false);
    file.WriteFlag("Graph", "LeftForAll", false);
    file.WriteFlag("Graph", "Lg(F)", state.LgF);
    file.WriteFlag("Graph", "Lg(Z)", false);
    file.WriteInt("Graph", "Page", state.Page);
    file.WriteInt("Graph", "Mode", state.Mode);
    file.WriteText("InputParams", "Cin", state.Cin);
}

}  // namespace tavrin::test
