#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "uVirtualBoxConvolver.h"
#include "uVirtualBoxFft.h"
#include "uVirtualBoxFilter.h"
#include "uVirtualBoxNetwork.h"

namespace tavrin {
namespace {

using TComplexD = std::complex<double>;

constexpr TVirtualBoxState kComponentStates[] = {
    TVirtualBoxState::Resistor,        TVirtualBoxState::Capacitor,
    TVirtualBoxState::Inductor,        TVirtualBoxState::DriverFreeAir,
    TVirtualBoxState::DriverAddedMass, TVirtualBoxState::DriverClosedBox};
constexpr TVirtualBoxState kAllStates[] = {
    TVirtualBoxState::Calibration,     TVirtualBoxState::Resistor,
    TVirtualBoxState::Capacitor,       TVirtualBoxState::Inductor,
    TVirtualBoxState::LowPass,         TVirtualBoxState::DriverFreeAir,
    TVirtualBoxState::DriverAddedMass, TVirtualBoxState::DriverClosedBox};

TComplexD ReferenceImpedance(const TVirtualBoxComponents& parts, double f) {
    const TComplexD j(0.0, 1.0);
    return 1.0 / (1.0 / parts.RefOhms + j * 2.0 * std::numbers::pi * f * parts.InputFarads);
}

TEST(VirtualBoxNetwork, TheMeasuringPrincipleRecoversEachComponent) {
    const TVirtualBoxComponents parts;
    for (TVirtualBoxState state : kComponentStates) {
        for (double f : {20.0, 419.5, 1000.0, 22000.0, 90000.0}) {
            const TNodeVoltages v = BoxResponse(state, parts, f);
            const TComplexD measured = ReferenceImpedance(parts, f) * (v.ZxOut / v.ZxIn - 1.0);
            const TComplexD truth = ComponentImpedance(state, parts, f);
            EXPECT_LT(std::abs(measured - truth), 1e-12 * std::abs(truth))
                << static_cast<int>(state) << " at " << f << " Hz";
        }
    }
}

TEST(VirtualBoxNetwork, NodesFollowThePhysics) {
    const TVirtualBoxComponents parts;
    // Calibration: both inputs on Zx Out, only the input capacitances load R ballast.
    const TNodeVoltages calibration = BoxResponse(TVirtualBoxState::Calibration, parts, 10000.0);
    EXPECT_EQ(calibration.ZxOut, calibration.ZxIn);
    EXPECT_NEAR(std::abs(calibration.ZxOut), 1.0, 1e-5);
    EXPECT_LT(std::arg(calibration.ZxOut), 0.0);

    // A capacitor blocks DC, and the current through it leads the voltage.
    const TNodeVoltages dc = BoxResponse(TVirtualBoxState::Capacitor, parts, 0.0);
    EXPECT_EQ(dc.ZxIn, TComplexD(0.0, 0.0));
    EXPECT_DOUBLE_EQ(dc.ZxOut.real(), 1.0);
    const TNodeVoltages low = BoxResponse(TVirtualBoxState::Capacitor, parts, 100.0);
    EXPECT_GT(std::arg(low.ZxIn / low.ZxOut), 1.0);
    // An inductor's current lags.
    const TNodeVoltages coil = BoxResponse(TVirtualBoxState::Inductor, parts, 5000.0);
    EXPECT_LT(std::arg(coil.ZxIn / coil.ZxOut), -1.0);

    // The loaded low-pass: R ref halves it at DC; the corner lies at 1 / (2 pi 50 ohm 1 uF).
    const TNodeVoltages pass = BoxResponse(TVirtualBoxState::LowPass, parts, 0.0);
    EXPECT_NEAR(std::abs(pass.ZxIn / pass.ZxOut), 0.5, 1e-12);
    const TNodeVoltages corner = BoxResponse(TVirtualBoxState::LowPass, parts, 3183.1);
    EXPECT_NEAR(std::abs(corner.ZxIn / corner.ZxOut), 0.5 / std::sqrt(2.0), 1e-3);
    EXPECT_NEAR(std::arg(corner.ZxIn / corner.ZxOut), -std::numbers::pi / 4.0, 1e-3);
}

TEST(VirtualBoxNetwork, NoInputLeavesItsRangeWithAFullScaleTone) {
    const TVirtualBoxComponents parts;
    for (TVirtualBoxState state : kAllStates) {
        for (double f = 10.0; f < 96000.0; f *= 1.1) {
            const TNodeVoltages v = BoxResponse(state, parts, f);
            EXPECT_LE(std::abs(v.ZxOut), 1.0);
            EXPECT_LE(std::abs(v.ZxIn), 1.0);
            if (f >= 20.0 && f <= 22000.0) {
                // The right input keeps a usable level over the audio band (better than -30 dB).
                EXPECT_GT(std::abs(v.ZxIn), 0.03) << static_cast<int>(state) << " at " << f;
            }
        }
    }
}

TEST(VirtualBoxNetwork, DeviceNamesSayWhatIsInTheBox) {
    const TVirtualBoxComponents parts;
    EXPECT_EQ(VirtualBoxDeviceName(TVirtualBoxState::Capacitor, parts),
              "Virtual box: Zx 4.7 \xC2\xB5"
              "F + 0.2 \xCE\xA9 (R ref 100 \xCE\xA9)");
    EXPECT_EQ(VirtualBoxDeviceName(TVirtualBoxState::Inductor, parts),
              "Virtual box: Zx 10 mH + 3.3 \xCE\xA9 (R ref 100 \xCE\xA9)");
    EXPECT_EQ(VirtualBoxDeviceName(TVirtualBoxState::Resistor, parts),
              "Virtual box: Zx 47 \xCE\xA9 (R ref 100 \xCE\xA9)");
    EXPECT_EQ(VirtualBoxDeviceName(TVirtualBoxState::DriverFreeAir, parts),
              "Virtual box: driver Re 6 \xCE\xA9, Fs 40 Hz, in free air (R ref 100 \xCE\xA9)");
    EXPECT_EQ(VirtualBoxDeviceName(TVirtualBoxState::DriverAddedMass, parts),
              "Virtual box: the same driver with 10 g on its cone (R ref 100 \xCE\xA9)");
    EXPECT_EQ(VirtualBoxDeviceName(TVirtualBoxState::DriverClosedBox, parts),
              "Virtual box: the same driver in a 20 l closed box (R ref 100 \xCE\xA9)");
}

// The states for the bench readout and fixture compensation, with and without the faults:
// read through the true reference arm (R in included when the input fault is on), the box
// shows the part behind the leads, Zlead + 1 / (Ystray + 1 / Zpart).
TEST(VirtualBoxNetwork, BenchStatesAndFaultsFollowTheirCircuits) {
    const TVirtualBoxComponents parts;
    const TComplexD j(0.0, 1.0);
    const TVirtualBoxState bench[] = {TVirtualBoxState::Load, TVirtualBoxState::ParallelRC,
                                      TVirtualBoxState::EslCapacitor,
                                      TVirtualBoxState::HighResistor, TVirtualBoxState::Capacitor};
    for (const bool leads : {false, true}) {
        for (const bool inputs : {false, true}) {
            const TVirtualBoxFaults faults{leads, inputs};
            for (double f : {20.0, 1000.0, 22000.0, 90000.0}) {
                const double w = 2.0 * std::numbers::pi * f;
                TComplexD zref = 1.0 / (1.0 / parts.RefOhms + j * w * parts.InputFarads +
                                        (inputs ? 1.0 / parts.InputOhms : 0.0));
                const TComplexD lead = parts.LeadOhms + j * w * parts.LeadHenries;
                const TComplexD stray = 1.0 / parts.StrayOhms + j * w * parts.StrayFarads;
                const auto seen = [&](TComplexD part) {
                    return leads ? lead + 1.0 / (stray + 1.0 / part) : part;
                };
                for (TVirtualBoxState state : bench) {
                    const TNodeVoltages v = BoxResponse(state, parts, f, faults);
                    const TComplexD measured = zref * (v.ZxOut / v.ZxIn - 1.0);
                    const TComplexD truth = seen(ComponentImpedance(state, parts, f));
                    EXPECT_LT(std::abs(measured - truth), 1e-11 * std::abs(truth))
                        << static_cast<int>(state) << " at " << f << " Hz";
                }
                // Shorted terminals read the leads, or join the two nodes.
                const TNodeVoltages shorted =
                    BoxResponse(TVirtualBoxState::Short, parts, f, faults);
                if (leads) {
                    const TComplexD measured = zref * (shorted.ZxOut / shorted.ZxIn - 1.0);
                    EXPECT_LT(std::abs(measured - lead), 1e-9 * std::abs(lead));
                } else {
                    EXPECT_EQ(shorted.ZxOut, shorted.ZxIn);
                }
                // Open terminals: the right input hears only what the stray lets through.
                const TNodeVoltages open = BoxResponse(TVirtualBoxState::Open, parts, f, faults);
                if (leads) {
                    const TComplexD admittance = 1.0 / (zref * (open.ZxOut / open.ZxIn - 1.0));
                    const TComplexD expected = 1.0 / (lead + 1.0 / stray);
                    EXPECT_LT(std::abs(admittance - expected), 1e-9 * std::abs(expected));
                } else {
                    EXPECT_EQ(open.ZxIn, TComplexD(0.0, 0.0));
                }
            }
        }
    }
    EXPECT_TRUE(std::isinf(ComponentImpedance(TVirtualBoxState::Open, parts, 1000.0).real()));
    EXPECT_EQ(VirtualBoxDeviceName(TVirtualBoxState::ParallelRC, parts),
              "Virtual box: Zx 10 nF \xE2\x88\xA5 20 k\xCE\xA9 (R ref 100 \xCE\xA9)");
    EXPECT_EQ(VirtualBoxDeviceName(TVirtualBoxState::EslCapacitor, parts),
              "Virtual box: Zx 100 nF + 0.02 \xCE\xA9 + 5 nH (R ref 100 \xCE\xA9)");
    EXPECT_EQ(VirtualBoxDeviceName(TVirtualBoxState::Load, parts),
              "Virtual box: load 1000 \xCE\xA9 0.1 % (R ref 100 \xCE\xA9)");
}

TEST(VirtualBoxFilter, ConverterEdgeIsFlatThenSmoothlyClosed) {
    EXPECT_EQ(ConverterResponse(22000.0, 48000.0), 1.0);
    EXPECT_EQ(ConverterResponse(24000.0, 48000.0), 0.0);
    EXPECT_NEAR(ConverterResponse(0.48 * 96000.0, 96000.0), 0.5, 1e-9);
    double previous = 1.0;
    for (double f = 22080.0; f <= 24000.0; f += 120.0) {
        const double a = ConverterResponse(f, 48000.0);
        EXPECT_LE(a, previous);
        previous = a;
    }
}

// A periodic multi-tone on every bin, run through the filters until the start has died out:
// each bin of one period must carry the analytic response.
void ExpectExactSteadyState(TVirtualBoxState state, double rate, int32_t period, int32_t block,
                            const TChannelMismatch* mismatch,
                            const TVirtualBoxFaults& faults = {}) {
    const TVirtualBoxComponents parts;
    const TInputFilters filters = DesignInputFilters(state, parts, rate, mismatch, faults);
    TStereoConvolver convolver(block, filters.Left, filters.Right);

    std::mt19937 generator(7);
    std::uniform_real_distribution<double> phase(0.0, 2.0 * std::numbers::pi);
    std::vector<double> re(period, 0.0);
    std::vector<double> im(period, 0.0);
    for (int32_t k = 1; k < period / 2; ++k) {
        const TComplexD x = std::polar(1.0 / period, phase(generator));
        re[k] = x.real();
        im[k] = x.imag();
        re[period - k] = x.real();
        im[period - k] = -x.imag();
    }
    TComplexFft fft(period);
    fft.Inverse(re.data(), im.data());  // one period of the stimulus, in re

    const int32_t total = static_cast<int32_t>(filters.Left.size()) + 2 * period;
    std::vector<double> left(total + block);
    std::vector<double> right(total + block);
    std::vector<double> input(block);
    for (int32_t done = 0; done < total; done += block) {
        for (int32_t i = 0; i < block; ++i) {
            input[i] = re[(done + i) % period];
        }
        convolver.Process(input.data(), &left[done], &right[done]);
    }
    // One whole period that starts on a period boundary of the input.
    const int32_t start = (total / period - 1) * period;
    std::vector<double> lr(left.begin() + start, left.begin() + start + period);
    std::vector<double> li(period, 0.0);
    std::vector<double> rr(right.begin() + start, right.begin() + start + period);
    std::vector<double> ri(period, 0.0);
    std::vector<double> xr(re);
    std::vector<double> xi(period, 0.0);
    fft.Forward(lr.data(), li.data());
    fft.Forward(rr.data(), ri.data());
    fft.Forward(xr.data(), xi.data());

    double worst = 0.0;
    for (int32_t k = 1; k < period / 2; ++k) {
        const double f = rate * k / period;
        if (f > kConverterPassband * rate) {
            break;
        }
        const TComplexD x(xr[k], xi[k]);
        const TComplexD lag =
            std::polar(1.0, -2.0 * std::numbers::pi * k * kConverterDelay / period);
        const TNodeVoltages v = BoxResponse(state, parts, f, faults);
        const TComplexD mismatchResponse =
            mismatch ? RightChannelResponse(*mismatch, f, rate) : TComplexD(1.0, 0.0);
        const TComplexD gotLeft = TComplexD(lr[k], li[k]) / x;
        const TComplexD gotRight = TComplexD(rr[k], ri[k]) / x;
        worst = std::max(worst, std::abs(gotLeft - v.ZxOut * lag));
        worst = std::max(worst, std::abs(gotRight - v.ZxIn * mismatchResponse * lag));
    }
    EXPECT_LT(worst, 1e-10) << "state " << static_cast<int>(state) << " at " << rate;
}

TEST(VirtualBoxFilter, SteadyStateEqualsTheNetworkAtEveryBin) {
    for (TVirtualBoxState state : kAllStates) {
        ExpectExactSteadyState(state, 48000.0, 4096, 128, nullptr);
    }
    ExpectExactSteadyState(TVirtualBoxState::Capacitor, 192000.0, 16384, 1024, nullptr);
    ExpectExactSteadyState(TVirtualBoxState::Inductor, 96000.0, 256, 512, nullptr);
}

TEST(VirtualBoxFilter, BenchStatesAndFaultsAreExactToo) {
    const TVirtualBoxFaults both{true, true};
    for (int32_t i = static_cast<int32_t>(TVirtualBoxState::Load); i < kVirtualBoxStateCount; ++i) {
        ExpectExactSteadyState(static_cast<TVirtualBoxState>(i), 48000.0, 4096, 128, nullptr, both);
    }
    ExpectExactSteadyState(TVirtualBoxState::Capacitor, 192000.0, 4096, 512, nullptr, both);
}

TEST(VirtualBoxFilter, MismatchIsTheSameFilterInEveryState) {
    const TChannelMismatch mismatch;
    ExpectExactSteadyState(TVirtualBoxState::Calibration, 48000.0, 2048, 256, &mismatch);
    ExpectExactSteadyState(TVirtualBoxState::Capacitor, 48000.0, 2048, 256, &mismatch);
}

TEST(VirtualBoxConvolver, MatchesDirectConvolutionAcrossBlocks) {
    std::mt19937 generator(3);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> left(300);
    std::vector<double> right(300);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = uniform(generator);
        right[i] = uniform(generator);
    }
    constexpr int32_t kBlock = 64;
    TStereoConvolver convolver(kBlock, left, right);
    std::vector<double> input(20 * kBlock);
    for (size_t i = 0; i < input.size(); ++i) {
        // Silent stretches make the convolver skip work; the output must not notice.
        input[i] = (i / kBlock) % 7 < 3 ? 0.0 : uniform(generator);
    }
    std::vector<double> outLeft(input.size());
    std::vector<double> outRight(input.size());
    for (size_t done = 0; done < input.size(); done += kBlock) {
        convolver.Process(&input[done], &outLeft[done], &outRight[done]);
    }
    for (size_t n = 0; n < input.size(); ++n) {
        double expectLeft = 0.0;
        double expectRight = 0.0;
        for (size_t k = 0; k < left.size() && k <= n; ++k) {
            expectLeft += left[k] * input[n - k];
            expectRight += right[k] * input[n - k];
        }
        ASSERT_NEAR(outLeft[n], expectLeft, 1e-12) << n;
        ASSERT_NEAR(outRight[n], expectRight, 1e-12) << n;
    }
}

}  // namespace
}  // namespace tavrin
