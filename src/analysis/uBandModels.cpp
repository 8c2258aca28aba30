#include "uBandModels.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "uNumberText.h"

namespace tavrin {
namespace {

using TComplexD = std::complex<double>;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Two neighbouring bins side by side in the two lanes of a vector register (SSE2 on every
// x86-64): a pass over 131071 bins takes half the instructions. A bin's own arithmetic is the
// same in a lane as alone; only the order of the sums changes.
using TLanes = double __attribute__((vector_size(16)));

inline double Total(TLanes lanes) {
    return lanes[0] + lanes[1];
}

// What both passes take from two bins, one in each lane. An empty lane is all zero, weight
// included, and so adds zero to every sum either pass makes.
struct TBinPair {
    TLanes R, X, W, Squared, InverseW, Weight;
};

inline TBinPair MakeBins(TLanes r, TLanes x, TLanes w) {
    TBinPair b{r, x, w, r * r + x * x, {}, {}};
    // One division gives both 1/w and 1/|Z|^2.
    const TLanes both = 1.0 / (w * b.Squared);
    b.InverseW = b.Squared * both;
    b.Weight = w * both;
    return b;
}

// A bin whose Zx is zero or not finite is left out of every fit.
inline bool Used(const TComplex& z) {
    return std::isfinite(z.Re) && std::isfinite(z.Im) && (z.Re != 0.0f || z.Im != 0.0f);
}

// The bin alone, beside an empty lane.
inline TBinPair SingleBin(const TComplex& z, double w) {
    // The empty lane's weight is set to zero after the division, which it would spoil.
    TBinPair b = MakeBins(TLanes{z.Re, 1.0}, TLanes{z.Im, 0.0}, TLanes{w, 1.0});
    const TLanes first{1.0, 0.0};
    b.R *= first;
    b.X *= first;
    b.W *= first;
    b.Squared *= first;
    b.InverseW *= first;
    b.Weight *= first;
    return b;
}

// Calls `add` with the bins of the range two neighbours at a time, and the last one alone when
// their number is odd. Checked, it leaves out the bins that are not used, taking a neighbour of
// one alone; unchecked, it takes every bin, which is faster by the tests it does not make.
// Returns how many bins were taken.
template <bool kChecked, class F>
int32_t ForEachBin(std::span<const TComplex> zx, TBinRange range, double step, F&& add) {
    int32_t taken = 0;
    int32_t k = range.Lo;
    for (; k < range.Hi; k += 2) {
        const TComplex& z = zx[k];
        const TComplex& next = zx[k + 1];
        const double w = static_cast<double>(k) * step;
        const double wNext = static_cast<double>(k + 1) * step;
        if constexpr (kChecked) {
            if (!Used(z) || !Used(next)) {
                for (const auto& [bin, binW] : {std::pair{z, w}, std::pair{next, wNext}}) {
                    if (Used(bin)) {
                        add(SingleBin(bin, binW));
                        ++taken;
                    }
                }
                continue;
            }
        }
        add(MakeBins(TLanes{z.Re, next.Re}, TLanes{z.Im, next.Im}, TLanes{w, wNext}));
        taken += 2;
    }
    if (k == range.Hi && (!kChecked || Used(zx[k]))) {
        add(SingleBin(zx[k], static_cast<double>(k) * step));
        ++taken;
    }
    return taken;
}

// What the first pass over the bins gathers for all three models. Series sums carry the weight
// 1/|Z|^2 (relative misfit in Z); parallel sums the weight |Z|^2 on the admittance, which is
// the same relative misfit and turns G_k and B_k back into R_k and X_k.
template <class T>
struct TSumsOf {
    // series, weighted by 1/|Z|^2
    T W{}, WR{}, Www{}, WwX{}, Wii{}, WXi{};
    // parallel, weighted by |Z|^2
    T M{}, R{}, Mww{}, wX{}, Mii{}, Xi{};
};

struct TSums : TSumsOf<double> {
    int32_t N = 0;
};

// A bin whose Zx is zero or not finite makes a sum infinite or not a number: the unchecked pass
// is enough unless a sum comes out so.
template <bool kChecked>
TSums Gather(std::span<const TComplex> zx, TBinRange range, float angularStep) {
    TSumsOf<TLanes> s;
    const int32_t used = ForEachBin<kChecked>(zx, range, angularStep, [&](const TBinPair& b) {
        const TLanes ww = b.W * b.W;
        const TLanes wx = b.W * b.X;
        const TLanes ii = b.InverseW * b.InverseW;
        const TLanes xi = b.X * b.InverseW;
        s.W += b.Weight;
        s.WR += b.Weight * b.R;
        s.Www += b.Weight * ww;
        s.WwX += b.Weight * wx;
        s.Wii += b.Weight * ii;
        s.WXi += b.Weight * xi;
        s.M += b.Squared;
        s.R += b.R;
        s.Mww += b.Squared * ww;
        s.wX += wx;
        s.Mii += b.Squared * ii;
        s.Xi += xi;
    });
    return {{Total(s.W), Total(s.WR), Total(s.Www), Total(s.WwX), Total(s.Wii), Total(s.WXi),
             Total(s.M), Total(s.R), Total(s.Mww), Total(s.wX), Total(s.Mii), Total(s.Xi)},
            used};
}

bool AllFinite(const TSums& s) {
    return std::isfinite(s.W + s.WR + s.Www + s.WwX + s.Wii + s.WXi + s.M + s.R + s.Mww + s.wX +
                         s.Mii + s.Xi);
}

// The unconstrained least-squares optimum of every model: series Rs and X = w L - E / w
// (E = 1/C); parallel G, and B = w C or B = -Gamma / w (Gamma = 1/L).
struct TOptimum {
    double Rs = 0, L = 0, E = 0;
    double G = 0, C = 0, Gamma = 0;
};

TOptimum Optimum(const TSums& s) {
    TOptimum o;
    o.Rs = s.WR / s.W;
    const double a = s.Www, b = s.W, c = s.Wii, p = s.WwX, q = s.WXi;
    const double det = a * c - b * b;
    // Bins at two frequencies at least make the 2 x 2 system regular; otherwise the reactance
    // is taken from zero, which the misfit formula below allows as well.
    if (det > 1e-12 * a * c) {
        o.L = (p * c - b * q) / det;
        o.E = (b * p - a * q) / det;
    }
    o.G = s.R / s.M;
    o.C = s.Mww > 0.0 ? -s.wX / s.Mww : 0.0;
    o.Gamma = s.Mii > 0.0 ? s.Xi / s.Mii : 0.0;
    return o;
}

// The misfits at the optimum, each a sum of squared relative misfits, in a second pass so that
// a close fit is not lost to cancellation.
struct TMisfits {
    double SeriesR = 0, SeriesX = 0;
    double ParallelG = 0, ParallelC = 0, ParallelL = 0;
};

template <bool kChecked>
TMisfits Misfits(std::span<const TComplex> zx, TBinRange range, float angularStep,
                 const TOptimum& o) {
    TLanes seriesR{}, seriesX{}, parallelG{}, parallelC{}, parallelL{};
    ForEachBin<kChecked>(zx, range, angularStep, [&](const TBinPair& b) {
        const TLanes dr = b.R - o.Rs;
        const TLanes dx = b.X - (b.W * o.L - o.E * b.InverseW);
        seriesR += b.Weight * dr * dr;
        seriesX += b.Weight * dx * dx;
        // m2 (G_k - G)^2 = (r - G m2)^2 / m2, and likewise for B_k = -x / m2.
        const TLanes dg = b.R - o.G * b.Squared;
        const TLanes dc = b.X + o.C * b.W * b.Squared;
        const TLanes dl = b.X - o.Gamma * b.InverseW * b.Squared;
        parallelG += b.Weight * dg * dg;
        parallelC += b.Weight * dc * dc;
        parallelL += b.Weight * dl * dl;
    });
    return {Total(seriesR), Total(seriesX), Total(parallelG), Total(parallelC), Total(parallelL)};
}

// The series reactance's misfit at (l, e) from its misfit at the optimum: the objective is
// quadratic, so the difference is exact and, being a sum of the terms below rather than of the
// bins, free of cancellation. The gradient term is zero at a true optimum.
double SeriesReactanceMisfit(const TSums& s, const TOptimum& o, double atOptimum, double l,
                             double e) {
    const double a = s.Www, b = s.W, c = s.Wii, p = s.WwX, q = s.WXi;
    const double dl = l - o.L;
    const double de = e - o.E;
    const double gradient = 2.0 * dl * (a * o.L - b * o.E - p) + 2.0 * de * (c * o.E - b * o.L + q);
    return std::max(0.0, atOptimum + gradient + a * dl * dl + c * de * de - 2.0 * b * dl * de);
}

// Schwarz's (Bayesian) criterion over the 2n real residuals: an element must lower the misfit by
// more than noise alone would, over thousands of bins, before the model keeps it. The floor
// keeps an exact fit from scoring minus infinity.
double Score(double misfit, int32_t bins, int32_t parameters) {
    const double n = 2.0 * bins;
    return n * std::log(std::max(misfit, 1e-300) / n) + std::log(n) * parameters;
}

struct TCandidate {
    TBandModelFit Fit;
    double Misfit = 0;
};

// R alone, R-L, R-C and (when its optimum has no negative part) R-L-C: the series circuit
// keeps only the elements that earn their place.
TCandidate SeriesModel(const TSums& s, const TOptimum& o, const TMisfits& m) {
    const double rs = std::max(0.0, o.Rs);
    const double misfitR = m.SeriesR + s.W * (rs - o.Rs) * (rs - o.Rs);
    struct TReactance {
        double L, E;
    };
    std::vector<TReactance> reactances{{0.0, 0.0},
                                       {std::max(0.0, s.Www > 0.0 ? s.WwX / s.Www : 0.0), 0.0},
                                       {0.0, std::max(0.0, s.Wii > 0.0 ? -s.WXi / s.Wii : 0.0)}};
    if (o.L > 0.0 && o.E > 0.0) {
        reactances.push_back({o.L, o.E});
    }
    TCandidate best;
    double bestScore = kInfinity;
    for (const TReactance& x : reactances) {
        const double misfit = misfitR + SeriesReactanceMisfit(s, o, m.SeriesX, x.L, x.E);
        const int32_t parameters = 1 + (x.L > 0.0) + (x.E > 0.0);
        const double score = Score(misfit, s.N, parameters);
        if (score < bestScore) {
            bestScore = score;
            best.Misfit = misfit;
            TBandModelFit& fit = best.Fit;
            fit.Kind = TBandModelKind::SeriesRLC;
            fit.Valid = true;
            fit.Resistance = rs;
            fit.Inductance = x.L;
            fit.Capacitance = x.E > 0.0 ? 1.0 / x.E : kInfinity;
            fit.Parameters = parameters;
            fit.SelfResonance =
                x.L > 0.0 && x.E > 0.0
                    ? 1.0 / (2.0 * std::numbers::pi * std::sqrt(fit.Inductance * fit.Capacitance))
                    : 0.0;
        }
    }
    return best;
}

// R || C or R || L with G, C and Gamma kept at or above zero; each term's misfit grows by the
// square of its clamping times its weight sum.
TCandidate ParallelModel(const TSums& s, const TOptimum& o, const TMisfits& m,
                         TBandModelKind kind) {
    TCandidate out;
    TBandModelFit& fit = out.Fit;
    fit.Kind = kind;
    fit.Valid = true;
    const double g = std::max(0.0, o.G);
    fit.Resistance = g > 0.0 ? 1.0 / g : kInfinity;
    double reactive = 0.0;
    out.Misfit = m.ParallelG + s.M * (g - o.G) * (g - o.G);
    if (kind == TBandModelKind::ParallelRC) {
        reactive = std::max(0.0, o.C);
        out.Misfit += m.ParallelC + s.Mww * (reactive - o.C) * (reactive - o.C);
        fit.Capacitance = reactive;
        fit.Inductance = kInfinity;
    } else {
        reactive = std::max(0.0, o.Gamma);
        out.Misfit += m.ParallelL + s.Mii * (reactive - o.Gamma) * (reactive - o.Gamma);
        fit.Inductance = reactive > 0.0 ? 1.0 / reactive : kInfinity;
        fit.Capacitance = 0.0;
    }
    fit.Parameters = (g > 0.0) + (reactive > 0.0);
    return out;
}

}  // namespace

std::complex<double> TBandModelFit::ImpedanceAt(double w) const {
    if (Kind == TBandModelKind::SeriesRLC) {
        return {Resistance, w * Inductance - 1.0 / (w * Capacitance)};
    }
    const TComplexD admittance(1.0 / Resistance, w * Capacitance - 1.0 / (w * Inductance));
    return admittance == TComplexD(0.0, 0.0) ? TComplexD(kInfinity, 0.0) : 1.0 / admittance;
}

TBandModels FitBandModels(std::span<const TComplex> zx, TBinRange range, float angularStep) {
    TBandModels models;
    for (int i = 0; i < kBandModelCount; ++i) {
        models.Fits[i].Kind = static_cast<TBandModelKind>(i);
    }
    if (range.Hi < range.Lo) {
        return models;
    }
    TSums sums = Gather<false>(zx, range, angularStep);
    const bool checked = !AllFinite(sums);
    if (checked) {
        sums = Gather<true>(zx, range, angularStep);
    }
    models.Bins = sums.N;
    if (sums.N < 2) {
        return models;
    }
    const TOptimum optimum = Optimum(sums);
    const TMisfits misfits = checked ? Misfits<true>(zx, range, angularStep, optimum)
                                     : Misfits<false>(zx, range, angularStep, optimum);
    const std::array<TCandidate, kBandModelCount> candidates{
        SeriesModel(sums, optimum, misfits),
        ParallelModel(sums, optimum, misfits, TBandModelKind::ParallelRC),
        ParallelModel(sums, optimum, misfits, TBandModelKind::ParallelRL)};
    double bestScore = kInfinity;
    for (int32_t i = 0; i < kBandModelCount; ++i) {
        models.Fits[i] = candidates[i].Fit;
        models.Fits[i].Residual = std::sqrt(candidates[i].Misfit / sums.N);
        const double score = Score(candidates[i].Misfit, sums.N, models.Fits[i].Parameters);
        if (score < bestScore) {
            bestScore = score;
            models.Best = i;
        }
    }
    return models;
}

std::string BandModelName(const TBandModelFit& fit) {
    if (fit.Kind == TBandModelKind::SeriesRLC) {
        const bool l = fit.Inductance > 0.0;
        const bool c = std::isfinite(fit.Capacitance);
        if (!l && !c) {
            return "R";
        }
        return std::string("series R") + (l ? "-L" : "") + (c ? "-C" : "");
    }
    const bool r = std::isfinite(fit.Resistance);
    const bool reactive = fit.Kind == TBandModelKind::ParallelRC ? fit.Capacitance > 0.0
                                                                 : std::isfinite(fit.Inductance);
    const char* element = fit.Kind == TBandModelKind::ParallelRC ? "C" : "L";
    if (r && reactive) {
        return std::string("R \xE2\x88\xA5 ") + element;
    }
    return reactive ? element : (r ? "R" : "open");
}

std::string FormatBandModels(const TBandModels& models) {
    const TBandModelFit* fit = models.BestFit();
    if (!fit) {
        return "Model: ??";
    }
    std::string text = "Model: " + BandModelName(*fit) + ", residual " +
                       FormatGeneral(fit->Residual, 2, 1) + "\r\n";
    const bool series = fit->Kind == TBandModelKind::SeriesRLC;
    text += std::string(series ? "Rs= " : "Rp= ") +
            (std::isfinite(fit->Resistance) ? FormatEng(fit->Resistance, 5) : "\xE2\x88\x9E ") +
            "Ohm";
    if (series ? fit->Inductance > 0.0 : std::isfinite(fit->Inductance)) {
        text += "  L= " + FormatEng(fit->Inductance, 5) + "H";
    }
    if (series ? std::isfinite(fit->Capacitance) : fit->Capacitance > 0.0) {
        text += "  C= " + FormatEng(fit->Capacitance, 5) + "F";
    }
    if (fit->SelfResonance > 0.0) {
        text += "  f0= " + FormatEng(fit->SelfResonance, 5) + "Hz";
    }
    return text;
}

}  // namespace tavrin
