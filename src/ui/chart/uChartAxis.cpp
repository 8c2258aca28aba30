#include "uChartAxis.h"

#include <qcustomplot.h>

#include <cmath>

#include "uChartHost.h"

namespace tavrin {

namespace {

template <class TTicker>
class TDecimalsTicker : public TTicker {
  public:
    explicit TDecimalsTicker(int maxDecimals) : mMaxDecimals(maxDecimals) {}

  protected:
    QString getTickLabel(double tick, const QLocale&, QChar, int) override {
        return AxisLabelText(tick, mMaxDecimals);
    }

  private:
    int mMaxDecimals;
};

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

}  // namespace

QString AxisLabelText(double value, int maxDecimals) {
    // QString::number ignores the locale, so the decimal point is always ".".
    QString text = QString::number(value, 'f', maxDecimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) {
            text.chop(1);
        }
        if (text.endsWith(QLatin1Char('.'))) {
            text.chop(1);
        }
    }
    if (text == QLatin1String("-0")) {
        text = QStringLiteral("0");
    }
    if (text != QLatin1String("0") || value == 0.0 || !std::isfinite(value)) {
        return text;
    }
    // Too small for the decimals, as on a logarithmic axis of small values: "0" would be wrong.
    text = QString::number(value, 'g', 2);
    const qsizetype e = text.indexOf(QLatin1Char('e'));
    if (e < 0) {
        return text;
    }
    return text.left(e) + QLatin1Char('E') + QString::number(text.mid(e + 1).toInt());
}

TChartAxis::TChartAxis(QCPAxis& axis, TChartHost& host, int maxLabelDecimals)
    : mAxis(axis),
      mHost(host),
      mLinearTicker(new TDecimalsTicker<QCPAxisTicker>(maxLabelDecimals)),
      mLogTicker(new TDecimalsTicker<QCPAxisTickerLog>(maxLabelDecimals)) {
    mAxis.setTicker(mLinearTicker);
    mAxis.setScaleType(QCPAxis::stLinear);
}

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
    mAxis.setTicker(logarithmic ? mLogTicker : mLinearTicker);
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
}

bool TChartAxis::GridVisible() const {
    return mAxis.grid()->visible();
}

void TChartAxis::SetGridVisible(bool visible) {
    mAxis.grid()->setVisible(visible);
    mHost.AppearanceChanged();
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
        const QCPRange range =
            horizontal ? graph->getKeyRange(found, domain) : graph->getValueRange(found, domain);
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
    mAxis.setLabel(mTitleVisible ? mCaption : QString());
    mHost.AppearanceChanged();
}

}  // namespace tavrin
