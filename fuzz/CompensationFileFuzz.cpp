// The fixture compensation reader on arbitrary bytes: it never reads past the end, never
// allocates what a damaged header announces, leaves the compensation untouched when it refuses
// a file, and a file it accepts is exactly the file it would write.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "uCompensationFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tavrin::TFixtureCompensation compensation;
    compensation.Setup.SampleRate = 12345;
    std::string reason;
    const auto result = tavrin::ParseCompensation({data, size}, compensation, &reason);
    if (result == tavrin::TCompensationRead::Loaded) {
        const std::vector<uint8_t> written = tavrin::FormatCompensation(compensation);
        if (written != std::vector<uint8_t>(data, data + size)) {
            std::abort();
        }
    } else if (compensation.Setup.SampleRate != 12345 || !compensation.Empty() || reason.empty()) {
        std::abort();
    }
    return 0;
}
