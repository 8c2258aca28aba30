// The fixture compensation's file: its bytes, a round trip, and every way a damaged file is
// refused whole.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "uCompensationFile.h"
#include "uFileError.h"

namespace tavrin {
namespace {

namespace fs = std::filesystem;

TFixtureCompensation Sample() {
    TFixtureCompensation c;
    c.Setup.SampleRate = 48000;
    c.Setup.BlockLength = 4096;
    c.Setup.FMin = 20.0f;
    c.Setup.FMax = 22000.0f;
    c.Setup.InputDevice = "In";
    c.Setup.OutputDevice = "Out";
    c.Bins = {2, 1877};
    const size_t bins = 1876;
    std::vector<TComplex> open(bins), shorted(bins), load(bins);
    for (size_t i = 0; i < bins; ++i) {
        open[i] = {1e-7f * i, 3e-9f * i};
        shorted[i] = {0.05f, 1e-4f * i};
        load[i] = {1000.0f + 0.01f * i, -0.5f};
    }
    c.Part(TFixturePart::Open) = {"2024-06-01 10:00:00 UTC", {100, 100e-12, 47e3}, 0, open};
    c.Part(TFixturePart::Short) = {
        "2024-06-01 10:01:00 UTC", {100, 100e-12, kNoInputResistance}, 0, shorted};
    c.Part(TFixturePart::Load) = {"", {1e4, 0, kNoInputResistance}, 1000, load};
    return c;
}

std::vector<uint8_t> Bytes(std::initializer_list<uint32_t> words) {
    std::vector<uint8_t> out;
    for (uint32_t w : words) {
        for (int shift = 0; shift < 32; shift += 8) {
            out.push_back(static_cast<uint8_t>(w >> shift));
        }
    }
    return out;
}

TEST(CompensationFile, BytesOfAShortCapture) {
    TFixtureCompensation c;
    c.Setup.SampleRate = 96000;
    c.Setup.BlockLength = 8;
    c.Setup.FMin = 12000.0f;
    c.Setup.FMax = 36000.0f;
    c.Setup.OutputDevice = "o";
    c.Bins = {1, 3};
    c.Part(TFixturePart::Short) = {"d", {100, 0, kNoInputResistance}, 0, {{1, 0}, {0, -2}, {0, 0}}};
    std::vector<uint8_t> expected{'T', 'A', 'V', 'R', 'I', 'N', 'F', 'X'};
    const auto append = [&](std::vector<uint8_t> more) {
        expected.insert(expected.end(), more.begin(), more.end());
    };
    append(Bytes({1, 96000, 8, 0x463B8000, 0x470CA000, 1, 3, 0, 1}));
    expected.push_back('o');
    append(Bytes({0b010, 1}));
    expected.push_back('d');
    const auto f64 = [](double x) {
        const auto bits = std::bit_cast<uint64_t>(x);
        return Bytes({static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)});
    };
    append(f64(100));
    append(f64(0));
    append(f64(std::numeric_limits<double>::infinity()));
    append(f64(0));
    append(Bytes({0x3F800000, 0, 0, 0xC0000000, 0, 0}));
    EXPECT_EQ(FormatCompensation(c), expected);
}

TEST(CompensationFile, RoundTripKeepsEveryBit) {
    const fs::path folder = fs::temp_directory_path() / "tavrin-fixture-roundtrip";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string path = (folder / "tavrin.fixture").string();
    const TFixtureCompensation written = Sample();
    WriteCompensationFile(path, written);
    TFixtureCompensation read;
    std::string reason;
    ASSERT_EQ(ReadCompensationFile(path, read, &reason), TCompensationRead::Loaded) << reason;
    EXPECT_EQ(FormatCompensation(read), FormatCompensation(written));
    EXPECT_EQ(read.Part(TFixturePart::Open).Date, "2024-06-01 10:00:00 UTC");
    EXPECT_EQ(read.Part(TFixturePart::Open).Arm.Rin, 47e3);
    EXPECT_TRUE(std::isinf(read.Part(TFixturePart::Short).Arm.Rin));
    EXPECT_EQ(read.Part(TFixturePart::Load).LoadOhms, 1000);
    EXPECT_EQ(read.Bins.Hi, 1877);
    EXPECT_EQ(read.Setup.OutputDevice, "Out");

    // Missing file, and a file that cannot be written.
    EXPECT_EQ(ReadCompensationFile((folder / "none.fixture").string(), read, &reason),
              TCompensationRead::Missing);
    EXPECT_THROW(WriteCompensationFile((folder / "no" / "such.fixture").string(), written),
                 EFileError);
    fs::remove_all(folder);
}

TEST(CompensationFile, DamagedFilesAreRefusedWhole) {
    const std::vector<uint8_t> good = FormatCompensation(Sample());
    const auto refused = [](std::vector<uint8_t> bytes) {
        TFixtureCompensation kept = Sample();
        kept.Setup.SampleRate = 12345;  // a mark that must survive
        std::string reason;
        const TCompensationRead result = ParseCompensation(bytes, kept, &reason);
        EXPECT_EQ(kept.Setup.SampleRate, 12345u);
        return result == TCompensationRead::Malformed ? reason : std::string("accepted");
    };
    const auto patched = [&](size_t offset, uint32_t value) {
        std::vector<uint8_t> bytes = good;
        for (int i = 0; i < 4; ++i) {
            bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
        }
        return bytes;
    };
    EXPECT_EQ(refused({}), "not a fixture compensation file");
    EXPECT_EQ(refused(patched(0, 0x4D524150)), "not a fixture compensation file");
    EXPECT_EQ(refused(patched(8, 2)), "a fixture compensation of another version");
    EXPECT_EQ(refused(std::vector<uint8_t>(good.begin(), good.begin() + 30)),
              "the file ends in its header");
    EXPECT_EQ(refused(patched(12, 0)), "impossible rate or block length");
    EXPECT_EQ(refused(patched(16, 4095)), "impossible rate or block length");
    EXPECT_EQ(refused(patched(28, 0)), "impossible band");           // first bin 0
    EXPECT_EQ(refused(patched(32, 2048)), "impossible band");        // past the last bin
    EXPECT_EQ(refused(patched(24, 0x7FC00000)), "impossible band");  // NaN band edge
    EXPECT_EQ(refused(patched(36, 257)), "damaged device names");
    EXPECT_EQ(refused(patched(49, 8)), "unknown parts");
    EXPECT_EQ(refused(patched(53, 100000)), "damaged date");
    std::vector<uint8_t> truncated = good;
    truncated.pop_back();
    EXPECT_EQ(refused(truncated), "the file ends in its data");
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_EQ(refused(longer), "unexpected bytes at the end");
    // The first value of the open capture: after the header (53), the date (4 + 23) and the
    // arm (32).
    EXPECT_EQ(refused(patched(53 + 27 + 32, 0x7F800000)), "damaged data");
    // An R ref of zero in the open capture's arm (the high half of the double).
    EXPECT_EQ(refused(patched(53 + 27 + 4, 0)), "damaged reference arm");

    TFixtureCompensation loaded;
    EXPECT_EQ(ParseCompensation(good, loaded, nullptr), TCompensationRead::Loaded);
}

}  // namespace
}  // namespace tavrin
