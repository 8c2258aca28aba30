#include "uNumberText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace tavrin {
namespace {

// A finite double rounded to `significant` decimal digits: sign, digit string, exponent of
// the first digit. std::to_chars is locale-independent and rounds correctly.
struct TDecimal {
    bool Negative = false;
    std::string Digits;  // exactly `significant` digits, first one non-zero unless the value is 0
    int Exponent = 0;
};

TDecimal ToDecimal(double value, int significant) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::scientific, significant - 1);
    std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
    TDecimal decimal;
    if (!text.empty() && text.front() == '-') {
        decimal.Negative = true;
        text.remove_prefix(1);
    }
    const size_t e = text.find('e');
    for (char c : text.substr(0, e)) {
        if (c != '.') {
            decimal.Digits.push_back(c);
        }
    }
    std::string_view exponent = text.substr(e + 1);
    if (!exponent.empty() && exponent.front() == '+') {
        exponent.remove_prefix(1);
    }
    std::from_chars(exponent.data(), exponent.data() + exponent.size(), decimal.Exponent);
    return decimal;
}

std::string StripTrailingZeros(std::string text) {
    if (text.find('.') == std::string::npos) {
        return text;
    }
    while (text.back() == '0') {
        text.pop_back();
    }
    if (text.back() == '.') {
        text.pop_back();
    }
    return text;
}

std::string ExponentDigits(int exponent, int minDigits) {
    std::string digits = std::to_string(exponent < 0 ? -exponent : exponent);
    if (static_cast<int>(digits.size()) < minDigits) {
        digits.insert(0, static_cast<size_t>(minDigits) - digits.size(), '0');
    }
    return digits;
}

// "1.2E2", "-2E2", "5E-5": mantissa without trailing zeros, exponent without plus sign.
std::string ExponentForm(const TDecimal& d, int minExponentDigits) {
    std::string text = d.Negative ? "-" : "";
    text += StripTrailingZeros(d.Digits.substr(0, 1) + "." + d.Digits.substr(1));
    text += 'E';
    if (d.Exponent < 0) {
        text += '-';
    }
    return text + ExponentDigits(d.Exponent, minExponentDigits);
}

std::string NonFiniteText(double value) {
    if (std::isnan(value)) {
        return "NAN";
    }
    return value < 0 ? "-INF" : "INF";
}

double RoundSignificant(double value, int significant) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::scientific, significant - 1);
    double rounded = 0.0;
    std::from_chars(buffer, result.ptr, rounded);
    return rounded;
}

std::string FixedText(double value, int decimals) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text(buffer, result.ptr);
    // A value that rounds to zero is written without a minus sign.
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) {
        text.erase(0, 1);
    }
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') {
        text.remove_suffix(1);
    }
    return text;
}

std::string FormatGeneral(double x, int precision, int minExponentDigits) {
    if (!std::isfinite(x)) {
        return NonFiniteText(x);
    }
    if (x == 0.0) {
        return "0";
    }
    const TDecimal d = ToDecimal(x, precision);
    if (d.Exponent >= precision || std::fabs(x) < 0.0001) {
        return ExponentForm(d, minExponentDigits);
    }
    std::string text = d.Negative ? "-" : "";
    if (d.Exponent < 0) {
        text += "0." + std::string(static_cast<size_t>(-d.Exponent - 1), '0') + d.Digits;
    } else {
        const size_t integerDigits = static_cast<size_t>(d.Exponent) + 1;
        text += d.Digits.substr(0, integerDigits);
        if (integerDigits < d.Digits.size()) {
            text += "." + d.Digits.substr(integerDigits);
        }
    }
    return StripTrailingZeros(text);
}

std::string FormatQuality(double value) {
    if (!std::isfinite(value)) {
        return NonFiniteText(value);
    }
    const TDecimal d = ToDecimal(value, 2);
    if (d.Exponent >= 2) {
        return ExponentForm(d, 0);
    }
    return FixedText(std::nearbyint(RoundSignificant(value, 2)), 0);
}

std::string FormatAsync(double value) {
    if (!std::isfinite(value)) {
        return NonFiniteText(value);
    }
    const TDecimal d = ToDecimal(value, 2);
    if (d.Exponent >= 2) {
        return ExponentForm(d, 0);
    }
    return FixedText(RoundSignificant(value, 2), 3);
}

std::string FormatEng(double x, int precision) {
    if (x == 0.0) {
        return "0 ";
    }
    const double a = std::fabs(x);
    struct TPrefix {
        double Scale;
        const char* Text;
    };
    TPrefix prefix{1e12, " p"};
    if (a > 1000000.0) {
        prefix = {0.000001, " M"};
    } else if (a > 1000.0) {
        prefix = {0.001, " k"};
    } else if (a >= 1.0) {
        prefix = {1.0, " "};
    } else if (a >= 0.001) {
        prefix = {1000.0, " m"};
    } else if (a >= 0.000001) {
        prefix = {1000000.0, " \xC2\xB5"};
    } else if (a >= 0.000000001) {
        prefix = {1000000000.0, " n"};
    }
    return FormatGeneral(x * prefix.Scale, precision) + prefix.Text;
}

std::string FormatLossTangent(double x) {
    if (!std::isfinite(x)) {
        return NonFiniteText(x);
    }
    const TDecimal d = ToDecimal(x, 2);
    std::string text = d.Negative ? "-" : "";
    text += d.Digits.substr(0, 1) + "." + d.Digits.substr(1) + "E";
    text += d.Exponent < 0 ? '-' : '+';
    return text + ExponentDigits(d.Exponent, 2);
}

std::string FormatIniInt(int32_t value) {
    return std::to_string(value);
}

std::optional<int32_t> ParseIniInt(std::string_view text) {
    text = TrimBlanks(text);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const std::string_view hex = text.substr(2);
        uint32_t value = 0;
        const auto result = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
        if (result.ec != std::errc() || result.ptr != hex.data() + hex.size()) {
            return std::nullopt;
        }
        return static_cast<int32_t>(value);  // eight hex digits wrap, as 0xFFFFFFFF reads -1
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    int32_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string FormatIniFlag(bool value) {
    return value ? "1" : "0";
}

std::optional<bool> ParseIniFlag(std::string_view text) {
    const std::optional<int32_t> value = ParseIniInt(text);
    if (!value) {
        return std::nullopt;
    }
    return *value != 0;
}

std::string FormatIniReal(double value) {
    return FormatGeneral(value, 15);
}

std::optional<double> ParseIniReal(std::string_view text) {
    return ParseDecimal(TrimBlanks(text));
}

std::string FormatExportNumber(double value) {
    if (!std::isfinite(value)) {
        std::string text = NonFiniteText(value);
        if (text.front() != '-') {
            text.insert(0, 1, ' ');
        }
        return text + std::string(23 - text.size(), ' ');
    }
    const TDecimal d = ToDecimal(value, 15);
    std::string text(1, d.Negative && value != 0.0 ? '-' : ' ');
    text += d.Digits.substr(0, 1) + "." + d.Digits.substr(1) + "E";
    text += d.Exponent < 0 ? '-' : '+';
    return text + ExponentDigits(d.Exponent, 4);
}

std::optional<double> ParseDecimal(std::string_view text) {
    size_t i = 0;
    const bool negative = i < text.size() && (text[i] == '-');
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    const size_t mantissaStart = i;
    size_t digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (IsDigit(text[i])) {
            ++digits;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0 && !point) {
        return std::nullopt;  // empty, or a sign alone
    }
    if (digits == 0) {
        // A lone point reads as zero, but only when nothing else follows it.
        if (i != text.size()) {
            return std::nullopt;
        }
        return negative ? -0.0 : 0.0;
    }
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        size_t exponentDigits = 0;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return std::nullopt;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    // The grammar is checked; from_chars reads the value (it takes no leading plus sign).
    double value = 0.0;
    const char* first = text.data() + mantissaStart;
    const auto result = std::from_chars(first, text.data() + text.size(), value);
    if (result.ec != std::errc() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<double> ParseTypedNumber(std::string_view text) {
    return ParseDecimal(TrimBlanks(text));
}

std::optional<int32_t> ParseBandEdit(std::string_view text) {
    text = TrimBlanks(text);
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        text.remove_prefix(1);
    }
    if (text.empty() || !IsDigit(text.front())) {
        return std::nullopt;
    }
    int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    value = negative ? -value : value;
    if (value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

std::optional<int32_t> ParseIntegrationTimeMs(std::string_view text) {
    const std::optional<double> seconds = ParseTypedNumber(text);
    if (!seconds || *seconds < 0.0) {
        return std::nullopt;
    }
    const double ms = std::nearbyint(static_cast<double>(static_cast<float>(*seconds)) * 1000.0);
    if (!(ms <= std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(ms);
}

std::string FormatHz(double f) {
    if (!std::isfinite(f)) {
        return NonFiniteText(f);
    }
    return FixedText(f, 0);
}

std::string FormatValueBoxNumber(float x) {
    return FormatGeneral(x, 1, 3);
}

}  // namespace tavrin
