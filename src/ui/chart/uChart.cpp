#include "uChart.h"

#include <QVBoxLayout>

#include "uChartPlot.h"

namespace tavrin {

namespace {

// Drawing and legend order: Series1, Series3, Series2, Series4.
constexpr std::array<int, TChart::SeriesCount> DrawingOrder = {0, 2, 1, 3};

constexpr int LegendLeft = 40;

int AxisIndex(TAxisKind kind) {
    return static_cast<int>(kind);
}

}  // namespace

TChart::TChart(QWidget* parent) : QWidget(parent), mPlot(new TChartPlot(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mPlot);

    TChartHost& host = *this;
    mAxes[AxisIndex(TAxisKind::Bottom)] = std::make_unique<TChartAxis>(*mPlot->xAxis, host, 1);
    mAxes[AxisIndex(TAxisKind::Left)] = std::make_unique<TChartAxis>(*mPlot->yAxis, host, 2);
    mAxes[AxisIndex(TAxisKind::Right)] = std::make_unique<TChartAxis>(*mPlot->yAxis2, host, 2);

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
        graph->addToLegend(mLegend);
        mSeries[index] =
            std::make_unique<TChartSeries>(*graph, *mPlot->yAxis, *mPlot->yAxis2, host);
    }

    mPlot->OnBeforeReplot = [this] { PrepareFrame(); };
    mPlot->OnFreshFramePainted = [this] { ReportPaintedFrame(); };
    mPlot->OnClick = [this](QPoint pos) { ClickAt(pos); };
    mPlot->OnSelectionRect = [this](QRect dragged) { ZoomTo(dragged); };

    SetUpAppearance();
    SetLegendVisible(false);
}

TChart::~TChart() {
    // The plot outlives this object's members by a moment: it must not call back into them.
    mPlot->OnBeforeReplot = nullptr;
    mPlot->OnFreshFramePainted = nullptr;
    mPlot->OnClick = nullptr;
    mPlot->OnSelectionRect = nullptr;
}

void TChart::SetUpAppearance() {
    struct TLook {
        const char* Title;
        QColor Colour;
    };
    const std::array<TLook, SeriesCount> looks = {{
        {"Re", QColor(255, 0, 0)},
        {"Im", QColor(0, 0, 255)},
        {"R", QColor(128, 0, 64)},
        {"L/C", QColor(0, 0, 128)},
    }};
    for (int i = 0; i < SeriesCount; ++i) {
        Series(i).SetTitle(QString::fromLatin1(looks[i].Title));
        Series(i).SetColour(looks[i].Colour);
        Series(i).SetAxisSide(TAxisSide::Left);
        Series(i).SetDrawAllPoints(false);
    }
    LeftAxis().SetTitleCaption(QStringLiteral("Re"));
    LeftAxis().SetTitleColour(QColor(255, 0, 0));
    RightAxis().SetTitleCaption(QStringLiteral("Im"));
    RightAxis().SetTitleColour(QColor(0, 0, 255));

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

void TChart::PrepareFrame() {
    BringRangesUpToDate();
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
