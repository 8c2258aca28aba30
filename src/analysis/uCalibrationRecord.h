#pragma once

// What a calibration was made for, kept in a small INI file of its own beside the calibration
// file (whose format carries no such thing), and the comparison that tells the user when the
// set-up in use is not the one it was made for. Plain functions and data; no thread.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace tavrin {

// The set-up a correction depends on. Rates in samples/s, frequencies in Hz, C in in pF.
// Device names are the names of the hardware (two doors of one sound card count as one).
struct TMeasuringSetup {
    uint32_t SampleRate = 0;
    int32_t BlockLength = 0;
    float FMin = 0;
    float FMax = 0;
    std::string InputDevice;
    std::string OutputDevice;
    double CinPf = 0;
};

struct TCalibrationRecord {
    TMeasuringSetup Setup;
    std::string Made;  // local date and time, "2024-05-01 14:03:22"
    // Standard deviation of one stored ratio relative to its modulus, a typical bin of the
    // band; 0 when the run gave no measure of it.
    double RelativeNoise = 0;
};

// How `now` differs from `madeFor`, in the order a user has to fix it.
enum class TSetupDifference {
    None,
    RateOrLength,  // another sample rate or block length: the bins are other frequencies
    Devices,       // another input or output device
    Band,          // the band reaches beyond the one corrected
};
TSetupDifference CompareSetup(const TMeasuringSetup& madeFor, const TMeasuringSetup& now);

// The one-line mark for a correction of the kind `what` (e.g. "calibrated", "compensated")
// that `redo` makes again (e.g. "calibrate"): "Not calibrated for 96000 S/s, N 4096: calibrate
// again". Empty for TSetupDifference::None.
std::string SetupMismatchText(TSetupDifference difference, const TMeasuringSetup& now,
                              const std::string& what, const std::string& redo);

// The mark for the calibration in use: `entries` is the length of the calibration table (0:
// none), `record` what it was made for (nullopt: unknown, as for a file from elsewhere). Empty
// when the calibration fits the set-up.
std::string CalibrationMark(const std::optional<TCalibrationRecord>& record, size_t entries,
                            const TMeasuringSetup& now);

// The sound card a device belongs to: its name up to the first ": " ("Virtual box" for every
// state of the box), so that the two directions of one card, or another door of it, count as
// one device.
std::string HardwareName(const std::string& deviceName);

// The record file that goes with the calibration file at `calibrationPath`.
std::string CalibrationRecordPath(const std::string& calibrationPath);

std::string FormatCalibrationRecord(const TCalibrationRecord& record);
// nullopt when the text lacks the rate or the block length, or holds nonsense for them.
std::optional<TCalibrationRecord> ParseCalibrationRecord(const std::string& text);

// nullopt when there is no record file or it cannot be read or understood.
std::optional<TCalibrationRecord> ReadCalibrationRecord(const std::string& path);
// Writes the record, or removes the file for nullopt so that no stale record outlives its
// table. Throws EFileError with "Impossible de créer le fichier <path>" on failure.
void WriteCalibrationRecord(const std::string& path,
                            const std::optional<TCalibrationRecord>& record);

// Local date and time of `when` as records show it.
std::string FormatRecordTime(std::time_t when);

}  // namespace tavrin
