#pragma once

// Curves with known values for the trace tests, the goldens' folder, and a comma-decimal locale.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <locale>
#include <numbers>
#include <string>
#include <vector>

#include "uTrace.h"

namespace tavrin::test {

inline std::string TraceDataPath(const std::string& name) {
    return std::string(TAVRIN_TEST_DATA_DIR) + "/traces/" + name;
}

// Goldens are rewritten, not compared, when TAVRIN_WRITE_GOLDEN is set (after a deliberate
// change of a format; review the difference before committing it).
inline bool WritingGoldens() {
    return std::getenv("TAVRIN_WRITE_GOLDEN") != nullptr;
}

inline TTraceInfo MeasuredInfo() {
    TTraceInfo info;
    info.SampleRate = 48000;
    info.BlockLength = 1024;
    info.Rref = 100;
    info.Cin = 100e-12;
    info.IntegrationTime = 0.3;
    info.CalibrationDate = "2024-03-01 14:05";
    return info;
}

// The values a measurement hands over are 32-bit; the curve is built from them as the program
// builds its exports.
inline TTrace FromFloats(TTraceKind kind, uint32_t rate, int32_t length,
                         const std::vector<int32_t>& bins, auto&& value) {
    std::vector<TComplex> slots(static_cast<size_t>(length / 2));
    TTrace trace;
    trace.Kind = kind;
    for (const int32_t k : bins) {
        const std::complex<double> v = value(static_cast<double>(k) * rate / length);
        slots[static_cast<size_t>(k)] = {static_cast<float>(v.real()),
                                         static_cast<float>(v.imag())};
        const auto point = PointsFromBins(slots, {k, k}, rate, length);
        trace.Points.push_back(point.front());
    }
    return trace;
}

// 0.2 ohm, 4.7 uF and 10 mH in series: capacitive below 734 Hz, inductive above.
inline std::complex<double> SeriesRlc(double f) {
    const double w = 2 * std::numbers::pi * f;
    return {0.2, w * 10e-3 - 1 / (w * 4.7e-6)};
}

// 100 ohm and 1 uF as a low-pass: the transfer function, electrical convention.
inline std::complex<double> RcLowPass(double f) {
    const double w = 2 * std::numbers::pi * f;
    return 1.0 / std::complex<double>(1.0, w * 100 * 1e-6);
}

inline TTrace ImpedanceSample() {
    TTrace trace =
        FromFloats(TTraceKind::Impedance, 48000, 1024, {2, 5, 15, 16, 17, 40, 200, 511}, SeriesRlc);
    trace.Info = MeasuredInfo();
    return trace;
}

inline TTrace TransferSample() {
    TTrace trace =
        FromFloats(TTraceKind::Transfer, 48000, 1024, {1, 3, 10, 68, 70, 300, 511}, RcLowPass);
    trace.Info = MeasuredInfo();
    return trace;
}

// A dense curve: every bin of 20 Hz..20 kHz for blocks of 2^18 at 48000 samples/s.
inline TTrace DenseSample(int32_t firstBin = 109, int32_t lastBin = 109227) {
    constexpr uint32_t kRate = 48000;
    constexpr int32_t kLength = 1 << 18;
    TTrace trace;
    for (int32_t k = firstBin; k <= lastBin; ++k) {
        const double f = static_cast<double>(k) * kRate / kLength;
        trace.Points.push_back({f, SeriesRlc(f)});
    }
    return trace;
}

// Numbers written with decimal commas, by the C and the C++ locale, for as long as it lives.
struct TCommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};
class TCommaLocale {
  public:
    TCommaLocale()
        : SavedC(std::setlocale(LC_ALL, nullptr)),
          SavedCpp(std::locale::global(std::locale(std::locale(), new TCommaDecimal))) {
        // Windows names its locales its own way.
        Installed = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr ||
                    std::setlocale(LC_ALL, "German_Germany.1252") != nullptr;
        EXPECT_TRUE(Installed) << "no de_DE.UTF-8 locale; only the C++ locale is set";
    }
    ~TCommaLocale() {
        std::locale::global(SavedCpp);
        std::setlocale(LC_ALL, SavedC.c_str());
    }
    TCommaLocale(const TCommaLocale&) = delete;
    TCommaLocale& operator=(const TCommaLocale&) = delete;

  private:
    std::string SavedC;
    std::locale SavedCpp;
    bool Installed = false;
};

}  // namespace tavrin::test
