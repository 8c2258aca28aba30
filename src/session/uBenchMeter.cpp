#include "uBenchMeter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "uCalibrationRecord.h"
#include "uCompensationFile.h"
#include "uExecutablePath.h"
#include "uFileError.h"
#include "uNumberText.h"
#include "uSettingsFile.h"

namespace tavrin {
namespace {

constexpr const char* kSection = "Bench";

std::string ModelText(TModelChoice model) {
    return ModelChoiceName(model);
}

}  // namespace

std::string TBenchReadout::Text() const {
    std::string text = FormatSpotReadout(Spot) + "\r\n" + FormatBandModels(Models);
    if (!CompensationMark.empty()) {
        text += "\r\n" + CompensationMark;
    }
    return text;
}

TBenchMeter::TBenchMeter(const std::string& settingsPath)
    : Now([] { return std::time(nullptr); }),
      FSettingsPath(WithExtension(settingsPath, ".bench.ini")),
      FCompensationPath(WithExtension(settingsPath, kCompensationExtension)) {}

void TBenchMeter::Load() {
    const TSettingsFile settings(FSettingsPath);
    SetTestFrequencyText(settings.ReadText(kSection, "TestFrequency", "1000"));
    if (const auto model = ParseModelChoice(settings.ReadText(kSection, "Model", "auto"))) {
        FModel = *model;
    }
    SetRinText(settings.ReadText(kSection, "Rin", ""));
    const int32_t plot = settings.ReadInt(kSection, "Plot", 0);
    FPlot = plot >= 0 && plot < kBenchPlotCount ? static_cast<TBenchPlot>(plot) : TBenchPlot::ReIm;
    FCompensationOn = settings.ReadFlag(kSection, "Compensation", true);
    FPanelShown = settings.ReadFlag(kSection, "Shown", false);

    std::string reason;
    TFixtureCompensation loaded;
    switch (ReadCompensationFile(FCompensationPath, loaded, &reason)) {
        case TCompensationRead::Loaded:
            FCompensation = std::move(loaded);
            break;
        case TCompensationRead::Missing:
            break;
        case TCompensationRead::Malformed:
            Report("Fixture compensation " + FCompensationPath + " not used: " + reason);
            break;
    }
}

void TBenchMeter::Save() const {
    TSettingsFile settings(FSettingsPath);
    settings.WriteText(kSection, "TestFrequency", FormatIniReal(FTestFrequency));
    settings.WriteText(kSection, "Model", ModelText(FModel));
    settings.WriteText(kSection, "Rin", std::string(TrimBlanks(FRinText)));
    settings.WriteInt(kSection, "Plot", static_cast<int32_t>(FPlot));
    settings.WriteFlag(kSection, "Compensation", FCompensationOn);
    settings.WriteFlag(kSection, "Shown", FPanelShown);
}

bool TBenchMeter::SetTestFrequencyText(std::string_view text) {
    const std::optional<float> hertz = ParseTestFrequency(text);
    if (hertz) {
        FTestFrequency = *hertz;
    }
    return hertz.has_value();
}

void TBenchMeter::SetTestFrequency(float hertz) {
    if (hertz > 0.0f) {
        FTestFrequency = hertz;
    }
}

bool TBenchMeter::SetRinText(std::string text) {
    FRinText = std::move(text);
    const std::optional<double> ohms = ParseInputResistance(FRinText);
    FRinInForce = ohms.has_value();
    if (ohms) {
        FRin = *ohms;
    }
    return FRinInForce;
}

void TBenchMeter::ClearCompensation() {
    FCapturing.reset();
    FCompensation = TFixtureCompensation{};
    if (!FFilesElsewhere.empty()) {
        throw EFileError(FFilesElsewhere);
    }
    if (std::remove(FCompensationPath.c_str()) != 0 && errno != ENOENT) {
        throw EFileError("Impossible d'écrire dans " + FCompensationPath);
    }
}

bool TBenchMeter::BeginCapture(TFixturePart part, double loadOhms) {
    if (part == TFixturePart::Load && !(loadOhms > 0.0 && loadOhms < 1e12)) {
        return false;
    }
    FCapturing = TCapture{part, part == TFixturePart::Load ? loadOhms : 0.0, 0, 0, {}};
    return true;
}

std::optional<TFixturePart> TBenchMeter::Capturing() const {
    return FCapturing ? std::optional(FCapturing->Part) : std::nullopt;
}

void TBenchMeter::OfferCapture(std::span<const TComplex> driving,
                               std::span<const TComplex> reference, TBinRange bins,
                               float angularStep, const TInputArm& arm,
                               const TMeasuringSetup& setup, bool saturated) {
    if (!FCapturing || bins.Hi < bins.Lo) {
        return;
    }
    TCapture& capture = *FCapturing;
    // The level loop rescales the stimulus over the first results; a saturated block is no
    // reading at all.
    if (saturated || capture.Settled < kSettleResults) {
        capture.Settled += saturated ? 0 : 1;
        return;
    }
    const std::vector<TComplex> values =
        FixtureReading(capture.Part, driving, reference, bins, angularStep, arm);
    if (capture.Sum.size() != values.size()) {
        capture.Sum.assign(values.size(), {0.0, 0.0});
        capture.Taken = 0;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        capture.Sum[i] += std::complex<double>(values[i].Re, values[i].Im);
    }
    if (++capture.Taken == kCaptureResults) {
        StoreCapture(capture, bins, arm, setup);
    }
}

void TBenchMeter::StoreCapture(TCapture& capture, TBinRange bins, const TInputArm& arm,
                               const TMeasuringSetup& setup) {
    std::vector<TComplex> mean(capture.Sum.size());
    for (size_t i = 0; i < mean.size(); ++i) {
        const std::complex<double> m = capture.Sum[i] / static_cast<double>(capture.Taken);
        mean[i] = {static_cast<float>(m.real()), static_cast<float>(m.imag())};
    }
    SmoothFixtureReading(mean);
    const TFixturePart part = capture.Part;
    TFixtureCapture stored{FormatRecordTime(Now()), arm, capture.LoadOhms, std::move(mean)};
    StoreFixtureCapture(FCompensation, part, setup, bins, std::move(stored));
    FCapturing.reset();
    if (!FFilesElsewhere.empty()) {
        Report(FFilesElsewhere);
    } else {
        try {
            WriteCompensationFile(FCompensationPath, FCompensation);
        } catch (const EFileError& error) {
            Report(error.what());
        }
    }
    if (OnCaptureDone) {
        OnCaptureDone(part);
    }
}

void TBenchMeter::Correct(std::span<TComplex> zx, TBinRange bins, float angularStep,
                          const TInputArm& arm, const TMeasuringSetup& setup) {
    FReadout.InputResistance = std::isfinite(arm.Rin);
    ApplyInputResistance(zx, bins, angularStep, arm);
    FReadout.Compensated = false;
    FReadout.CompensationMark.clear();
    if (!FCompensationOn || FCompensation.Empty()) {
        return;
    }
    FReadout.CompensationMark = CompensationMark(FCompensation, setup);
    if (FReadout.CompensationMark.empty()) {
        CompensateZx(zx, bins, angularStep, FCompensation, arm);
        FReadout.Compensated = true;
    }
}

const TBenchReadout& TBenchMeter::Read(std::span<const TComplex> zx, TBinRange bins,
                                       uint32_t sampleRate, int32_t blockLength) {
    FReadout.Spot = SpotReadoutAt(zx, bins, blockLength, sampleRate, FTestFrequency, FModel);
    FReadout.Models = FitBandModels(zx, bins, AngularStep(sampleRate, blockLength));
    return FReadout;
}

void TBenchMeter::PlotPoints(std::span<const TComplex> zx, TBinRange bins, uint32_t sampleRate,
                             int32_t blockLength, std::span<TComplex> out) const {
    if (FPlot == TBenchPlot::ReIm) {
        return;
    }
    const bool capacitance = FPlot == TBenchPlot::CsEsr;
    for (int32_t k = bins.Lo; k <= bins.Hi; ++k) {
        const double f = static_cast<double>(k) * sampleRate / blockLength;
        const TSpotReadout r = SpotReadout({zx[k].Re, zx[k].Im}, f, TModelChoice::Series);
        out[k] = {static_cast<float>(capacitance ? r.Cs : r.D),
                  static_cast<float>(capacitance ? r.Rs : r.Q)};
    }
}

void TBenchMeter::Report(const std::string& text) const {
    if (OnError) {
        OnError(text);
    }
}

std::string BenchPlotName(TBenchPlot plot) {
    switch (plot) {
        case TBenchPlot::CsEsr:
            return "Cs/ESR";
        case TBenchPlot::DQ:
            return "D/Q";
        case TBenchPlot::ReIm:
            break;
    }
    return "Re/Im";
}

std::array<TBenchCurve, 2> BenchPlotCurves(TBenchPlot plot) {
    switch (plot) {
        case TBenchPlot::CsEsr:
            return {{{"Cs", "F"}, {"ESR", "Ohm"}}};
        case TBenchPlot::DQ:
            return {{{"D", ""}, {"Q", ""}}};
        case TBenchPlot::ReIm:
            break;
    }
    return {{{"Re", "Ohm"}, {"Im", "Ohm"}}};
}

std::string FixturePartName(TFixturePart part) {
    switch (part) {
        case TFixturePart::Open:
            return "open";
        case TFixturePart::Short:
            return "short";
        case TFixturePart::Load:
            break;
    }
    return "load";
}

}  // namespace tavrin
