#pragma once

// How far a reading can be trusted: running statistics over successive results (per fitted
// value and per bin), the spread of one series fit over its bins, and the readout that shows
// each value with its expanded uncertainty (k = 2) and no more digits than that supports.
// Plain data and functions beside the evaluation; no thread. Values in ohms, henries, farads.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "uCom.h"
#include "uEvaluation.h"
#include "uWaveIn.h"

namespace tavrin {

// Coverage factor of the expanded uncertainties shown. An uncertainty estimated with few
// degrees of freedom gets the factor that keeps the same 95 % coverage (Student's t).
inline constexpr double kCoverageFactor = 2.0;
double CoverageFactor(double degreesOfFreedom);

// Running mean and variance (Welford), in double.
class TRunningStats {
  public:
    void Add(double x);
    void Reset() { *this = {}; }
    int64_t Count() const { return N; }
    double Mean() const { return FMean; }
    // The sample variance (n - 1); 0 below two values.
    double Variance() const { return N > 1 ? M2 / static_cast<double>(N - 1) : 0.0; }

  private:
    int64_t N = 0;
    double FMean = 0;
    double M2 = 0;
};

// Running mean and variance of every bin of a range over successive results. A result over
// another range starts the statistics afresh.
class TBinStatistics {
  public:
    void Add(std::span<const TComplex> zx, TBinRange range);
    void Reset();
    int64_t Count() const { return FCount; }
    TBinRange Range() const { return FRange; }
    // Bin k of the range: the mean, and the variance of one result (real and imaginary part
    // together, |z - mean|^2).
    TComplex Mean(int32_t k) const;
    double Variance(int32_t k) const;

  private:
    TBinRange FRange{1, 0};
    int64_t FCount = 0;
    std::vector<double> MeanRe, MeanIm, M2;
};

// Standard uncertainties of one fit from the scatter of its bins about the fitted model, each
// bin weighted as it enters the fit (so bins with more noise count for more). The reactance is
// that of the fit's kind: L for an inductive fit, the elastance 1/C for a capacitive one.
struct TFitSpread {
    bool Known = false;  // at least three bins
    double Reactance = 0;
    double Resistance = 0;
    double LossTangent = 0;
    // Effective degrees of freedom of each (Welch-Satterthwaite): few when a handful of noisy
    // bins carry the value, as the lowest bins do for a capacitance.
    double ReactanceDof = 0;
    double ResistanceDof = 0;
    double LossTangentDof = 0;
};
TFitSpread FitSpread(std::span<const TComplex> zx, TBinRange range, float angularStep,
                     const TSeriesFit& fit);

// A reading made of successive results, as the readout shows it.
struct TFitReading {
    TSeriesFit Fit;  // the means, in the fit's form (and its fallbacks)
    int64_t Results = 0;
    bool UncertaintyKnown = false;
    // Expanded (k = 2): H for an inductive fit, F for a capacitive one; ohms; the tangent's.
    double ReactanceU = 0;
    double ResistanceU = 0;
    double LossTangentU = 0;
    // False when the reactance lies within its uncertainty of zero (or on the wrong side of
    // it): the data show no L or C, whatever a fit made of the noise.
    bool ReactanceSupported = true;
};

// Successive results of one component: the running mean of every bin, the series fit of that
// mean with the spread of its bins (which holds the calibration's noise as well as what is left
// of each result's), and the running statistics of each result's own fit (which also see noise
// common to all bins). The reading takes the larger of the two uncertainties.
class TFitStatistics {
  public:
    // Adds the Zx of one result (bins range.Lo..Hi). A result over another range, one fitted to
    // the other kind, or one far outside the reading so far (another component) starts a new
    // reading; Add returns true then.
    bool Add(std::span<const TComplex> zx, TBinRange range, float angularStep);
    void Reset();
    int64_t Count() const { return Values[0].Count(); }
    TFitReading Reading() const;
    const TBinStatistics& Bins() const { return FBins; }

  private:
    double StandardUncertainty(int i) const;
    // The standard uncertainty of value i and its degrees of freedom.
    std::pair<double, double> Uncertainty(int i) const;
    double Expanded(int i) const;

    TBinStatistics FBins;
    // Of each result's fit; 0: L or 1/C, 1: R, 2: tg.
    TRunningStats Values[3];
    // The fit of the mean and the spread of its bins.
    TSeriesFit MeanFit;
    TFitSpread MeanSpread;
    std::vector<TComplex> MeanZx;
};

// "4.7000 µF ± 0.0004": the value in the readout's prefix, rounded to where the uncertainty's
// one significant digit stands (two when it begins with 1), the unit, and the uncertainty.
std::string FormatWithUncertainty(double value, double expanded, const std::string& unit);

// The readout while a fresh sum is still growing: "Averaging: 12 / 117 blocks".
std::string AveragingText(const TDelivery& delivery);

// The three-line readout of a reading: "Cx= 4.7000 µF ± 0.0004", "R= 0.20 Ohm ± 0.01",
// "tg= 2.8E-03 ± 4.0E-05". An unsupported reactance reads "Cx= ??" and "tg= ??"; without a
// known uncertainty the readout is the plain one of FormatSeriesFit.
std::string FormatFitReading(const TFitReading& reading);

}  // namespace tavrin
