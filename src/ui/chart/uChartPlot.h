#pragma once

// The QCustomPlot widget inside TChart. It reports what a plain QCustomPlot does not: that a
// freshly rendered frame has actually reached the screen, a left click that did not drag, and a
// finished selection rectangle. Internal to the chart adapter; user-interface thread only.

#include <qcustomplot.h>

#include <functional>

namespace tavrin {

class TChartPlot : public QCustomPlot {
  public:
    explicit TChartPlot(QWidget* parent);

    // Whether paintEvent is running: an immediate replot from inside it would recurse.
    bool Painting() const { return mPainting; }

    // Raised before each full replot, while the ranges may still be changed.
    std::function<void()> OnBeforeReplot;
    // Raised after the first paint that shows a replot's frame on a visible widget.
    std::function<void()> OnFreshFramePainted;
    // A left press and release without dragging; widget coordinates.
    std::function<void(QPoint)> OnClick;
    // The mouse moved with no button held, or left the widget; widget coordinates.
    std::function<void(QPoint)> OnHover;
    std::function<void()> OnLeave;
    // Asked after each layout: true when an axis's ticks were chosen for another length than
    // the layout gave it, which then runs again.
    std::function<bool()> TicksNeedLayout;
    // A selection rectangle dragged with the left button, from the press point (topLeft) to the
    // release point (bottomRight), not normalised: the drag direction counts.
    std::function<void(QRect)> OnSelectionRect;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void updateLayout() override;

  private:
    bool mFreshFrame = false;
    bool mPainting = false;
    bool mLeftPressed = false;
    bool mSelecting = false;
    QPoint mPressPos;
};

// A series' curve. With adaptive sampling off (every point drawn, without smoothing) it hands
// the painter only the points that shape the picture (TColumnOutline), so that a noisy curve of
// 100k points does not cost thirty times the budget of a result.
class TChartGraph : public QCPGraph {
  public:
    TChartGraph(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPGraph(keyAxis, valueAxis) {}

  protected:
    void getOptimizedLineData(QVector<QCPGraphData>* lineData,
                              const QCPGraphDataContainer::const_iterator& begin,
                              const QCPGraphDataContainer::const_iterator& end) const override;
};

// The legend: titles in a row, transparent, dotted lines between the entries.
class TChartLegend : public QCPLegend {
  public:
    TChartLegend();

  protected:
    void draw(QCPPainter* painter) override;
};

}  // namespace tavrin
