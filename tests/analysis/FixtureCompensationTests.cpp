// Fixture compensation on a simulated fixture: test leads in series, a stray admittance across
// the clips, and a reference arm whose inputs are not what was typed.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "uFixtureCompensation.h"

namespace tavrin {
namespace {

using TComplexD = std::complex<double>;

constexpr int32_t kLength = 4096;
constexpr uint32_t kRate = 48000;
const TBinRange kBand{2, 1877};
const TComplexD j(0.0, 1.0);

TMeasuringSetup MeasuringSetup(uint32_t rate = kRate, int32_t length = kLength, float low = 20.0f,
                               float high = 22000.0f) {
    TMeasuringSetup setup;
    setup.SampleRate = rate;
    setup.BlockLength = length;
    setup.FMin = low;
    setup.FMax = high;
    setup.InputDevice = setup.OutputDevice = "Virtual box";
    return setup;
}

// What the instrument reads of `dut` behind the fixture when the arm it assumes is `assumed`
// and the true one `truth`: k (Zs + 1 / (Yo + 1 / Zdut)), k = Ytrue / Yassumed.
struct TFixture {
    double LeadOhms = 0.05, LeadHenries = 300e-9, StrayFarads = 30e-12, StrayOhms = 10e6;
    TInputArm Truth{10e3, 100e-12, 47e3};

    TComplexD Lead(double w) const { return LeadOhms + j * w * LeadHenries; }
    TComplexD Stray(double w) const { return 1.0 / StrayOhms + j * w * StrayFarads; }
    TComplexD Scale(double w, const TInputArm& assumed) const {
        return ArmAdmittance(Truth, w) / ArmAdmittance(assumed, w);
    }
    // dut: nullopt-like conventions: 0 is a short, infinity an open.
    TComplexD Read(TComplexD dut, double w, const TInputArm& assumed) const {
        const TComplexD clips = std::isinf(dut.real()) ? Stray(w) : Stray(w) + 1.0 / dut;
        const TComplexD total = dut == TComplexD(0, 0) ? Lead(w) : Lead(w) + 1.0 / clips;
        return Scale(w, assumed) * total;
    }
};

double BinW(int32_t k) {
    return static_cast<float>(k) * AngularStep(kRate, kLength);
}

TComplex Narrow(TComplexD z) {
    return {static_cast<float>(z.real()), static_cast<float>(z.imag())};
}

// Open, short and (when loadOhms > 0) load captures of the fixture, read with `assumed`.
TFixtureCompensation Capture(const TFixture& fixture, const TInputArm& assumed, double loadOhms) {
    TFixtureCompensation c;
    const auto values = [&](auto read) {
        std::vector<TComplex> v;
        for (int32_t k = kBand.Lo; k <= kBand.Hi; ++k) {
            v.push_back(Narrow(read(BinW(k))));
        }
        return v;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const auto store = [&](TFixturePart part, std::vector<TComplex> v, double load) {
        TFixtureCapture capture{"2024-06-01 10:00:00", assumed, load, std::move(v)};
        StoreFixtureCapture(c, part, MeasuringSetup(), kBand, std::move(capture));
    };
    store(TFixturePart::Open, values([&](double w) { return 1.0 / fixture.Read(inf, w, assumed); }),
          0);
    store(TFixturePart::Short, values([&](double w) { return fixture.Read(0.0, w, assumed); }), 0);
    if (loadOhms > 0) {
        store(TFixturePart::Load,
              values([&](double w) { return fixture.Read(loadOhms, w, assumed); }), loadOhms);
    }
    return c;
}

TEST(FixtureCompensation, OpenShortIsTheTextbookFormula) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int i = 0; i < 200; ++i) {
        const TComplexD zm(100 * u(random), 100 * u(random));
        const TComplexD zs(0.1 * u(random), 0.1 * u(random));
        const TComplexD zo(1e6 * u(random), 1e6 * u(random));
        TFixtureTerms terms;
        terms.HasOpen = terms.HasShort = true;
        terms.OpenAdmittance = 1.0 / zo;
        terms.Short = zs;
        const TComplexD yo = 1.0 / (zo - zs);
        const TComplexD expected = (zm - zs) / (1.0 - (zm - zs) * yo);
        EXPECT_LT(std::abs(CompensateReading(zm, terms) - expected), 1e-12 * std::abs(expected));
        // With a load the standard's three-term form.
        terms.HasLoad = true;
        terms.Load = TComplexD(1000 * (1 + 0.1 * u(random)), 10 * u(random));
        terms.LoadOhms = 1000;
        const TComplexD threeTerm =
            1000.0 * (zo - terms.Load) * (zm - zs) / ((terms.Load - zs) * (zo - zm));
        EXPECT_LT(std::abs(CompensateReading(zm, terms) - threeTerm), 1e-10 * std::abs(threeTerm));
    }
    // Nothing captured corrects nothing; truly open terminals (admittance 0) only subtract Zs.
    EXPECT_EQ(CompensateReading({3, 4}, TFixtureTerms{}), TComplexD(3, 4));
    TFixtureTerms openZero;
    openZero.HasOpen = openZero.HasShort = true;
    openZero.Short = {0.05, 0.01};
    EXPECT_EQ(CompensateReading({3, 4}, openZero), TComplexD(3, 4) - openZero.Short);
}

TEST(FixtureCompensation, RecoversAPartBehindTheFixture) {
    const TFixture fixture;
    const TInputArm typed{10e3, 100e-12, 47e3};  // the arm known exactly: open/short suffice
    const TFixtureCompensation c = Capture(fixture, typed, 0);
    ASSERT_EQ(CompensationMark(c, MeasuringSetup()), "");
    const auto esr = [](double w) { return 0.2 + 1.0 / (j * w * 4.7e-6); };
    const auto high = [](double) { return TComplexD(100e3, 0); };
    for (const auto& dut :
         {std::function<TComplexD(double)>(esr), std::function<TComplexD(double)>(high)}) {
        std::vector<TComplex> zx(kLength / 2);
        for (int32_t k = kBand.Lo; k <= kBand.Hi; ++k) {
            zx[k] = Narrow(fixture.Read(dut(BinW(k)), BinW(k), typed));
        }
        CompensateZx(zx, kBand, AngularStep(kRate, kLength), c, typed);
        for (int32_t k = kBand.Lo; k <= kBand.Hi; k += 37) {
            const TComplexD truth = dut(BinW(k));
            EXPECT_LT(std::abs(TComplexD(zx[k].Re, zx[k].Im) - truth), 1e-6 * std::abs(truth))
                << "bin " << k;
        }
    }
}

TEST(FixtureCompensation, LoadTakesOutTheInputsAndTellsWhatTheyAre) {
    const TFixture fixture;  // 47 kOhm and 100 pF beside R ref 10 kOhm
    const TInputArm typed{10e3, 0, kNoInputResistance};
    const TFixtureCompensation c = Capture(fixture, typed, 1000);
    const float step = AngularStep(kRate, kLength);

    // The three-term correction reads 100 kOhm right with the wrong arm...
    std::vector<TComplex> zx(kLength / 2);
    for (int32_t k = kBand.Lo; k <= kBand.Hi; ++k) {
        zx[k] = Narrow(fixture.Read(100e3, BinW(k), typed));
    }
    std::vector<TComplex> uncorrected = zx;
    CompensateZx(zx, kBand, step, c, typed);
    EXPECT_NEAR(zx[500].Re / 100e3, 1, 1e-5);
    EXPECT_GT(uncorrected[500].Re / 100e3, 1.15);  // the inputs make it read some 20 % high

    // ...and the captures tell C in and R in.
    const TInputFigures figures = MeasureInputFigures(c);
    ASSERT_TRUE(figures.Known);
    EXPECT_NEAR(figures.Cin, 100e-12, 0.01e-12);
    EXPECT_NEAR(figures.Rin / 47e3, 1, 1e-5);
    EXPECT_EQ(FormatInputFigures(figures), "Input: C in 100 pF, R in 47 kOhm");

    // Taking them into the arm, open and short alone now suffice: the stored captures follow
    // the corrected arm.
    const TInputArm measured{10e3, figures.Cin, figures.Rin};
    TFixtureCompensation openShort = c;
    openShort.Part(TFixturePart::Load) = {};
    for (int32_t k = kBand.Lo; k <= kBand.Hi; ++k) {
        zx[k] = Narrow(fixture.Read(100e3, BinW(k), measured));
    }
    CompensateZx(zx, kBand, step, openShort, measured);
    for (int32_t k : {10, 85, 853, 1700}) {
        EXPECT_NEAR(zx[k].Re / 100e3, 1, 1e-5) << k;
        EXPECT_NEAR(zx[k].Im / 100e3, 0, 1e-5) << k;
    }

    TFixtureCompensation noLoad = c;
    noLoad.Part(TFixturePart::Load) = {};
    EXPECT_EQ(FormatInputFigures(MeasureInputFigures(noLoad)), "Input: needs a load capture");
}

TEST(FixtureCompensation, RefusesCapturesOfAnotherStimulus) {
    const TFixtureCompensation c = Capture(TFixture{}, {100, 100e-12, kNoInputResistance}, 0);
    EXPECT_EQ(CompensationMark(c, MeasuringSetup(96000)),
              "Not compensated for 96000 S/s, N 4096: compensate again");
    EXPECT_EQ(CompensationMark(c, MeasuringSetup(kRate, 8192)),
              "Not compensated for 48000 S/s, N 8192: compensate again");
    EXPECT_EQ(CompensationMark(c, MeasuringSetup(kRate, kLength, 10.0f)),
              "Not compensated for 10-22000 Hz: compensate again");
    TMeasuringSetup otherCard = MeasuringSetup();
    otherCard.InputDevice = "USB card";
    EXPECT_EQ(CompensationMark(c, otherCard),
              "Not compensated for these devices: compensate again");
    EXPECT_EQ(CompensationMark(c, MeasuringSetup(kRate, kLength, 100.0f, 10000.0f)), "");
    EXPECT_EQ(CompensationMark(TFixtureCompensation{}, MeasuringSetup(96000)), "");

    // A capture of another band replaces the whole compensation.
    TFixtureCompensation changed = c;
    StoreFixtureCapture(changed, TFixturePart::Short,
                        MeasuringSetup(kRate, kLength, 100.0f, 10000.0f), {9, 853},
                        {"", {100, 0, kNoInputResistance}, 0, std::vector<TComplex>(845)});
    EXPECT_FALSE(changed.Part(TFixturePart::Open).Present());
    EXPECT_TRUE(changed.Part(TFixturePart::Short).Present());
    EXPECT_EQ(changed.Bins.Lo, 9);
}

TEST(FixtureCompensation, SmoothingKeepsWhatIsLinearAndLowersNoise) {
    std::mt19937 random(3);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<TComplex> linear, noisy;
    for (int i = 0; i < 3000; ++i) {
        linear.push_back({0.05f + 1e-5f * i, 2e-4f * i});
        noisy.push_back({noise(random), noise(random)});
    }
    std::vector<TComplex> smoothed = linear;
    SmoothFixtureReading(smoothed);
    for (size_t i = 0; i < linear.size(); ++i) {
        EXPECT_NEAR(smoothed[i].Re, linear[i].Re, 1e-6) << i;  // the ends included
        EXPECT_NEAR(smoothed[i].Im, linear[i].Im, 1e-6) << i;
    }
    SmoothFixtureReading(noisy);
    double power = 0;
    for (size_t i = 50; i < 2950; ++i) {
        power += noisy[i].Re * noisy[i].Re;
    }
    EXPECT_LT(power / 2900, 1.3 / (2 * kFixtureSmoothing + 1));  // about 1 / 33 of the noise
    std::vector<TComplex> two{{1, 0}, {3, 0}};
    SmoothFixtureReading(two);
    EXPECT_EQ(two[1].Re, 3.0f);  // too few bins to smooth
}

TEST(InputArm, InputResistanceIsAFactorAfterZx) {
    std::vector<TComplex> zx(kLength / 2);
    for (int32_t k = 0; k < kLength / 2; ++k) {
        zx[k] = {static_cast<float>(100 + k), static_cast<float>(-3 * k)};
    }
    const float step = AngularStep(kRate, kLength);
    // Infinite R in: not one bit changes.
    std::vector<TComplex> same = zx;
    ApplyInputResistance(same, kBand, step, {1e4, 1e-10, kNoInputResistance});
    EXPECT_EQ(std::memcmp(same.data(), zx.data(), zx.size() * sizeof(TComplex)), 0);
    // 47 kOhm: Zx (1/Rref + jwCin) / (1/Rref + 1/Rin + jwCin), and nothing outside the band.
    std::vector<TComplex> with = zx;
    ApplyInputResistance(with, {10, 20}, step, {1e4, 1e-10, 47e3});
    for (int32_t k = 10; k <= 20; ++k) {
        const double w = BinW(k);
        const TComplexD expected = TComplexD(zx[k].Re, zx[k].Im) * TComplexD(1e-4, w * 1e-10) /
                                   TComplexD(1e-4 + 1 / 47e3, w * 1e-10);
        EXPECT_NEAR(with[k].Re, expected.real(), 1e-6 * std::abs(expected));
        EXPECT_NEAR(with[k].Im, expected.imag(), 1e-6 * std::abs(expected));
    }
    EXPECT_EQ(with[9].Re, zx[9].Re);
    EXPECT_EQ(with[21].Re, zx[21].Re);

    EXPECT_TRUE(std::isinf(*ParseInputResistance("  ")));
    EXPECT_EQ(ParseInputResistance("47e3"), 47e3);
    EXPECT_EQ(ParseInputResistance("0"), std::nullopt);
    EXPECT_EQ(ParseInputResistance("-5"), std::nullopt);
    EXPECT_EQ(ParseInputResistance("47k"), std::nullopt);
    EXPECT_EQ(FormatInputResistance(kNoInputResistance), "");
    EXPECT_EQ(FormatInputResistance(47000), "47000");
}

TEST(InputArm, OpenTerminalsReadAsZeroAdmittance) {
    std::vector<TComplex> driving(kLength / 2, {0.5f, 0.1f});
    std::vector<TComplex> reference(kLength / 2, ComplexZero);
    reference[100] = {0.001f, 0.0f};
    reference[101] = driving[101];  // joined terminals: no finite admittance, called zero
    std::vector<TComplexD> y(kLength / 2);
    const TInputArm arm{1000, 0, kNoInputResistance};
    ComputeYx(driving, reference, y, {99, 101}, AngularStep(kRate, kLength), arm);
    EXPECT_EQ(y[99], TComplexD(0, 0));
    EXPECT_EQ(y[101], TComplexD(0, 0));
    // Y = 1 / Zx with Zx = Rref (conj(A / B) - 1).
    const TComplexD a(0.5f, 0.1f), b(0.001f, 0);
    const TComplexD expected = 1.0 / (1000.0 * (std::conj(a / b) - 1.0));
    EXPECT_LT(std::abs(y[100] - expected), 1e-9 * std::abs(expected));
}

}  // namespace
}  // namespace tavrin
