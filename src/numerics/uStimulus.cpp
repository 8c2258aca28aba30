#include "uStimulus.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "uFFT.h"

namespace tavrin {

// clang-format off
const std::array<std::array<uint32_t, 17>, 17> SignTable = {{
    {},
    {0, 0x0000, 0x0000, 0x0003, 0x0002, 0x0005, 0x000D, 0x000D, 0x001B, 0x0058, 0x00D7, 0x01ED, 0x00DA, 0x06F5, 0x0C0B, 0x13DE, 0x135E},
    {0, 0,      0x0000, 0x0000, 0x0006, 0x0004, 0x0004, 0x0016, 0x001A, 0x0034, 0x0058, 0x0058, 0x01DA, 0x014C, 0x0DEA, 0x1F6A, 0x3ED4},
    {0, 0,      0,      0x0000, 0x0000, 0x000C, 0x0008, 0x0010, 0x0020, 0x0034, 0x0058, 0x011C, 0x035C, 0x03B4, 0x0A7C, 0x05CC, 0x3ED4},
    {0, 0,      0,      0,      0x0000, 0x0000, 0x0018, 0x0020, 0x0010, 0x0058, 0x0068, 0x00D0, 0x0340, 0x03B0, 0x0768, 0x0ED0, 0x1168},
    {0, 0,      0,      0,      0,      0x0000, 0x0000, 0x0030, 0x0040, 0x0020, 0x00B0, 0x00D0, 0x00D0, 0x02C0, 0x0ED0, 0x0ED0, 0x1DB0},
    {0, 0,      0,      0,      0,      0,      0x0000, 0x0000, 0x0060, 0x0040, 0x0040, 0x0160, 0x01A0, 0x02C0, 0x0D00, 0x06A0, 0x1DA0},
    {0, 0,      0,      0,      0,      0,      0,      0x0000, 0x0000, 0x00C0, 0x0100, 0x0080, 0x02C0, 0x0340, 0x0580, 0x0A40, 0x0D40},
    {0, 0,      0,      0,      0,      0,      0,      0,      0x0000, 0x0000, 0x0180, 0x0200, 0x0100, 0x0580, 0x0680, 0x1E80, 0x0D00},
    {0, 0,      0,      0,      0,      0,      0,      0,      0,      0x0000, 0x0000, 0x0300, 0x0200, 0x0200, 0x0B00, 0x0D00, 0x1600},
    {0, 0,      0,      0,      0,      0,      0,      0,      0,      0,      0x0000, 0x0000, 0x0600, 0x0400, 0x0400, 0x1600, 0x1A00},
    {0, 0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0x0000, 0x0000, 0x0C00, 0x1000, 0x0800, 0x2C00},
    {0, 0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0x0000, 0x0000, 0x1800, 0x1000, 0x1000},
    {0, 0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0x0000, 0x0000, 0x3000, 0x2000},
    {0, 0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0x0000, 0x0000, 0x6000},
    {0, 0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0x0000, 0x0000},
    {0, 0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0x0000},
}};
// clang-format on

int32_t FrequencyToBin(int32_t length, float frequency, uint32_t sampleRate) {
    // nearbyint rounds halves to even in the default rounding mode.
    const double exact = static_cast<double>(length) * frequency / static_cast<double>(sampleRate);
    double bin = std::nearbyint(exact);
    const double top = length / 2 - 1;
    if (!(bin >= 1.0)) {  // also catches NaN
        bin = 1.0;
    }
    if (bin > top) {
        bin = top;
    }
    return static_cast<int32_t>(bin);
}

bool ShapeSweepSpectrum(float* spectrum, int32_t n, int32_t start, int32_t stop) {
    for (int32_t k = 0; k < n / 2; ++k) {
        float& re = spectrum[2 * k];
        float& im = spectrum[2 * k + 1];
        if (k < start || k > stop) {
            re = 0.0f;
            im = 0.0f;
            continue;
        }
        const double modulus =
            std::sqrt(static_cast<double>(re) * re + static_cast<double>(im) * im);
        if (modulus == 0.0) {
            return false;
        }
        re = static_cast<float>(re / modulus);
        im = static_cast<float>(im / modulus);
    }
    return true;
}

namespace {

void FillSignTablePeriod(float* values, int32_t n, int32_t start, int32_t stop) {
    std::fill(values, values + n, 0.0f);
    const uint32_t signs = SignTable[start][stop];
    for (int32_t j = start; j <= stop; ++j) {
        values[2 * j] = (signs >> (j - 1)) & 1u ? -1.0f : 1.0f;
    }
    RealFFT(values, n, false);
}

bool FillSweepPeriod(float* values, int32_t n, int32_t start, int32_t stop) {
    const double c = std::numbers::pi / n;
    const double d = (stop - start) * c / n;
    const double e = 2.0 * c * start;
    for (int32_t j = 0; j < n; ++j) {
        values[j] = static_cast<float>(std::sin(j * (e + j * d)));
    }
    RealFFT(values, n, true);
    if (!ShapeSweepSpectrum(values, n, start, stop)) {
        return false;
    }
    RealFFT(values, n, false);
    return true;
}

// Centres the extremes on zero and scales them to +-0.9995 * amplitude: peak to peak 1.999
// rather than 2 keeps an amplitude of 1 inside the 16-bit range after conversion.
bool Normalise(float* values, int32_t n, double amplitude) {
    double max = values[0], min = values[0];
    for (int32_t i = 1; i < n; ++i) {
        if (values[i] > max) {
            max = values[i];
        }
        if (values[i] < min) {
            min = values[i];
        }
    }
    const double span = max - min;
    if (!(span > 0.0) || !std::isfinite(span)) {
        return false;
    }
    const double mid = (max + min) / 2.0;
    const double scale = 1.999 * amplitude / span;
    for (int32_t i = 0; i < n; ++i) {
        values[i] = static_cast<float>((values[i] - mid) * scale);
    }
    return true;
}

}  // namespace

bool GenerateStimulus(float* values, int32_t n, int32_t start, int32_t stop, double amplitude) {
    if (n < 4 || start < 1 || start > stop || stop > n / 2 - 1) {
        return false;
    }
    // The period is built aside and copied only once it is known to be valid. The scratch
    // array grows with the largest length seen and is then reused, so steady state allocates
    // nothing.
    thread_local std::vector<float> scratch;
    if (scratch.size() < static_cast<size_t>(n)) {
        scratch.resize(static_cast<size_t>(n));
    }
    float* period = scratch.data();
    if (stop <= 16) {
        FillSignTablePeriod(period, n, start, stop);
    } else if (!FillSweepPeriod(period, n, start, stop)) {
        return false;
    }
    if (!Normalise(period, n, amplitude)) {
        return false;
    }
    std::copy(period, period + n, values);
    return true;
}

}  // namespace tavrin
