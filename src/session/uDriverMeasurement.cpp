#include "uDriverMeasurement.h"

#include <cerrno>
#include <cstring>

#include "uFileReplace.h"
#include "uTraceExport.h"

namespace tavrin {

void TDriverMeasurement::SetMethod(TDriverMethod method) {
    FResults.Method = method;
    Evaluate();
}

void TDriverMeasurement::SetAddedMass(double kilograms) {
    FAddedMass = kilograms;
    Evaluate();
}

void TDriverMeasurement::SetBoxVolume(double cubicMetres) {
    FBoxVolume = cubicMetres;
    Evaluate();
}

void TDriverMeasurement::SetSd(double squareMetres) {
    FResults.Sd = squareMetres;
    Evaluate();
}

bool TDriverMeasurement::Take(const TMeasurementResult& result, const TTraceInfo& info) {
    if (result.Content != TResultContent::Impedance &&
        result.Content != TResultContent::ImpedanceAndModel) {
        return false;
    }
    TTrace curve;
    curve.Points =
        PointsFromBins(result.Channel(0), result.Bins, result.SampleRate, result.BlockLength);
    curve.Info = info;
    TakeCurve(FStep, std::move(curve));
    return true;
}

void TDriverMeasurement::TakeCurve(TDriverStep step, TTrace curve) {
    TDriverFit& fit = step == TDriverStep::FreeAir ? FResults.FreeAir : FResults.Second;
    fit = FitDriver(curve.Points);
    (step == TDriverStep::FreeAir ? FFreeAirCurve : FSecondCurve) = std::move(curve);
    Evaluate();
}

void TDriverMeasurement::Clear() {
    FResults.FreeAir = {};
    FResults.Second = {};
    FFreeAirCurve.reset();
    FSecondCurve.reset();
    Evaluate();
}

const std::optional<TTrace>& TDriverMeasurement::Curve(TDriverStep step) const {
    return step == TDriverStep::FreeAir ? FFreeAirCurve : FSecondCurve;
}

std::vector<std::pair<const TTrace*, std::string>> TDriverMeasurement::CurveFiles(
    const std::string& base) const {
    std::vector<std::pair<const TTrace*, std::string>> files;
    if (FFreeAirCurve) {
        files.emplace_back(&*FFreeAirCurve, base + ".zma");
    }
    if (FSecondCurve && FResults.Method != TDriverMethod::FreeAirOnly) {
        const bool box = FResults.Method == TDriverMethod::KnownVolume;
        files.emplace_back(&*FSecondCurve, base + (box ? "-box.zma" : "-mass.zma"));
    }
    return files;
}

std::vector<std::string> TDriverMeasurement::Files(const std::string& base) const {
    std::vector<std::string> files{base + ".txt"};
    for (const auto& [curve, path] : CurveFiles(base)) {
        files.push_back(path);
    }
    return files;
}

std::optional<std::string> TDriverMeasurement::Save(const std::string& base) const {
    for (const auto& [curve, path] : CurveFiles(base)) {
        if (auto error = WriteTraceFile(path, *curve)) {
            return error;
        }
    }
    errno = 0;
    if (!ReplaceFileContents(base + ".txt", Text())) {
        const int error = errno;
        return "Cannot write " + base + ".txt" +
               (error != 0 ? std::string(": ") + std::strerror(error) : "");
    }
    return std::nullopt;
}

void TDriverMeasurement::Evaluate() {
    FResults.Amount = FResults.Method == TDriverMethod::KnownVolume ? FBoxVolume : FAddedMass;
    EvaluateMechanics(FResults);
    if (OnChange) {
        OnChange();
    }
}

}  // namespace tavrin
