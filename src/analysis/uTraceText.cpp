#include "uTraceText.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "uNumberText.h"

namespace tavrin {
namespace {

constexpr std::string_view kSampleRate = "Sample rate";
constexpr std::string_view kBlockLength = "Block length";
constexpr std::string_view kRref = "R ref";
constexpr std::string_view kCin = "C in";
constexpr std::string_view kIntegrationTime = "Integration time";
constexpr std::string_view kCalibration = "Calibration";
constexpr std::string_view kResolution = "Resolution";
constexpr double kPicofarad = 1e-12;

// Comments must stay one line whatever a free text holds.
std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return line;
}

bool FloatExact(double value) {
    return std::isfinite(value) && std::fabs(value) <= std::numeric_limits<float>::max() &&
           static_cast<double>(static_cast<float>(value)) == value;
}

std::string Field(std::string_view key, double value, std::string_view unit) {
    std::string line(key);
    line += ": ";
    AppendSettingNumber(line, value);
    if (!unit.empty()) {
        line += ' ';
        line += unit;
    }
    return line;
}

// "48000 Hz" against the unit "Hz": the number, when the text is that number and that unit.
std::optional<double> NumberWithUnit(std::string_view text, std::string_view unit) {
    text = TrimBlanks(text);
    if (!unit.empty()) {
        if (text.size() <= unit.size() || text.substr(text.size() - unit.size()) != unit) {
            return std::nullopt;
        }
        text = TrimBlanks(text.substr(0, text.size() - unit.size()));
    }
    return ParseDecimal(text);
}

template <typename T>
std::optional<T> WholeNumber(std::optional<double> value) {
    if (!value || *value != std::floor(*value) || *value < std::numeric_limits<T>::min() ||
        *value > std::numeric_limits<T>::max()) {
        return std::nullopt;
    }
    return static_cast<T>(*value);
}

}  // namespace

void AppendTraceNumber(std::string& out, double value) {
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 12);
    out.append(buffer, result.ptr);
}

void AppendSettingNumber(std::string& out, double value) {
    if (!FloatExact(value)) {
        AppendTraceNumber(out, value);
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value));
    out.append(buffer, result.ptr);
}

void AppendExactNumber(std::string& out, double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

std::string TraceNumberText(double value) {
    std::string text;
    AppendTraceNumber(text, value);
    return text;
}

std::vector<std::string> TraceInfoLines(const TTrace& trace) {
    const TTraceInfo& info = trace.Info;
    std::vector<std::string> lines;
    lines.emplace_back(trace.Kind == TTraceKind::Impedance ? "Tavrin impedance curve"
                                                           : "Tavrin transfer function");
    if (info.SampleRate) {
        lines.push_back(Field(kSampleRate, *info.SampleRate, "Hz"));
    }
    if (info.BlockLength) {
        lines.push_back(Field(kBlockLength, *info.BlockLength, ""));
    }
    if (info.Rref) {
        lines.push_back(Field(kRref, *info.Rref, "Ohm"));
    }
    if (info.Cin) {
        // A C in held as a float in farads is that float in picofarads.
        const double picofarads = *info.Cin / kPicofarad;
        lines.push_back(
            Field(kCin, FloatExact(*info.Cin) ? static_cast<float>(picofarads) : picofarads, "pF"));
    }
    if (info.IntegrationTime) {
        lines.push_back(Field(kIntegrationTime, *info.IntegrationTime, "s"));
    }
    if (info.CalibrationDate) {
        lines.push_back(std::string(kCalibration) + ": " + OneLine(*info.CalibrationDate));
    }
    if (info.PointsPerOctave) {
        lines.push_back(Field(kResolution, *info.PointsPerOctave, "points per octave"));
    } else {
        lines.push_back(std::string(kResolution) + ": every bin");
    }
    lines.push_back("Points: " + std::to_string(trace.Points.size()));
    return lines;
}

bool ReadTraceInfoLine(std::string_view line, TTraceInfo& info) {
    line = TrimBlanks(line);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    const std::string_view key = line.substr(0, colon);
    const std::string_view value = line.substr(colon + 1);
    if (key == kSampleRate) {
        const auto rate = WholeNumber<uint32_t>(NumberWithUnit(value, "Hz"));
        if (rate) {
            info.SampleRate = rate;
        }
        return rate.has_value();
    }
    if (key == kBlockLength) {
        const auto length = WholeNumber<int32_t>(NumberWithUnit(value, ""));
        if (length) {
            info.BlockLength = length;
        }
        return length.has_value();
    }
    if (key == kRref) {
        const auto rref = NumberWithUnit(value, "Ohm");
        if (rref) {
            info.Rref = rref;
        }
        return rref.has_value();
    }
    if (key == kCin) {
        const auto cin = NumberWithUnit(value, "pF");
        if (cin) {
            info.Cin = *cin * kPicofarad;
        }
        return cin.has_value();
    }
    if (key == kIntegrationTime) {
        const auto seconds = NumberWithUnit(value, "s");
        if (seconds) {
            info.IntegrationTime = seconds;
        }
        return seconds.has_value();
    }
    if (key == kCalibration) {
        info.CalibrationDate = std::string(TrimBlanks(value));
        return true;
    }
    if (key == kResolution) {
        if (TrimBlanks(value) == "every bin") {
            info.PointsPerOctave.reset();
            return true;
        }
        const auto ppo = WholeNumber<int32_t>(NumberWithUnit(value, "points per octave"));
        if (ppo && *ppo >= 1) {
            info.PointsPerOctave = ppo;
            return true;
        }
    }
    return false;
}

std::string QuotedToken(std::string_view token) {
    constexpr size_t kShown = 24;
    std::string quoted = "\"";
    for (size_t i = 0; i < token.size() && i < kShown; ++i) {
        const unsigned char c = static_cast<unsigned char>(token[i]);
        quoted += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    if (token.size() > kShown) {
        quoted += "...";
    }
    return quoted + "\"";
}

}  // namespace tavrin
