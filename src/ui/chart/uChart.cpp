#include "uChart.h"

#include <QFontMetrics>
#include <QVBoxLayout>
#include <algorithm>

#include "uChartCursor.h"
#include "uChartPlot.h"

namespace tavrin {

namespace {

// Drawing and legend order: Series1, Series3, Series2, Series4.
constexpr std::array<int, TChart::SeriesCount> DrawingOrder = {0, 2, 1, 3};

constexpr int LegendLeft = 40;

// Curves that stay apart for every kind of colour vision, in Series1..Series4 order: measured
// values in vermillion and blue, the fitted model in bluish green and reddish purple, drawn
// dashed as well so that the two never read as one.
struct TLook {
    const char* Title;
    QColor Colour;
    Qt::PenStyle Style;
    double Width;
};
const std::array<TLook, TChart::SeriesCount> Looks = {{
    {"Re", QColor(0xD5, 0x5E, 0x00), Qt::SolidLine, 1},
    {"Im", QColor(0x00, 0x72, 0xB2), Qt::SolidLine, 1},
    {"R", QColor(0x00, 0x9E, 0x73), Qt::DashLine, 2},
    {"L/C", QColor(0xCC, 0x79, 0xA7), Qt::DashLine, 2},
}};

int AxisIndex(TAxisKind kind) {
    return static_cast<int>(kind);
}

}  // namespace

TChart::TChart(QWidget* parent) : QWidget(parent), mPlot(new TChartPlot(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mPlot);

    TChartHost& host = *this;
    mAxes[AxisIndex(TAxisKind::Bottom)] = std::make_unique<TChartAxis>(*mPlot->xAxis, host);
    mAxes[AxisIndex(TAxisKind::Left)] = std::make_unique<TChartAxis>(*mPlot->yAxis, host);
    mAxes[AxisIndex(TAxisKind::Right)] = std::make_unique<TChartAxis>(*mPlot->yAxis2, host);

    // Our legend replaces the plot's own, which sits inside the plot area.
    mPlot->axisRect()->insetLayout()->take(mPlot->legend);
    delete mPlot->legend;
    mLegend = new TChartLegend;
    mPlot->legend = mLegend;
    mLegendRow = new QCPLayoutGrid;
    mPlot->plotLayout()->insertRow(0);
    mPlot->plotLayout()->addElement(0, 0, mLegendRow);
    mLegendRow->addElement(0, 0, mLegend);
    // An empty element beside the legend takes the spare width, so the legend keeps its own.
    mLegendRow->addElement(0, 1, new QCPLayoutElement(mPlot));
    mLegendRow->setColumnStretchFactor(0, 0.001);
    mLegendRow->setColumnStretchFactor(1, 1.0);
    mLegend->setLayer(QStringLiteral("legend"));
    QMargins margins = mLegend->margins();
    margins.setLeft(LegendLeft);
    mLegend->setMargins(margins);

    for (int index : DrawingOrder) {
        QCPGraph* graph = new TChartGraph(mPlot->xAxis, mPlot->yAxis);
        mGraphIndex[index] = mPlot->graphCount() - 1;
        graph->setPen(QPen(Looks[index].Colour, Looks[index].Width, Looks[index].Style));
        graph->addToLegend(mLegend);
        mSeries[index] =
            std::make_unique<TChartSeries>(*graph, *mPlot->yAxis, *mPlot->yAxis2, host);
    }

    std::vector<const TChartSeries*> legendOrder;
    for (int index : DrawingOrder) {
        legendOrder.push_back(mSeries[index].get());
    }
    mCursor = new TChartCursor(*mPlot, legendOrder, BottomAxis());

    mPlot->OnBeforeReplot = [this] { PrepareFrame(); };
    mPlot->OnFreshFramePainted = [this] { ReportPaintedFrame(); };
    mPlot->OnClick = [this](QPoint pos) { ClickAt(pos); };
    mPlot->OnSelectionRect = [this](QRect dragged) { ZoomTo(dragged); };
    mPlot->OnHover = [this](QPoint pos) { mCursor->Follow(pos); };
    mPlot->OnLeave = [this] { mCursor->Leave(); };
    mPlot->TicksNeedLayout = [this] {
        return std::any_of(mAxes.begin(), mAxes.end(),
                           [](const auto& axis) { return !axis->TicksFitLayout(); });
    };

    SetUpAppearance();
    SetLegendVisible(false);
}

TChart::~TChart() {
    // The plot outlives this object's members by a moment: it must not call back into them.
    mPlot->OnBeforeReplot = nullptr;
    mPlot->OnFreshFramePainted = nullptr;
    mPlot->OnClick = nullptr;
    mPlot->OnSelectionRect = nullptr;
    mPlot->OnHover = nullptr;
    mPlot->OnLeave = nullptr;
    mPlot->TicksNeedLayout = nullptr;
}

void TChart::SetUpAppearance() {
    for (int i = 0; i < SeriesCount; ++i) {
        Series(i).SetTitle(QString::fromLatin1(Looks[i].Title));
        Series(i).SetColour(Looks[i].Colour);
        Series(i).SetAxisSide(TAxisSide::Left);
        Series(i).SetDrawAllPoints(false);
    }
    LeftAxis().SetTitleCaption(QStringLiteral("Re"));
    LeftAxis().SetTitleColour(Looks[0].Colour);
    RightAxis().SetTitleCaption(QStringLiteral("Im"));
    RightAxis().SetTitleColour(Looks[1].Colour);
    BottomAxis().SetTitleCaption(QStringLiteral("Frequency"));
    BottomAxis().SetUnit(QStringLiteral("Hz"));
    // The bottom axis's labels keep clear of the lowest label of the left axis in the corner.
    mPlot->xAxis->setTickLabelPadding(QFontMetrics(mPlot->xAxis->tickLabelFont()).height() / 2 + 2);

    mPlot->yAxis2->setVisible(true);
    mPlot->yAxis2->setTickLabels(true);
    for (QCPAxis* axis : {mPlot->xAxis, mPlot->yAxis, mPlot->yAxis2}) {
        axis->grid()->setVisible(true);
        axis->grid()->setZeroLinePen(Qt::NoPen);
    }
    mPlot->selectionRect()->setPen(QPen(Qt::darkGray, 0, Qt::DashLine));
}

TChartSeries& TChart::Series(int index) {
    return *mSeries.at(static_cast<size_t>(index));
}

const TChartSeries& TChart::Series(int index) const {
    return *mSeries.at(static_cast<size_t>(index));
}

TChartSeries& TChart::AddExtraSeries(bool inLegend) {
    constexpr const char* kBeneath = "beneath";
    if (mPlot->layer(kBeneath) == nullptr) {
        mPlot->addLayer(kBeneath, mPlot->layer("main"), QCustomPlot::limBelow);
    }
    auto* graph = new TChartGraph(mPlot->xAxis, mPlot->yAxis);
    graph->setLayer(kBeneath);
    if (inLegend) {
        graph->addToLegend(mLegend);
    } else {
        graph->removeFromLegend(mLegend);
    }
    TChartHost& host = *this;
    mExtraSeries.push_back(
        {std::make_unique<TChartSeries>(*graph, *mPlot->yAxis, *mPlot->yAxis2, host), graph,
         inLegend});
    ContentChanged();
    return *mExtraSeries.back().Series;
}

void TChart::RemoveExtraSeries(TChartSeries& series) {
    const auto found =
        std::find_if(mExtraSeries.begin(), mExtraSeries.end(),
                     [&](const auto& extra) { return extra.Series.get() == &series; });
    if (found == mExtraSeries.end()) {
        return;
    }
    QCPGraph* graph = found->Graph;
    mExtraSeries.erase(found);
    mPlot->removeGraph(graph);
    ContentChanged();
}

TChartAxis& TChart::Axis(TAxisKind kind) {
    return *mAxes.at(AxisIndex(kind));
}

const TChartAxis& TChart::Axis(TAxisKind kind) const {
    return *mAxes.at(AxisIndex(kind));
}

void TChart::UndoZoom() {
    if (!mBeforeZoom) {
        return;
    }
    for (size_t i = 0; i < mAxes.size(); ++i) {
        const TAxisState& state = (*mBeforeZoom)[i];
        if (state.Automatic) {
            mAxes[i]->SetAutomatic(true);
        } else {
            mAxes[i]->SetMinMax(state.Minimum, state.Maximum);
        }
    }
    mBeforeZoom.reset();
    ContentChanged();
}

bool TChart::Zoomed() const {
    return mBeforeZoom.has_value();
}

bool TChart::LegendVisible() const {
    return mLegend->visible();
}

void TChart::SetLegendVisible(bool visible) {
    QCPLayoutGrid* layout = mPlot->plotLayout();
    const bool inLayout = layout->hasElement(0, 0) && layout->element(0, 0) == mLegendRow;
    if (visible && !inLayout) {
        layout->insertRow(0);
        layout->addElement(0, 0, mLegendRow);
        // The plot area takes all the height the legend does not need.
        layout->setRowStretchFactor(0, 0.001);
    } else if (!visible && inLayout) {
        layout->take(mLegendRow);
        layout->simplify();
    }
    mLegend->setVisible(visible);
    AppearanceChanged();
}

QRect TChart::PlotArea() const {
    return mPlot->axisRect()->rect().translated(mPlot->pos());
}

void TChart::Redraw() {
    if (mPlot->Painting()) {
        mPlot->replot(QCustomPlot::rpQueuedReplot);
    } else {
        mPlot->replot(QCustomPlot::rpImmediateRefresh);
    }
}

void TChart::ContentChanged() {
    mRangesStale = true;
    mPlot->replot(QCustomPlot::rpQueuedReplot);
}

void TChart::AppearanceChanged() {
    mPlot->replot(QCustomPlot::rpQueuedReplot);
}

void TChart::BringRangesUpToDate() {
    if (!mRangesStale) {
        return;
    }
    mRangesStale = false;
    for (auto& axis : mAxes) {
        axis->FitToPoints();
    }
}

QStringList TChart::CursorReadout() const {
    return mCursor->Lines();
}

bool TChart::CursorPinned() const {
    return mCursor->Pinned();
}

void TChart::ShowAxesInUse() {
    QStringList units[2];
    bool drawn[2] = {false, false};
    bool rightInUse = false;
    for (int index : DrawingOrder) {
        const TChartSeries& series = Series(index);
        const bool right = series.AxisSide() == TAxisSide::Right;
        rightInUse = rightInUse || right;
        if (series.Count() > 0) {
            drawn[right] = true;
            if (!series.Unit().isEmpty() && !units[right].contains(series.Unit())) {
                units[right] << series.Unit();
            }
        }
    }
    RightAxis().SetShown(rightInUse);
    // Cleared curves leave the units as they were until the next result.
    if (drawn[0]) {
        LeftAxis().TakeCurveUnit(units[0].join(QStringLiteral(", ")));
    }
    if (drawn[1]) {
        RightAxis().TakeCurveUnit(units[1].join(QStringLiteral(", ")));
    }
}

void TChart::FitLegend() {
    if (!mLegend->visible()) {
        return;
    }
    // The legend names the curves drawn; while none is, it keeps the names it showed.
    std::vector<QCPAbstractPlottable*> drawn;
    for (int index : DrawingOrder) {
        if (Series(index).Count() > 0) {
            drawn.push_back(mPlot->graph(mGraphIndex[index]));
        }
    }
    // Then the curves kept to compare with, those meant to be named.
    for (const TExtraSeries& extra : mExtraSeries) {
        if (extra.InLegend && extra.Series->Count() > 0) {
            drawn.push_back(extra.Graph);
        }
    }
    std::vector<QCPAbstractPlottable*> listed;
    for (int i = 0; i < mLegend->itemCount(); ++i) {
        if (auto* item = qobject_cast<QCPPlottableLegendItem*>(mLegend->item(i))) {
            listed.push_back(item->plottable());
        }
    }
    if (!drawn.empty() && drawn != listed) {
        for (QCPAbstractPlottable* plottable : listed) {
            plottable->removeFromLegend(mLegend);
        }
        for (QCPAbstractPlottable* plottable : drawn) {
            plottable->addToLegend(mLegend);
            // A legend entry takes the colour of its curve's text.
            if (QCPPlottableLegendItem* item = mLegend->itemWithPlottable(plottable)) {
                item->setTextColor(plottable->pen().color());
            }
        }
    }
    if (mLegend->itemCount() == 0) {
        return;
    }
    // One row when it fits the width, else two entries a row.
    const QMargins margins = mLegend->margins();
    int oneRow =
        margins.left() + margins.right() + mLegend->columnSpacing() * (mLegend->itemCount() - 1);
    for (int i = 0; i < mLegend->itemCount(); ++i) {
        // Empty cells (an odd number of entries in two columns) take no width.
        if (const QCPAbstractLegendItem* item = mLegend->item(i)) {
            oneRow += item->minimumOuterSizeHint().width();
        }
    }
    const int wrap = oneRow > mPlot->width() ? 2 : 0;
    if (wrap != mLegend->wrap()) {
        mLegend->setWrap(wrap);
        mLegend->setFillOrder(QCPLayoutGrid::foColumnsFirst, true);
    }
}

void TChart::PrepareFrame() {
    BringRangesUpToDate();
    ShowAxesInUse();
    FitLegend();
    mCursor->Refresh();
    const double left = mPlot->xAxis->range().lower;
    for (int i = 0; i < SeriesCount; ++i) {
        mReportsDraw[i] = Series(i).HasPointAtOrRightOf(left);
    }
}

void TChart::ReportPaintedFrame() {
    for (int index : DrawingOrder) {
        TChartSeries& series = Series(index);
        if (mReportsDraw[index] && series.AfterDrawValues) {
            series.AfterDrawValues();
        }
    }
}

void TChart::ClickAt(QPoint pos) {
    // An axis catches clicks a few pixels on either side of its line; inside the plot area a
    // click belongs to the curves, not to the axis.
    if (mPlot->axisRect()->rect().contains(pos, true)) {
        mCursor->Click(pos);
        if (OnClickPlot) {
            OnClickPlot(mPlot->xAxis->pixelToCoord(pos.x()));
        }
        return;
    }
    constexpr std::array<TAxisKind, 3> kinds = {TAxisKind::Left, TAxisKind::Right,
                                                TAxisKind::Bottom};
    for (TAxisKind kind : kinds) {
        QCPAxis* axis = kind == TAxisKind::Bottom ? mPlot->xAxis
                        : kind == TAxisKind::Left ? mPlot->yAxis
                                                  : mPlot->yAxis2;
        if (axis->visible() && axis->selectTest(pos, false) >= 0) {
            if (OnClickAxis) {
                OnClickAxis(kind);
            }
            return;
        }
    }
}

void TChart::ZoomTo(QRect dragged) {
    // Whatever follows, the next frame must no longer show the rectangle.
    AppearanceChanged();
    if (dragged.right() < dragged.left()) {
        UndoZoom();
        return;
    }
    const QRect area = dragged.normalized();
    if (area.width() < 2 || area.height() < 2) {
        return;
    }
    if (!mBeforeZoom) {
        std::array<TAxisState, 3> states{};
        for (size_t i = 0; i < mAxes.size(); ++i) {
            states[i] = {mAxes[i]->Automatic(), mAxes[i]->Minimum(), mAxes[i]->Maximum()};
        }
        mBeforeZoom = states;
    }
    for (auto& axis : mAxes) {
        axis->SetAutomatic(false);
    }
    mPlot->axisRect()->zoom(QRectF(area), {mPlot->xAxis, mPlot->yAxis, mPlot->yAxis2});
}

}  // namespace tavrin
