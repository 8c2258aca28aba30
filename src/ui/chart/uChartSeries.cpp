#include "uChartSeries.h"

#include <qcustomplot.h>

#include <algorithm>

#include "uChartHost.h"

namespace tavrin {

TChartSeries::TChartSeries(QCPGraph& graph, QCPAxis& leftAxis, QCPAxis& rightAxis, TChartHost& host)
    : mGraph(graph), mLeftAxis(leftAxis), mRightAxis(rightAxis), mHost(host) {}

QString TChartSeries::Title() const {
    return mTitle;
}

void TChartSeries::SetTitle(const QString& title) {
    mTitle = title;
    ShowName();
}

QColor TChartSeries::Colour() const {
    return mGraph.pen().color();
}

void TChartSeries::SetColour(const QColor& colour) {
    QPen pen = mGraph.pen();
    pen.setColor(colour);
    mGraph.setPen(pen);
    if (QCPLegend* legend = mGraph.parentPlot()->legend) {
        if (QCPPlottableLegendItem* item = legend->itemWithPlottable(&mGraph)) {
            item->setTextColor(colour);
        }
    }
    mHost.AppearanceChanged();
}

void TChartSeries::SetLineStyle(Qt::PenStyle style) {
    QPen pen = mGraph.pen();
    pen.setStyle(style);
    mGraph.setPen(pen);
    mHost.AppearanceChanged();
}

TAxisSide TChartSeries::AxisSide() const {
    return mGraph.valueAxis() == &mRightAxis ? TAxisSide::Right : TAxisSide::Left;
}

void TChartSeries::SetAxisSide(TAxisSide side) {
    QCPAxis* axis = side == TAxisSide::Right ? &mRightAxis : &mLeftAxis;
    if (mGraph.valueAxis() == axis) {
        return;
    }
    mGraph.setValueAxis(axis);
    mHost.ContentChanged();
}

bool TChartSeries::DrawAllPoints() const {
    return !mGraph.adaptiveSampling();
}

void TChartSeries::SetDrawAllPoints(bool drawAll) {
    mGraph.setAdaptiveSampling(!drawAll);
    // Every point means pixel by pixel; smoothing them would double the drawing time.
    mGraph.setAntialiased(!drawAll);
    mHost.AppearanceChanged();
}

void TChartSeries::Clear() {
    mGraph.data()->clear();
    mHost.ContentChanged();
}

void TChartSeries::SetPoints(std::span<const double> x, std::span<const double> y) {
    const size_t count = std::min(x.size(), y.size());
    x = x.first(count);
    // A vector of plain pairs copied from one element (default construction would call the
    // library's constructor once per point), filled in place and handed over without a copy.
    QVector<QCPGraphData> points(static_cast<qsizetype>(count), QCPGraphData(0.0, 0.0));
    QCPGraphData* point = points.data();
    bool ascending = true;  // checked on the way, as std::is_sorted would
    for (size_t i = 0; i < count; ++i) {
        point[i].key = x[i];
        point[i].value = y[i];
        ascending &= i == 0 || !(x[i] < x[i - 1]);
    }
    mGraph.data()->set(points, ascending);
    mHost.ContentChanged();
}

void TChartSeries::Add(double x, double y) {
    mGraph.addData(x, y);
    mHost.ContentChanged();
}

int TChartSeries::Count() const {
    return mGraph.data()->size();
}

double TChartSeries::X(int index) const {
    if (index < 0 || index >= Count()) {
        return 0.0;
    }
    return mGraph.data()->at(index)->key;
}

double TChartSeries::Y(int index) const {
    if (index < 0 || index >= Count()) {
        return 0.0;
    }
    return mGraph.data()->at(index)->value;
}

bool TChartSeries::HasPointAtOrRightOf(double x) const {
    const QSharedPointer<QCPGraphDataContainer> data = mGraph.data();
    return !data->isEmpty() && (data->constEnd() - 1)->key >= x;
}

QString TChartSeries::Description() const {
    return mDescription;
}

void TChartSeries::SetDescription(const QString& description) {
    mDescription = description;
    ShowName();
}

QString TChartSeries::Name() const {
    return mDescription.isEmpty() ? mTitle : mDescription;
}

void TChartSeries::ShowName() {
    // The legend shows the graph's name.
    mGraph.setName(Name());
    mHost.AppearanceChanged();
}

QString TChartSeries::Unit() const {
    return mUnit;
}

void TChartSeries::SetUnit(const QString& unit) {
    if (unit == mUnit) {
        return;
    }
    mUnit = unit;
    mHost.AppearanceChanged();
}

}  // namespace tavrin
