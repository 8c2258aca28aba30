#include "uDriverReport.h"

#include <algorithm>

#include "uNumberText.h"

namespace tavrin {
namespace {

constexpr const char* kLineEnd = "\r\n";

std::string Line(const std::string& name, const std::string& value) {
    std::string text = name;
    text.resize(std::max<size_t>(name.size() + 1, 10), ' ');
    return text + value + kLineEnd;
}

std::string Value(double x, const char* unit) {
    std::string text = FormatGeneral(x, 4);
    return *unit ? text + " " + unit : text;
}

// The small-signal parameters of one fit; `mark` tells a second measurement's names apart.
std::string FitLines(const TDriverFit& fit, const std::string& mark) {
    if (!fit.Ok) {
        return Line("Fit" + mark, fit.Reason.empty() ? "not measured yet" : NoFitText(fit));
    }
    const TDriverParameters& p = fit.Parameters;
    std::string text = Line("Re" + mark, Value(p.Re, "Ohm"));
    text += Line("Fs" + mark, Value(p.Fs, "Hz"));
    text += Line("Qms" + mark, Value(p.Qms, ""));
    text += Line("Qes" + mark, Value(p.Qes, ""));
    text += Line("Qts" + mark, Value(TotalQ(p), ""));
    text += Line("Le" + mark, Value(p.Le * 1e3, "mH"));
    if (p.Model == TDriverModel::LR2) {
        text += Line("R2" + mark, Value(p.R2, "Ohm"));
        text += Line("L2" + mark, Value(p.L2 * 1e3, "mH"));
    }
    text += Line("Residual" + mark, FormatGeneral(fit.Residual * 100.0, 2) + " %");
    return text;
}

// ", 10 to 2000 Hz" in whole hertz, or nothing before a curve.
std::string Band(const TDriverFit& fit) {
    if (!(fit.HighFrequency > 0)) {
        return "";
    }
    return ", " + FormatHz(fit.LowFrequency) + " to " + FormatHz(fit.HighFrequency) + " Hz";
}

}  // namespace

void EvaluateMechanics(TDriverResults& results) {
    results.Mechanics = DriverMechanics(results.FreeAir, results.Second, results.Method,
                                        results.Amount, results.Sd);
}

std::string NoFitText(const TDriverFit& fit) {
    return "No fit: " + fit.Reason;
}

std::string DriverResultsText(const TDriverResults& results) {
    const TDriverFit& free = results.FreeAir;
    std::string text = "Driver in free air" + Band(free) + kLineEnd;
    if (free.Ok) {
        text += Line("Model", free.Parameters.Model == TDriverModel::LR2 ? "Le + R2 || L2" : "Le");
    }
    text += FitLines(free, "");
    if (results.Method == TDriverMethod::FreeAirOnly) {
        return text;
    }
    const bool mass = results.Method == TDriverMethod::AddedMass;
    text += kLineEnd;
    text += mass ? "With " + Value(results.Amount * 1e3, "g") + " added"
                 : "In a closed box of " + Value(results.Amount * 1e3, "l");
    text += ", Sd " + Value(results.Sd * 1e4, "cm2") + Band(results.Second) + kLineEnd;
    text += FitLines(results.Second, "'");
    const TDriverMechanics& m = results.Mechanics;
    if (!m.Ok) {
        return text + Line("Mechanics", "none: " + m.Reason);
    }
    text += Line("Mms", Value(m.Mms * 1e3, "g"));
    text += Line("Cms", Value(m.Cms * 1e3, "mm/N"));
    text += Line("Vas", Value(m.Vas * 1e3, "l"));
    text += Line("Bl", Value(m.Bl, "Tm"));
    text += Line("eta0", Value(m.Eta0 * 100.0, "%"));
    text += Line("SPL", Value(m.Spl1W, "dB at 1 W, 1 m"));
    text += Line("SPL", Value(m.Spl2V83, "dB at 2.83 V, 1 m"));
    return text;
}

}  // namespace tavrin
