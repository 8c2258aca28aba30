// The four export formats against golden files, byte for byte, in the C locale and under one
// that writes decimal commas; what a trace that does not suit a format, or a file that cannot be
// written, gives the user.

#include <gtest/gtest.h>

#include <cmath>

#include "../platform/TempFolder.h"
#include "TraceTestKit.h"
#include "uTraceExport.h"
#include "uTraceImport.h"

namespace tavrin {
namespace {

using test::ReadBytes;
using test::TraceDataPath;

// The quality factor |X| / R: a quantity of the kind the spot readout adds as extra columns.
const TExtraColumn kQuality{
    "Q, |X|/R", [](const TTracePoint& p) {
        return p.Value.real() != 0 ? std::abs(p.Value.imag() / p.Value.real()) : NAN;
    }};

struct TGolden {
    const char* Name;
    TTrace (*Make)();
    TTraceFormat Format;
};

const TGolden kGoldens[] = {
    {"series-rlc.zma", test::ImpedanceSample, TTraceFormat::Zma},
    {"series-rlc.s1p", test::ImpedanceSample, TTraceFormat::Touchstone},
    {"series-rlc.csv", test::ImpedanceSample, TTraceFormat::Csv},
    {"rc-lowpass.frd", test::TransferSample, TTraceFormat::Frd},
    {"rc-lowpass.csv", test::TransferSample, TTraceFormat::Csv},
};

std::string Format(const TGolden& golden) {
    const TExtraColumn extra[] = {kQuality};
    const bool withExtra =
        golden.Format == TTraceFormat::Csv && golden.Make == test::ImpedanceSample;
    return FormatTrace(
        golden.Make(), golden.Format,
        withExtra ? std::span<const TExtraColumn>(extra) : std::span<const TExtraColumn>());
}

TEST(TraceExport, MatchesTheGoldenFilesInAnyLocale) {
    for (const TGolden& golden : kGoldens) {
        SCOPED_TRACE(golden.Name);
        const std::string path = TraceDataPath(golden.Name);
        if (test::WritingGoldens()) {
            test::WriteBytes(path, Format(golden));
            continue;
        }
        const std::string expected = ReadBytes(path);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(Format(golden), expected);
        {
            test::TCommaLocale comma;
            EXPECT_EQ(Format(golden), expected);
        }
    }
}

TEST(TraceExport, WritesTheFormatItsExtensionNames) {
    test::TempFolder folder;
    for (const TGolden& golden : kGoldens) {
        if (golden.Format == TTraceFormat::Csv) {
            continue;  // the extra column is not given here
        }
        const std::string name = golden.Name;
        // Upper-case extensions name the same formats.
        std::string upper = name.substr(0, name.rfind('.'));
        for (const char c : name.substr(name.rfind('.'))) {
            upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        EXPECT_EQ(WriteTraceFile(folder.Path(upper), golden.Make()), std::nullopt);
        EXPECT_EQ(ReadBytes(folder.Path(upper)), ReadBytes(TraceDataPath(name))) << upper;
    }
}

TEST(TraceExport, RefusesWhatItCannotWriteAndLeavesTheOldFile) {
    test::TempFolder folder;
    const std::string zma = folder.Path("old.zma");
    test::WriteBytes(zma, "kept");

    const auto transferAsZma = WriteTraceFile(zma, test::TransferSample());
    ASSERT_TRUE(transferAsZma);
    EXPECT_EQ(*transferAsZma, "A transfer function is written as FRD or CSV, not as ZMA or S1P");
    EXPECT_EQ(ReadBytes(zma), "kept");
    EXPECT_TRUE(WriteTraceFile(folder.Path("z.frd"), test::ImpedanceSample()));

    const auto noExtension = WriteTraceFile(folder.Path("curve.txt"), test::ImpedanceSample());
    ASSERT_TRUE(noExtension);
    EXPECT_NE(noExtension->find("curve.txt"), std::string::npos);

    const std::string missingFolder = folder.Path("no/such/folder.zma");
    const auto cannotWrite = WriteTraceFile(missingFolder, test::ImpedanceSample());
    ASSERT_TRUE(cannotWrite);
    EXPECT_EQ(cannotWrite->rfind("Cannot write " + missingFolder, 0), 0u) << *cannotWrite;
}

TEST(TraceExport, LeavesOutWhatNoFormatCanHold) {
    TTrace trace = test::ImpedanceSample();
    trace.Points.resize(3);
    trace.Points[1].Value = {NAN, 1};
    trace.Info = {};
    const std::string zma = FormatTrace(trace, TTraceFormat::Zma);
    EXPECT_EQ(zma.find("nan"), std::string::npos);
    EXPECT_NE(zma.find("* Points: 3\r\n"), std::string::npos);  // the count says what was given
    EXPECT_NE(zma.find("* Resolution: every bin\r\n"), std::string::npos);
    EXPECT_EQ(zma.find("Sample rate"), std::string::npos);  // unknown fields are not made up

    // A zero transfer has no level in decibels; it is written far below any signal.
    TTrace silent;
    silent.Kind = TTraceKind::Transfer;
    silent.Points = {{1000, {0, 0}}};
    EXPECT_NE(FormatTrace(silent, TTraceFormat::Frd).find("\r\n1000 -400 0\r\n"),
              std::string::npos);

    // Without a usable R ref, Touchstone's own default reference.
    TTrace unnormalised = test::ImpedanceSample();
    unnormalised.Info.Rref = 0;
    EXPECT_NE(FormatTrace(unnormalised, TTraceFormat::Touchstone).find("# Hz Z RI R 50\r\n"),
              std::string::npos);
}

// R ref and C in are 32-bit in the session: written as typed, and Touchstone's values divided by
// exactly the R its option line gives.
TEST(TraceExport, SettingsHeldAsFloatsReadAsTyped) {
    TTrace trace = test::ImpedanceSample();
    trace.Info.Rref = 33.3f;
    trace.Info.Cin = 4.7e-11f;
    const std::string s1p = FormatTrace(trace, TTraceFormat::Touchstone);
    EXPECT_NE(s1p.find("! R ref: 33.3 Ohm\r\n! C in: 47 pF\r\n"), std::string::npos) << s1p;
    EXPECT_NE(s1p.find("\r\n# Hz Z RI R 33.3\r\n"), std::string::npos);
    const TTraceRead read = ParseTraceText(s1p, TTraceFormat::Touchstone, "r.s1p");
    ASSERT_TRUE(read.Trace) << read.Error;
    for (size_t i = 0; i < trace.Points.size(); ++i) {
        EXPECT_LE(std::abs(read.Trace->Points[i].Value - trace.Points[i].Value),
                  1e-11 * std::abs(trace.Points[i].Value));
    }
}

TEST(TraceExport, KeepsACalibrationTextOnItsCommentLine) {
    TTrace trace = test::ImpedanceSample();
    trace.Info.CalibrationDate = "2024-03-01\r\n1000 1 2";
    EXPECT_NE(FormatTrace(trace, TTraceFormat::Zma).find("* Calibration: 2024-03-01  1000 1 2\r\n"),
              std::string::npos);
}

}  // namespace
}  // namespace tavrin
