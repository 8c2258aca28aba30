#pragma once

// One result of the measuring session as its consumers receive it: what was measured and how,
// and the per-bin complex values of the processed block. Self-describing, so that a display,
// the command line or an export need nothing else from the session to present it.

#include <cstdint>
#include <optional>
#include <span>

#include "uClockOffset.h"
#include "uCom.h"
#include "uEvaluation.h"
#include "uUncertainty.h"
#include "uWaveControl.h"
#include "uWaveIn.h"

namespace tavrin {

struct TBenchReadout;

// The measuring modes, in the order of the window's mode group.
enum TMode : int { mdCalibration = 0, mdZGraph = 1, mdZGraphLCR = 2, mdTransfer = 3 };

// What the two channels of a result hold.
enum class TResultContent : uint8_t {
    LevelSpectra,       // level setting: the spectra of input 0 and input 1
    CalibrationRatio,   // band calibration: this block's channel ratio, and the stored calibration
    Impedance,          // Zx per bin in ohms in channel 0; channel 1 not meaningful
    ImpedanceAndModel,  // Zx per bin in channel 0, the fitted series model in channel 1
    Transfer,           // the ratio of the two inputs per bin in channel 0
};

// Handed to the session's OnResult on the user-interface thread; `Data` is the session's block
// and is valid only during that call (copy what you keep).
struct TMeasurementResult {
    TMode Mode = mdCalibration;
    TResultContent Content = TResultContent::LevelSpectra;
    uint32_t SampleRate = 0;  // samples per second
    int32_t BlockLength = 0;  // samples per channel of the analysed block
    // The band the result is read over, Hz, and its bins by the FrequencyToBin rule (Hi may lie
    // beyond the block's last bin, or below Lo for a band that holds none).
    float BandLow = 0;
    float BandHigh = 0;
    TBinRange Bins;
    // The series fit, in mode "Z graph + LCR" only.
    std::optional<TSeriesFit> Fit;
    // In "Z graph + LCR", of a complete result: the running reading of the results since
    // Start or the last change, with its expanded uncertainty.
    std::optional<TFitReading> Reading;
    // The offset of the capture clock against the playback clock, measured from the stimulus;
    // ClockWarning is empty unless it is more than these settings tolerate.
    TClockOffset ClockOffset;
    std::string ClockWarning;
    // The bench-meter readings (spot readout, band models), in the impedance modes only; valid
    // during the call, as Data.
    const TBenchReadout* Bench = nullptr;
    // How many blocks the result holds of those an integration time wants; not Complete while
    // a fresh sum (after Start or any change) is still growing: progress, not yet a result.
    TDelivery Averaging;
    // Empty when the calibration fits; else the line that says why the result is not corrected
    // as it should be (the session's CalibrationMark).
    std::string CalibrationMark;
    TWaveData* Data = nullptr;

    // Width of one bin, Hz, as the display rounds it (32-bit).
    float BinWidth() const {
        return Data && !(*Data)[0].empty()
                   ? static_cast<float>(SampleRate) / static_cast<float>((*Data)[0].size())
                   : 0.0f;
    }
    // Channel c as complex slots (slot k = bin k); empty for an empty channel.
    std::span<const TComplex> Channel(int c) const {
        if (!Data) {
            return {};
        }
        const TChannelData& channel = (*Data)[static_cast<size_t>(c)];
        return {ComplexSlots(channel.data()), channel.size() / 2};
    }
};

}  // namespace tavrin
