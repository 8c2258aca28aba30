#pragma once

// The file of stored reference curves, beside the program's other files under the same base
// name with the extension ".refs". Its layout, all integers little-endian:
//
//   header   8 bytes  "TAVRREFS"
//            u32      format version, 1
//            u32      number of records, at most kReferenceLimit
//   record   u32      length L of the body
//            u32      CRC-32 (zlib's, as in ZIP and PNG) of the body
//            L bytes  body:
//              u32 + bytes   name, UTF-8
//              u8            kind: 0 impedance, 1 transfer
//              u8            shown: 0 or 1
//              u16           0 (reserved)
//              u32 + bytes   info: the lines "Sample rate: 48000 Hz" and so on that the curve
//                            files carry in their comments, each ended by LF
//              u32           number of points P, at most kTracePointLimit
//              P x 24 bytes  frequency in Hz, real and imaginary part, each an IEEE 64-bit float
//
// A later version may append fields to the body; this one reads what it knows and skips the
// rest, and refuses files of a higher version rather than guess. A record whose length, checksum
// or content is wrong is damaged: the records before it are kept, the damage is reported.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "uTrace.h"

namespace tavrin {

inline constexpr size_t kReferenceLimit = 16;
inline constexpr std::string_view kReferenceFileExtension = ".refs";
inline constexpr uint32_t kReferenceFileVersion = 1;

struct TReference {
    std::string Name;
    bool Shown = true;
    TTrace Trace;
};

std::string FormatReferenceFile(std::span<const TReference> references);

struct TReferenceFileRead {
    std::vector<TReference> References;  // the whole ones, in the file's order
    // Empty when the file was read whole; otherwise what was wrong, for the user.
    std::string Damage;
};
// `fileName` names the file in the damage text.
TReferenceFileRead ParseReferenceFile(std::string_view bytes, std::string_view fileName);

}  // namespace tavrin
