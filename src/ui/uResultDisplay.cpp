#include "uResultDisplay.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "uCom.h"

namespace tavrin {
namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

}  // namespace

TResultDisplay::TResultDisplay(TChart& chart) : Chart(chart) {
    for (int i = 0; i < TChart::SeriesCount; ++i) {
        Chart.Series(i).AfterDrawValues = [this] { SeriesDrawn(); };
    }
}

void TResultDisplay::ShowResult(const TWaveData& data, const TBand& band, float sampleRate) {
    ClearSeries();
    PendingDraws = 0;
    std::vector<double>& x = PointX;
    std::vector<double>& a = PointA;
    std::vector<double>& b = PointB;
    for (int c = 0; c < 2; ++c) {
        const TChannelData& channel = data[c];
        if (channel.empty()) {
            continue;
        }
        const float binWidth = sampleRate / static_cast<float>(channel.size());
        // Slot 0 holds DC and Nyquist, never a bin: a block of 2 has nothing to draw.
        const int32_t lo = std::max<int32_t>(band.ToBin(band.Low), 1);
        const int32_t hi =
            std::min<int32_t>(band.ToBin(band.High), static_cast<int32_t>(channel.size() / 2) - 1);
        const TComplex* bins = ComplexSlots(channel.data());
        x.clear();
        a.clear();
        b.clear();
        const size_t points = hi >= lo ? static_cast<size_t>(hi - lo + 1) : 0;
        x.reserve(points);
        a.reserve(points);
        b.reserve(points);
        if (DisplayKind == TDisplayKind::Moduli) {
            PendingDraws += 1;
            for (int32_t i = lo; i <= hi; ++i) {
                x.push_back(static_cast<double>(i) * binWidth);
                a.push_back(ComplexToPolar(bins[i]).Re);
            }
            Chart.Series(c).SetPoints(x, a);
            continue;
        }
        const bool drawn = DisplayKind == TDisplayKind::TwoPairs ||
                           (DisplayKind == TDisplayKind::OnePair && c == 0);
        if (!drawn) {
            continue;
        }
        PendingDraws += 2;
        for (int32_t i = lo; i <= hi; ++i) {
            x.push_back(static_cast<double>(i) * binWidth);
            if (ModPhase) {
                const TComplex polar = ComplexToPolar(bins[i]);
                a.push_back(polar.Re);
                b.push_back(polar.Im * kDegreesPerRadian);
            } else if (LogZ) {
                a.push_back(std::fabs(bins[i].Re));
                b.push_back(std::fabs(bins[i].Im));
            } else {
                a.push_back(bins[i].Re);
                b.push_back(bins[i].Im);
            }
        }
        Chart.Series(2 * c).SetPoints(x, a);
        Chart.Series(2 * c + 1).SetPoints(x, b);
    }
}

void TResultDisplay::SeriesDrawn() {
    // Further redraws drive the count below zero and do nothing more; the next result starts
    // again from its own count.
    if (--PendingDraws == 0 && OnAllDrawn) {
        OnAllDrawn();
    }
}

void TResultDisplay::ClearSeries() {
    for (int i = 0; i < TChart::SeriesCount; ++i) {
        Chart.Series(i).Clear();
    }
}

void TResultDisplay::SetDrawAllPoints(bool drawAll) {
    for (int i = 0; i < TChart::SeriesCount; ++i) {
        Chart.Series(i).SetDrawAllPoints(drawAll);
    }
}

void TResultDisplay::SetLeftForAll(bool leftForAll) {
    const TAxisSide side = leftForAll ? TAxisSide::Left : TAxisSide::Right;
    Chart.Series(1).SetAxisSide(side);
    Chart.Series(3).SetAxisSide(side);
    Chart.LeftAxis().SetTitleVisible(!leftForAll);
}

void TResultDisplay::ApplyModPhase(bool modPhase, bool logZTicked) {
    ModPhase = modPhase;
    Chart.LeftAxis().SetTitleCaption(modPhase ? "Module" : "Re");
    Chart.RightAxis().SetTitleCaption(modPhase ? "Phase" : "Im");
    Chart.Series(0).SetTitle(modPhase ? "Module" : "Re");
    Chart.Series(1).SetTitle(modPhase ? "Phase" : "Im");
    Chart.Series(2).SetTitle(modPhase ? "|Zx|" : "R");
    Chart.Series(3).SetTitle(modPhase ? "Phase Zx" : "L/C");
    NameCurves();
    if (logZTicked && !modPhase) {
        ClearSeries();
        Chart.RightAxis().SetAutomatic(true);
        Chart.RightAxis().SetLogarithmic(true);
    } else {
        Chart.RightAxis().SetLogarithmic(false);
    }
}

void TResultDisplay::ApplyLogZ(bool logZ, bool modPhaseTicked) {
    LogZ = logZ;
    if (logZ) {
        ClearSeries();
        Chart.LeftAxis().SetAutomatic(true);
        Chart.RightAxis().SetAutomatic(true);
    }
    Chart.LeftAxis().SetLogarithmic(logZ);
    // Phases can be negative: no logarithmic right axis for them.
    Chart.RightAxis().SetLogarithmic(logZ && !modPhaseTicked);
}

void TResultDisplay::ApplyLogF(bool logF, float fMin, float fMax) {
    TChartAxis& bottom = Chart.BottomAxis();
    if (logF && fMin > bottom.Minimum()) {
        if (bottom.Minimum() == bottom.Maximum()) {
            bottom.SetMaximum(fMax);
        }
        bottom.SetMinimum(fMin);
    }
    bottom.SetLogarithmic(logF);
}

void TResultDisplay::ClickAxis(TAxisKind axis) {
    if (axis == TAxisKind::Left || axis == TAxisKind::Right) {
        Chart.LeftAxis().SetGridVisible(axis == TAxisKind::Left);
        Chart.RightAxis().SetGridVisible(axis == TAxisKind::Right);
    }
}

void TResultDisplay::SetResultContent(TResultContent content) {
    if (Content == content) {
        return;
    }
    Content = content;
    NameCurves();
}

void TResultDisplay::NameCurves() {
    const QString ohm = QStringLiteral("Ω");
    const QString degree = QStringLiteral("°");
    // A ratio of two voltages.
    const QString ratio = QStringLiteral("V/V");
    const auto name = [this](int series, const QString& description, const QString& unit) {
        Chart.Series(series).SetDescription(description);
        Chart.Series(series).SetUnit(unit);
    };
    const auto titled = [this](int series, const char* what) {
        return Chart.Series(series).Title() + QLatin1Char(' ') + QLatin1String(what);
    };
    if (!Content) {
        for (int i = 0; i < TChart::SeriesCount; ++i) {
            name(i, QString(), QString());
        }
        return;
    }
    switch (*Content) {
        case TResultContent::Impedance:
        case TResultContent::ImpedanceAndModel: {
            const bool model = *Content == TResultContent::ImpedanceAndModel;
            name(0, model ? titled(0, "measured") : QString(), ohm);
            name(1, model ? titled(1, "measured") : QString(), ModPhase ? degree : ohm);
            name(2, model ? titled(2, "fitted") : QString(), ohm);
            name(3, model ? titled(3, "fitted") : QString(), ModPhase ? degree : ohm);
            break;
        }
        case TResultContent::Transfer:
            name(0, QString(), ratio);
            name(1, QString(), ModPhase ? degree : ratio);
            name(2, QString(), ratio);
            name(3, QString(), ModPhase ? degree : ratio);
            break;
        case TResultContent::LevelSpectra:
            // Spectrum magnitudes of the raw blocks: a level, not a physical unit.
            name(0, QStringLiteral("Left input"), QString());
            name(1, QStringLiteral("Right input"), QString());
            name(2, QString(), QString());
            name(3, QString(), QString());
            break;
        case TResultContent::CalibrationRatio:
            name(0, titled(0, "this block"), ratio);
            name(1, titled(1, "this block"), ModPhase ? degree : ratio);
            name(2,
                 (ModPhase ? QStringLiteral("Module") : QStringLiteral("Re")) +
                     QStringLiteral(" stored"),
                 ratio);
            name(3,
                 (ModPhase ? QStringLiteral("Phase") : QStringLiteral("Im")) +
                     QStringLiteral(" stored"),
                 ModPhase ? degree : ratio);
            break;
    }
}

}  // namespace tavrin
