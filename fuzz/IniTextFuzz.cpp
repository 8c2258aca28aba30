// Drives the INI reader and writer with arbitrary file contents and names. Beyond not crashing,
// every write must read back, leave every other value as it was, and be undone by erasing.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "uIniText.h"
#include "uNumberText.h"

namespace {

using tavrin::IniEraseSection;
using tavrin::IniReadValue;
using tavrin::IniWriteValue;

constexpr std::array<const char*, 6> kSections = {"WaveSetup", "Rref",  "Calibration",
                                                  "Graph",     "graph", "InputParams"};
constexpr std::array<const char*, 6> kKeys = {"InputID", "Value0", "Mode",
                                              "mode",    "Lg(F)",  "Saturation0"};

template <size_t N>
std::string PickName(FuzzedDataProvider& input, const std::array<const char*, N>& names) {
    const size_t choice = input.ConsumeIntegralInRange<size_t>(0, N);
    return choice < N ? names[choice] : input.ConsumeRandomLengthString(32);
}

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "INI invariant broken: %s\n", what);
        std::abort();
    }
}

bool SameName(const std::string& a, const std::string& b) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

std::string ExpectedReading(std::string value) {
    std::replace_if(
        value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return std::string(tavrin::TrimBlanks(value).substr(0, tavrin::kProfileValueLimit));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Names and choices come from the end of the input, the file text from its start, so that
    // seed files stay readable as INI files.
    FuzzedDataProvider input(data, size);
    const std::string section = PickName(input, kSections);
    const std::string key = PickName(input, kKeys);
    const std::string otherSection = PickName(input, kSections);
    const std::string otherKey = PickName(input, kKeys);
    const std::string value = input.ConsumeBool() ? input.ConsumeRandomLengthString(4096) : "1";
    const std::string text = input.ConsumeRemainingBytesAsString();

    const auto before = IniReadValue(text, section, key);
    Check(!before || before->size() <= tavrin::kProfileValueLimit, "value longer than the limit");
    const auto otherBefore = IniReadValue(text, otherSection, otherKey);

    std::string written = text;
    if (!IniWriteValue(written, section, key, value)) {
        Check(written == text, "a refused write changed the text");
        Check(!tavrin::IsValidIniSection(section) || !tavrin::IsValidIniKey(key),
              "a valid name was refused");
        return 0;
    }
    Check(IniReadValue(written, section, key) == ExpectedReading(value),
          "write does not read back");
    if (!SameName(section, otherSection) || !SameName(key, otherKey)) {
        Check(IniReadValue(written, otherSection, otherKey) == otherBefore,
              "a write changed another value");
    }

    std::string again = written;
    Check(IniWriteValue(again, section, key, value) && again == written,
          "writing the same value twice changed the text");

    Check(IniEraseSection(written, section), "the written section was not found to erase");
    Check(!IniReadValue(written, section, key), "an erased key still reads");
    Check(!IniEraseSection(written, section), "a section survived its erasing");
    return 0;
}
