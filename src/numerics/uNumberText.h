#pragma once

// Every conversion between numbers and text in the program. The decimal separator is always
// ".", whatever the process locale: nothing here consults the C or C++ locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

// Removes leading and trailing blanks (spaces and control characters).
std::string_view TrimBlanks(std::string_view text);

// General number form: at most `precision` significant digits, fixed notation without
// trailing zeros, exponent form ("1E6", "1.5E-7": no plus sign, at least `minExponentDigits`
// exponent digits) when the integer part needs more than `precision` digits or |x| < 0.0001.
std::string FormatGeneral(double x, int precision, int minExponentDigits = 0);

// Level-setting quality figure: two significant digits in whole units ("44", "-3"), or the
// short exponent form beyond two integer digits ("1.2E2").
std::string FormatQuality(double value);
// Level-setting asynchrony figure: two significant digits, three decimals ("0.012", "1.200"),
// or the short exponent form beyond two integer digits ("-2E2").
std::string FormatAsync(double value);

// Number with an engineering prefix for the LCR readout: "1.5 k", "1000 ", "33 p", "0 ".
// The prefix text includes the space before the unit, which the caller appends. `precision`
// significant digits; the LCR readout's four unless a readout asks for more.
std::string FormatEng(double x, int precision = 4);
// Loss tangent: two significant digits, signed exponent of at least two digits ("1.2E-03").
std::string FormatLossTangent(double x);

// Settings-file values.
std::string FormatIniInt(int32_t value);
// Decimal, or hexadecimal after "0x"/"0X" (more than two characters); nullopt otherwise.
std::optional<int32_t> ParseIniInt(std::string_view text);
std::string FormatIniFlag(bool value);
std::optional<bool> ParseIniFlag(std::string_view text);
// Shortest general form with up to 15 significant digits: 0.9f widened gives "0.899999976158142".
std::string FormatIniReal(double value);
std::optional<double> ParseIniReal(std::string_view text);

// Export column: exactly 23 characters, " 1.00000000000000E+0003", "-5.00000000000000E-0001".
std::string FormatExportNumber(double value);

// Typed decimal: optional sign, digits with at most one ".", (a lone "." reads 0), optional
// exponent "E"/"e" with optional sign and at least one digit; nothing else. Blanks are not
// stripped here. Values that overflow or underflow a double are rejected.
std::optional<double> ParseDecimal(std::string_view text);
// The value box and the C in edit: ParseDecimal after stripping blanks.
std::optional<double> ParseTypedNumber(std::string_view text);
// The band edits: a whole decimal number with optional sign, blanks stripped, within 32 bits.
std::optional<int32_t> ParseBandEdit(std::string_view text);
// Integration time: decimal seconds to whole milliseconds (via a 32-bit float, halves to
// even). nullopt for text that is not a non-negative number.
std::optional<int32_t> ParseIntegrationTimeMs(std::string_view text);

// Whole hertz for the range scale ("%0.0f").
std::string FormatHz(double f);
// The value box's SetValue: one significant digit, exponent of at least three digits.
std::string FormatValueBoxNumber(float x);

}  // namespace tavrin
