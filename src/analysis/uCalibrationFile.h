#pragma once

// The binary calibration file: a little-endian 32-bit signed count, then that many pairs of
// 32-bit IEEE floats (Re, Im). No header, no version, no checksum.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "uCom.h"

namespace tavrin {

enum class TCalibrationRead {
    Loaded,      // entries replaced (possibly by none, for a count of 0)
    Missing,     // there is no file
    Unreadable,  // it exists but cannot be read, or is no regular file (never opened then)
    Malformed,   // shorter than its count announces, negative or implausible count
    Invalid,     // an entry is not a finite number, or is zero: no ratio of two inputs is
};

// What reading the file gave, with a sentence for the user when it exists and was not taken.
struct TCalibrationLoad {
    TCalibrationRead Result = TCalibrationRead::Missing;
    std::string Problem;
};

// More entries than any block length of the program can use (N/2 for N up to 2^18); a count
// above this is taken for damage rather than allocated.
inline constexpr int32_t kCalibrationEntryLimit = 1 << 24;

// Reads the entries from the bytes of a calibration file. Unless Loaded, entries is untouched.
TCalibrationRead ParseCalibration(std::span<const uint8_t> bytes, std::vector<TComplex>& entries);
// Reads the file; unless Loaded, entries is untouched.
TCalibrationLoad ReadCalibrationFile(const std::string& path, std::vector<TComplex>& entries);

std::vector<uint8_t> FormatCalibration(const std::vector<TComplex>& entries);
// Replaces the file through a temporary file beside it; throws EFileError with
// "Impossible de créer le fichier <path>" when that fails.
void WriteCalibrationFile(const std::string& path, const std::vector<TComplex>& entries);

}  // namespace tavrin
