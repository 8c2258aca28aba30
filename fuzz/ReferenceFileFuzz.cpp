// The reference-file reader on arbitrary bytes: it never reads past the end, never allocates
// what a damaged count announces, and the curves it keeps are written back to a file that reads
// whole and gives the same curves.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "uReferenceFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tavrin;
    const TReferenceFileRead read =
        ParseReferenceFile(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz");
    if (read.References.size() > kReferenceLimit) {
        std::abort();
    }
    const std::string written = FormatReferenceFile(read.References);
    const TReferenceFileRead again = ParseReferenceFile(written, "again");
    if (!again.Damage.empty() || again.References.size() != read.References.size() ||
        FormatReferenceFile(again.References) != written) {
        std::abort();
    }
    return 0;
}
