#pragma once

// The fixture compensation's own file beside the program (the calibration file keeps its
// format). Binary, little-endian:
//   "TAVRINFX", version 1 (u32)
//   sample rate (u32), block length (i32), band FMin and FMax (f32, Hz),
//   first and last bin (i32), input and output device names (each a u32 byte count, at most
//   256, then UTF-8), parts present (u32: bit 0 open, 1 short, 2 load)
//   per part present, in that order:
//     date (u32 byte count, at most 256, then UTF-8), R ref, C in, R in, load ohms (f64; an
//     infinite R in is no R in), then one (Re, Im) pair of f32 per bin.
// Nothing may follow. A file that breaks any of this is refused whole, with the reason.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "uFixtureCompensation.h"

namespace tavrin {

inline constexpr std::string_view kCompensationExtension = ".fixture";

enum class TCompensationRead {
    Loaded,
    Missing,    // no such file
    Malformed,  // refused; the reason says why
};

// On anything but Loaded, `compensation` is untouched and `reason` (when given) says why.
TCompensationRead ParseCompensation(std::span<const uint8_t> bytes,
                                    TFixtureCompensation& compensation, std::string* reason);
TCompensationRead ReadCompensationFile(const std::string& path, TFixtureCompensation& compensation,
                                       std::string* reason);

std::vector<uint8_t> FormatCompensation(const TFixtureCompensation& compensation);
// Replaces the file through a temporary file beside it; throws EFileError with
// "Impossible de créer le fichier <path>" when that fails.
void WriteCompensationFile(const std::string& path, const TFixtureCompensation& compensation);

}  // namespace tavrin
