#include "uTraceExport.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "uFileReplace.h"
#include "uNumberText.h"
#include "uTraceText.h"

namespace tavrin {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
// The level a zero modulus is written at: a number every reader takes, far below any signal.
constexpr double kZeroModulusDb = -400.0;

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Writable(const TTracePoint& p) {
    return std::isfinite(p.Frequency) && std::isfinite(p.Value.real()) &&
           std::isfinite(p.Value.imag());
}

double Decibels(std::complex<double> value) {
    const double modulus = std::abs(value);
    return modulus > 0 ? 20.0 * std::log10(modulus) : kZeroModulusDb;
}

// A CSV cell quoted where its text would otherwise split or end the row.
std::string CsvCell(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string cell = "\"";
    for (char c : text) {
        cell += c;
        if (c == '"') {
            cell += '"';
        }
    }
    return cell + "\"";
}

void AppendComments(std::string& out, std::string_view prefix, const TTrace& trace,
                    std::string_view columns) {
    for (const std::string& line : TraceInfoLines(trace)) {
        out += prefix;
        out += line;
        out += kLineEnd;
    }
    if (!columns.empty()) {
        out += prefix;
        out += columns;
        out += kLineEnd;
    }
}

// One data line: the frequency, then the values, separated by `separator`.
void AppendRow(std::string& out, double frequency, std::initializer_list<double> values,
               char separator) {
    AppendExactNumber(out, frequency);
    for (const double value : values) {
        out += separator;
        AppendTraceNumber(out, value);
    }
}

void FormatPolar(std::string& out, const TTrace& trace, bool decibels) {
    for (const TTracePoint& p : trace.Points) {
        if (!Writable(p)) {
            continue;
        }
        const double level = decibels ? Decibels(p.Value) : std::abs(p.Value);
        AppendRow(out, p.Frequency, {level, PhaseDegrees(p.Value)}, ' ');
        out += kLineEnd;
    }
}

void FormatCsv(std::string& out, const TTrace& trace, std::span<const TExtraColumn> extra) {
    const bool impedance = trace.Kind == TTraceKind::Impedance;
    out += impedance ? "Frequency (Hz),Re (Ohm),Im (Ohm),|Z| (Ohm),Phase (deg)"
                     : "Frequency (Hz),Re,Im,|H|,Phase (deg)";
    for (const TExtraColumn& column : extra) {
        out += ',';
        out += CsvCell(column.Header);
    }
    out += kLineEnd;
    for (const TTracePoint& p : trace.Points) {
        if (!Writable(p)) {
            continue;
        }
        AppendRow(out, p.Frequency,
                  {p.Value.real(), p.Value.imag(), std::abs(p.Value), PhaseDegrees(p.Value)}, ',');
        for (const TExtraColumn& column : extra) {
            out += ',';
            const double value = column.Value ? column.Value(p) : NAN;
            if (std::isfinite(value)) {
                AppendTraceNumber(out, value);
            }
        }
        out += kLineEnd;
    }
}

void FormatTouchstone(std::string& out, const TTrace& trace) {
    std::string referenceText;
    AppendSettingNumber(referenceText, TouchstoneReference(trace.Info));
    // The values are normalised to R as the option line gives it, so that a reader multiplies
    // back by exactly what they were divided by.
    const double reference = ParseDecimal(referenceText).value_or(TouchstoneReference(trace.Info));
    out += "# Hz Z RI R " + referenceText;
    out += kLineEnd;
    for (const TTracePoint& p : trace.Points) {
        if (!Writable(p)) {
            continue;
        }
        // Version 1.1 files hold Z normalised to the reference resistance.
        const std::complex<double> z = p.Value / reference;
        AppendRow(out, p.Frequency, {z.real(), z.imag()}, ' ');
        out += kLineEnd;
    }
}

}  // namespace

std::optional<TTraceFormat> TraceFormatOfPath(std::string_view path) {
    const size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    std::string extension;
    for (const char c : name.substr(dot)) {
        extension += LowerAscii(c);
    }
    for (const TTraceFormat format :
         {TTraceFormat::Zma, TTraceFormat::Frd, TTraceFormat::Csv, TTraceFormat::Touchstone}) {
        if (extension == TraceFormatExtension(format)) {
            return format;
        }
    }
    return std::nullopt;
}

std::string_view TraceFormatExtension(TTraceFormat format) {
    switch (format) {
        case TTraceFormat::Zma:
            return ".zma";
        case TTraceFormat::Frd:
            return ".frd";
        case TTraceFormat::Csv:
            return ".csv";
        case TTraceFormat::Touchstone:
            return ".s1p";
    }
    return "";
}

bool TraceFormatSuits(TTraceFormat format, TTraceKind kind) {
    switch (format) {
        case TTraceFormat::Zma:
        case TTraceFormat::Touchstone:
            return kind == TTraceKind::Impedance;
        case TTraceFormat::Frd:
            return kind == TTraceKind::Transfer;
        case TTraceFormat::Csv:
            return true;
    }
    return false;
}

double TouchstoneReference(const TTraceInfo& info) {
    constexpr double kDefaultReference = 50.0;
    if (info.Rref && std::isfinite(*info.Rref) && *info.Rref > 0) {
        return *info.Rref;
    }
    return kDefaultReference;
}

std::string FormatTrace(const TTrace& trace, TTraceFormat format,
                        std::span<const TExtraColumn> extra) {
    std::string out;
    // About 60 characters a line; one allocation for the usual case.
    out.reserve(1024 + trace.Points.size() * (format == TTraceFormat::Csv ? 96 : 64));
    switch (format) {
        case TTraceFormat::Zma:
            AppendComments(out, "* ", trace, "Frequency (Hz), |Z| (Ohm), Phase (deg)");
            FormatPolar(out, trace, false);
            break;
        case TTraceFormat::Frd:
            AppendComments(out, "* ", trace, "Frequency (Hz), Magnitude (dB), Phase (deg)");
            FormatPolar(out, trace, true);
            break;
        case TTraceFormat::Csv:
            AppendComments(out, "# ", trace, "");
            FormatCsv(out, trace, extra);
            break;
        case TTraceFormat::Touchstone:
            AppendComments(out, "! ", trace, "Frequency (Hz), Re(Z)/R, Im(Z)/R");
            FormatTouchstone(out, trace);
            break;
    }
    return out;
}

std::optional<std::string> WriteTraceFile(const std::string& path, const TTrace& trace,
                                          std::span<const TExtraColumn> extra) {
    const std::optional<TTraceFormat> format = TraceFormatOfPath(path);
    if (!format) {
        return "Cannot tell the format of " + path +
               ": the name must end in .zma, .frd, .csv or .s1p";
    }
    if (!TraceFormatSuits(*format, trace.Kind)) {
        return trace.Kind == TTraceKind::Impedance
                   ? "An impedance curve is written as ZMA, CSV or S1P, not as FRD"
                   : "A transfer function is written as FRD or CSV, not as ZMA or S1P";
    }
    errno = 0;
    if (!ReplaceFileContents(path, FormatTrace(trace, *format, extra))) {
        const int error = errno;
        return "Cannot write " + path +
               (error != 0 ? std::string(": ") + std::strerror(error) : "");
    }
    return std::nullopt;
}

}  // namespace tavrin
