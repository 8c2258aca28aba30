// The calibration record's reader on arbitrary text: it never fails on it, and what it accepts
// writes out as a text that reads back to the same record.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "uCalibrationRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto record = tavrin::ParseCalibrationRecord(text);
    if (!record) {
        return 0;
    }
    const std::string written = tavrin::FormatCalibrationRecord(*record);
    const auto again = tavrin::ParseCalibrationRecord(written);
    if (!again || tavrin::FormatCalibrationRecord(*again) != written) {
        std::abort();
    }
    return 0;
}
