// The calibration-file reader on arbitrary bytes: it never reads past the end, never allocates
// what a damaged count announces, and a file it accepts is exactly the file it would write.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "uCalibrationFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<tavrin::TComplex> before{{1.5f, -2.5f}};
    std::vector<tavrin::TComplex> entries = before;
    const auto result = tavrin::ParseCalibration({data, size}, entries);
    if (result == tavrin::TCalibrationRead::Loaded) {
        const std::vector<uint8_t> written = tavrin::FormatCalibration(entries);
        if (written.size() > size || std::memcmp(written.data(), data, written.size()) != 0) {
            std::abort();
        }
    } else if (entries.size() != 1 ||
               std::memcmp(entries.data(), before.data(), sizeof(before[0])) != 0) {
        std::abort();
    }
    return 0;
}
