#include "uTraceColumns.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "uNumberText.h"
#include "uTraceText.h"

namespace tavrin {
namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerText(std::string_view text) {
    std::string lower;
    for (const char c : text) {
        lower += Lower(c);
    }
    return lower;
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::vector<std::string_view> SplitBlanks(std::string_view line) {
    std::vector<std::string_view> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        const size_t start = i;
        while (i < line.size() && !IsBlank(line[i])) {
            ++i;
        }
        if (i > start) {
            tokens.push_back(line.substr(start, i - start));
        }
    }
    return tokens;
}

// "nan", "-inf", "Infinity": texts some programs write for values they could not compute.
bool NamesNonFinite(std::string_view token) {
    if (!token.empty() && (token.front() == '+' || token.front() == '-')) {
        token.remove_prefix(1);
    }
    const std::string lower = LowerText(token.substr(0, 3));
    return lower == "nan" || lower == "inf";
}

// The value of a data token, or the reason it has none.
std::optional<double> DataNumber(std::string_view token, std::string& error) {
    if (const std::optional<double> value = ParseDecimal(token)) {
        return value;
    }
    if (NamesNonFinite(token)) {
        error = QuotedToken(token) + " is not a finite number";
    } else if (token.find_first_not_of("0123456789.eE+-") == std::string_view::npos) {
        error = QuotedToken(token) + " is out of range";
    } else {
        error = QuotedToken(token) + " is not a number";
    }
    return std::nullopt;
}

// Numbers of a data line, exactly `count` of them.
std::optional<std::string> DataNumbers(const std::vector<std::string_view>& tokens, size_t count,
                                       std::string_view meaning, double* values) {
    if (tokens.size() != count) {
        return "expected " + std::to_string(count) + " numbers (" + std::string(meaning) +
               "), found " + std::to_string(tokens.size());
    }
    for (size_t i = 0; i < count; ++i) {
        std::string error;
        const std::optional<double> value = DataNumber(tokens[i], error);
        if (!value) {
            return error;
        }
        values[i] = *value;
    }
    return std::nullopt;
}

std::complex<double> FromPolar(double modulus, double degrees) {
    return std::polar(modulus, degrees * kRadiansPerDegree);
}

// ZMA and FRD: three numbers a line separated by blanks; comment lines start with one of the
// marks programs use; a heading of words may precede the data.
class TPolarLines : public TTraceLineReader {
  public:
    explicit TPolarLines(bool decibels) : Decibels(decibels) {}

    std::optional<std::string> ReadLine(std::string_view line, TTrace& trace) override {
        line = TrimBlanks(line);
        if (line.empty()) {
            return std::nullopt;
        }
        if (std::string_view("*#;!/'\"").find(line.front()) != std::string_view::npos) {
            ReadTraceInfoLine(line.substr(1), trace.Info);
            return std::nullopt;
        }
        const std::vector<std::string_view> tokens = SplitBlanks(line);
        if (trace.Points.empty() && IsLetter(line.front()) && !NamesNonFinite(tokens.front())) {
            return std::nullopt;  // a heading such as "Freq Ohm Phase"
        }
        double v[3];
        if (auto error = DataNumbers(
                tokens, 3, Decibels ? "frequency, dB, phase" : "frequency, |Z|, phase", v)) {
            return error;
        }
        if (!Decibels && v[1] < 0) {
            return "|Z| " + QuotedToken(tokens[1]) + " is negative";
        }
        const double modulus = Decibels ? std::pow(10.0, v[1] / 20.0) : v[1];
        return AppendTracePoint(trace, v[0], FromPolar(modulus, v[2]));
    }

  private:
    bool Decibels;
};

// Touchstone 1.1, one port: "!" comments, one option line "# <unit> <parameter> <format> R <n>",
// then frequency and one complex number a line.
class TTouchstoneLines : public TTraceLineReader {
  public:
    std::optional<std::string> ReadLine(std::string_view line, TTrace& trace) override {
        const size_t bang = line.find('!');
        if (bang != std::string_view::npos) {
            ReadTraceInfoLine(line.substr(bang + 1), trace.Info);
            line = line.substr(0, bang);
        }
        line = TrimBlanks(line);
        if (line.empty()) {
            return std::nullopt;
        }
        if (line.front() == '#') {
            // Only the first option line counts; later ones are ignored.
            if (OptionsSeen) {
                return std::nullopt;
            }
            OptionsSeen = true;
            auto error = ReadOptions(line.substr(1));
            if (!error) {
                trace.Info.Rref = Reference;
            }
            return error;
        }
        if (line.front() == '[') {
            return "keyword lines such as " + QuotedToken(SplitBlanks(line).front()) +
                   " belong to Touchstone 2, which is not read; save the file as version 1.1";
        }
        if (!OptionsSeen) {
            trace.Info.Rref = Reference;  // the format's defaults hold without an option line
            OptionsSeen = true;
        }
        double v[3];
        if (auto error = DataNumbers(SplitBlanks(line), 3, "frequency and one complex value", v)) {
            return error;
        }
        std::complex<double> parameter;
        switch (Format) {
            case 'R':
                parameter = {v[1], v[2]};
                break;
            case 'M':
                parameter = FromPolar(v[1], v[2]);
                break;
            default:
                parameter = FromPolar(std::pow(10.0, v[1] / 20.0), v[2]);
                break;
        }
        std::complex<double> z;  // normalised to the reference resistance
        switch (Parameter) {
            case 'Z':
                z = parameter;
                break;
            case 'Y':
                z = 1.0 / parameter;
                break;
            default:
                z = (1.0 + parameter) / (1.0 - parameter);
                break;
        }
        const std::complex<double> value = z * Reference;
        if (!std::isfinite(value.real()) || !std::isfinite(value.imag())) {
            return "the value gives no finite impedance";
        }
        return AppendTracePoint(trace, v[0] * FrequencyUnit, value);
    }

  private:
    std::optional<std::string> ReadOptions(std::string_view options) {
        const std::vector<std::string_view> tokens = SplitBlanks(options);
        for (size_t i = 0; i < tokens.size(); ++i) {
            const std::string token = LowerText(tokens[i]);
            if (token == "hz" || token == "khz" || token == "mhz" || token == "ghz") {
                FrequencyUnit = token == "hz"    ? 1.0
                                : token == "khz" ? 1e3
                                : token == "mhz" ? 1e6
                                                 : 1e9;
            } else if (token == "s" || token == "y" || token == "z") {
                Parameter = Lower(token[0]) == 's' ? 'S' : Lower(token[0]) == 'y' ? 'Y' : 'Z';
            } else if (token == "h" || token == "g") {
                return QuotedToken(tokens[i]) +
                       " parameters describe two-ports; a one-port file holds S, Y or Z";
            } else if (token == "ri" || token == "ma" || token == "db") {
                Format = token == "ri" ? 'R' : token == "ma" ? 'M' : 'D';
            } else if (token == "r") {
                std::string error;
                const std::optional<double> value =
                    i + 1 < tokens.size() ? DataNumber(tokens[i + 1], error) : std::nullopt;
                if (!value) {
                    return "the option R needs a reference resistance" +
                           (error.empty() ? std::string() : ": " + error);
                }
                if (!(*value > 0)) {
                    return "the reference resistance must be above 0 Ohm, not " +
                           QuotedToken(tokens[i + 1]);
                }
                Reference = *value;
                ++i;
            } else {
                return "unknown option " + QuotedToken(tokens[i]);
            }
        }
        return std::nullopt;
    }

    bool OptionsSeen = false;
    double FrequencyUnit = 1e9;
    char Parameter = 'S';
    char Format = 'M';
    double Reference = 50.0;
};

// CSV: "#" comments, a header row naming the columns, then rows of as many cells.
class TCsvLines : public TTraceLineReader {
  public:
    std::optional<std::string> ReadLine(std::string_view line, TTrace& trace) override {
        const std::string_view trimmed = TrimBlanks(line);
        if (trimmed.empty()) {
            return std::nullopt;
        }
        if (trimmed.front() == '#') {
            ReadTraceInfoLine(trimmed.substr(1), trace.Info);
            return std::nullopt;
        }
        if (!HeaderSeen) {
            HeaderSeen = true;
            return ReadHeader(trimmed, trace);
        }
        std::vector<std::string> cells;
        if (auto error = SplitCells(trimmed, cells)) {
            return error;
        }
        if (cells.size() != Columns) {
            return "expected " + std::to_string(Columns) +
                   " cells, as the header row names, found " + std::to_string(cells.size());
        }
        double v[3];
        for (size_t i = 0; i < 3; ++i) {
            std::string error;
            const std::optional<double> value = DataNumber(TrimBlanks(cells[Roles[i]]), error);
            if (!value) {
                return error;
            }
            v[i] = *value;
        }
        std::complex<double> value;
        if (Polar) {
            if (!ModulusInDb && v[1] < 0) {
                return "the modulus " + QuotedToken(cells[Roles[1]]) + " is negative";
            }
            const double modulus = ModulusInDb ? std::pow(10.0, v[1] / 20.0) : v[1];
            value = std::polar(modulus, PhaseInRadians ? v[2] : v[2] * kRadiansPerDegree);
        } else {
            value = {v[1], v[2]};
        }
        return AppendTracePoint(trace, v[0] * FrequencyUnit, value);
    }

  private:
    struct TColumnName {
        std::string Name;  // lower case, without the unit
        std::string Unit;  // lower case, what the parentheses held
    };

    static TColumnName NameOf(std::string_view header) {
        header = TrimBlanks(header);
        TColumnName column;
        const size_t open = header.find('(');
        const size_t close = header.rfind(')');
        if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
            column.Unit = LowerText(TrimBlanks(header.substr(open + 1, close - open - 1)));
            header = TrimBlanks(header.substr(0, open));
        }
        column.Name = LowerText(header);
        return column;
    }

    // Cells split at the separator; double quotes enclose cells that hold it.
    std::optional<std::string> SplitCells(std::string_view line, std::vector<std::string>& cells) {
        std::string cell;
        bool quoted = false;
        for (size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (quoted) {
                if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                    cell += '"';
                    ++i;
                } else if (c == '"') {
                    quoted = false;
                } else {
                    cell += c;
                }
            } else if (c == '"') {
                quoted = true;
            } else if (c == Separator) {
                cells.push_back(std::move(cell));
                cell.clear();
            } else {
                cell += c;
            }
        }
        if (quoted) {
            return std::string("a quoted cell is not closed");
        }
        cells.push_back(std::move(cell));
        return std::nullopt;
    }

    std::optional<std::string> ReadHeader(std::string_view line, TTrace& trace) {
        // Files from spreadsheets set to a decimal comma separate their cells by semicolons.
        Separator = line.find(',') != std::string_view::npos   ? ','
                    : line.find(';') != std::string_view::npos ? ';'
                                                               : '\t';
        std::vector<std::string> cells;
        if (auto error = SplitCells(line, cells)) {
            return error;
        }
        Columns = cells.size();
        std::optional<size_t> frequency, re, im, modulus, phase;
        bool transfer = false;
        for (size_t i = 0; i < cells.size(); ++i) {
            std::string unused;
            if (DataNumber(TrimBlanks(cells[i]), unused)) {
                return std::string(
                    "the first row must name the columns (Frequency, Re, Im or |Z|, Phase)");
            }
            const TColumnName column = NameOf(cells[i]);
            const std::string& n = column.Name;
            if (!frequency && (n == "f" || n.starts_with("freq"))) {
                frequency = i;
                FrequencyUnit = column.Unit == "khz" ? 1e3 : 1.0;
            } else if (!re && (n == "re" || n == "real" || n == "re(z)" || n == "re(h)")) {
                re = i;
            } else if (!im && (n == "im" || n == "imag" || n == "imaginary" || n == "im(z)" ||
                               n == "im(h)")) {
                im = i;
            } else if (!modulus && (n == "|z|" || n == "|h|" || n == "z" || n == "mag" ||
                                    n == "magnitude" || n == "modulus" || n == "impedance")) {
                modulus = i;
                ModulusInDb = column.Unit == "db";
                transfer = transfer || n == "|h|" || ModulusInDb;
            } else if (!phase && (n == "phase" || n == "arg")) {
                phase = i;
                PhaseInRadians = column.Unit == "rad";
            }
        }
        Polar = !(re && im);
        if (Polar && !(modulus && phase)) {
            return std::string(
                "the header row must name the columns Re and Im, or |Z| (or |H|) and Phase");
        }
        Roles[0] = frequency.value_or(0);
        Roles[1] = Polar ? *modulus : *re;
        Roles[2] = Polar ? *phase : *im;
        trace.Kind = transfer ? TTraceKind::Transfer : TTraceKind::Impedance;
        return std::nullopt;
    }

    bool HeaderSeen = false;
    char Separator = ',';
    size_t Columns = 0;
    size_t Roles[3] = {0, 1, 2};  // cells of the frequency and the two value numbers
    bool Polar = false;
    bool ModulusInDb = false;
    bool PhaseInRadians = false;
    double FrequencyUnit = 1.0;
};

}  // namespace

std::unique_ptr<TTraceLineReader> MakeTraceLineReader(TTraceFormat format) {
    switch (format) {
        case TTraceFormat::Zma:
            return std::make_unique<TPolarLines>(false);
        case TTraceFormat::Frd:
            return std::make_unique<TPolarLines>(true);
        case TTraceFormat::Touchstone:
            return std::make_unique<TTouchstoneLines>();
        case TTraceFormat::Csv:
            return std::make_unique<TCsvLines>();
    }
    return nullptr;
}

std::optional<std::string> AppendTracePoint(TTrace& trace, double frequency,
                                            std::complex<double> value) {
    if (!std::isfinite(frequency) || !(frequency > 0)) {
        return "the frequency " + TraceNumberText(frequency) + " Hz is not above 0 Hz";
    }
    if (!trace.Points.empty() && !(frequency > trace.Points.back().Frequency)) {
        return "the frequency " + TraceNumberText(frequency) +
               " Hz is not above the one before it (" +
               TraceNumberText(trace.Points.back().Frequency) + " Hz): frequencies must ascend";
    }
    if (!std::isfinite(value.real()) || !std::isfinite(value.imag())) {
        return std::string("the value is not finite");
    }
    if (trace.Points.size() >= kTracePointLimit) {
        return "more than " + std::to_string(kTracePointLimit) + " points";
    }
    trace.Points.push_back({frequency, value});
    return std::nullopt;
}

}  // namespace tavrin
