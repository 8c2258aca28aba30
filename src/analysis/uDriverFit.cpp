#include "uDriverFit.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <optional>
#include <vector>

#include <unsupported/Eigen/LevenbergMarquardt>

#include "uDriverStart.h"

namespace tavrin {
namespace {

using TComplexD = std::complex<double>;

// Below this many points the model's seven unknowns are not pinned down by the curve.
constexpr size_t kMinPoints = 16;

// What a driver can be. Outside, the fit has run off to describe something else: Qms -> 0
// or infinity is how a missing or unresolved resonance shows.
constexpr double kMinQms = 0.1, kMaxQms = 1000.0;
constexpr double kMinQes = 0.01, kMaxQes = 1000.0;
// A run that goes this much further out is stopped at once rather than left to wander.
constexpr double kRunawayFactor = 10.0;

// The LR2 coil is kept only where it explains the curve clearly better than Le alone, and
// not tried where Le alone meets the curve to rounding.
constexpr double kSemiInductanceGain = 0.8;
constexpr double kExactResidual = 1e-12;

// Every unknown is fitted as its logarithm: all are positive, their scales span ten decades,
// and a parameter running off to 0 or infinity shows as a logarithm running off.
enum TUnknown : int { kRe, kRes, kFs, kQms, kLe, kR2, kL2 };

struct TModelValue {
    TComplexD Z;
    TComplexD Slope[7];  // dZ / d ln(unknown)
};

// 1 / z without the library's guards for infinities, which cost more than the whole model;
// the model's denominators are never 0.
TComplexD Reciprocal(TComplexD z) {
    const double norm = z.real() * z.real() + z.imag() * z.imag();
    return {z.real() / norm, -z.imag() / norm};
}

// The unknowns themselves, taken out of their logarithms once per evaluation of the curve.
struct TUnknowns {
    explicit TUnknowns(const Eigen::VectorXd& x)
        : Re(std::exp(x[kRe])),
          Res(std::exp(x[kRes])),
          Fs(std::exp(x[kFs])),
          Qms(std::exp(x[kQms])),
          Le(std::exp(x[kLe])),
          SemiInductance(x.size() > kL2),
          R2(SemiInductance ? std::exp(x[kR2]) : 0.0),
          L2(SemiInductance ? std::exp(x[kL2]) : 0.0) {}

    TModelValue At(double frequency) const {
        const TComplexD j(0.0, 1.0);
        const double w = 2.0 * std::numbers::pi * frequency;
        const double detuning = frequency / Fs - Fs / frequency;
        const double spread = frequency / Fs + Fs / frequency;  // -d detuning / d ln Fs
        const TComplexD inverse = Reciprocal(TComplexD(1.0, Qms * detuning));
        const TComplexD motional = Res * inverse;

        TModelValue v;
        v.Slope[kRe] = Re;
        v.Slope[kRes] = motional;
        v.Slope[kFs] = motional * j * (Qms * spread) * inverse;
        v.Slope[kQms] = -motional * j * (Qms * detuning) * inverse;
        v.Slope[kLe] = TComplexD(0.0, w * Le);
        v.Z = Re + v.Slope[kLe] + motional;
        if (SemiInductance) {
            const TComplexD jwl2(0.0, w * L2);
            const TComplexD inverseSum = Reciprocal(R2 + jwl2);
            const TComplexD eddy = jwl2 * R2 * inverseSum;
            v.Slope[kR2] = eddy * jwl2 * inverseSum;
            v.Slope[kL2] = eddy * R2 * inverseSum;
            v.Z += eddy;
        }
        return v;
    }

    double Re, Res, Fs, Qms, Le;
    bool SemiInductance;
    double R2, L2;
};

// The residuals of the curve's points, real and imaginary part in turn, for Eigen's solver.
class TCurveResiduals : public Eigen::DenseFunctor<double> {
  public:
    TCurveResiduals(std::span<const TTracePoint> curve, const std::vector<double>& weights,
                    bool semiInductance)
        : DenseFunctor(semiInductance ? 7 : 5, static_cast<int>(2 * curve.size())),
          Curve(curve),
          Weights(weights) {}

    int operator()(const InputType& x, ValueType& residuals) const {
        const TUnknowns unknowns(x);
        for (size_t k = 0; k < Curve.size(); ++k) {
            const TComplexD e = Weights[k] * (unknowns.At(Curve[k].Frequency).Z - Curve[k].Value);
            residuals[2 * k] = e.real();
            residuals[2 * k + 1] = e.imag();
        }
        return 0;
    }
    int df(const InputType& x, JacobianType& jacobian) const {
        const TUnknowns unknowns(x);
        for (size_t k = 0; k < Curve.size(); ++k) {
            const TModelValue v = unknowns.At(Curve[k].Frequency);
            for (int i = 0; i < inputs(); ++i) {
                const TComplexD d = Weights[k] * v.Slope[i];
                jacobian(2 * k, i) = d.real();
                jacobian(2 * k + 1, i) = d.imag();
            }
        }
        return 0;
    }

  private:
    std::span<const TTracePoint> Curve;
    const std::vector<double>& Weights;
};

struct TSolution {
    Eigen::VectorXd X;
    double Residual = 0;  // weighted rms, relative
    const char* Failure = nullptr;
};

const char* OutsideDriverRange(double qms, double qes, double margin) {
    if (!std::isfinite(qms) || !std::isfinite(qes)) {
        return kNotConverging;
    }
    if (qms < kMinQms / margin) {
        return kQmsToZero;
    }
    if (qms > kMaxQms * margin) {
        return kQmsToInfinity;
    }
    if (qes < kMinQes / margin) {
        return kQesToZero;
    }
    if (qes > kMaxQes * margin) {
        return kQesToInfinity;
    }
    return nullptr;
}

double QesOf(const Eigen::VectorXd& x) {
    return std::exp(x[kQms] + x[kRe] - x[kRes]);
}

TSolution Solve(std::span<const TTracePoint> curve, const std::vector<double>& weights,
                double totalWeight, bool semiInductance, Eigen::VectorXd x,
                int32_t maxEvaluations) {
    TCurveResiduals residuals(curve, weights, semiInductance);
    Eigen::LevenbergMarquardt<TCurveResiduals> solver(residuals);
    solver.setMaxfev(maxEvaluations);
    TSolution solution;
    Eigen::LevenbergMarquardtSpace::Status status = solver.minimizeInit(x);
    while (status == Eigen::LevenbergMarquardtSpace::NotStarted ||
           status == Eigen::LevenbergMarquardtSpace::Running) {
        status = solver.minimizeOneStep(x);
        solution.Failure = OutsideDriverRange(std::exp(x[kQms]), QesOf(x), kRunawayFactor);
        if (solution.Failure) {
            break;
        }
    }
    if (!solution.Failure &&
        (status == Eigen::LevenbergMarquardtSpace::ImproperInputParameters ||
         status == Eigen::LevenbergMarquardtSpace::TooManyFunctionEvaluation || !x.allFinite())) {
        solution.Failure = kNotConverging;
    }
    Eigen::VectorXd values(residuals.values());
    residuals(x, values);
    solution.Residual = values.norm() / std::sqrt(totalWeight);
    solution.X = std::move(x);
    return solution;
}

TDriverParameters ParametersOf(const Eigen::VectorXd& x, bool semiInductance) {
    TDriverParameters p;
    p.Model = semiInductance ? TDriverModel::LR2 : TDriverModel::Le;
    p.Re = std::exp(x[kRe]);
    p.Fs = std::exp(x[kFs]);
    p.Qms = std::exp(x[kQms]);
    p.Qes = QesOf(x);
    p.Le = std::exp(x[kLe]);
    if (semiInductance) {
        p.R2 = std::exp(x[kR2]);
        p.L2 = std::exp(x[kL2]);
    }
    return p;
}

bool ValidCurve(std::span<const TTracePoint> curve) {
    double previous = 0;
    for (const TTracePoint& point : curve) {
        // |Z| too must exist: the fit weighs each point by it.
        if (!(point.Frequency > previous) || !std::isfinite(point.Frequency) ||
            !std::isfinite(std::abs(point.Value))) {
            return false;
        }
        previous = point.Frequency;
    }
    return true;
}

// Each point's share of the band in octaves (half the log-distance to each neighbour), over
// |Z|, as the square root that scales the residual.
std::vector<double> PointWeights(std::span<const TTracePoint> curve, double& total) {
    std::vector<double> weights(curve.size());
    total = 0;
    for (size_t k = 0; k < curve.size(); ++k) {
        const double below = std::log2(curve[k > 0 ? k - 1 : k].Frequency);
        const double above = std::log2(curve[k + 1 < curve.size() ? k + 1 : k].Frequency);
        const double share = 0.5 * (above - below);
        total += share;
        weights[k] = std::sqrt(share) / std::abs(curve[k].Value);
    }
    return weights;
}

// The LR2 coil from the Le fit: Le halved, the rest of it in L2, and the eddy corner tried at
// a few places in the upper band, the likeliest first. The first run that stays a driver and
// explains the curve clearly better than Le alone, with a corner the band can see, is kept: an
// eddy corner outside the band would let R2 pass for part of Re, or L2 for part of Le.
std::optional<TSolution> SolveSemiInductance(std::span<const TTracePoint> curve,
                                             const std::vector<double>& weights, double totalWeight,
                                             const TSolution& plain, int32_t maxEvaluations) {
    const double le = std::exp(plain.X[kLe]);
    const double bottom = curve.front().Frequency, top = curve.back().Frequency;
    for (const double corner : {top / 3.0, top / 10.0, top}) {
        Eigen::VectorXd x(7);
        x.head(5) = plain.X;
        x[kLe] = std::log(0.5 * le);
        x[kL2] = std::log(le);
        x[kR2] = std::log(2.0 * std::numbers::pi * corner * le);
        TSolution run = Solve(curve, weights, totalWeight, true, x, maxEvaluations);
        const double fitted = std::exp(run.X[kR2] - run.X[kL2]) / (2.0 * std::numbers::pi);
        if (!run.Failure && run.Residual < kSemiInductanceGain * plain.Residual &&
            fitted >= bottom && fitted <= top &&
            !OutsideDriverRange(std::exp(run.X[kQms]), QesOf(run.X), 1.0)) {
            return run;
        }
    }
    return std::nullopt;
}

}  // namespace

TDriverFit FitDriver(std::span<const TTracePoint> curve, const TDriverFitOptions& options) {
    TDriverFit fit;
    if (!curve.empty()) {
        fit.LowFrequency = curve.front().Frequency;
        fit.HighFrequency = curve.back().Frequency;
    }
    if (curve.size() < kMinPoints) {
        fit.Reason = kTooFewPoints;
        return fit;
    }
    if (!ValidCurve(curve)) {
        fit.Reason = kInvalidCurve;
        return fit;
    }
    const TDriverStart start = EstimateDriverStart(curve);
    if (!start.Ok) {
        fit.Reason = start.Reason;
        return fit;
    }
    double totalWeight = 0;
    const std::vector<double> weights = PointWeights(curve, totalWeight);

    Eigen::VectorXd x(5);
    x << std::log(start.Re), std::log(start.Res), std::log(start.Fs), std::log(start.Qms),
        std::log(start.Le);
    TSolution solution = Solve(curve, weights, totalWeight, false, x, options.MaxEvaluations);
    bool semiInductance = false;
    if (!solution.Failure && options.SemiInductance && solution.Residual > kExactResidual) {
        if (std::optional<TSolution> lr2 = SolveSemiInductance(curve, weights, totalWeight,
                                                               solution, options.MaxEvaluations)) {
            solution = std::move(*lr2);
            semiInductance = true;
        }
    }
    if (solution.Failure) {
        fit.Reason = solution.Failure;
        return fit;
    }
    const TDriverParameters p = ParametersOf(solution.X, semiInductance);
    if (const char* outside = OutsideDriverRange(p.Qms, p.Qes, 1.0)) {
        fit.Reason = outside;
        return fit;
    }
    if (p.Fs < fit.LowFrequency || p.Fs > fit.HighFrequency) {
        fit.Reason = kResonanceOutside;
        return fit;
    }
    fit.Ok = true;
    fit.Parameters = p;
    fit.Residual = solution.Residual;
    return fit;
}

}  // namespace tavrin
