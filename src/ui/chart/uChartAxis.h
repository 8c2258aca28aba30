#pragma once

// One axis of the chart (bottom, left or right). Owned by TChart; user-interface thread only.

#include <QColor>
#include <QRect>
#include <QSharedPointer>
#include <QString>
#include <QVector>

class QCPAxis;

namespace tavrin {

class TChartHost;
class TChartTicker;

enum class TAxisKind { Bottom, Left, Right };

// A tick label as drawn: its text and the box of the text in the chart's coordinates.
struct TTickLabel {
    QString Text;
    QRect Box;
};

class TChartAxis {
  public:
    // Tick labels are as many and as precise as the axis's length and step allow: distinct,
    // never overlapping, "." as the decimal point.
    TChartAxis(QCPAxis& axis, TChartHost& host);
    ~TChartAxis();
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
    // Shown in brackets after the caption, and alone while the caption is hidden: "Re [Ω]",
    // "[Ω]". The left and right axes take the units of the curves drawn against them.
    QString Unit() const;
    void SetUnit(const QString& unit);
    // The title as drawn.
    QString TitleText() const;
    bool GridVisible() const;
    void SetGridVisible(bool visible);

    // Sets the unit while a redraw is being prepared, which then shows it.
    void TakeCurveUnit(const QString& unit);

    // An axis without curves against it is hidden with its grid, so that no scale stands
    // beside the plot that nothing is drawn against. Set by the chart.
    bool Shown() const;
    void SetShown(bool shown);

    // The labels of the last redraw.
    QVector<TTickLabel> TickLabels() const;

    // Called by the chart before each redraw that follows a content change.
    void FitToPoints();
    // Whether the ticks were chosen for the length the axis has in the current layout; the
    // chart lays out again until they were.
    bool TicksFitLayout() const;

  private:
    void ShowTitle();
    void ShowGrid();

    QCPAxis& mAxis;
    TChartHost& mHost;
    bool mAutomatic = true;
    QString mCaption;
    QString mUnit;
    bool mTitleVisible = true;
    bool mGridVisible = true;
    bool mShown = true;
    QSharedPointer<TChartTicker> mTicker;
};

}  // namespace tavrin
