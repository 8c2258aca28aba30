#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <locale>
#include <string>

#include "uNumberText.h"

namespace tavrin {
namespace {

const std::string kMicro = "\xC2\xB5";

TEST(NumberText, QualityAndAsynchronyFigures) {
    EXPECT_EQ(FormatQuality(44.4), "44");
    EXPECT_EQ(FormatQuality(-3.2), "-3");
    EXPECT_EQ(FormatQuality(0.3), "0");
    EXPECT_EQ(FormatQuality(-0.3), "0");
    EXPECT_EQ(FormatQuality(123.4), "1.2E2");
    EXPECT_EQ(FormatQuality(-200), "-2E2");
    EXPECT_EQ(FormatQuality(99.7), "1E2");  // two significant digits first

    EXPECT_EQ(FormatAsync(0.01234), "0.012");
    EXPECT_EQ(FormatAsync(1.2345), "1.200");
    EXPECT_EQ(FormatAsync(-0.5), "-0.500");
    EXPECT_EQ(FormatAsync(0.0004), "0.000");
    EXPECT_EQ(FormatAsync(-0.0004), "0.000");
    EXPECT_EQ(FormatAsync(-200), "-2E2");
    EXPECT_EQ(FormatAsync(-100.0), "-1E2");
    EXPECT_EQ(FormatAsync(56.78), "57.000");
}

TEST(NumberText, EngineeringPrefixesAndTheirBoundaries) {
    EXPECT_EQ(FormatEng(0), "0 ");
    EXPECT_EQ(FormatEng(1500), "1.5 k");
    EXPECT_EQ(FormatEng(1000), "1000 ");
    EXPECT_EQ(FormatEng(1000000), "1000 k");
    EXPECT_EQ(FormatEng(1), "1 ");
    EXPECT_EQ(FormatEng(0.001), "1 m");
    EXPECT_EQ(FormatEng(0.5), "500 m");
    EXPECT_EQ(FormatEng(-2200), "-2.2 k");
    EXPECT_EQ(FormatEng(3.3e-11), "33 p");
    EXPECT_EQ(FormatEng(1e12), "1E6 M");
    EXPECT_EQ(FormatEng(2.2e-6), "2.2 " + kMicro);
    EXPECT_EQ(FormatEng(12.3456), "12.35 ");
    EXPECT_EQ(FormatEng(47.5), "47.5 ");
    EXPECT_EQ(FormatEng(100), "100 ");
    // The float nearest to 1e-6 lies just below it.
    EXPECT_EQ(FormatEng(static_cast<double>(0.000001f)), "1000 n");
    EXPECT_EQ(FormatEng(1e-9), "1 n");
    EXPECT_EQ(FormatEng(static_cast<double>(1e-9f)), "1000 p");  // just below 1e-9
}

TEST(NumberText, GeneralFormSwitchesToExponentsAtTheEdges) {
    EXPECT_EQ(FormatGeneral(12346, 4), "1.235E4");
    EXPECT_EQ(FormatGeneral(0.00005, 4), "5E-5");
    EXPECT_EQ(FormatGeneral(0.000123, 4), "0.000123");
    EXPECT_EQ(FormatGeneral(-0.25, 4), "-0.25");
    EXPECT_EQ(FormatValueBoxNumber(1.0f), "1");
    EXPECT_EQ(FormatValueBoxNumber(47.0f), "5E001");
}

TEST(NumberText, LossTangent) {
    EXPECT_EQ(FormatLossTangent(0.00123), "1.2E-03");
    EXPECT_EQ(FormatLossTangent(0), "0.0E+00");
    EXPECT_EQ(FormatLossTangent(0.025), "2.5E-02");
    EXPECT_EQ(FormatLossTangent(3.0), "3.0E+00");
    EXPECT_EQ(FormatLossTangent(1.5e123), "1.5E+123");
}

TEST(NumberText, SettingsFileValues) {
    EXPECT_EQ(FormatIniInt(-12), "-12");
    EXPECT_EQ(ParseIniInt("48000"), 48000);
    EXPECT_EQ(ParseIniInt("-1"), -1);
    EXPECT_EQ(ParseIniInt("0x1F"), 31);
    EXPECT_EQ(ParseIniInt("0XfF"), 255);
    EXPECT_EQ(ParseIniInt("0xFFFFFFFF"), -1);
    EXPECT_EQ(ParseIniInt("0x"), std::nullopt);
    EXPECT_EQ(ParseIniInt("0x1G"), std::nullopt);
    EXPECT_EQ(ParseIniInt("12a"), std::nullopt);
    EXPECT_EQ(ParseIniInt(""), std::nullopt);
    EXPECT_EQ(ParseIniInt("99999999999"), std::nullopt);
    EXPECT_EQ(ParseIniInt("1.0"), std::nullopt);

    EXPECT_EQ(FormatIniFlag(true), "1");
    EXPECT_EQ(FormatIniFlag(false), "0");
    EXPECT_EQ(ParseIniFlag("0x10"), true);
    EXPECT_EQ(ParseIniFlag("0"), false);
    EXPECT_EQ(ParseIniFlag("-3"), true);
    EXPECT_EQ(ParseIniFlag("yes"), std::nullopt);

    EXPECT_EQ(FormatIniReal(static_cast<double>(0.9f)), "0.899999976158142");
    EXPECT_EQ(static_cast<float>(*ParseIniReal("0.899999976158142")), 0.9f);
    EXPECT_EQ(FormatIniReal(48000), "48000");
    EXPECT_EQ(FormatIniReal(1e20), "1E20");
    EXPECT_EQ(ParseIniReal("1E20"), 1e20);
    EXPECT_EQ(ParseIniReal(""), std::nullopt);
    EXPECT_EQ(ParseIniReal("0,9"), std::nullopt);
}

TEST(NumberText, ExportColumnsAreTwentyThreeCharacters) {
    EXPECT_EQ(FormatExportNumber(1000), " 1.00000000000000E+0003");
    EXPECT_EQ(FormatExportNumber(-0.5), "-5.00000000000000E-0001");
    EXPECT_EQ(FormatExportNumber(0), " 0.00000000000000E+0000");
    EXPECT_EQ(FormatExportNumber(-0.0), " 0.00000000000000E+0000");
    EXPECT_EQ(FormatExportNumber(1.0 / 3.0), " 3.33333333333333E-0001");
    EXPECT_EQ(FormatExportNumber(1e-300).size(), 23u);
    EXPECT_EQ(FormatExportNumber(std::numeric_limits<double>::quiet_NaN()).size(), 23u);
}

TEST(NumberText, TypedNumbers) {
    EXPECT_EQ(ParseDecimal("47"), 47.0);
    EXPECT_EQ(ParseDecimal("2.2E3"), 2200.0);
    EXPECT_EQ(ParseDecimal("-1.5e-3"), -0.0015);
    EXPECT_EQ(ParseDecimal("+.5"), 0.5);
    EXPECT_EQ(ParseDecimal("5."), 5.0);
    EXPECT_EQ(ParseDecimal("."), 0.0);
    EXPECT_EQ(ParseDecimal("-."), 0.0);
    for (const char* bad : {"", "-", "+", "4x", "1e", "1e+", "1.2.3", "1,5", " 1", "e5", ".e5",
                            "1e999", "inf", "nan", "0x10", "--1"}) {
        EXPECT_EQ(ParseDecimal(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(ParseTypedNumber("  1e3 "), 1000.0);
    EXPECT_EQ(ParseTypedNumber("   "), std::nullopt);

    EXPECT_EQ(ParseBandEdit(" 30 "), 30);
    EXPECT_EQ(ParseBandEdit("-5"), -5);
    EXPECT_EQ(ParseBandEdit("+24000"), 24000);
    for (const char* bad : {"", "30.5", "1e3", "abc", "-", "2147483648", "3 0", "0x10"}) {
        EXPECT_EQ(ParseBandEdit(bad), std::nullopt) << bad;
    }

    EXPECT_EQ(ParseIntegrationTimeMs("0.3"), 300);
    EXPECT_EQ(ParseIntegrationTimeMs("30"), 30000);
    EXPECT_EQ(ParseIntegrationTimeMs("1"), 1000);
    EXPECT_EQ(ParseIntegrationTimeMs("0.0025"), 2);  // 2.5 ms, halves to even
    EXPECT_EQ(ParseIntegrationTimeMs("fast"), std::nullopt);
    EXPECT_EQ(ParseIntegrationTimeMs("-1"), std::nullopt);

    EXPECT_EQ(FormatHz(20000), "20000");
    EXPECT_EQ(FormatHz(7346.7), "7347");
    EXPECT_EQ(FormatHz(-0.2), "0");
}

// A user whose locale writes decimal commas must still read and write points everywhere.
struct TCommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

TEST(NumberText, IgnoresALocaleWithDecimalCommas) {
    const std::string savedC = std::setlocale(LC_ALL, nullptr);
    const std::locale savedCpp = std::locale::global(std::locale(std::locale(), new TCommaDecimal));
    // Windows names its locales its own way.
    const bool haveCommaLocale = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ||
                                 std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") != nullptr ||
                                 std::setlocale(LC_NUMERIC, "German_Germany.1252") != nullptr;
    if (haveCommaLocale) {
        EXPECT_STREQ(std::localeconv()->decimal_point, ",");
    }
    EXPECT_EQ(FormatIniReal(0.5), "0.5");
    EXPECT_EQ(ParseIniReal("0.5"), 0.5);
    EXPECT_EQ(ParseIniReal("0,5"), std::nullopt);
    EXPECT_EQ(FormatEng(1500), "1.5 k");
    EXPECT_EQ(FormatAsync(1.2345), "1.200");
    EXPECT_EQ(FormatExportNumber(-0.5), "-5.00000000000000E-0001");
    EXPECT_EQ(ParseTypedNumber("2.2E3"), 2200.0);
    EXPECT_EQ(ParseIntegrationTimeMs("0.3"), 300);
    EXPECT_EQ(FormatLossTangent(0.00123), "1.2E-03");
    std::locale::global(savedCpp);
    std::setlocale(LC_ALL, savedC.c_str());
    EXPECT_TRUE(haveCommaLocale) << "no comma locale installed; only the C++ locale was tested";
}

}  // namespace
}  // namespace tavrin
