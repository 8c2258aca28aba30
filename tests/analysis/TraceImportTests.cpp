// Reading curves back: what the program writes comes back to 1e-9, curves from other programs in
// the common flavours of each format are understood, and every malformed file is refused with a
// message naming the file and the line.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "../platform/TempFolder.h"
#include "TraceTestKit.h"
#include "uTraceExport.h"
#include "uTraceImport.h"
#include "uTraceResolution.h"

namespace tavrin {
namespace {

// The distance between two complex values relative to the larger: phases and magnitudes alike.
double RelativeError(std::complex<double> a, std::complex<double> b) {
    return std::abs(a - b) / std::max(std::abs(a), std::abs(b));
}

void ExpectSamePoints(const TTrace& read, const TTrace& written, double tolerance) {
    ASSERT_EQ(read.Points.size(), written.Points.size());
    for (size_t i = 0; i < read.Points.size(); ++i) {
        EXPECT_LE(std::abs(read.Points[i].Frequency - written.Points[i].Frequency),
                  1e-11 * written.Points[i].Frequency)
            << i;
        EXPECT_LE(RelativeError(read.Points[i].Value, written.Points[i].Value), tolerance) << i;
    }
}

TEST(TraceImport, WhatIsWrittenReadsBackWithItsInfo) {
    test::TempFolder folder;
    TTrace dense = test::DenseSample(100, 20000);
    dense.Info = test::MeasuredInfo();
    TTrace thinned = ReduceToPointsPerOctave(dense, 24);
    TTrace transfer = test::TransferSample();
    struct TCase {
        const char* Name;
        const TTrace* Trace;
    };
    for (const TCase& c : {TCase{"a.zma", &dense}, TCase{"b.s1p", &dense}, TCase{"c.csv", &thinned},
                           TCase{"d.frd", &transfer}, TCase{"e.csv", &transfer}}) {
        SCOPED_TRACE(c.Name);
        ASSERT_EQ(WriteTraceFile(folder.Path(c.Name), *c.Trace), std::nullopt);
        const TTraceRead read = ReadTraceFile(folder.Path(c.Name));
        ASSERT_TRUE(read.Trace) << read.Error;
        EXPECT_EQ(read.Trace->Kind, c.Trace->Kind);
        EXPECT_EQ(read.Trace->Info, c.Trace->Info);
        ExpectSamePoints(*read.Trace, *c.Trace, 1e-9);
    }
}

TEST(TraceImport, ReadsTheCommonFlavoursOfOtherPrograms) {
    // A ZMA with a heading, tabs, LF line ends and no comments.
    auto zma = ParseTraceText("Freq\tOhm\tDeg\n10\t8\t0\n20\t 8.5\t-45\n", TTraceFormat::Zma, "x");
    ASSERT_TRUE(zma.Trace) << zma.Error;
    EXPECT_LE(RelativeError(zma.Trace->Points[1].Value, std::polar(8.5, -std::numbers::pi / 4)),
              1e-15);

    // Old Macintosh line ends, FRD in decibels.
    auto frd = ParseTraceText("* level\r100 -6.0205999132796 90\r200 0 0", TTraceFormat::Frd, "x");
    ASSERT_TRUE(frd.Trace) << frd.Error;
    EXPECT_EQ(frd.Trace->Kind, TTraceKind::Transfer);
    EXPECT_LE(RelativeError(frd.Trace->Points[0].Value, {0, 0.5}), 1e-12);

    // Touchstone with its defaults (GHz, S, magnitude and angle, 50 ohm) and with options.
    auto s = ParseTraceText("! no option line\n0.001 0.5 0\n", TTraceFormat::Touchstone, "x");
    ASSERT_TRUE(s.Trace) << s.Error;
    EXPECT_EQ(s.Trace->Points[0].Frequency, 1e6);
    EXPECT_LE(RelativeError(s.Trace->Points[0].Value, 150.0), 1e-15);  // 50 (1 + s) / (1 - s)
    auto y = ParseTraceText("# kHz Y RI R 75 ! admittance\n1 0.5 -0.5 ! a comment\n# MHz\n2 1 0\n",
                            TTraceFormat::Touchstone, "x");
    ASSERT_TRUE(y.Trace) << y.Error;
    EXPECT_EQ(y.Trace->Points[1].Frequency, 2000);  // the second option line is ignored
    EXPECT_LE(RelativeError(y.Trace->Points[0].Value, 75.0 / std::complex<double>(0.5, -0.5)),
              1e-15);
    auto db = ParseTraceText("# Hz Z DB R 1\n50 20 90\n", TTraceFormat::Touchstone, "x");
    ASSERT_TRUE(db.Trace) << db.Error;
    EXPECT_LE(RelativeError(db.Trace->Points[0].Value, {0, 10}), 1e-15);

    // A spreadsheet with semicolons, quoted headings, polar columns in dB and kHz.
    auto csv = ParseTraceText("\"Freq (kHz)\";\"Mag (dB)\";\"Phase (rad)\";Note\n1.5;6;0;x\n",
                              TTraceFormat::Csv, "x");
    ASSERT_TRUE(csv.Trace) << csv.Error;
    EXPECT_EQ(csv.Trace->Points[0].Frequency, 1500);
    EXPECT_EQ(csv.Trace->Kind, TTraceKind::Transfer);
    EXPECT_NEAR(std::abs(csv.Trace->Points[0].Value), 1.99526231497, 1e-10);
}

struct TMalformed {
    const char* What;
    TTraceFormat Format;
    std::string_view Text;
    const char* Error;
};

const TMalformed kMalformed[] = {
    {"a column missing", TTraceFormat::Zma, "* c\r\n10 8 0\r\n20 8\r\n",
     "curve, line 3: expected 3 numbers (frequency, |Z|, phase), found 2"},
    {"a column too many", TTraceFormat::Frd, "10 8 0 1\n",
     "curve, line 1: expected 3 numbers (frequency, dB, phase), found 4"},
    {"text in a number", TTraceFormat::Zma, "10 8 0\n20 8,5 0\n",
     "curve, line 2: \"8,5\" is not a number"},
    {"not a number", TTraceFormat::Zma, "10 8 0\n20 nan 0\n",
     "curve, line 2: \"nan\" is not a finite number"},
    {"infinite", TTraceFormat::Touchstone, "# Hz Z RI\n10 -inf 0\n",
     "curve, line 2: \"-inf\" is not a finite number"},
    {"out of range", TTraceFormat::Zma, "10 1e999 0\n", "curve, line 1: \"1e999\" is out of range"},
    {"descending", TTraceFormat::Zma, "10 8 0\n\n30 8 0\n20 8 0\n",
     "curve, line 4: the frequency 20 Hz is not above the one before it (30 Hz): frequencies "
     "must ascend"},
    {"repeated", TTraceFormat::Zma, "10 8 0\n10 8 0\n",
     "curve, line 2: the frequency 10 Hz is not above the one before it (10 Hz): frequencies "
     "must ascend"},
    {"zero frequency", TTraceFormat::Zma, "0 8 0\n",
     "curve, line 1: the frequency 0 Hz is not above 0 Hz"},
    {"negative modulus", TTraceFormat::Zma, "10 -8 0\n", "curve, line 1: |Z| \"-8\" is negative"},
    {"empty", TTraceFormat::Zma, "", "curve, line 1: the file is empty"},
    {"comments only", TTraceFormat::Frd, "* a\n* b\n",
     "curve, line 3: the file ends before any data line"},
    {"binary", TTraceFormat::Zma, std::string_view("10 8 0\n\0\1\2", 10),
     "curve, line 2: holds binary data; this is not a curve file"},
    {"CSV without header", TTraceFormat::Csv, "10,8,0\n",
     "curve, line 1: the first row must name the columns (Frequency, Re, Im or |Z|, Phase)"},
    {"CSV with unknown columns", TTraceFormat::Csv, "# x\nFrequency,A,B\n",
     "curve, line 2: the header row must name the columns Re and Im, or |Z| (or |H|) and Phase"},
    {"CSV row too short", TTraceFormat::Csv, "Frequency,Re,Im\n10,1,2\n20,1\n",
     "curve, line 3: expected 3 cells, as the header row names, found 2"},
    {"CSV open quote", TTraceFormat::Csv, "Frequency,Re,Im\n10,\"1,2\n",
     "curve, line 2: a quoted cell is not closed"},
    {"Touchstone two-port", TTraceFormat::Touchstone, "# Hz H RI\n",
     "curve, line 1: \"H\" parameters describe two-ports; a one-port file holds S, Y or Z"},
    {"Touchstone 2", TTraceFormat::Touchstone, "[Version] 2.0\n",
     "curve, line 1: keyword lines such as \"[Version]\" belong to Touchstone 2, which is not "
     "read; save the file as version 1.1"},
    {"Touchstone R 0", TTraceFormat::Touchstone, "# Hz S RI R 0\n",
     "curve, line 1: the reference resistance must be above 0 Ohm, not \"0\""},
    {"Touchstone open circuit", TTraceFormat::Touchstone, "# Hz S RI\n10 1 0\n",
     "curve, line 2: the value gives no finite impedance"},
    {"Touchstone unknown option", TTraceFormat::Touchstone, "# Hz Q\n",
     "curve, line 1: unknown option \"Q\""},
};

TEST(TraceImport, RefusesMalformedFilesNamingFileAndLine) {
    for (const TMalformed& m : kMalformed) {
        SCOPED_TRACE(m.What);
        const TTraceRead read = ParseTraceText(m.Text, m.Format, "curve");
        EXPECT_FALSE(read.Trace);
        EXPECT_EQ(read.Error, m.Error);
    }
}

TEST(TraceImport, HugeOrUnreadableFilesCostLittle) {
    test::TempFolder folder;
    // 100 MB of random bytes: refused at its first line, read no further than that.
    const std::string garbage = folder.Path("garbage.frd");
    {
        std::ofstream out(garbage, std::ios::binary);
        std::mt19937 random(1);
        std::vector<char> chunk(1 << 20);
        for (char& c : chunk) {
            c = static_cast<char>(random());
        }
        for (int mb = 0; mb < 100; ++mb) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
    }
    const TTraceRead read = ReadTraceFile(garbage);
    EXPECT_FALSE(read.Trace);
    EXPECT_EQ(read.Error.rfind(garbage + ", line ", 0), 0u) << read.Error;

    // One line without an end, longer than any curve file's.
    const TTraceRead longLine =
        ParseTraceText(std::string(kTraceLineLimit + 1, '1'), TTraceFormat::Zma, "long.zma");
    EXPECT_EQ(longLine.Error,
              "long.zma, line 1: longer than 16384 characters; this is not a curve file");

    EXPECT_EQ(ReadTraceFile(folder.Path("missing.zma")).Error,
              "Cannot open " + folder.Path("missing.zma") + ": No such file or directory");
    std::filesystem::create_directory(folder.Path("folder.csv"));
    EXPECT_EQ(ReadTraceFile(folder.Path("folder.csv")).Error,
              "Cannot read " + folder.Path("folder.csv") + ": not a regular file");
    EXPECT_FALSE(ReadTraceFile(folder.Path("curve.txt")).Trace);
}

TEST(TraceImport, LineEndsAtEveryPlaceOfTheReadBuffer) {
    // CR LF pairs split across the pieces the file is read in must count as one line end.
    std::string text;
    for (int i = 1; text.size() < 300000; ++i) {
        text += std::to_string(i) + " 1 0" + (i % 3 == 0 ? "\r" : "\r\n");
    }
    text += "0 1 0\r\n";  // a fault on a known line
    const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\r'));
    const TTraceRead read = ParseTraceText(text, TTraceFormat::Zma, "f");
    EXPECT_EQ(read.Error.substr(0, read.Error.find(':')), "f, line " + std::to_string(lines));
}

}  // namespace
}  // namespace tavrin
