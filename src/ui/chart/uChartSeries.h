#pragma once

// One line series of the chart: (x, y) points of doubles kept in ascending x order, drawn
// against the bottom axis and the left or right axis. Owned by TChart; used on the
// user-interface thread only.

#include <QColor>
#include <QString>
#include <functional>
#include <span>

class QCPAxis;
class QCPGraph;

namespace tavrin {

class TChartHost;

enum class TAxisSide { Left, Right };

class TChartSeries {
  public:
    TChartSeries(QCPGraph& graph, QCPAxis& leftAxis, QCPAxis& rightAxis, TChartHost& host);
    TChartSeries(const TChartSeries&) = delete;
    TChartSeries& operator=(const TChartSeries&) = delete;

    QString Title() const;
    void SetTitle(const QString& title);
    // What the curve is, in words, for the legend and the cursor readout ("Re measured",
    // "Left input"); empty means the title.
    QString Description() const;
    void SetDescription(const QString& description);
    // What the legend and the readout call the curve: the description, else the title.
    QString Name() const;
    // Unit of the y values ("Ω", "°"); the axis the curve is drawn against shows it.
    QString Unit() const;
    void SetUnit(const QString& unit);
    // The line and the legend text.
    QColor Colour() const;
    void SetColour(const QColor& colour);
    // Solid, dashed or dotted line.
    void SetLineStyle(Qt::PenStyle style);
    TAxisSide AxisSide() const;
    void SetAxisSide(TAxisSide side);
    // Off: points that share a screen column are reduced to what the column shows, which keeps
    // a curve of 100k points cheap to draw; lines are smoothed. On: every point is drawn except
    // one on exactly the pixel of the point before it; lines are not smoothed.
    bool DrawAllPoints() const;
    void SetDrawAllPoints(bool drawAll);

    void Clear();
    // Replaces all points in one go: x[i] with y[i], the shorter length counting. Ascending x
    // is the cheap case; any other order is sorted first.
    void SetPoints(std::span<const double> x, std::span<const double> y);
    // Appends a point, kept in x order.
    void Add(double x, double y);
    int Count() const;
    // Point i in x order; 0 outside 0..Count()-1.
    double X(int index) const;
    double Y(int index) const;
    // Whether some point lies at or right of x, the rule for reporting a redraw.
    bool HasPointAtOrRightOf(double x) const;

    // Raised on the user-interface thread once per redraw that has been painted, when the
    // series holds a point at or right of the lower end of the visible x range. The handler may
    // change the chart (its redraw is queued) but must not run a modal loop.
    std::function<void()> AfterDrawValues;

  private:
    void ShowName();

    QCPGraph& mGraph;
    QCPAxis& mLeftAxis;
    QCPAxis& mRightAxis;
    TChartHost& mHost;
    QString mTitle;
    QString mDescription;
    QString mUnit;
};

}  // namespace tavrin
