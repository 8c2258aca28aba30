#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <optional>
#include <span>
#include <vector>

#include "uClock.h"
#include "uCombinedWaveService.h"
#include "uEvaluation.h"
#include "uFFT.h"
#include "uNumberText.h"
#include "uSignalIn.h"
#include "uUiDispatcher.h"

namespace tavrin {
namespace {

// The analysis needs no device and no thread: blocks are built here and handed to
// ProcessBlock and the evaluations directly.
class SignalInTest : public ::testing::Test {
  protected:
    SignalInTest() : SignalIn(Service, Ui, Clock, "") {}

    void SetBlockLength(int32_t n) { SignalIn.SetBlockLength(n); }

    static TWaveData Block(int32_t n) {
        TWaveData data;
        data[0].assign(static_cast<size_t>(n), 0.0f);
        data[1].assign(static_cast<size_t>(n), 0.0f);
        return data;
    }
    static void AddCosine(TChannelData& channel, int32_t bin, double amplitude, double phase = 0) {
        const double n = static_cast<double>(channel.size());
        for (size_t j = 0; j < channel.size(); ++j) {
            channel[j] += static_cast<float>(amplitude *
                                             std::cos(2 * std::numbers::pi * bin * j / n + phase));
        }
    }
    // A processed spectrum built directly: every bin of both channels set by the callers.
    static TWaveData Spectra(int32_t n, TComplex left, TComplex right) {
        TWaveData data = Block(n);
        for (int32_t k = 1; k < n / 2; ++k) {
            ComplexSlots(data[0].data())[k] = left;
            ComplexSlots(data[1].data())[k] = right;
        }
        return data;
    }

    TCombinedWaveService Service{{}};
    TSystemClock Clock;
    TUiDispatcher Ui{Clock};
    TSignalIn SignalIn;
    std::vector<std::string> Texts;
    std::vector<bool> Saturations;
    std::vector<float> Scales;

    void Listen() {
        SignalIn.OnSaturation = [this](bool s) { Saturations.push_back(s); };
        SignalIn.OnScaleAmplitude = [this](float f) { Scales.push_back(f); };
    }
    TTextEvent TextSink() {
        return [this](const std::string& text) { Texts.push_back(text); };
    }
};

TEST_F(SignalInTest, LevelSettingReportsQualityThenAsynchronyAndLearnsThePeaks) {
    SetBlockLength(1024);
    Listen();
    // f = 100 bins at 48000 samples/s and N = 1024.
    SignalIn.BeginLevelSetting(100.0f * 48000 / 1024, TextSink());
    EXPECT_EQ(SignalIn.SaturationLevel[0], 0.0f);

    auto tone = [&](double leftHarmonic, double phase) {
        TWaveData data = Block(1024);
        AddCosine(data[0], 100, 0.5, phase);
        AddCosine(data[0], 300, leftHarmonic, phase);  // a harmonic below the limit (511)
        AddCosine(data[1], 100, 0.4, phase);
        AddCosine(data[1], 600, 0.1, phase);  // above the limit: not counted
        return data;
    };
    TWaveData first = tone(0.005, 0.0);
    SignalIn.ProcessBlock(first);
    ASSERT_EQ(Texts.size(), 1u);
    // 20 log10(0.5 / 0.005) = 40 dB on the left; on the right only rounding noise lies below
    // the limit, so its figure is very high.
    const std::string right = Texts[0].substr(12);
    EXPECT_EQ(Texts[0].substr(0, 12), "Quality: 40 ");
    EXPECT_GT(*ParseDecimal(right), 100.0);
    EXPECT_EQ(SignalIn.SaturationLevel[0], 0.0f);  // not from the first block

    TWaveData second = tone(0.005, 0.0);
    SignalIn.ProcessBlock(second);
    EXPECT_EQ(Texts[1], "Quality: 40 " + right + "\r\nAsync: 0.000");
    EXPECT_NEAR(SignalIn.SaturationLevel[0], 0.505f, 1e-3);
    EXPECT_NEAR(SignalIn.SaturationLevel[1], 0.5f, 1e-3);

    // A phase step from block to block shows as the sum of its tangents over both channels.
    TWaveData third = tone(0.005, 0.1);
    SignalIn.ProcessBlock(third);
    EXPECT_EQ(Texts[2], "Quality: 40 " + right + "\r\nAsync: " + FormatAsync(2 * std::tan(-0.1)));
    EXPECT_TRUE(Saturations.empty());
    EXPECT_TRUE(Scales.empty());
}

TEST_F(SignalInTest, LevelSettingWithASilentChannel) {
    SetBlockLength(1024);
    SignalIn.BeginLevelSetting(300.0f * 48000 / 1024, TextSink());
    TWaveData data = Block(1024);
    AddCosine(data[0], 300, 0.5);
    SignalIn.ProcessBlock(data);
    data = Block(1024);
    AddCosine(data[0], 300, 0.5);
    SignalIn.ProcessBlock(data);
    // No harmonic of bin 300 lies below 511; the silent right channel adds -100.
    EXPECT_EQ(Texts.back(), "Quality:????\r\nAsync: -1E2");
}

TEST_F(SignalInTest, CalibrationStoresTheRatioOfEveryBin) {
    SetBlockLength(256);
    SignalIn.BeginLevelSetting(1000, TextSink());  // the only way to give the stage text sink
    SignalIn.BeginCalibration(20, 22000);
    ASSERT_EQ(SignalIn.Calibration.size(), 128u);
    SignalIn.Calibration[0] = {7, 7};
    SignalIn.SaturationLevel = {0.9f, 0.9f};
    TWaveData data = Block(256);
    for (int32_t k = 1; k < 128; k += 2) {  // identical channels; even bins stay silent
        AddCosine(data[0], k, 0.005, k);
        AddCosine(data[1], k, 0.005, k);
    }
    SignalIn.ProcessBlock(data);
    for (int32_t k = 1; k < 128; ++k) {
        const TComplex expected = k % 2 ? ComplexOne : ComplexZero;
        EXPECT_NEAR(SignalIn.Calibration[k].Re, expected.Re, 1e-5) << k;
        EXPECT_NEAR(SignalIn.Calibration[k].Im, 0.0f, 1e-5) << k;
        EXPECT_EQ(ComplexSlots(data[1].data())[k], SignalIn.Calibration[k]);
    }
    EXPECT_EQ(SignalIn.Calibration[0], (TComplex{7, 7}));
    EXPECT_EQ(Texts.back(), "Press Stop\r\nto finish.");

    // A block in which one input heard nothing keeps the calibration there is.
    const std::vector<TComplex> before = SignalIn.Calibration;
    TWaveData silent = Block(256);
    AddCosine(silent[0], 3, 0.005);
    SignalIn.ProcessBlock(silent);
    EXPECT_EQ(SignalIn.Calibration, before);
    EXPECT_EQ(Texts.back(), "Wait...");
}

TEST_F(SignalInTest, MeasurementCorrectsTheRightSpectrumAndKeepsACalibrationOfItsLength) {
    SetBlockLength(256);
    SignalIn.BeginMeasurement(false);
    ASSERT_EQ(SignalIn.Calibration.size(), 128u);
    TWaveData plain = Spectra(256, {0, 0}, {0, 0});
    AddCosine(plain[0], 5, 0.3);
    AddCosine(plain[1], 5, 0.2);
    TWaveData data = plain;
    SignalIn.ProcessBlock(data);
    RealFFT(plain[0].data(), 256, true);
    RealFFT(plain[1].data(), 256, true);
    EXPECT_EQ(data[0], plain[0]);
    EXPECT_EQ(data[1], plain[1]);  // all ComplexOne: no change

    SignalIn.Calibration[5] = {2, 0};
    SignalIn.BeginMeasurement(false);
    EXPECT_EQ(SignalIn.Calibration[5], (TComplex{2, 0}));
    SetBlockLength(512);
    SignalIn.BeginMeasurement(false);
    ASSERT_EQ(SignalIn.Calibration.size(), 256u);
    EXPECT_EQ(SignalIn.Calibration[5], ComplexOne);
    SignalIn.BeginMeasurement(true);
    EXPECT_EQ(SignalIn.Stage(), TSignalStage::stTransfer);
}

TEST_F(SignalInTest, LevelControlRaisesLowLevelsAndLowersSaturatedOnes) {
    SetBlockLength(256);
    Listen();
    SignalIn.BeginMeasurement(false);
    SignalIn.SaturationLevel = {0.8f, 0.5f};
    TWaveData low = Block(256);
    AddCosine(low[0], 3, 0.28);  // 35 % of 0.8
    AddCosine(low[1], 3, 0.175);
    SignalIn.ProcessBlock(low);
    ASSERT_EQ(Scales.size(), 1u);
    EXPECT_NEAR(Scales[0], 2.0f, 1e-5);
    EXPECT_EQ(Saturations, std::vector<bool>{false});

    TWaveData hot = Block(256);
    AddCosine(hot[1], 3, 0.5);  // the right input reaches its level exactly
    SignalIn.ProcessBlock(hot);
    EXPECT_EQ(Saturations, (std::vector<bool>{false, true}));
    EXPECT_EQ(Scales, (std::vector<float>{Scales[0], 0.9f}));

    // A level setting stopped after its first block leaves levels of 0: every block saturates.
    SignalIn.SaturationLevel = {0.0f, 0.0f};
    TWaveData quiet = Block(256);
    SignalIn.ProcessBlock(quiet);
    EXPECT_EQ(Saturations.back(), true);
    EXPECT_EQ(Scales.back(), 0.9f);
}

TEST_F(SignalInTest, TransferScalesToPercentOfFullScale) {
    SetBlockLength(1024);
    SignalIn.BeginMeasurement(true);
    TWaveData data = Block(1024);
    AddCosine(data[0], 10, 1.0);
    SignalIn.ProcessBlock(data);
    EXPECT_NEAR(data[0][20], 100.0f, 1e-3);
    EXPECT_NEAR(data[0][21], 0.0f, 1e-3);
}

TEST_F(SignalInTest, ImpedanceOfAResistorNeedsNoFit) {
    SetBlockLength(1024);
    TWaveData data = Spectra(1024, {1.1f, 0}, {1, 0});
    std::optional<std::string> text;
    SignalIn.ComputeImpedance(data, false, 500, 5000, 1000, 0, true,
                              [&](const std::string& t) { text = t; });
    const int32_t lo = SignalIn.FrequencyToBin(1024, 500);
    const int32_t hi = SignalIn.FrequencyToBin(1024, 5000);
    for (int32_t k = 1; k < 512; ++k) {
        const TComplex z = ComplexSlots(data[0].data())[k];
        if (k >= lo && k <= hi) {
            EXPECT_NEAR(z.Re, 100.0f, 1e-3);
            EXPECT_EQ(z.Im, 0.0f);
        } else {
            EXPECT_EQ(z, (TComplex{1.1f, 0})) << "bin " << k << " is outside the range";
        }
    }
    EXPECT_EQ(data[0][0], 0.0f);
    EXPECT_EQ(text, "Cx= ??\r\nR= 100 Ohm\r\ntg= ??");

    TWaveData same = Spectra(1024, {0.3f, 0}, {0.3f, 0});
    SignalIn.ComputeImpedance(same, false, 500, 5000, 1000, 0, true,
                              [&](const std::string& t) { text = t; });
    EXPECT_EQ(ComplexSlots(same[0].data())[lo], ComplexZero);
    EXPECT_EQ(text->substr(text->find("R= ")), "R= 0 Ohm\r\ntg= ??");
}

TEST_F(SignalInTest, ABlockOfTwoHoldsNoBinToEvaluate) {
    // FMin at half the rate gives blocks of 2: the one slot holds DC and Nyquist, no tone.
    SetBlockLength(2);
    TWaveData data = Block(2);
    data[0] = {0.5f, 0.25f};
    data[1] = {0.125f, 0.0625f};
    const TWaveData before = data;
    std::optional<std::string> text;
    SignalIn.ComputeImpedance(data, false, 30000, 30000, 100, 100e-12f, true,
                              [&](const std::string& t) { text = t; });
    EXPECT_EQ(data, before);
    EXPECT_EQ(text, "Cx= ??\r\nR= 0 Ohm\r\ntg= ??");
    SignalIn.ComputeTransfer(data, false, 30000, 30000);
    EXPECT_EQ(data, before);
}

// Builds the processed block of a series R + X(w) measured exactly, for R ref and C in.
TWaveData MeasuredBlock(int32_t n, double sampleRate, double r, double l, double c, double rref,
                        double cin) {
    TWaveData data;
    data[0].assign(static_cast<size_t>(n), 0.0f);
    data[1].assign(static_cast<size_t>(n), 0.0f);
    for (int32_t k = 1; k < n / 2; ++k) {
        const double w = 2 * std::numbers::pi * sampleRate * k / n;
        const std::complex<double> zx(r, w * l - (c > 0 ? 1 / (w * c) : 0));
        const std::complex<double> zref = rref / std::complex<double>(1, w * cin * rref);
        // Driving voltage over reference voltage, conjugated as the transform sees it.
        const std::complex<double> ratio = std::conj((zx + zref) / zref);
        ComplexSlots(data[0].data())[k] = {static_cast<float>(ratio.real()),
                                           static_cast<float>(ratio.imag())};
        ComplexSlots(data[1].data())[k] = ComplexOne;
    }
    return data;
}

TEST_F(SignalInTest, FitsSeriesCapacitorAndInductor) {
    SetBlockLength(4096);
    std::string text;
    auto sink = [&](const std::string& t) { text = t; };
    TWaveData capacitor = MeasuredBlock(4096, 48000, 0.5, 0, 2.2e-6, 100, 100e-12);
    SignalIn.ComputeImpedance(capacitor, false, 100, 2000, 100, 100e-12f, true, sink);
    EXPECT_EQ(text.substr(0, text.find('\r')),
              "Cx= 2.2 \xC2\xB5"
              "F");
    EXPECT_EQ(text.substr(text.find("R= ")),
              "R= 500 mOhm\r\ntg= " + text.substr(text.rfind(' ') + 1));
    const int32_t k = SignalIn.FrequencyToBin(4096, 1000);
    const TComplex modelled = ComplexSlots(capacitor[1].data())[k];
    const TComplex measured = ComplexSlots(capacitor[0].data())[k];
    EXPECT_NEAR(modelled.Im / measured.Im, 1.0, 1e-4);
    EXPECT_NEAR(modelled.Re, 0.5, 1e-3);

    TWaveData inductor = MeasuredBlock(4096, 48000, 12.5, 1.234e-3, 0, 100, 0);
    SignalIn.ComputeImpedance(inductor, false, 100, 20000, 100, 0, true, sink);
    EXPECT_EQ(text.substr(0, text.find("\r\ntg")), "Lx= 1.234 mH\r\nR= 12.5 Ohm");
    EXPECT_EQ(text.find("tg= ??"), std::string::npos);

    TWaveData empty = MeasuredBlock(4096, 48000, 1, 0, 1e-6, 100, 0);
    SignalIn.ComputeImpedance(empty, false, 20000, 100, 100, 0, true, sink);
    EXPECT_EQ(text, "Cx= ??\r\nR= 0 Ohm\r\ntg= ??");
}

TEST_F(SignalInTest, SwappedInputsGiveTheSameImpedance) {
    SetBlockLength(1024);
    TWaveData straight = MeasuredBlock(1024, 48000, 3, 0, 1e-6, 100, 0);
    TWaveData swapped = straight;
    std::swap(swapped[0], swapped[1]);
    SignalIn.ComputeImpedance(straight, false, 100, 10000, 100, 0, false, nullptr);
    SignalIn.ComputeImpedance(swapped, true, 100, 10000, 100, 0, false, nullptr);
    for (int32_t k = SignalIn.FrequencyToBin(1024, 100); k <= SignalIn.FrequencyToBin(1024, 10000);
         ++k) {
        EXPECT_EQ(ComplexSlots(straight[0].data())[k], ComplexSlots(swapped[0].data())[k]);
    }
}

// The analyser keeps the reference arm's impedance from result to result; a change of R ref, of
// C in or of the band must give the numbers of the new settings, never those of the old ones.
TEST_F(SignalInTest, ImpedanceFollowsEveryChangeOfTheArmAndTheBand) {
    SetBlockLength(1024);
    const TWaveData measured = MeasuredBlock(1024, 48000, 3, 0, 1e-6, 100, 0);
    const float step = AngularStep(SignalIn.SampleRate(), 1024);
    struct TSettings {
        float Low, High, Rref, Cin;
    };
    for (const TSettings s : {TSettings{100, 10000, 100, 0}, TSettings{100, 10000, 100, 1e-9f},
                              TSettings{100, 10000, 47, 1e-9f}, TSettings{200, 5000, 47, 1e-9f},
                              TSettings{100, 10000, 100, 0}}) {
        TWaveData analysed = measured;
        SignalIn.ComputeImpedance(analysed, false, s.Low, s.High, s.Rref, s.Cin, false, nullptr);
        TWaveData expected = measured;
        const std::span<TComplex> left(ComplexSlots(expected[0].data()), 512);
        const std::span<TComplex> right(ComplexSlots(expected[1].data()), 512);
        ComputeZx(left, right, left, BandBins(1024, SignalIn.SampleRate(), s.Low, s.High, 512),
                  step, {s.Rref, s.Cin});
        EXPECT_EQ(analysed[0], expected[0])
            << s.Low << ".." << s.High << " " << s.Rref << " ohm " << s.Cin << " F";
    }
}

TEST_F(SignalInTest, TransferIsTheReferenceSideOverTheDrivingSide) {
    SetBlockLength(512);
    TWaveData data = Spectra(512, {2, 0}, {1, 0});
    SignalIn.ComputeTransfer(data, false, 100, 1000);
    EXPECT_EQ(ComplexSlots(data[0].data())[SignalIn.FrequencyToBin(512, 500)], (TComplex{0.5f, 0}));
    TWaveData swapped = Spectra(512, {2, 0}, {1, 0});
    SignalIn.ComputeTransfer(swapped, true, 100, 1000);
    EXPECT_EQ(ComplexSlots(swapped[0].data())[SignalIn.FrequencyToBin(512, 500)], (TComplex{2, 0}));
}

TEST_F(SignalInTest, OnlyTheSteadyResponseIsSummedAndAChangeStartsTheSumAgain) {
    const auto block = [](double amplitude, int32_t silent = 0) {
        TWaveData data = Block(1024);
        AddCosine(data[0], 10, amplitude);
        AddCosine(data[1], 10, 0.5 * amplitude);
        for (int c = 0; c < 2; ++c) {
            std::fill_n(data[c].begin(), silent, 0.0f);
        }
        return data;
    };
    const auto use = [&](TWaveData data, uint64_t run) {
        return SignalIn.PreprocessBlock(data, TBlockTag{run, 0.0});
    };
    // The stimulus arrives 100 samples into the second block of the run.
    EXPECT_EQ(use(block(0.0), 1), TBlockUse::Skip);  // the first of a run, whatever it holds
    EXPECT_EQ(use(block(0.5, 100), 1), TBlockUse::Skip);
    EXPECT_EQ(use(block(0.5), 1), TBlockUse::Skip);  // whole, but the one before was not
    EXPECT_EQ(use(block(0.5), 1), TBlockUse::Add);
    EXPECT_EQ(use(block(0.5), 1), TBlockUse::Add);
    // A new level arrives late (latency longer than the pause around the switch).
    EXPECT_EQ(use(block(0.45), 1), TBlockUse::Skip);
    EXPECT_EQ(use(block(0.45), 1), TBlockUse::Restart);
    EXPECT_EQ(use(block(0.45), 1), TBlockUse::Add);
    // A new run starts over; a signal that never settles is summed from the fifth block.
    EXPECT_EQ(use(block(0.45), 2), TBlockUse::Skip);
    EXPECT_EQ(use(block(0.45), 2), TBlockUse::Add);
    const double levels[] = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
    std::vector<TBlockUse> uses;
    for (const double level : levels) {
        uses.push_back(use(block(level), 3));
    }
    EXPECT_EQ(uses, (std::vector<TBlockUse>{TBlockUse::Skip, TBlockUse::Skip, TBlockUse::Skip,
                                            TBlockUse::Skip, TBlockUse::Add, TBlockUse::Add}));
}

}  // namespace
}  // namespace tavrin
