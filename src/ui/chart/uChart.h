#pragma once

// The chart of the Processing page: four line series against a bottom axis and a left or right
// axis, a legend above the plot area, zoom with a selection rectangle and axis clicks.
// A widget of the user-interface thread; the window owns it like any child widget.
//
// Mouse: dragging with the left button from the plot area towards the right zooms into the
// rectangle (every axis then keeps that fixed range); dragging towards the left undoes the zoom.
// A left click on an axis raises OnClickAxis.
//
// Reading: the mouse over the plot area shows the frequency and the value of every curve at
// the nearest point; a click there pins that readout, the next click releases it. Tick labels
// fit the axes at any size and zoom; an axis with no curve against it is hidden.

#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "uChartAxis.h"
#include "uChartHost.h"
#include "uChartSeries.h"

class QCPGraph;
class QCPLayoutGrid;

namespace tavrin {

class TChartPlot;
class TChartLegend;
class TChartCursor;

class TChart : public QWidget, private TChartHost {
    Q_OBJECT

  public:
    static constexpr int SeriesCount = 4;

    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    // index 0..3 stands for Series1..Series4.
    TChartSeries& Series(int index);
    const TChartSeries& Series(int index) const;

    // Curves besides Series1..Series4, for curves kept to compare with: drawn beneath the four,
    // listed in the legend after them when `inLegend`, left out of the cursor readout. The chart
    // owns them until RemoveExtraSeries.
    TChartSeries& AddExtraSeries(bool inLegend);
    void RemoveExtraSeries(TChartSeries& series);
    int ExtraSeriesCount() const { return static_cast<int>(mExtraSeries.size()); }

    TChartAxis& Axis(TAxisKind kind);
    const TChartAxis& Axis(TAxisKind kind) const;
    TChartAxis& BottomAxis() { return Axis(TAxisKind::Bottom); }
    TChartAxis& LeftAxis() { return Axis(TAxisKind::Left); }
    TChartAxis& RightAxis() { return Axis(TAxisKind::Right); }

    // Returns the axes to the state they had before the first mouse zoom (automatic, as a rule).
    // Nothing happens when the chart is not zoomed.
    void UndoZoom();
    bool Zoomed() const;

    bool LegendVisible() const;
    void SetLegendVisible(bool visible);

    // The area inside the axes, in this widget's coordinates, as laid out by the last redraw.
    QRect PlotArea() const;

    // Redraws and paints at once instead of in the next pass of the event loop. From inside a
    // chart event it is queued instead.
    void Redraw();

    // The cursor readout as shown: "f = 1000 Hz", then one line per curve with points
    // ("Re = 47.012 Ω"); empty while none is shown.
    QStringList CursorReadout() const;
    bool CursorPinned() const;

    // A left click on an axis; clicks elsewhere raise nothing.
    std::function<void(TAxisKind)> OnClickAxis;
    // A left click in the plot area, with the frequency (bottom axis) under it.
    std::function<void(double frequency)> OnClickPlot;

  private:
    struct TAxisState {
        bool Automatic;
        double Minimum;
        double Maximum;
    };

    void ContentChanged() override;
    void AppearanceChanged() override;
    void BringRangesUpToDate() override;

    void SetUpAppearance();
    void PrepareFrame();
    void ReportPaintedFrame();
    void ClickAt(QPoint pos);
    void ZoomTo(QRect dragged);
    void ShowAxesInUse();
    void FitLegend();

    TChartPlot* mPlot;
    TChartLegend* mLegend;
    TChartCursor* mCursor;
    // The legend's row above the plot area; taken out of the layout while the legend is hidden
    // so that the plot area grows.
    QCPLayoutGrid* mLegendRow;
    std::array<std::unique_ptr<TChartSeries>, SeriesCount> mSeries;
    // Each series' graph among the plot's graphs.
    std::array<int, SeriesCount> mGraphIndex{};
    struct TExtraSeries {
        std::unique_ptr<TChartSeries> Series;
        QCPGraph* Graph;
        bool InLegend;
    };
    std::vector<TExtraSeries> mExtraSeries;
    std::array<std::unique_ptr<TChartAxis>, 3> mAxes;
    bool mRangesStale = true;
    // Per series: whether the frame being drawn earns an after-draw report.
    std::array<bool, SeriesCount> mReportsDraw{};
    std::optional<std::array<TAxisState, 3>> mBeforeZoom;
};

}  // namespace tavrin
