#include "uCliJson.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <utility>

namespace tavrin::cli {
namespace {

// The bins of the result that its channels hold: Lo..Hi, never past the last slot.
TBinRange HeldBins(const TMeasurementResult& result) {
    const int32_t slots = static_cast<int32_t>(result.Channel(0).size());
    return {result.Bins.Lo, std::min(result.Bins.Hi, slots - 1)};
}

// A JSON number, or null for what has no finite value.
nlohmann::json Finite(double value) {
    return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json();
}

nlohmann::json SpotJson(const TSpotReadout& spot) {
    nlohmann::json json;
    json["frequency"] = spot.Frequency;
    json["bin"] = spot.Bin;
    if (!spot.Valid) {
        json["readout"] = TextLines(FormatSpotReadout(spot));
        return json;
    }
    json["model"] = spot.Model == TCircuitModel::Series ? "series" : "parallel";
    json["automatic"] = spot.Automatic;
    json["z"] = {Finite(spot.Z.real()), Finite(spot.Z.imag())};
    json["magnitude"] = Finite(spot.Magnitude);
    json["phase_degrees"] = Finite(spot.PhaseDegrees);
    const std::pair<const char*, double> values[] = {
        {"rs", spot.Rs}, {"xs", spot.Xs}, {"cs", spot.Cs}, {"ls", spot.Ls},
        {"rp", spot.Rp}, {"xp", spot.Xp}, {"cp", spot.Cp}, {"lp", spot.Lp},
        {"g", spot.G},   {"b", spot.B},   {"d", spot.D},   {"q", spot.Q}};
    for (const auto& [key, value] : values) {
        json[key] = Finite(value);
    }
    json["readout"] = TextLines(FormatSpotReadout(spot));
    return json;
}

nlohmann::json ModelJson(const TBandModelFit& fit) {
    return {{"circuit", BandModelName(fit)},
            {"resistance", Finite(fit.Resistance)},
            {"inductance", Finite(fit.Inductance)},
            {"capacitance", Finite(fit.Capacitance)},
            {"self_resonance",
             fit.SelfResonance > 0 ? nlohmann::json(fit.SelfResonance) : nlohmann::json()},
            {"residual", Finite(fit.Residual)}};
}

}  // namespace

nlohmann::json BenchJson(const TBenchReadout& readout) {
    nlohmann::json json;
    json["spot"] = SpotJson(readout.Spot);
    nlohmann::json fits = nlohmann::json::array();
    for (const TBandModelFit& fit : readout.Models.Fits) {
        if (fit.Valid) {
            fits.push_back(ModelJson(fit));
        }
    }
    const TBandModelFit* best = readout.Models.BestFit();
    json["models"] = {{"best", best ? ModelJson(*best) : nlohmann::json()},
                      {"fits", std::move(fits)},
                      {"readout", TextLines(FormatBandModels(readout.Models))}};
    json["input_resistance"] = readout.InputResistance;
    json["compensated"] = readout.Compensated;
    json["compensation_mark"] = readout.CompensationMark.empty()
                                    ? nlohmann::json()
                                    : nlohmann::json(readout.CompensationMark);
    return json;
}

nlohmann::json InputJson(const TInputFigures& figures) {
    if (!figures.Known) {
        return {{"known", false}, {"reason", figures.Reason}};
    }
    return {{"known", true},
            {"cin", figures.Cin},
            {"rin", Finite(figures.Rin)},
            {"readout", FormatInputFigures(figures)}};
}

std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find("\r\n", start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

const char* ModeName(TMode mode) {
    switch (mode) {
        case mdZGraph:
            return "z";
        case mdZGraphLCR:
            return "lcr";
        case mdTransfer:
            return "transfer";
        default:
            return "calibration";
    }
}

double ShortestFloat(float value) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    double shortest = 0;
    std::from_chars(text, written.ptr, shortest);
    return shortest;
}

nlohmann::json FitJson(const TSeriesFit& fit) {
    nlohmann::json json;
    json["reactance"] = fit.Inductive ? "inductive" : "capacitive";
    if (fit.Inductive) {
        json["inductance"] = ShortestFloat(fit.Inductance);
    } else {
        json["capacitance"] =
            fit.ReactanceKnown ? nlohmann::json(ShortestFloat(fit.Capacitance)) : nlohmann::json();
    }
    json["resistance"] = ShortestFloat(fit.Resistance);
    json["loss_tangent"] =
        fit.LossTangentKnown ? nlohmann::json(ShortestFloat(fit.LossTangent)) : nlohmann::json();
    json["readout"] = TextLines(FormatSeriesFit(fit));
    return json;
}

nlohmann::json ReadingJson(const TFitReading& reading) {
    const TSeriesFit& fit = reading.Fit;
    nlohmann::json json;
    json["results"] = reading.Results;
    json["reactance_supported"] = reading.ReactanceSupported;
    const char* reactance = fit.Inductive ? "inductance" : "capacitance";
    json[reactance] = reading.ReactanceSupported
                          ? nlohmann::json(fit.Inductive ? fit.Inductance : fit.Capacitance)
                          : nlohmann::json();
    json["resistance"] = fit.Resistance;
    json["loss_tangent"] =
        reading.ReactanceSupported ? nlohmann::json(fit.LossTangent) : nlohmann::json();
    if (reading.UncertaintyKnown) {
        // Expanded, k = 2, in the values' own units.
        json["uncertainty"] = {{reactance, reading.ReactanceU},
                               {"resistance", reading.ResistanceU},
                               {"loss_tangent", reading.LossTangentU},
                               {"coverage_factor", kCoverageFactor}};
    }
    json["readout"] = TextLines(FormatFitReading(reading));
    return json;
}

std::vector<std::array<double, 3>> CurveRows(const TMeasurementResult& result) {
    std::vector<std::array<double, 3>> rows;
    const std::span<const TComplex> bins = result.Channel(0);
    const TBinRange held = HeldBins(result);
    const float width = result.BinWidth();
    for (int32_t i = held.Lo; i <= held.Hi; ++i) {
        const TComplex value = bins[static_cast<size_t>(i)];
        rows.push_back({static_cast<double>(i) * width, value.Re, value.Im});
    }
    return rows;
}

nlohmann::json ResultJson(const TMeasurementResult& result, const TResultExtras& extras) {
    const TBinRange held = HeldBins(result);
    const float width = result.BinWidth();
    nlohmann::json json;
    json["result"] = extras.Index;
    json["mode"] = ModeName(result.Mode);
    json["rate"] = result.SampleRate;
    json["block_length"] = result.BlockLength;
    json["band"] = {ShortestFloat(result.BandLow), ShortestFloat(result.BandHigh)};
    json["bins"] = {held.Lo, held.Hi};
    json["frequency"] = {held.Lo * static_cast<double>(width),
                         held.Hi * static_cast<double>(width)};
    json["amplitude"] = ShortestFloat(extras.Amplitude);
    json["saturated"] = extras.Saturated;
    if (!result.CalibrationMark.empty()) {
        json["calibration_mark"] = result.CalibrationMark;
    }
    if (result.ClockOffset.Known) {
        json["clock_offset_ppm"] = std::round(result.ClockOffset.Ppm * 100.0) / 100.0;
    }
    if (!result.ClockWarning.empty()) {
        json["clock_warning"] = result.ClockWarning;
    }
    if (result.Reading) {
        json["reading"] = ReadingJson(*result.Reading);
    }
    if (result.Fit) {
        json["fit"] = FitJson(*result.Fit);
    }
    if (result.Bench) {
        json["bench"] = BenchJson(*result.Bench);
    }
    if (extras.WithCurve) {
        nlohmann::json curve = nlohmann::json::array();
        for (const auto& [frequency, re, im] : CurveRows(result)) {
            curve.push_back({frequency, ShortestFloat(static_cast<float>(re)),
                             ShortestFloat(static_cast<float>(im))});
        }
        json["curve"] = std::move(curve);
    }
    return json;
}

}  // namespace tavrin::cli
