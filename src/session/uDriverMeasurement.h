#pragma once

// A loudspeaker driver measured in two steps: its impedance in free air, then once more with a
// known mass on its cone or in a known closed box. Each impedance result of the session is
// fitted into the step in progress, so the figures settle as the results average; with the
// cone's area the two fits give the moving parts. The window's driver panel and the command
// line are views of it. User-interface thread; SI units (kg, m³, m²).

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "uDriverReport.h"
#include "uMeasurementResult.h"
#include "uTrace.h"

namespace tavrin {

enum class TDriverStep : uint8_t { FreeAir, Second };

class TDriverMeasurement {
  public:
    TDriverMethod Method() const { return FResults.Method; }
    void SetMethod(TDriverMethod method);
    double AddedMass() const { return FAddedMass; }
    void SetAddedMass(double kilograms);
    double BoxVolume() const { return FBoxVolume; }
    void SetBoxVolume(double cubicMetres);
    double Sd() const { return FResults.Sd; }
    void SetSd(double squareMetres);

    TDriverStep Step() const { return FStep; }
    void SetStep(TDriverStep step) { FStep = step; }

    // Fits the impedance of a result into the step in progress; false, changing nothing, for a
    // result that holds no impedance. `info` says how it was measured, for the saved curve.
    bool Take(const TMeasurementResult& result, const TTraceInfo& info);
    // A curve from elsewhere, an imported file for instance, fitted into `step`.
    void TakeCurve(TDriverStep step, TTrace curve);
    // Both steps forgotten; the method and its numbers stay.
    void Clear();

    const TDriverResults& Results() const { return FResults; }
    const std::optional<TTrace>& Curve(TDriverStep step) const;
    std::string Text() const { return DriverResultsText(FResults); }

    // Writes the text (`base` + ".txt") and the curves there are as ZMA (`base` + ".zma" in
    // free air, + "-mass.zma" or "-box.zma" for the second step), replacing each file. Nothing
    // on success, otherwise the text for the user (what was written until then stays).
    std::optional<std::string> Save(const std::string& base) const;
    // The files Save writes for `base`, the text first.
    std::vector<std::string> Files(const std::string& base) const;

    // Told after every change of the results.
    std::function<void()> OnChange;

  private:
    void Evaluate();
    // The curves Save writes, with their files.
    std::vector<std::pair<const TTrace*, std::string>> CurveFiles(const std::string& base) const;

    TDriverResults FResults;
    double FAddedMass = 0;
    double FBoxVolume = 0;
    TDriverStep FStep = TDriverStep::FreeAir;
    std::optional<TTrace> FFreeAirCurve;
    std::optional<TTrace> FSecondCurve;
};

}  // namespace tavrin
