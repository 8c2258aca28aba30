#include "uChartAxis.h"

#include <qcustomplot.h>

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

#include "uAxisTicks.h"
#include "uChartHost.h"

namespace tavrin {

// Chooses the ticks of one axis for its length in the current layout and its tick-label font.
class TChartTicker : public QCPAxisTicker {
  public:
    explicit TChartTicker(QCPAxis& axis) : mAxis(axis) {}

    double LengthUsed() const { return mLengthUsed; }
    double CurrentLength() const {
        const QCPAxisRect* area = mAxis.axisRect();
        return mAxis.orientation() == Qt::Horizontal ? area->width() : area->height();
    }

    void generate(const QCPRange& range, const QLocale&, QChar, int, QVector<double>& ticks,
                  QVector<double>* subTicks, QVector<QString>* tickLabels) override {
        mLengthUsed = CurrentLength();
        const bool horizontal = mAxis.orientation() == Qt::Horizontal;
        const bool logarithmic = mAxis.scaleType() == QCPAxis::stLogarithmic;
        const QFontMetrics metrics(mAxis.tickLabelFont());
        TTickRoom room;
        room.Length = mLengthUsed;
        // What lies between the axis's ends and the edges of the widget.
        const QRect area = mAxis.axisRect()->rect();
        const QRect whole = mAxis.parentPlot()->viewport();
        if (horizontal) {
            room.Before = area.left() - whole.left();
            room.After = whole.right() - area.right();
        } else {
            room.Before = whole.bottom() - area.bottom();
            room.After = area.top() - whole.top();
        }
        if (horizontal) {
            room.Extent = [&metrics](const std::string& text) {
                return static_cast<double>(LabelSize(metrics, text).width());
            };
            room.Gap = 1.5 * metrics.horizontalAdvance(QLatin1Char('0'));
            // A logarithmic axis may label 1, 2 and 5 of a decade closer together: their
            // spacing is uneven anyway and they stay easy to tell apart.
            room.MinSpacing = (logarithmic ? 4 : 6) * metrics.horizontalAdvance(QLatin1Char('0'));
        } else {
            room.Extent = [&metrics](const std::string&) {
                return static_cast<double>(metrics.height());
            };
            room.Gap = 0.5 * metrics.height();
            room.MinSpacing = (logarithmic ? 1.6 : 3) * metrics.height();
        }
        const TScaleTicks chosen = logarithmic ? ChooseLogTicks(range.lower, range.upper, room)
                                               : ChooseLinearTicks(range.lower, range.upper, room);
        ticks.clear();
        if (tickLabels != nullptr) {
            tickLabels->clear();
        }
        for (const TScaleTick& tick : chosen.Labelled) {
            ticks.append(tick.Value);
            if (tickLabels != nullptr) {
                tickLabels->append(QString::fromStdString(tick.Text));
            }
        }
        if (subTicks != nullptr) {
            subTicks->clear();
            for (double value : chosen.Minor) {
                subTicks->append(value);
            }
        }
    }

    // The box QCustomPlot gives a tick label's text.
    static QRect LabelSize(const QFontMetrics& metrics, const std::string& text) {
        return metrics.boundingRect(0, 0, 0, 0, Qt::TextDontClip, QString::fromStdString(text));
    }

  private:
    QCPAxis& mAxis;
    double mLengthUsed = -1;
};

namespace {

// A single value still needs a range to be drawn in.
QCPRange Widened(QCPRange range, bool logarithmic) {
    if (range.upper > range.lower) {
        return range;
    }
    const double value = range.lower;
    if (logarithmic) {
        return QCPRange(value / 2.0, value * 2.0);
    }
    const double half = value != 0.0 ? std::abs(value) * 0.1 : 1.0;
    return QCPRange(value - half, value + half);
}

// The range of a graph's values as QCPDataContainer::valueRange finds it (NaNs passed over, only
// the sign domain's values, the first of equal extremes kept), in one tight loop: the library's
// makes calls for every point, which costs a result of 4 x 131071 points about a millisecond.
QCPRange ValueRange(const QCPGraphDataContainer& data, QCP::SignDomain domain, bool& found) {
    double lower = 0.0, upper = 0.0;
    bool haveLower = false, haveUpper = false;
    for (auto it = data.constBegin(); it != data.constEnd(); ++it) {
        const double value = it->value;
        if (std::isnan(value) || (domain == QCP::sdPositive && !(value > 0.0)) ||
            (domain == QCP::sdNegative && !(value < 0.0))) {
            continue;
        }
        if (!haveLower || value < lower) {
            lower = value;
            haveLower = true;
        }
        if (!haveUpper || value > upper) {
            upper = value;
            haveUpper = true;
        }
    }
    found = haveLower && haveUpper;
    return QCPRange(lower, upper);
}

}  // namespace

TChartAxis::TChartAxis(QCPAxis& axis, TChartHost& host)
    : mAxis(axis), mHost(host), mTicker(new TChartTicker(axis)) {
    mAxis.setTicker(mTicker);
    mAxis.setScaleType(QCPAxis::stLinear);
}

TChartAxis::~TChartAxis() = default;

bool TChartAxis::Automatic() const {
    return mAutomatic;
}

void TChartAxis::SetAutomatic(bool automatic) {
    if (mAutomatic == automatic) {
        return;
    }
    mAutomatic = automatic;
    mHost.ContentChanged();
}

bool TChartAxis::Logarithmic() const {
    return mAxis.scaleType() == QCPAxis::stLogarithmic;
}

void TChartAxis::SetLogarithmic(bool logarithmic) {
    if (Logarithmic() == logarithmic) {
        return;
    }
    mAxis.setScaleType(logarithmic ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    mHost.ContentChanged();
}

double TChartAxis::Minimum() const {
    mHost.BringRangesUpToDate();
    return mAxis.range().lower;
}

double TChartAxis::Maximum() const {
    mHost.BringRangesUpToDate();
    return mAxis.range().upper;
}

void TChartAxis::SetMinimum(double minimum) {
    mHost.BringRangesUpToDate();
    mAxis.setRangeLower(minimum);
    mHost.AppearanceChanged();
}

void TChartAxis::SetMaximum(double maximum) {
    mHost.BringRangesUpToDate();
    mAxis.setRangeUpper(maximum);
    mHost.AppearanceChanged();
}

void TChartAxis::SetMinMax(double minimum, double maximum) {
    mAutomatic = false;
    mAxis.setRange(minimum, maximum);
    mHost.AppearanceChanged();
}

QString TChartAxis::TitleCaption() const {
    return mCaption;
}

void TChartAxis::SetTitleCaption(const QString& caption) {
    mCaption = caption;
    ShowTitle();
    mHost.AppearanceChanged();
}

QColor TChartAxis::TitleColour() const {
    return mAxis.labelColor();
}

void TChartAxis::SetTitleColour(const QColor& colour) {
    mAxis.setLabelColor(colour);
    mHost.AppearanceChanged();
}

bool TChartAxis::TitleVisible() const {
    return mTitleVisible;
}

void TChartAxis::SetTitleVisible(bool visible) {
    mTitleVisible = visible;
    ShowTitle();
    mHost.AppearanceChanged();
}

bool TChartAxis::GridVisible() const {
    return mGridVisible;
}

void TChartAxis::SetGridVisible(bool visible) {
    mGridVisible = visible;
    ShowGrid();
    mHost.AppearanceChanged();
}

QString TChartAxis::Unit() const {
    return mUnit;
}

void TChartAxis::SetUnit(const QString& unit) {
    if (unit == mUnit) {
        return;
    }
    mUnit = unit;
    ShowTitle();
    mHost.AppearanceChanged();
}

void TChartAxis::TakeCurveUnit(const QString& unit) {
    mUnit = unit;
    ShowTitle();
}

QString TChartAxis::TitleText() const {
    const QString unit = mUnit.isEmpty() ? QString() : QStringLiteral("[%1]").arg(mUnit);
    if (!mTitleVisible || mCaption.isEmpty()) {
        return unit;
    }
    return unit.isEmpty() ? mCaption : mCaption + QLatin1Char(' ') + unit;
}

bool TChartAxis::Shown() const {
    return mShown;
}

void TChartAxis::SetShown(bool shown) {
    // Called while a redraw is being prepared, which then shows the change: no redraw of its own.
    mShown = shown;
    mAxis.setVisible(shown);
    ShowGrid();
}

void TChartAxis::ShowGrid() {
    mAxis.grid()->setVisible(mGridVisible && mShown);
}

QVector<TTickLabel> TChartAxis::TickLabels() const {
    QVector<TTickLabel> labels;
    if (!mAxis.visible() || !mAxis.tickLabels()) {
        return labels;
    }
    const QVector<double> ticks = mAxis.tickVector();
    const QVector<QString> texts = mAxis.tickVectorLabels();
    const QFontMetrics metrics(mAxis.tickLabelFont());
    const QRect area = mAxis.axisRect()->rect();
    const int padding = mAxis.tickLabelPadding() + std::max(0, mAxis.tickLengthOut());
    const QPoint offset = mAxis.parentPlot()->pos();
    for (qsizetype i = 0; i < ticks.size() && i < texts.size(); ++i) {
        if (!mAxis.range().contains(ticks[i])) {
            continue;
        }
        const int position = static_cast<int>(std::lround(mAxis.coordToPixel(ticks[i])));
        QRect box = TChartTicker::LabelSize(metrics, texts[i].toStdString());
        box.moveTo(0, 0);
        switch (mAxis.axisType()) {
            case QCPAxis::atBottom:
                box.moveCenter(QPoint(position, 0));
                box.moveTop(area.bottom() + 1 + padding);
                break;
            case QCPAxis::atLeft:
                box.moveCenter(QPoint(0, position));
                box.moveRight(area.left() - 1 - padding);
                break;
            default:
                box.moveCenter(QPoint(0, position));
                box.moveLeft(area.right() + 1 + padding);
                break;
        }
        labels.append({texts[i], box.translated(offset)});
    }
    return labels;
}

bool TChartAxis::TicksFitLayout() const {
    // A hidden axis without a grid chooses no ticks, so it has nothing to fit.
    if (!mAxis.visible() && !mAxis.grid()->visible()) {
        return true;
    }
    return std::abs(mTicker->LengthUsed() - mTicker->CurrentLength()) < 0.5;
}

void TChartAxis::FitToPoints() {
    if (!mAutomatic) {
        return;
    }
    const bool horizontal = mAxis.orientation() == Qt::Horizontal;
    const QCP::SignDomain domain = Logarithmic() ? QCP::sdPositive : QCP::sdBoth;
    bool foundAny = false;
    QCPRange total;
    for (const QCPGraph* graph : mAxis.graphs()) {
        if (graph->data()->isEmpty()) {
            continue;
        }
        bool found = false;
        const QCPRange range = horizontal ? graph->getKeyRange(found, domain)
                                          : ValueRange(*graph->data(), domain, found);
        if (!found) {
            continue;
        }
        if (foundAny) {
            total.expand(range);
        } else {
            total = range;
            foundAny = true;
        }
    }
    if (foundAny) {
        mAxis.setRange(Widened(total, Logarithmic()));
    }
}

void TChartAxis::ShowTitle() {
    // The caption is kept while hidden so that showing the title again restores it.
    mAxis.setLabel(TitleText());
}

}  // namespace tavrin
