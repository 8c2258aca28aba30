#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "uCalibrationRecord.h"
#include "uClockOffset.h"
#include "uCom.h"
#include "uEvaluation.h"
#include "uWaveIn.h"

namespace tavrin {

class TSettingsFile;

enum class TSignalStage : uint8_t {
    stLevel = 0,      // level setting on a single test tone
    stCalibrate = 1,  // the per-bin ratio of the two inputs is stored
    stMeasure = 2,    // the right spectrum is corrected by the stored ratio
    stTransfer = 3,   // both spectra scaled to percent of full scale
};

using TTextEvent = std::function<void(const std::string& text)>;

// The analyser: transforms every delivered block into packed spectra and does the stage's
// work on them, runs the level-control requests, keeps the calibration and evaluates
// impedance or transfer ratio. Everything here runs on the user-interface thread.
class TSignalIn : public TSyncIn {
  public:
    // calibrationPath: the binary calibration file (beside the executable in the program).
    TSignalIn(TWaveService& service, TUiDispatcher& ui, TClock& clock, std::string calibrationPath);
    ~TSignalIn() override;

    void BeginLevelSetting(float frequency, TTextEvent onText);
    // madeFor: what the analyser cannot know of the set-up (device names, C in); its rate,
    // block length and band are filled in here.
    void BeginCalibration(float fLow, float fHigh, TMeasuringSetup madeFor = {});
    void BeginMeasurement(bool transfer);
    // Calibration gets BlockLength / 2 entries of ComplexOne unless it has that length already;
    // a table dropped so is no calibration any more.
    void ResizeCalibration();
    // True while Calibration holds a measured or loaded table rather than no correction.
    bool Calibrated() const { return FCalibrated; }
    // Empty when the calibration in use was made for `now`; otherwise the one line that says
    // it was not ("Not calibrated for 96000 S/s, N 4096: calibrate again").
    std::string CalibrationMark(const TMeasuringSetup& now) const;

    // Both channels become packed spectra, then the stage's work; see the stage enumeration.
    void ProcessBlock(TWaveData& data) override;
    // Capture thread: every block feeds the clock-offset estimate, which steers the
    // compensation when it is on. Only the steady response to the stimulus is summed: never
    // the first block of a run, nor a block whose power differs from the one before it (the
    // stimulus arriving or changing, latency included); steady again after such a change, the
    // sum starts afresh. A run that never settles is summed after a few blocks all the same.
    TBlockUse PreprocessBlock(TWaveData& block, const TBlockTag& tag) override;

    // Any thread: the offset of the capture clock against the playback clock, measured from
    // the stimulus (the resampling in force included).
    TClockOffset ClockOffset() const { return ClockEstimator.Offset(); }
    // Any thread: resample the captured stream by the measured offset so that the tones land
    // back on their bins. Off by default.
    void EnableClockCompensation(bool on);
    bool ClockCompensation() const { return CompensationOn.load(std::memory_order_relaxed); }
    // Forgets the offset measured and the resampling (for other devices or another rate).
    void ResetClockOffset();

    // Saturation levels from the settings file, then the calibration file and its record. True
    // when the file held at least one entry. A level that no input could have measured reads as
    // absent. A missing, unreadable or damaged file leaves Calibration as it was; one that exists
    // but was not taken says why in CalibrationProblem.
    bool LoadCalibration(const TSettingsFile& settings);
    // Throws EFileError when the settings or the calibration file cannot be written. Levels that
    // were not measured are not stored (see SaturationLevel). The calibration file is not written
    // while it holds a calibration this run could not take (CalibrationProblem, or one of
    // another block length) and no calibration stage has measured a new one.
    void SaveCalibration(TSettingsFile& settings);
    // The calibration file and its record alone, for when the settings file cannot be written;
    // as above.
    void SaveCalibrationTable() const;
    // Why the calibration file found by LoadCalibration was not taken; empty when it was taken
    // or there was none.
    const std::string& CalibrationProblem() const { return FCalibrationProblem; }

    // Zx in ohms into the left slots kLo..kHi of the range; with evaluate, the fitted series
    // R + L or C into the right slots and the three-line readout to onText. rref in ohms, cin in
    // farads. Returns the fit when evaluated. With `statistics`, the result joins the running
    // reading and the readout is that reading's, with its uncertainty.
    std::optional<TSeriesFit> ComputeImpedance(TWaveData& data, bool swap, float lowFrequency,
                                               float highFrequency, float rref, float cin,
                                               bool evaluate, const TTextEvent& onText,
                                               TFitStatistics* statistics = nullptr);
    // The reference-side channel over the driving channel into the left slots of the range.
    void ComputeTransfer(TWaveData& data, bool swap, float lowFrequency, float highFrequency);

    TSignalStage Stage() const { return FStage; }
    const std::string& CalibrationPath() const { return FCalibrationPath; }

    // Told after each block outside level setting whether an input reached its saturation level.
    std::function<void(bool saturated)> OnSaturation;
    // Asked to multiply the stimulus amplitude by the factor.
    std::function<void(float factor)> OnScaleAmplitude;
    // Given Zx (the left slots) of the band by ComputeImpedance before anything is fitted to it,
    // to be corrected in place (the inputs' resistance, the fixture). Empty: Zx as computed.
    std::function<void(std::span<TComplex> zx, TBinRange bins, float angularStep)> OnImpedance;

    // Entry k: ratio left/right of bin k measured in calibration; ComplexOne = no correction.
    std::vector<TComplex> Calibration;
    // What Calibration was made for; nullopt when unknown (a file from elsewhere) or none.
    std::optional<TCalibrationRecord> CalibrationRecord;
    // Per channel (left, right): the sample peak regarded as full scale. A level setting starts
    // it at 0 and raises it block by block; a channel it never raised goes back to its level
    // from before at the next stage or save, so that a level is never one that was not measured.
    std::array<float, 2> SaturationLevel{0.9f, 0.9f};

  private:
    void ProcessLevelBlock(TWaveData& data, const std::array<float, 2>& peak);
    void ProcessCalibrationBlock(TWaveData& data, bool saturated);
    void LevelStep(const std::array<float, 2>& peak);
    void SettleSaturationLevels();
    void TrackCalibrationNoise(const TComplex* ratio, int32_t bins, bool saturated);
    TBlockUse SteadyUse(double power, uint64_t run);

    TSignalStage FStage = TSignalStage::stMeasure;
    int32_t TestBin = 0;
    std::array<TComplex, 2> LastTestValue{ComplexOne, ComplexOne};
    TTextEvent OnStageText;
    bool FirstBlock = false;
    std::string FCalibrationPath;
    bool FCalibrated = false;
    TClockOffsetEstimator ClockEstimator;
    std::atomic<bool> CompensationOn{false};
    std::atomic<double> RatioAsked{0.0};  // the resampling last asked of the capture
    // Capture thread: the steady state of the run in progress.
    uint64_t SteadyRun = 0;
    int32_t BlocksInRun = 0;
    double PreviousPower = 0;
    bool Summing = false;       // a steady block has been summed in this run
    bool NeverSettles = false;  // summed for want of a steady block: no change is watched
    bool Changed = false;       // a change since the sum began
    int32_t Restarts = 0;       // sums this run has started afresh after a change
    // The calibration run in progress: what it is made for, and the spread of its successive
    // ratios (per bin: the previous ratio and the summed squared relative steps).
    TCalibrationRecord NewRecord;
    std::vector<TComplex> PreviousRatio;
    std::vector<double> RatioSteps;
    int32_t RatioStepCount = 0;
    // The reference arm's impedance per bin, kept while the range, the angular step and the arm
    // it was made for stay the same: in a measurement they do, result after result.
    std::vector<TComplex> ArmImpedance;
    TBinRange ArmRange;
    float ArmStep = 0;
    TReferenceArm ArmMadeFor;
    std::string FCalibrationProblem;
    std::array<float, 2> LevelsBeforeSetting{0.9f, 0.9f};
    // Calibration is what the file held, untouched by a calibration stage.
    bool CalibrationFromFile = false;
    // The file holds a calibration that Calibration does not: it is not to be overwritten.
    bool KeepCalibrationFile = false;
};

}  // namespace tavrin
