#pragma once

// One axis of the chart (bottom, left or right). Owned by TChart; user-interface thread only.

#include <QColor>
#include <QSharedPointer>
#include <QString>

class QCPAxis;
class QCPAxisTicker;

namespace tavrin {

class TChartHost;

enum class TAxisKind { Bottom, Left, Right };

// Tick label text: at most maxDecimals decimals, no trailing zeros, "." as decimal point
// ("20", "20.5", "0.25"). A value other than zero that the decimals would show as "0" gets two
// significant digits instead ("0.0025", "1E-6").
QString AxisLabelText(double value, int maxDecimals);

class TChartAxis {
  public:
    // Tick labels as AxisLabelText with maxLabelDecimals.
    TChartAxis(QCPAxis& axis, TChartHost& host, int maxLabelDecimals);
    TChartAxis(const TChartAxis&) = delete;
    TChartAxis& operator=(const TChartAxis&) = delete;

    // An automatic axis takes the range of the points drawn against it whenever they change
    // (on a logarithmic axis, of the positive ones); with no such points it keeps its range.
    bool Automatic() const;
    void SetAutomatic(bool automatic);
    bool Logarithmic() const;
    void SetLogarithmic(bool logarithmic);

    double Minimum() const;
    double Maximum() const;
    // These keep the automatic switch: on an automatic axis the value holds until the points
    // change. A minimum above the maximum swaps the two ends.
    void SetMinimum(double minimum);
    void SetMaximum(double maximum);
    // A fixed range: switches Automatic off.
    void SetMinMax(double minimum, double maximum);

    QString TitleCaption() const;
    void SetTitleCaption(const QString& caption);
    QColor TitleColour() const;
    void SetTitleColour(const QColor& colour);
    bool TitleVisible() const;
    void SetTitleVisible(bool visible);
    bool GridVisible() const;
    void SetGridVisible(bool visible);

    // Called by the chart before each redraw that follows a content change.
    void FitToPoints();

  private:
    void ShowTitle();

    QCPAxis& mAxis;
    TChartHost& mHost;
    bool mAutomatic = true;
    QString mCaption;
    bool mTitleVisible = true;
    QSharedPointer<QCPAxisTicker> mLinearTicker;
    QSharedPointer<QCPAxisTicker> mLogTicker;
};

}  // namespace tavrin
