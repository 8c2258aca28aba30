#include "uCliCurveExport.h"

#include <algorithm>
#include <vector>

#include "uCalibrationRecord.h"
#include "uCliError.h"
#include "uMeasurementSession.h"
#include "uResultTrace.h"
#include "uSpotColumns.h"
#include "uTraceExport.h"
#include "uTraceResolution.h"

namespace tavrin::cli {

bool NamesCurveFormat(const std::string& path) {
    return TraceFormatOfPath(path).has_value();
}

void CheckCurveExport(const std::optional<std::string>& path, TMode mode,
                      std::optional<int> pointsPerOctave) {
    const bool curve = path && NamesCurveFormat(*path);
    if (pointsPerOctave) {
        if (!curve) {
            throw ECliError("--ppo needs --export with a .zma, .frd, .csv or .s1p file");
        }
        if (std::find(kPointsPerOctaveChoices.begin(), kPointsPerOctaveChoices.end(),
                      *pointsPerOctave) == kPointsPerOctaveChoices.end()) {
            throw ECliError("--ppo takes 12, 24, 48 or 96, not " +
                            std::to_string(*pointsPerOctave));
        }
    }
    if (!curve) {
        return;
    }
    const TTraceKind kind = mode == mdTransfer ? TTraceKind::Transfer : TTraceKind::Impedance;
    if (!TraceFormatSuits(*TraceFormatOfPath(*path), kind)) {
        throw ECliError(kind == TTraceKind::Transfer
                            ? "--export: a transfer function is written as .frd or .csv"
                            : "--export: an impedance is written as .zma, .csv or .s1p");
    }
}

void TCurveExport::Take(const TMeasurementResult& result, const TMeasurementSession& session,
                        double integrationSeconds) {
    Last = TraceOfResult(result);
    if (Last) {
        Last->Info.Rref = session.Rref().Value();
        Last->Info.Cin = session.InputCapacitance();
        Last->Info.IntegrationTime = integrationSeconds;
    }
}

void TCurveExport::Write(const std::string& path, std::optional<int> pointsPerOctave,
                         const std::string& calibrationPath) const {
    if (!Last) {
        throw ECliError("no result to export to " + path);
    }
    TTrace trace = ReduceToPointsPerOctave(*Last, pointsPerOctave.value_or(0));
    if (const auto record = ReadCalibrationRecord(CalibrationRecordPath(calibrationPath))) {
        trace.Info.CalibrationDate = record->Made;
    }
    const std::vector<TExtraColumn> spot = SpotReadoutColumns(trace.Kind);
    if (const std::optional<std::string> error = WriteTraceFile(path, trace, spot)) {
        throw ECliError(*error);
    }
}

}  // namespace tavrin::cli
