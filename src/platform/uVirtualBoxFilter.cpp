#include "uVirtualBoxFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "uVirtualBoxFft.h"

namespace tavrin {
namespace {

// Shape of the band edge: the running integral of a Kaiser window, which is flat at both
// ends and whose time response dies out within kConverterDelay samples.
constexpr double kEdgeBeta = 25.0;
// What the truncated tails may add up to, in full scale.
constexpr double kTailTolerance = 2e-11;
constexpr int32_t kFirstGrid = 1 << 16;
constexpr int32_t kLastGrid = 1 << 20;

double EdgeWindow(double u) {
    const double x = 2.0 * u - 1.0;
    return std::cyl_bessel_i(0.0, kEdgeBeta * std::sqrt(std::max(0.0, 1.0 - x * x)));
}

double SimpsonEdge(double a, double b) {
    constexpr int kPanels = 4;
    const double h = (b - a) / kPanels;
    double sum = 0.0;
    for (int i = 0; i < kPanels; ++i) {
        const double x = a + i * h;
        sum += EdgeWindow(x) + 4.0 * EdgeWindow(x + 0.5 * h) + EdgeWindow(x + h);
    }
    return sum * h / 6.0;
}

double EdgeArea() {
    static const double area = [] {
        constexpr int kSteps = 1 << 14;
        double sum = 0.0;
        for (int i = 0; i < kSteps; ++i) {
            sum +=
                SimpsonEdge(static_cast<double>(i) / kSteps, static_cast<double>(i + 1) / kSteps);
        }
        return sum;
    }();
    return area;
}

double EdgePosition(double frequency, double rate) {
    return (frequency / rate - kConverterPassband) / (0.5 - kConverterPassband);
}

// ConverterResponse on the grid k * rate / grid, k = 0 .. grid / 2, integrated step by step.
std::vector<double> ConverterGrid(int32_t grid) {
    std::vector<double> response(grid / 2 + 1, 1.0);
    double area = 0.0;
    double previous = 0.0;
    for (int32_t k = 0; k <= grid / 2; ++k) {
        const double u = EdgePosition(k, grid);
        if (u >= 1.0) {
            response[k] = 0.0;
        } else if (u > 0.0) {
            area += SimpsonEdge(previous, u);
            response[k] = 1.0 - area / EdgeArea();
        }
        previous = std::max(u, 0.0);
    }
    return response;
}

}  // namespace

double ConverterResponse(double frequency, double rate) {
    const double u = EdgePosition(frequency, rate);
    if (u <= 0.0) {
        return 1.0;
    }
    if (u >= 1.0) {
        return 0.0;
    }
    constexpr int kSteps = 1 << 10;
    double area = 0.0;
    for (int i = 0; i < kSteps; ++i) {
        area += SimpsonEdge(u * i / kSteps, u * (i + 1) / kSteps);
    }
    return 1.0 - area / EdgeArea();
}

std::complex<double> RightChannelResponse(const TChannelMismatch& mismatch, double frequency,
                                          double rate) {
    const std::complex<double> j(0.0, 1.0);
    const double delayPhase = -2.0 * std::numbers::pi * frequency * mismatch.DelaySamples / rate;
    return mismatch.Gain * std::exp(j * delayPhase) / (1.0 + j * frequency / mismatch.PoleHz);
}

TInputFilters DesignInputFilters(TVirtualBoxState state, const TVirtualBoxComponents& parts,
                                 double rate, const TChannelMismatch* mismatch,
                                 const TVirtualBoxFaults& faults) {
    const std::complex<double> j(0.0, 1.0);
    for (int32_t grid = kFirstGrid;; grid *= 2) {
        // Both filters at once: left + j right has the spectrum GL + j GR.
        const std::vector<double> edge = ConverterGrid(grid);
        std::vector<double> re(grid, 0.0);
        std::vector<double> im(grid, 0.0);
        for (int32_t k = 0; k <= grid / 2; ++k) {
            const double f = rate * k / grid;
            const TNodeVoltages v = BoxResponse(state, parts, f, faults);
            const std::complex<double> lag =
                std::exp(-j * (2.0 * std::numbers::pi * k * kConverterDelay / grid));
            const std::complex<double> left = edge[k] * v.ZxOut * lag;
            std::complex<double> right = edge[k] * v.ZxIn * lag;
            if (mismatch) {
                right *= RightChannelResponse(*mismatch, f, rate);
            }
            re[k] = left.real() - right.imag();
            im[k] = left.imag() + right.real();
            if (k > 0 && k < grid / 2) {
                re[grid - k] = left.real() + right.imag();
                im[grid - k] = -left.imag() + right.real();
            }
        }
        TComplexFft(grid).Inverse(re.data(), im.data());
        // What lies in the second half is either the band edge reaching before time 0 or a
        // response too long for the grid: both must be negligible.
        double wrapped = 0.0;
        for (int32_t n = grid / 2; n < grid; ++n) {
            wrapped += (std::fabs(re[n]) + std::fabs(im[n])) / grid;
        }
        if (wrapped > kTailTolerance && grid < kLastGrid) {
            continue;
        }
        int32_t length = grid / 2;
        double tail = 0.0;
        while (length > 1) {
            tail += (std::fabs(re[length - 1]) + std::fabs(im[length - 1])) / grid;
            if (tail > kTailTolerance) {
                break;
            }
            --length;
        }
        TInputFilters filters;
        filters.Left.resize(length);
        filters.Right.resize(length);
        for (int32_t n = 0; n < length; ++n) {
            filters.Left[n] = re[n] / grid;
            filters.Right[n] = im[n] / grid;
        }
        return filters;
    }
}

}  // namespace tavrin
