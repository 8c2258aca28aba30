#include "uSignalIn.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <ctime>
#include <span>

#include "uCalibrationFile.h"
#include "uComBins.h"
#include "uEvaluation.h"
#include "uFFT.h"
#include "uNumberText.h"
#include "uPeak.h"
#include "uSettingsFile.h"

namespace tavrin {
namespace {

constexpr const char* kCalibrationSection = "Calibration";

float Peak(const TChannelData& channel) {
    return PeakMagnitude(channel.data(), channel.size());
}

// The compensation follows the measured offset once it has moved by this much (ppm) and by
// more than thrice its standard error; smaller steps would only restart the averaging.
constexpr double kCompensationStepPpm = 0.02;
// A block whose power differs from the last one's by more than this is not yet the steady
// response: a block missing 0.2 % of the stimulus, 8 samples in 4096, already is not.
constexpr double kSteadyPower = 2e-3;
// A run that never settles (no stimulus, a component that will not) is summed from here on.
constexpr int32_t kMostSettlingBlocks = 4;

double BlockPower(const TWaveData& block) {
    double power = 0;
    for (const TChannelData& channel : block) {
        for (const float x : channel) {
            power += static_cast<double>(x) * x;
        }
    }
    return power;
}

std::string SaturationKey(int channel) {
    return "Saturation" + std::to_string(channel);
}

// A level some input could have measured: the magnitude of a non-zero 16-bit sample.
bool IsMeasurableLevel(double level) {
    return level >= static_cast<float>(2.0 / 65535.0) &&
           level <= static_cast<float>(65536.0 / 65535.0);
}

}  // namespace

TSignalIn::TSignalIn(TWaveService& service, TUiDispatcher& ui, TClock& clock,
                     std::string calibrationPath)
    : TSyncIn(service, ui, clock), FCalibrationPath(std::move(calibrationPath)) {}

TSignalIn::~TSignalIn() {
    // The capture thread's PreprocessBlock works on this object's members.
    EndCapture();
}

void TSignalIn::BeginLevelSetting(float frequency, TTextEvent onText) {
    TestBin = FrequencyToBin(BlockLength(), frequency);
    OnStageText = std::move(onText);
    FStage = TSignalStage::stLevel;
    FirstBlock = true;
    SettleSaturationLevels();
    LevelsBeforeSetting = SaturationLevel;
    SaturationLevel = {0.0f, 0.0f};
}

void TSignalIn::BeginCalibration(float fLow, float fHigh, TMeasuringSetup madeFor) {
    // The calibration always covers every bin, not only the band of the stimulus, so that a
    // later measurement over any range finds a correction.
    FStage = TSignalStage::stCalibrate;
    SettleSaturationLevels();
    ResizeCalibration();
    madeFor.SampleRate = SampleRate();
    madeFor.BlockLength = BlockLength();
    madeFor.FMin = std::min(fLow, fHigh);
    madeFor.FMax = std::max(fLow, fHigh);
    NewRecord = TCalibrationRecord{std::move(madeFor), {}, 0.0};
    PreviousRatio.clear();
    RatioSteps.assign(Calibration.size(), 0.0);
    RatioStepCount = 0;
}

void TSignalIn::BeginMeasurement(bool transfer) {
    if (transfer) {
        FStage = TSignalStage::stTransfer;
        return;
    }
    FStage = TSignalStage::stMeasure;
    SettleSaturationLevels();
    ResizeCalibration();
}

void TSignalIn::ResizeCalibration() {
    const size_t n = static_cast<size_t>(BlockLength() / 2);
    if (Calibration.size() != n) {
        // The file's calibration of another block length stays in the file for when that length
        // is used again.
        KeepCalibrationFile = KeepCalibrationFile || (CalibrationFromFile && !Calibration.empty());
        CalibrationFromFile = false;
        Calibration.assign(n, ComplexOne);
        FCalibrated = false;
        CalibrationRecord.reset();
    }
}

void TSignalIn::SettleSaturationLevels() {
    for (size_t c = 0; c < 2; ++c) {
        if (!IsMeasurableLevel(SaturationLevel[c])) {
            SaturationLevel[c] = LevelsBeforeSetting[c];
        }
    }
}

std::string TSignalIn::CalibrationMark(const TMeasuringSetup& now) const {
    return tavrin::CalibrationMark(CalibrationRecord, FCalibrated ? Calibration.size() : 0, now);
}

void TSignalIn::ProcessBlock(TWaveData& data) {
    const int32_t n = static_cast<int32_t>(data[0].size());
    std::array<float, 2> peak{};
    for (int c = 0; c < 2; ++c) {
        peak[c] = Peak(data[c]);
        RealFFT(data[c].data(), n, true);
    }
    const bool saturated = peak[0] >= SaturationLevel[0] || peak[1] >= SaturationLevel[1];
    TComplex* left = ComplexSlots(data[0].data());
    TComplex* right = ComplexSlots(data[1].data());
    // A block of another length than the calibration (possible only while a new block length
    // takes effect) is left uncorrected rather than read past the table.
    const int32_t bins = std::min<int32_t>(n / 2, static_cast<int32_t>(Calibration.size()));

    switch (FStage) {
        case TSignalStage::stLevel:
            ProcessLevelBlock(data, peak);
            break;
        case TSignalStage::stCalibrate:
            if (peak[0] == 0.0f || peak[1] == 0.0f) {
                // A channel that heard nothing (a block captured as the stimulus stops, a muted
                // input) gives a ratio of zeros, which the calibration file would then refuse:
                // it never replaces the calibration there is.
                if (OnStageText) {
                    OnStageText("Wait...");
                }
            } else if (bins == n / 2) {
                ProcessCalibrationBlock(data, saturated);
            }
            break;
        case TSignalStage::stMeasure:
            LevelStep(peak);
            if (bins > 1) {
                MultiplyBins(right + 1, Calibration.data() + 1, right + 1, bins - 1);
            }
            break;
        case TSignalStage::stTransfer: {
            LevelStep(peak);
            // A full-scale sine then reads 100 in modulus.
            const float scale = static_cast<float>(100.0 / (n / 2));
            if (n / 2 > 1) {
                ScaleBins(left + 1, scale, left + 1, n / 2 - 1);
                ScaleBins(right + 1, scale, right + 1, n / 2 - 1);
            }
            break;
        }
    }

    if (FStage != TSignalStage::stLevel) {
        if (OnSaturation) {
            OnSaturation(saturated);
        }
        if (OnScaleAmplitude && saturated) {
            OnScaleAmplitude(0.9f);
        }
    }
    FirstBlock = false;
}

TBlockUse TSignalIn::PreprocessBlock(TWaveData& block, const TBlockTag& tag) {
    ClockEstimator.AddBlock(block, tag.Run, tag.RatioPpm);
    if (CompensationOn.load(std::memory_order_relaxed) && ClockEstimator.ResidualPairs() >= 2 &&
        tag.RatioPpm == RatioAsked.load(std::memory_order_relaxed)) {
        // Sure of it, and the last step has reached the blocks: follow the offset.
        const double residual = ClockEstimator.ResidualPpm();
        if (std::fabs(residual) >
            std::max(kCompensationStepPpm, 3 * ClockEstimator.ResidualError())) {
            RatioAsked.store(tag.RatioPpm + residual, std::memory_order_relaxed);
            SetClockRatioPpm(tag.RatioPpm + residual);
        }
    }
    return SteadyUse(BlockPower(block), tag.Run);
}

TBlockUse TSignalIn::SteadyUse(double power, uint64_t run) {
    const double previous = PreviousPower;
    PreviousPower = power;
    if (run != SteadyRun) {
        // The first block of a run holds whatever came before it.
        SteadyRun = run;
        BlocksInRun = 1;
        Summing = NeverSettles = Changed = false;
        Restarts = 0;
        return TBlockUse::Skip;
    }
    ++BlocksInRun;
    const bool steady = std::fabs(power - previous) <= kSteadyPower * previous;
    if (!Summing) {
        Summing = steady || BlocksInRun > kMostSettlingBlocks;
        NeverSettles = !steady;
        return Summing ? TBlockUse::Add : TBlockUse::Skip;
    }
    if (NeverSettles) {
        return TBlockUse::Add;
    }
    if (!steady) {
        Changed = true;
        return TBlockUse::Skip;
    }
    if (Changed) {
        Changed = false;
        // A level that keeps wandering (two clocks apart make the power of a block beat with
        // the lowest tones) is no change of the stimulus: restarting on it would never let a
        // sum grow to a whole integration time.
        if (++Restarts > kMostSettlingBlocks) {
            NeverSettles = true;
            return TBlockUse::Add;
        }
        return TBlockUse::Restart;
    }
    return TBlockUse::Add;
}

void TSignalIn::EnableClockCompensation(bool on) {
    CompensationOn.store(on, std::memory_order_relaxed);
    if (on) {
        // Straight to the best estimate there is; the loop refines it from there.
        const TClockOffset offset = ClockOffset();
        const double ratio = offset.Known ? offset.Ppm : 0.0;
        RatioAsked.store(ratio, std::memory_order_relaxed);
        SetClockRatioPpm(ratio);
    }
    SetClockCompensation(on);
}

void TSignalIn::ResetClockOffset() {
    ClockEstimator.Reset();
    RatioAsked.store(0.0, std::memory_order_relaxed);
    SetClockRatioPpm(0.0);
}

void TSignalIn::ProcessLevelBlock(TWaveData& data, const std::array<float, 2>& peak) {
    const int32_t n = static_cast<int32_t>(data[0].size());
    if (TestBin < 1 || TestBin > n / 2 - 1) {
        return;  // the block length changed under a running level setting
    }
    std::string text = "Quality:";
    std::array<TComplex, 2> value{};
    for (int c = 0; c < 2; ++c) {
        const TComplex* slots = ComplexSlots(data[c].data());
        value[c] = slots[TestBin];
        // Power of the harmonics below the limit against the test tone's.
        float harmonics = 0.0f;
        for (int32_t m = 2 * TestBin; m < n / 2 - 1; m += TestBin) {
            harmonics = harmonics + ComplexSqrMod(slots[m]);
        }
        const float tone = ComplexSqrMod(value[c]);
        if (harmonics != 0.0f && tone != 0.0f) {
            text += " " + FormatQuality(10.0 * std::log10(static_cast<double>(tone) / harmonics));
        } else {
            // No harmonic below the limit, or no test tone at all: no figure to give.
            text += "??";
        }
    }
    if (!FirstBlock) {
        float async = 0.0f;
        for (int c = 0; c < 2; ++c) {
            if (peak[c] > SaturationLevel[c]) {
                SaturationLevel[c] = peak[c];
            }
            const TComplex step = ComplexDiv(value[c], LastTestValue[c]);
            if (step.Re != 0.0f) {
                async = static_cast<float>(async + static_cast<double>(step.Im) / step.Re);
            } else {
                async = async - 100.0f;
            }
        }
        text += "\r\nAsync: " + FormatAsync(async);
    }
    LastTestValue = value;
    if (OnStageText) {
        OnStageText(text);
    }
}

void TSignalIn::ProcessCalibrationBlock(TWaveData& data, bool saturated) {
    const int32_t n = static_cast<int32_t>(data[0].size());
    TComplex* left = ComplexSlots(data[0].data());
    TComplex* right = ComplexSlots(data[1].data());
    if (n / 2 > 1) {
        DivideBins(left + 1, right + 1, left + 1, n / 2 - 1);
        std::copy(left + 1, left + n / 2, Calibration.begin() + 1);
        std::copy(left + 1, left + n / 2, right + 1);
    }
    CalibrationFromFile = false;
    KeepCalibrationFile = false;
    // Only whole results are samples of the noise: the growing sums before one are not
    // independent of each other.
    if (Delivery().Complete) {
        TrackCalibrationNoise(left, n / 2, saturated);
    }
    FCalibrated = true;
    CalibrationRecord = NewRecord;
    CalibrationRecord->Made = FormatRecordTime(std::time(nullptr));
    if (OnStageText) {
        OnStageText(saturated ? "Wait..." : "Press Stop\r\nto finish.");
    }
}

void TSignalIn::TrackCalibrationNoise(const TComplex* ratio, int32_t bins, bool saturated) {
    if (saturated || RatioSteps.size() != static_cast<size_t>(bins)) {
        // A clipped block is no sample of the noise, and the next step starts afresh from it.
        PreviousRatio.clear();
        return;
    }
    const TBinRange band =
        BandBins(BlockLength(), SampleRate(), NewRecord.Setup.FMin, NewRecord.Setup.FMax, bins);
    if (PreviousRatio.size() == static_cast<size_t>(bins)) {
        // Half the squared step between two results is the variance of one of them.
        for (int32_t k = band.Lo; k <= band.Hi; ++k) {
            const double modulus = ComplexSqrMod(ratio[k]);
            const TComplex step{ratio[k].Re - PreviousRatio[k].Re,
                                ratio[k].Im - PreviousRatio[k].Im};
            RatioSteps[k] += modulus > 0.0 ? ComplexSqrMod(step) / (2.0 * modulus) : 0.0;
        }
        ++RatioStepCount;
    }
    PreviousRatio.assign(ratio, ratio + bins);
    if (RatioStepCount == 0 || band.Hi < band.Lo) {
        return;
    }
    // The median bin: a few bins without a tone or with a glitch do not speak for the band.
    std::vector<double> spread(RatioSteps.begin() + band.Lo, RatioSteps.begin() + band.Hi + 1);
    const auto middle = spread.begin() + static_cast<std::ptrdiff_t>(spread.size() / 2);
    std::nth_element(spread.begin(), middle, spread.end());
    NewRecord.RelativeNoise = std::sqrt(*middle / RatioStepCount);
}

void TSignalIn::LevelStep(const std::array<float, 2>& peak) {
    float level = 0.0f;
    for (int c = 0; c < 2; ++c) {
        const float relative = SaturationLevel[c] > 0.0f ? peak[c] / SaturationLevel[c] : 0.0f;
        if (relative > level) {
            level = relative;
        }
    }
    if (level > 0.0f && level < 0.7f && OnScaleAmplitude) {
        OnScaleAmplitude(static_cast<float>(0.7 / level));
    }
}

bool TSignalIn::LoadCalibration(const TSettingsFile& settings) {
    for (int c = 0; c < 2; ++c) {
        const double level =
            settings.ReadReal(kCalibrationSection, SaturationKey(c), SaturationLevel[c]);
        if (IsMeasurableLevel(level)) {
            SaturationLevel[c] = static_cast<float>(level);
        }
    }
    LevelsBeforeSetting = SaturationLevel;
    const TCalibrationLoad load = ReadCalibrationFile(FCalibrationPath, Calibration);
    FCalibrationProblem = load.Problem;
    const bool loaded = load.Result == TCalibrationRead::Loaded;
    CalibrationFromFile = loaded;
    KeepCalibrationFile = !loaded && load.Result != TCalibrationRead::Missing;
    if (!loaded) {
        return false;
    }
    FCalibrated = !Calibration.empty();
    CalibrationRecord =
        FCalibrated ? ReadCalibrationRecord(CalibrationRecordPath(FCalibrationPath)) : std::nullopt;
    return FCalibrated;
}

void TSignalIn::SaveCalibration(TSettingsFile& settings) {
    SettleSaturationLevels();
    for (int c = 0; c < 2; ++c) {
        settings.WriteReal(kCalibrationSection, SaturationKey(c), SaturationLevel[c]);
    }
    SaveCalibrationTable();
}

void TSignalIn::SaveCalibrationTable() const {
    if (KeepCalibrationFile) {
        return;  // the file, and what its record says of it, stay as they are
    }
    WriteCalibrationFile(FCalibrationPath, Calibration);
    WriteCalibrationRecord(CalibrationRecordPath(FCalibrationPath),
                           FCalibrated ? CalibrationRecord : std::nullopt);
}

std::optional<TSeriesFit> TSignalIn::ComputeImpedance(TWaveData& data, bool swap,
                                                      float lowFrequency, float highFrequency,
                                                      float rref, float cin, bool evaluate,
                                                      const TTextEvent& onText,
                                                      TFitStatistics* statistics) {
    const int32_t slots = static_cast<int32_t>(data[0].size() / 2);
    const TBinRange range =
        BandBins(BlockLength(), SampleRate(), lowFrequency, highFrequency, slots);
    const float angularStep = AngularStep(SampleRate(), BlockLength());
    const std::span<TComplex> left(ComplexSlots(data[0].data()), static_cast<size_t>(slots));
    const std::span<TComplex> right(ComplexSlots(data[1].data()), static_cast<size_t>(slots));
    const TReferenceArm arm{rref, cin};
    // Bit patterns, not values, decide whether the arm is still the one of the table.
    const auto same = [](float a, float b) {
        return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
    };
    if (ArmImpedance.size() != static_cast<size_t>(slots) || ArmRange.Lo != range.Lo ||
        ArmRange.Hi != range.Hi || !same(ArmStep, angularStep) || !same(ArmMadeFor.Rref, rref) ||
        !same(ArmMadeFor.Cin, cin)) {
        ArmImpedance.assign(static_cast<size_t>(slots), ComplexZero);
        ReferenceArmImpedance(ArmImpedance, range, angularStep, arm);
        ArmRange = range;
        ArmStep = angularStep;
        ArmMadeFor = arm;
    }
    ComputeZx(swap ? right : left, swap ? left : right, left, range, ArmImpedance);
    if (OnImpedance && range.Hi >= range.Lo) {
        OnImpedance(left, range, angularStep);
    }
    if (!evaluate) {
        return std::nullopt;
    }
    const TSeriesFit fit = FitSeries(left, range, angularStep);
    SeriesModel(fit, right, range, angularStep);
    if (statistics) {
        statistics->Add(left, range, angularStep);
    }
    if (onText) {
        onText(statistics ? FormatFitReading(statistics->Reading()) : FormatSeriesFit(fit));
    }
    return fit;
}

void TSignalIn::ComputeTransfer(TWaveData& data, bool swap, float lowFrequency,
                                float highFrequency) {
    const int32_t slots = static_cast<int32_t>(data[0].size() / 2);
    const TBinRange range =
        BandBins(BlockLength(), SampleRate(), lowFrequency, highFrequency, slots);
    const std::span<TComplex> left(ComplexSlots(data[0].data()), static_cast<size_t>(slots));
    const std::span<TComplex> right(ComplexSlots(data[1].data()), static_cast<size_t>(slots));
    // The reference-side channel over the driving channel.
    ComputeRatio(swap ? left : right, swap ? right : left, left, range);
}

}  // namespace tavrin
