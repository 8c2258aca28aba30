// The curve readers on arbitrary text: they never read past the end, never accept a curve that
// breaks the trace's rules, and what they accept is written and read back to the same points.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "uTraceExport.h"
#include "uTraceImport.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tavrin;
    if (size == 0) {
        return 0;
    }
    // The first byte picks the format, so one corpus reaches all four readers.
    const TTraceFormat formats[] = {TTraceFormat::Zma, TTraceFormat::Frd, TTraceFormat::Csv,
                                    TTraceFormat::Touchstone};
    const TTraceFormat format = formats[data[0] % 4];
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const TTraceRead read = ParseTraceText(text, format, "fuzz");
    if (!read.Trace) {
        Check(read.Error.rfind("fuzz, line ", 0) == 0);
        return 0;
    }
    const TTrace& trace = *read.Trace;
    Check(!trace.Points.empty() && trace.Points.size() <= kTracePointLimit);
    Check(!FirstDisorderedPoint(trace.Points));

    // CSV holds any curve; what it wrote comes back at the same frequencies.
    const TTraceRead again =
        ParseTraceText(FormatTrace(trace, TTraceFormat::Csv), TTraceFormat::Csv, "again");
    Check(again.Trace && again.Trace->Points.size() == trace.Points.size());
    for (size_t i = 0; i < trace.Points.size(); ++i) {
        Check(again.Trace->Points[i].Frequency == trace.Points[i].Frequency);
    }
    return 0;
}
