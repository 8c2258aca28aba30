#include "uChartPlot.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "uChartOutline.h"

namespace tavrin {

namespace {

// Moves shorter than this (in pixels, summed over x and y) still count as a click, as in
// QCustomPlot itself.
constexpr int ClickTolerance = 3;

}  // namespace

TChartPlot::TChartPlot(QWidget* parent) : QCustomPlot(parent) {
    // Replots end in update(), not repaint(): the frame reaches the screen in a later paint
    // event, which is where the redraw is reported.
    setPlottingHint(QCP::phImmediateRefresh, false);
    setSelectionRectMode(QCP::srmCustom);
    // The cursor readout follows the mouse without a button held.
    setMouseTracking(true);
    connect(this, &QCustomPlot::beforeReplot, this, [this] {
        if (OnBeforeReplot) {
            OnBeforeReplot();
        }
        mFreshFrame = true;
    });
    connect(selectionRect(), &QCPSelectionRect::accepted, this,
            [this](const QRect& rect, QMouseEvent*) {
                if (OnSelectionRect) {
                    OnSelectionRect(rect);
                }
            });
}

void TChartPlot::paintEvent(QPaintEvent* event) {
    mPainting = true;
    QCustomPlot::paintEvent(event);
    // A grab of a hidden widget paints too, but nobody sees it.
    if (mFreshFrame && isVisible()) {
        mFreshFrame = false;
        if (OnFreshFramePainted) {
            OnFreshFramePainted();
        }
    }
    mPainting = false;
}

void TChartPlot::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) {
        return;
    }
    mLeftPressed = true;
    mPressPos = event->position().toPoint();
    // Zooming starts inside the plot area only; a press on an axis is meant as a click.
    mSelecting = axisRect()->rect().contains(mPressPos);
    if (mSelecting) {
        QCustomPlot::mousePressEvent(event);
    }
}

void TChartPlot::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (mSelecting) {
        QCustomPlot::mouseMoveEvent(event);
    } else if (event->buttons() == Qt::NoButton && OnHover) {
        OnHover(event->position().toPoint());
    }
}

void TChartPlot::leaveEvent(QEvent* event) {
    QCustomPlot::leaveEvent(event);
    if (OnLeave) {
        OnLeave();
    }
}

void TChartPlot::updateLayout() {
    QCustomPlot::updateLayout();
    // Ticks are chosen while the layout is prepared, for the axis lengths of the layout before.
    // When the new layout changed a length, choosing again for it settles in one more pass: the
    // labels' sizes across the axis, which decide the lengths, do not depend on their number.
    for (int pass = 0; pass < 2 && TicksNeedLayout && TicksNeedLayout(); ++pass) {
        QCustomPlot::updateLayout();
    }
}

void TChartPlot::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || !mLeftPressed) {
        return;
    }
    mLeftPressed = false;
    const QPoint pos = event->position().toPoint();
    if (mSelecting) {
        mSelecting = false;
        // Finishes the selection rectangle, or cancels it when this was a click.
        QCustomPlot::mouseReleaseEvent(event);
    }
    if ((pos - mPressPos).manhattanLength() <= ClickTolerance && OnClick) {
        OnClick(pos);
    }
}

void TChartPlot::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

void TChartPlot::wheelEvent(QWheelEvent* event) {
    event->accept();
}

void TChartGraph::getOptimizedLineData(QVector<QCPGraphData>* lineData,
                                       const QCPGraphDataContainer::const_iterator& begin,
                                       const QCPGraphDataContainer::const_iterator& end) const {
    if (adaptiveSampling() || antialiased() || lineData == nullptr || begin == end ||
        keyAxis() == nullptr || valueAxis() == nullptr) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }
    const QCPAxis& keys = *keyAxis();
    std::vector<int> kept;
    TColumnOutline outline(kept);
    // The keys ascend, so a column's key range, once known, places the points that follow it
    // without mapping each of them (two logarithms apiece on a logarithmic axis).
    double column = 0.0;
    double columnKeyEnd = -std::numeric_limits<double>::infinity();
    int index = 0;
    for (auto point = begin; point != end; ++point, ++index) {
        if (!(point->key < columnKeyEnd)) {
            column = std::floor(keys.coordToPixel(point->key));
            const double a = keys.pixelToCoord(column);
            const double b = keys.pixelToCoord(column + 1);
            // Keys the axis cannot place (NaN, or not positive on a logarithmic axis) fall
            // outside the range they map back to: those are placed one by one.
            const bool consistent = std::min(a, b) <= point->key && point->key < std::max(a, b);
            columnKeyEnd = consistent ? std::max(a, b) : -std::numeric_limits<double>::infinity();
        }
        // The values order the points as their pixels do and cost no logarithm either.
        outline.Add(index, column, point->value);
    }
    outline.Finish();
    lineData->resize(static_cast<qsizetype>(kept.size()));
    for (size_t i = 0; i < kept.size(); ++i) {
        (*lineData)[static_cast<qsizetype>(i)] = *(begin + kept[i]);
    }
}

TChartLegend::TChartLegend() {
    setFillOrder(QCPLayoutGrid::foColumnsFirst);
    setWrap(0);
    setBrush(Qt::NoBrush);
    setBorderPen(Qt::NoPen);
    setIconSize(10, 10);
}

void TChartLegend::draw(QCPPainter* painter) {
    QCPLegend::draw(painter);
    painter->setPen(QPen(Qt::black, 0, Qt::DotLine));
    const QRect inner = rect();
    for (int i = 1; i < itemCount(); ++i) {
        // A grid wrapped to two columns holds an empty cell after an odd number of entries.
        if (item(i - 1) == nullptr || item(i) == nullptr) {
            continue;
        }
        const QRect before = item(i - 1)->outerRect();
        const QRect after = item(i)->outerRect();
        // Between neighbours in a row only, when the entries take two rows.
        if (before.top() != after.top()) {
            continue;
        }
        const int x = (before.right() + after.left() + 1) / 2;
        painter->drawLine(QPoint(x, std::max(inner.top(), after.top())),
                          QPoint(x, std::min(inner.bottom(), after.bottom())));
    }
}

}  // namespace tavrin
