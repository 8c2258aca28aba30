#include "uMeasurementSession.h"

#include <algorithm>
#include <cmath>

#include "uCalibrationRecord.h"
#include "uFileError.h"
#include "uFileLock.h"
#include "uFileReplace.h"
#include "uNumberText.h"
#include "uSettingsFile.h"
#include "uSignalIn.h"
#include "uUiDispatcher.h"
#include "uUncertainty.h"
#include "uWaveOut.h"

namespace tavrin {
namespace {

constexpr const char* kGraph = "Graph";
constexpr const char* kInputParams = "InputParams";
constexpr const char* kWaveSetup = "WaveSetup";
constexpr int kShutdownWaitMs = 2000;

std::string FilesElsewhereText(const std::string& settingsPath) {
    return "Another Tavrin is using " + settingsPath +
           ": this one will not save its settings or calibration.";
}

}  // namespace

TMeasurementSession::TMeasurementSession(const TSessionEnvironment& environment)
    : Environment(environment),
      FWaveSetup(environment.WaveService),
      FBench(environment.SettingsPath),
      FCreated(std::chrono::system_clock::now()) {
    FWaveOut = std::make_unique<TWaveOut>(Environment.WaveService, Environment.Ui);
    FSignalIn = std::make_unique<TSignalIn>(Environment.WaveService, Environment.Ui,
                                            Environment.Clock, Environment.CalibrationPath);
    FWaveOut->OnStimulusChange = [this](bool playing) { FSignalIn->SetCapturing(playing); };
    FSignalIn->SetOnError([this](const std::string& text) { Report(text); });
    FWaveOut->SetOnError([this](const std::string& text) { Report(text); });
    FSignalIn->SetOnDeviceLost([this](const std::string& text) { DeviceLost(text); });
    FWaveOut->SetOnDeviceLost([this](const std::string& text) { DeviceLost(text); });
    FSignalIn->OnData = [this](TWaveData& data) { SignalInData(data); };
    FSignalIn->OnImpedance = [this](std::span<TComplex> zx, TBinRange bins, float step) {
        FBench.Correct(zx, bins, step, Arm(), MeasuringSetup());
    };
    FBench.OnError = [this](const std::string& text) { Report(text); };
    FWaveSetup.OnSetupChange = [this] { SetupChanged(); };
    FRref.SetValue(1.0f);
    FRref.SetSectionName("Rref");
}

TMeasurementSession::~TMeasurementSession() {
    FSignalIn.reset();
    FWaveOut.reset();
}

void TMeasurementSession::Open() {
    ClaimFiles();
    LoadSettings();
    ApplyDisplayOptions();
    SelectMode(FMode);
    FSignalIn->OnSaturation = [this](bool saturated) {
        FSaturated = saturated;
        if (OnSaturation) {
            OnSaturation(saturated);
        }
    };
    FSignalIn->OnScaleAmplitude = [this](float factor) { ScaleAmplitude(factor); };
    FAmplitude = 1.0f;
    SetIntegrationTime("0.3");
    if (FFilesElsewhere && OnNotice) {
        OnNotice(FilesElsewhereText(Environment.SettingsPath));
    }
    RefreshCalibrationMark();
}

void TMeasurementSession::ClaimFiles() {
    FLock = std::make_unique<TFileLock>(Environment.SettingsPath + ".lock");
    // A folder where no lock can be made cannot be saved to either: its saves report that.
    FFilesElsewhere = FLock->TryLock() == TFileLock::TResult::HeldElsewhere;
    if (FFilesElsewhere) {
        // The fixture file sits beside the settings and is the other program's as well.
        FBench.LeaveFilesAlone("Another Tavrin is using " + Environment.SettingsPath +
                               ": this one will not save its fixture compensation.");
        return;
    }
    for (const std::string& path : {Environment.SettingsPath, Environment.CalibrationPath,
                                    CalibrationRecordPath(Environment.CalibrationPath)}) {
        RemoveStaleTemporaries(path, FCreated);
    }
}

void TMeasurementSession::LoadSettings() {
    FBench.Load();
    const TSettingsFile settings(Environment.SettingsPath);
    if (const std::string problem = settings.Problem(); !problem.empty()) {
        Report(problem);
    }
    FWaveSetup.LoadSettings(settings);
    FRref.LoadSettings(settings);
    // The last measuring mode comes back only with a calibration to measure with.
    FCalibrationLoaded = FSignalIn->LoadCalibration(settings);
    if (!FSignalIn->CalibrationProblem().empty()) {
        Report(FSignalIn->CalibrationProblem());
    }
    if (FCalibrationLoaded) {
        SelectMode(settings.ReadInt(kGraph, "Mode", FMode));
    } else if (settings.ReadText(kWaveSetup, "InputID", "").empty()) {
        // A first start begins with a calibration, so on the devices wired for one where the
        // service has them, not on whatever component the middle of the list holds.
        const int32_t input = Environment.WaveService.CalibrationInputDevice();
        const int32_t output = Environment.WaveService.CalibrationOutputDevice();
        if (input >= 0) {
            FWaveSetup.SelectInput(input);
        }
        if (output >= 0) {
            FWaveSetup.SelectOutput(output);
        }
    }
    if (OnLoadViewSettings) {
        OnLoadViewSettings(settings);
    }
    SetCinText(settings.ReadText(kInputParams, "Cin", "0"));
}

void TMeasurementSession::Close() {
    if (!FFilesElsewhere) {
        SaveSettings();
    }
    Shutdown();
}

void TMeasurementSession::Shutdown() {
    FSignalIn->Stop();
    FWaveOut->Stop();
    FMeasuring = false;
    // The worker threads' synchronous calls are still served while waiting.
    Environment.Ui.WaitUntil([this] { return FSignalIn->Parked() && FWaveOut->Parked(); },
                             kShutdownWaitMs);
    std::string message;
    if (!FSignalIn->Parked()) {
        message += "Can not stop WaveIn.\r\n";
    }
    if (!FWaveOut->Parked()) {
        message += "Can not stop WaveOut.\r\n";
    }
    if (!message.empty()) {
        Report(message + "Abnormal termination.\r\nTry use Task Manager to close this software.");
    }
}

void TMeasurementSession::SaveSettings() {
    TSettingsFile settings(Environment.SettingsPath);
    try {
        TSettingsUpdate update(settings);
        SaveSettingsTo(settings);
        update.Commit();
    } catch (const EFileError& error) {
        Report(error.what());
    }
    try {
        FBench.Save();
    } catch (const EFileError& error) {
        Report(error.what());
    }
}

void TMeasurementSession::SaveSettingsTo(TSettingsFile& settings) {
    try {
        FWaveSetup.SaveSettings(settings);
        FRref.SaveSettings(settings);
    } catch (const EFileError&) {
        // The settings cannot be kept, but the calibration file may still be: a calibration
        // run must not be lost because the settings file is read-only.
        try {
            FSignalIn->SaveCalibrationTable();
        } catch (const EFileError& calibrationError) {
            Report(calibrationError.what());
        }
        throw;
    }
    FSignalIn->SaveCalibration(settings);
    if (OnSaveViewSettings) {
        OnSaveViewSettings(settings);
    }
    settings.WriteInt(kGraph, "Mode", FMode);
    settings.WriteText(kInputParams, "Cin", std::string(TrimBlanks(FCinText)));
}

void TMeasurementSession::SaveCalibration() {
    if (FFilesElsewhere) {
        throw EFileError(FilesElsewhereText(Environment.SettingsPath));
    }
    TSettingsFile settings(Environment.SettingsPath);
    TSettingsUpdate update(settings);
    FSignalIn->SaveCalibration(settings);
    update.Commit();
}

int32_t TMeasurementSession::FrequencyToBin(float frequency) const {
    return FWaveOut->FrequencyToBin(FBlockLength, frequency);
}

bool TMeasurementSession::CalibrationFits() const {
    return FSignalIn->Calibration.size() == static_cast<size_t>(FBlockLength / 2);
}

TMeasuringSetup TMeasurementSession::MeasuringSetup() const {
    TMeasuringSetup setup;
    setup.SampleRate = static_cast<uint32_t>(FWaveSetup.SampleRate());
    setup.BlockLength = FBlockLength;
    setup.FMin = FRangeLow;
    setup.FMax = FRangeHigh;
    setup.InputDevice = HardwareName(FWaveSetup.InputName());
    setup.OutputDevice = HardwareName(FWaveSetup.OutputName());
    setup.CinPf = static_cast<double>(FInputCapacitance) * 1e12;
    return setup;
}

TClockOffset TMeasurementSession::ClockOffset() const {
    return FSignalIn->ClockOffset();
}

std::string TMeasurementSession::ClockWarning() const {
    const TClockOffset offset = ClockOffset();
    if (!offset.Known || FSignalIn->ClockCompensation()) {
        return {};
    }
    const double tolerance =
        ClockOffsetTolerancePpm(FrequencyToBin(FRangeHigh), std::max(1, Progress().Wanted));
    // Only an offset clearly above the tolerance: not one the estimate's noise suggests.
    if (std::fabs(offset.Ppm) - 2.0 * offset.StandardError <= tolerance) {
        return {};
    }
    return "Clock offset " + FormatPpm(offset.Ppm) +
           ": more than this band and integration time tolerate (" + FormatPpm(tolerance) +
           "); use one device for both directions, or turn on clock compensation";
}

void TMeasurementSession::EnableClockCompensation(bool on) {
    FSignalIn->EnableClockCompensation(on);
}

void TMeasurementSession::RefreshCalibrationMark() {
    // Whatever may change the mark also begins a new reading.
    FFitStatistics.Reset();
    std::string mark;
    const bool plainRatio = FMode == mdTransfer && !FSignalIn->Calibrated();
    if (FMode != mdCalibration && !plainRatio) {
        mark = FSignalIn->CalibrationMark(MeasuringSetup());
    }
    if (mark != FCalibrationMark) {
        FCalibrationMark = std::move(mark);
        if (OnCalibrationMark) {
            OnCalibrationMark(FCalibrationMark);
        }
    }
}

void TMeasurementSession::SelectMode(int mode) {
    if (mode < mdCalibration || mode > mdTransfer) {
        return;
    }
    FMode = mode;
    if (OnModeChange) {
        OnModeChange(mode);
    }
    if (mode == mdCalibration) {
        // Each result is the latest block alone.
        FSignalIn->SetAveraging(false);
    } else {
        ApplyDisplayOptions();
        FLastMeasureMode = mode;
    }
    RefreshCalibrationMark();
}

void TMeasurementSession::ApplyDisplayOptions() {
    FSignalIn->SetAveraging(true);
    if (OnApplyDisplayOptions) {
        OnApplyDisplayOptions();
    }
}

bool TMeasurementSession::Start() {
    FWaveOut->SetDeviceID(static_cast<uint32_t>(FWaveSetup.OutputDevice()));
    FSignalIn->SetDeviceID(static_cast<uint32_t>(FWaveSetup.InputDevice()));
    FSignalIn->SetSampleRate(static_cast<uint32_t>(FWaveSetup.SampleRate()));
    FWaveOut->SetSampleRate(FSignalIn->SampleRate());
    FSignalIn->SetBlockLength(FBlockLength);
    if (FMode == mdCalibration) {
        FAmplitude = 1.0f;
        const float f = static_cast<float>(
            std::sqrt(static_cast<double>(FWaveSetup.FMin()) * FWaveSetup.FMax() * 0.4));
        FWaveOut->SetStimulus(FBlockLength, f, f, 1.0);
        FSignalIn->BeginLevelSetting(f, [this](const std::string& text) {
            if (OnStageText) {
                // The clock offset beside the asynchrony figure, once it is known.
                const TClockOffset offset = ClockOffset();
                const bool async = text.find("\r\nAsync: ") != std::string::npos;
                OnStageText(async && offset.Known ? text + "\r\n" + ClockOffsetText(offset) : text);
            }
        });
        FLevelSetting = true;
    } else {
        FWaveOut->SetStimulus(FBlockLength, FRangeLow, FRangeHigh, FAmplitude);
        // Every measuring mode runs the measurement stage; the transfer ratio of its mode is
        // formed from the corrected spectra afterwards.
        FSignalIn->BeginMeasurement(false);
    }
    // After BeginMeasurement, which drops a table of another block length.
    RefreshCalibrationMark();
    if (FWaveOut->Start() && FSignalIn->Start()) {
        FMeasuring = true;
    } else {
        // The device's own message has been reported already; stopping an idle thread is
        // harmless.
        FSignalIn->Stop();
        FWaveOut->Stop();
    }
    return FMeasuring;
}

void TMeasurementSession::Stop() {
    FBench.CancelCapture();
    FSignalIn->Stop();
    FWaveOut->Stop();
    FMeasuring = false;
    if (FMode == mdCalibration) {
        if (!FLevelSetting) {
            SelectMode(FLastMeasureMode);
        }
        ApplyDisplayOptions();
    }
    RefreshCalibrationMark();
}

void TMeasurementSession::Continue() {
    FWaveOut->SetStimulus(FBlockLength, FWaveSetup.FMin(), FWaveSetup.FMax(), FAmplitude);
    FSignalIn->BeginCalibration(static_cast<float>(FWaveSetup.FMin()),
                                static_cast<float>(FWaveSetup.FMax()), MeasuringSetup());
    FSignalIn->SetAveraging(true);
    FLevelSetting = false;
}

void TMeasurementSession::SetupChanged() {
    const int64_t rate = FWaveSetup.SampleRate();
    const int64_t fMin = std::max<int32_t>(FWaveSetup.FMin(), 1);
    // The tone spacing rate / N must not exceed the lowest band frequency.
    int64_t n = 2;
    while (fMin * n < rate) {
        n *= 2;
    }
    FBlockLength = static_cast<int32_t>(n);
    const int64_t top = std::min<int64_t>(FWaveSetup.FMax(), rate / 2 - 1);
    if (fMin < top) {
        const auto low = static_cast<float>(fMin);
        const auto high = static_cast<float>(top);
        if (OnFullRangeChange) {
            OnFullRangeChange(low, high);
        } else {
            SetRange(low, high);
        }
    }
    RefreshCalibrationMark();
}

void TMeasurementSession::SetRange(float low, float high) {
    FWaveOut->SetStimulus(FBlockLength, low, high, FAmplitude);
    FRangeLow = low;
    FRangeHigh = high;
    RefreshCalibrationMark();
}

void TMeasurementSession::ScaleAmplitude(float factor) {
    const float proposed = FAmplitude * factor;
    if (proposed > 1.0f) {
        if (FAmplitude == 1.0f) {
            return;  // already at full scale: nothing to rebuild
        }
        FAmplitude = 1.0f;
    } else {
        FAmplitude = proposed;
    }
    RebuildStimulus();
}

void TMeasurementSession::RebuildStimulus() {
    if (FMode == mdCalibration) {
        FWaveOut->SetStimulus(FBlockLength, FWaveSetup.FMin(), FWaveSetup.FMax(), FAmplitude);
    } else {
        FWaveOut->SetStimulus(FBlockLength, FRangeLow, FRangeHigh, FAmplitude);
    }
}

bool TMeasurementSession::SetIntegrationTime(std::string_view seconds) {
    const std::optional<int32_t> ms = ParseIntegrationTimeMs(seconds);
    if (!ms) {
        return false;
    }
    FSignalIn->SetIntegrationTime(seconds);
    FIntegrationMs = *ms;
    return true;
}

TIntegrationProgress TMeasurementSession::Progress() const {
    TIntegrationProgress progress;
    const uint32_t rate = FSignalIn->SampleRate();
    if (!FMeasuring || !FSignalIn->Averaging() || FBlockLength <= 0 || rate == 0) {
        return progress;
    }
    // A result is handed over with the first block that ends after the integration time.
    const double blockMs = 1000.0 * FBlockLength / rate;
    progress.Wanted = std::max(1, static_cast<int32_t>(std::ceil(FIntegrationMs / blockMs)));
    progress.Seconds = FIntegrationMs / 1000.0;
    progress.Summed = FSignalIn->BlocksSummed();
    return progress;
}

bool TMeasurementSession::SetCinText(std::string text) {
    FCinText = std::move(text);
    const std::optional<double> picofarads = ParseTypedNumber(FCinText);
    const float held = picofarads ? static_cast<float>(*picofarads) : 0.0f;
    FCinInForce = picofarads && std::isfinite(held);
    if (FCinInForce) {
        FInputCapacitance = static_cast<float>(held * 1e-12);
    }
    return FCinInForce;
}

void TMeasurementSession::RequestData() {
    FSignalIn->RequestData();
}

TInputArm TMeasurementSession::Arm() const {
    return {FRref.Value(), FInputCapacitance, FBench.Rin()};
}

bool TMeasurementSession::StartCapture(TFixturePart part, double loadOhms) {
    if (FMode == mdCalibration) {
        SelectMode(FLastMeasureMode);
    }
    if (!FBench.BeginCapture(part, loadOhms)) {
        return false;
    }
    if (!Start()) {
        FBench.CancelCapture();
        return false;
    }
    return true;
}

bool TMeasurementSession::UseMeasuredInputs() {
    const TInputFigures figures = FBench.InputFigures();
    if (!figures.Known) {
        return false;
    }
    SetCinText(FormatGeneral(figures.Cin * 1e12, 5));
    FBench.SetRinText(std::isfinite(figures.Rin) ? FormatGeneral(figures.Rin, 5) : "");
    return true;
}

void TMeasurementSession::SignalInData(TWaveData& data) {
    TMeasurementResult result;
    result.Mode = static_cast<TMode>(FMode);
    const bool swap = FWaveSetup.SwapInputs();
    const auto slots = static_cast<int32_t>(data[0].size() / 2);
    const TBinRange band =
        BandBins(FBlockLength, FSignalIn->SampleRate(), FRangeLow, FRangeHigh, slots);
    const float step = AngularStep(FSignalIn->SampleRate(), FBlockLength);
    // A sum still growing is no reading of the fixture: only whole integration times count.
    if (FBench.Capturing() && FMode != mdCalibration && FSignalIn->Delivery().Complete) {
        // Before the evaluation writes Zx over the driving channel.
        const std::span<const TComplex> left(ComplexSlots(data[0].data()),
                                             static_cast<size_t>(slots));
        const std::span<const TComplex> right(ComplexSlots(data[1].data()),
                                              static_cast<size_t>(slots));
        FBench.OfferCapture(swap ? right : left, swap ? left : right, band, step, Arm(),
                            MeasuringSetup(), FSaturated);
    }
    switch (FMode) {
        case mdZGraph:
        case mdZGraphLCR: {
            const bool lcr = FMode == mdZGraphLCR;
            const TDelivery& delivery = FSignalIn->Delivery();
            result.Fit = FSignalIn->ComputeImpedance(
                data, swap, FRangeLow, FRangeHigh, FRref.Value(), FInputCapacitance, lcr,
                [this, &delivery](const std::string& text) {
                    if (OnLCRText) {
                        // A sum still growing is no reading yet: the readout tells how far it is.
                        OnLCRText(delivery.Complete ? text : AveragingText(delivery));
                    }
                },
                delivery.Complete ? &FFitStatistics : nullptr);
            if (lcr && delivery.Complete) {
                result.Reading = FFitStatistics.Reading();
            }
            result.Content = lcr ? TResultContent::ImpedanceAndModel : TResultContent::Impedance;
            result.Bench = &FBench.Read(
                std::span<const TComplex>(ComplexSlots(data[0].data()), static_cast<size_t>(slots)),
                band, FSignalIn->SampleRate(), FBlockLength);
            break;
        }
        case mdTransfer:
            FSignalIn->ComputeTransfer(data, swap, FRangeLow, FRangeHigh);
            result.Content = TResultContent::Transfer;
            break;
        default:
            result.Content =
                FLevelSetting ? TResultContent::LevelSpectra : TResultContent::CalibrationRatio;
            break;
    }
    const bool calibrating = FMode == mdCalibration;
    result.SampleRate = FSignalIn->SampleRate();
    result.BlockLength = FBlockLength;
    result.BandLow = calibrating ? static_cast<float>(FWaveSetup.FMin()) : FRangeLow;
    result.BandHigh = calibrating ? static_cast<float>(FWaveSetup.FMax()) : FRangeHigh;
    result.Bins = {FrequencyToBin(result.BandLow), FrequencyToBin(result.BandHigh)};
    result.Data = &data;
    result.Averaging = FSignalIn->Delivery();
    result.CalibrationMark = FCalibrationMark;
    result.ClockOffset = ClockOffset();
    result.ClockWarning = ClockWarning();
    if (OnResult) {
        OnResult(result);
    }
}

void TMeasurementSession::DeviceLost(const std::string& text) {
    if (!FMeasuring) {
        return;
    }
    // A calibration run that loses a device keeps what it had stored, as a Stop would.
    Stop();
    Report(text);
    if (OnRunEnded) {
        OnRunEnded();
    }
}

void TMeasurementSession::Report(const std::string& text) {
    if (OnError) {
        OnError(text);
    }
}

}  // namespace tavrin
