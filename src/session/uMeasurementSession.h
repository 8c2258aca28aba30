#pragma once

// The instrument without a window: the playback thread and the analyser, the block length and
// the stimulus, the four modes, Start/Stop, the calibration run (level setting, Continue, Stop),
// the level control, the integration time, R ref and C in, the input swap, and the settings and
// calibration files. It reports through events; the window is one view of it and the command
// line another. Everything here runs on the user-interface thread, events included.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "uBenchMeter.h"
#include "uCalibrationRecord.h"
#include "uMeasurementResult.h"
#include "uUncertainty.h"
#include "uValueHistory.h"
#include "uWaveSetupModel.h"

namespace tavrin {

class TClock;
class TFileLock;
class TSettingsFile;
class TSignalIn;
class TUiDispatcher;
class TWaveOut;
class TWaveService;

// What the session works with. The caller keeps ownership of all of it and keeps it alive for
// the session's life.
struct TSessionEnvironment {
    TWaveService& WaveService;
    // The thread that constructs the session is its user-interface thread.
    TUiDispatcher& Ui;
    // Times the integration of the blocks.
    TClock& Clock;
    std::string SettingsPath;
    std::string CalibrationPath;
};

// How far the integration of the next result has come.
struct TIntegrationProgress {
    int32_t Summed = 0;  // blocks summed since the last result
    // Blocks the integration time takes; 0 while nothing runs or each result is a single block.
    int32_t Wanted = 0;
    double Seconds = 0;  // the integration time
};

class TMeasurementSession {
  public:
    explicit TMeasurementSession(const TSessionEnvironment& environment);
    ~TMeasurementSession();
    TMeasurementSession(const TMeasurementSession&) = delete;
    TMeasurementSession& operator=(const TMeasurementSession&) = delete;

    // Start-up, once the events are set: the settings and the calibration are loaded, the mode
    // in force is applied, the amplitude is 1 and the integration time 0.3 s. The files are
    // locked for the session's life; when another program holds them, OnNotice says so and
    // this session never writes them. Files that cannot be used are reported through OnError.
    void Open();
    // Shut-down: saves the settings and the calibration as one replacement of the settings file
    // (a failure is reported and saving stops there), then Shutdown. The session may be
    // destroyed afterwards.
    void Close();
    // Stops both threads and waits at most 2000 ms for them, reporting a thread that did not
    // stop; saves nothing.
    void Shutdown();
    // The calibration and the saturation levels alone; throws EFileError when a file cannot be
    // written or belongs to another program's session.
    void SaveCalibration();
    // False when another program held the files at Open: nothing is saved to them then.
    bool OwnsFiles() const { return !FFilesElsewhere; }

    // The audio setup and the R ref list, as the settings keep them.
    TWaveSetupModel& WaveSetup() { return FWaveSetup; }
    const TWaveSetupModel& WaveSetup() const { return FWaveSetup; }
    TValueHistory& Rref() { return FRref; }
    const TValueHistory& Rref() const { return FRref; }
    // The bench-meter readings, R in and the fixture compensation, with files of their own.
    TBenchMeter& Bench() { return FBench; }
    const TBenchMeter& Bench() const { return FBench; }
    // The reference arm in force: R ref, C in and R in.
    TInputArm Arm() const;

    int Mode() const { return FMode; }
    bool Measuring() const { return FMeasuring; }
    // A calibration run is in its level-setting stage (Continue not yet given).
    bool LevelSetting() const { return FLevelSetting; }
    int LastMeasureMode() const { return FLastMeasureMode; }
    // FFT block length in samples per channel, and the stimulus period.
    int32_t BlockLength() const { return FBlockLength; }
    // Stimulus amplitude, 0 < Amplitude <= 1 after start-up.
    float Amplitude() const { return FAmplitude; }
    // The measuring band last selected, Hz.
    float RangeLow() const { return FRangeLow; }
    float RangeHigh() const { return FRangeHigh; }
    // C in: the text as typed (picofarads), whether it is in force, and the value in farads.
    const std::string& CinText() const { return FCinText; }
    bool CinInForce() const { return FCinInForce; }
    float InputCapacitance() const { return FInputCapacitance; }
    // The bin of a frequency (Hz) for the block length in use.
    int32_t FrequencyToBin(float frequency) const;
    // True when the stored calibration has one entry per bin of the block length in use.
    bool CalibrationFits() const;
    // True when the last load found a calibration file with at least one entry.
    bool CalibrationLoaded() const { return FCalibrationLoaded; }
    // The set-up in force as a calibration and a fixture compensation record it (the measuring
    // band, the cards' names).
    TMeasuringSetup MeasuringSetup() const;
    // Empty when the results of the mode in force are corrected by a calibration made for this
    // set-up; otherwise the one line that says why not ("Not calibrated for 96000 S/s, N 4096:
    // calibrate again"). A transfer ratio without any calibration is a plain ratio, not marked.
    const std::string& CalibrationMark() const { return FCalibrationMark; }
    // The offset of the capture clock against the playback clock as the stimulus shows it,
    // and the warning (empty when none is due) where it is more than the band and the
    // integration time tolerate without compensation.
    TClockOffset ClockOffset() const;
    std::string ClockWarning() const;
    // Resampling of the captured stream by the measured offset (off unless switched on).
    void EnableClockCompensation(bool on);

    // The threads themselves, for inspection; the session keeps ownership.
    TSignalIn& SignalIn() { return *FSignalIn; }
    const TSignalIn& SignalIn() const { return *FSignalIn; }
    TWaveOut& WaveOut() { return *FWaveOut; }

    // A mode index 0..3; others are ignored.
    void SelectMode(int mode);
    // Starts a run in the mode in force; false (reported through OnError, both threads stopped
    // again) when a device cannot be opened.
    bool Start();
    void Stop();
    // The second calibration stage: the whole band, the ratio of the two inputs stored per bin.
    void Continue();
    // The measuring band selected within the span (a view's range selector): the stimulus is
    // rebuilt at once.
    void SetRange(float low, float high);
    // The level control: multiplies the amplitude, never above 1, and rebuilds the stimulus.
    void ScaleAmplitude(float factor);
    // Decimal seconds; false, keeping the time in force, for a text that is no number.
    bool SetIntegrationTime(std::string_view seconds);
    // Read at any time, for example from a timer while a long integration runs.
    TIntegrationProgress Progress() const;
    // Picofarads, as typed; false, keeping the value in force, for a text that is no number.
    bool SetCinText(std::string text);
    // The consumer has presented the last result: the next one may be handed over.
    void RequestData();
    // Starts a run that captures `part` of the fixture compensation with the stimulus and the
    // integration of a measurement (in the last measuring mode when calibrating); the
    // bench's OnCaptureDone tells when it is stored, and the caller then stops the run. False
    // for a load without a value above 0, or when the devices do not start.
    bool StartCapture(TFixturePart part, double loadOhms = 0);
    // C in and R in from what the captures tell of the inputs; false when they tell nothing.
    bool UseMeasuredInputs();

    // A processed block, evaluated for the mode.
    std::function<void(const TMeasurementResult& result)> OnResult;
    // The calibration stages' texts ("Quality: ...", "Press Stop\r\nto finish.").
    std::function<void(const std::string& text)> OnStageText;
    // The three-line LCR readout of mode "Z graph + LCR".
    std::function<void(const std::string& text)> OnLCRText;
    // After each analysed block outside level setting: whether an input saturated.
    std::function<void(bool saturated)> OnSaturation;
    // A device that cannot be opened or stopped working, a file that cannot be read or written,
    // threads that did not stop.
    std::function<void(const std::string& text)> OnError;
    // Whenever CalibrationMark changes (on Start, a set-up or mode change, the end of a
    // calibration run).
    std::function<void(const std::string& mark)> OnCalibrationMark;
    // A line to show without interrupting the user, raised by Open when the files are another
    // program's.
    std::function<void(const std::string& text)> OnNotice;
    // The session ended a run by itself (a device stopped working, told through OnError first):
    // Measuring is false and Start may be pressed again.
    std::function<void()> OnRunEnded;
    // After the session's part of a mode change (also one the session makes itself).
    std::function<void(int mode)> OnModeChange;
    // Where the display returns to the options of the measuring modes: at start-up, on a change
    // to a measuring mode, and when a calibration run stops.
    std::function<void()> OnApplyDisplayOptions;
    // The span a range selector should offer, Hz; the view reports the range it selects
    // through SetRange. Without a handler the session measures over the whole span.
    std::function<void(float low, float high)> OnFullRangeChange;
    // The view's own keys, read after the mode and before C in; written after the calibration
    // and before the mode.
    std::function<void(const TSettingsFile& settings)> OnLoadViewSettings;
    std::function<void(TSettingsFile& settings)> OnSaveViewSettings;

  private:
    void LoadSettings();
    void SaveSettings();
    void SaveSettingsTo(TSettingsFile& settings);
    void ApplyDisplayOptions();
    void SetupChanged();
    void RebuildStimulus();
    void SignalInData(TWaveData& data);
    void Report(const std::string& text);
    void RefreshCalibrationMark();
    // Takes the files' lock and clears what killed saves left behind.
    void ClaimFiles();
    void DeviceLost(const std::string& text);

    TSessionEnvironment Environment;
    TWaveSetupModel FWaveSetup;
    TValueHistory FRref;
    TBenchMeter FBench;
    bool FSaturated = false;
    std::unique_ptr<TWaveOut> FWaveOut;
    std::unique_ptr<TSignalIn> FSignalIn;
    int FMode = mdCalibration;
    bool FMeasuring = false;
    bool FLevelSetting = false;
    int FLastMeasureMode = mdZGraphLCR;
    int32_t FBlockLength = 0;
    float FAmplitude = 0;
    float FRangeLow = 0;
    float FRangeHigh = 0;
    std::string FCinText = "0";
    bool FCinInForce = true;
    float FInputCapacitance = 0;
    bool FCalibrationLoaded = false;
    int32_t FIntegrationMs = 0;
    std::string FCalibrationMark;
    TFitStatistics FFitStatistics;
    std::chrono::system_clock::time_point FCreated;
    std::unique_ptr<TFileLock> FLock;
    bool FFilesElsewhere = false;
};

}  // namespace tavrin
