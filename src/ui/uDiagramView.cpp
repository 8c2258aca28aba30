#include "uDiagramView.h"

#include <qcustomplot.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QSplitter>
#include <QVBoxLayout>
#include <cmath>
#include <numbers>

#include "uInputMarking.h"
#include "uNumberText.h"

namespace tavrin {
namespace {

// A curve of more points than this is drawn with every n-th point: far finer than any screen
// shows, and a few references of 100k points each stay quick to draw.
constexpr size_t kMostPointsDrawn = 8192;

const QColor kCurrentColour(0xD5, 0x5E, 0x00);
const QColor kGridColour(0xC8, 0xC8, 0xC8);
constexpr double kResistances[] = {0, 0.2, 0.5, 1, 2, 5};
constexpr double kReactances[] = {0.2, 0.5, 1, 2, 5};

std::complex<double> Reflection(std::complex<double> z) {
    return (z - 1.0) / (z + 1.0);
}

QCPCurve* NewCurve(QCustomPlot& plot, const QPen& pen) {
    auto* curve = new QCPCurve(plot.xAxis, plot.yAxis);
    curve->setPen(pen);
    curve->removeFromLegend();
    return curve;
}

void SetPoints(QCPCurve& curve, const std::vector<QPointF>& points) {
    QVector<QCPCurveData> data;
    data.reserve(static_cast<qsizetype>(points.size()));
    for (const QPointF& p : points) {
        data.append(QCPCurveData(static_cast<double>(data.size()), p.x(), p.y()));
    }
    curve.data()->set(data, true);
}

}  // namespace

TDiagramView::TDiagramView(QWidget* parent) : QWidget(parent), Plot(new QCustomPlot(this)) {
    setObjectName("DiagramView");
    Z0Row = new QWidget(this);
    auto* row = new QHBoxLayout(Z0Row);
    row->setContentsMargins(4, 0, 4, 0);
    edZ0 = new QLineEdit(Z0Row);
    edZ0->setObjectName("edZ0");
    edZ0->setFixedWidth(70);
    edZ0->setToolTip("The impedance the Smith chart is normalised to; R ref when empty");
    row->addWidget(new QLabel("Z0", Z0Row));
    row->addWidget(edZ0);
    row->addWidget(new QLabel("\u03A9", Z0Row));
    row->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(Z0Row);
    layout->addWidget(Plot, 1);
    connect(edZ0, &QLineEdit::textChanged, this, [this] { Z0Edited(); });

    Plot->setObjectName("DiagramPlot");
    Plot->setNoAntialiasingOnDrag(true);
    Plot->legend->setVisible(false);
    Plot->legend->setBrush(QColor(255, 255, 255, 200));
    Plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
    Current = NewCurve(*Plot, QPen(kCurrentColour, 1.5));
    Current->setName("Measured");
    connect(Plot, &QCustomPlot::afterLayout, this, [this] { FitEqualScale(); });
    SetKind(TDiagramKind::Nyquist);
}

void TDiagramView::SetKind(TDiagramKind kind) {
    FKind = kind;
    const bool smith = kind == TDiagramKind::Smith;
    Z0Row->setVisible(smith);
    for (QCPAxis* axis : {Plot->xAxis, Plot->yAxis}) {
        axis->setVisible(!smith);
        axis->grid()->setVisible(!smith);
    }
    DrawGrid();
    Redraw();
}

void TDiagramView::SetCurrent(const TTrace& trace) {
    FCurrent = MakeCurve(trace);
    Redraw();
}

TDiagramView::TCurve TDiagramView::MakeCurve(const TTrace& trace, const QColor& colour,
                                             const QString& name) {
    TCurve curve{trace.Kind, {}, colour, name};
    const size_t count = trace.Points.size();
    const size_t step = std::max<size_t>(1, (count + kMostPointsDrawn - 1) / kMostPointsDrawn);
    curve.Values.reserve(count / step + 2);
    for (size_t i = 0; i < count; i += step) {
        curve.Values.push_back(trace.Points[i].Value);
    }
    // The highest frequency always ends the curve.
    if (count > 0 && (count - 1) % step != 0) {
        curve.Values.push_back(trace.Points.back().Value);
    }
    return curve;
}

void TDiagramView::SetReferences(std::vector<TCurve> references) {
    FReferences = std::move(references);
    Redraw();
}

void TDiagramView::SetDefaultZ0(double ohms) {
    const bool valid = std::isfinite(ohms) && ohms > 0;
    if (!valid || ohms == DefaultZ0) {
        return;
    }
    DefaultZ0 = ohms;
    edZ0->setPlaceholderText(QString::fromStdString(FormatIniReal(ohms)));
    if (FKind == TDiagramKind::Smith && TypedZ0 == 0) {
        Redraw();
    }
}

double TDiagramView::Z0() const {
    return TypedZ0 > 0 ? TypedZ0 : DefaultZ0;
}

void TDiagramView::Z0Edited() {
    const std::string text(TrimBlanks(edZ0->text().toStdString()));
    const std::optional<double> typed = ParseTypedNumber(text);
    const bool inForce = text.empty() || (typed && *typed > 0 && std::isfinite(*typed));
    MarkInput(*edZ0, inForce);
    if (inForce) {
        TypedZ0 = text.empty() ? 0 : *typed;
        Redraw();
    }
}

std::vector<QPointF> TDiagramView::CurrentPoints() const {
    std::vector<QPointF> points;
    for (const QCPCurveData& d : *Current->data()) {
        points.emplace_back(d.key, d.value);
    }
    return points;
}

bool TDiagramView::Map(TTraceKind kind, std::complex<double> value, QPointF& point) const {
    if (FKind == TDiagramKind::Nyquist) {
        point = QPointF(value.real(), -value.imag());
        return true;
    }
    if (kind != TTraceKind::Impedance) {
        return false;
    }
    const std::complex<double> gamma = Reflection(value / Z0());
    if (!std::isfinite(gamma.real()) || !std::isfinite(gamma.imag())) {
        return false;
    }
    point = QPointF(gamma.real(), gamma.imag());
    return true;
}

void TDiagramView::Fill(QCPCurve& curve, const TCurve& values) const {
    std::vector<QPointF> points;
    points.reserve(values.Values.size());
    for (const std::complex<double> value : values.Values) {
        QPointF point;
        if (Map(values.Kind, value, point)) {
            points.push_back(point);
        }
    }
    SetPoints(curve, points);
}

void TDiagramView::Redraw() {
    Fill(*Current, FCurrent);
    for (QCPCurve* curve : References) {
        Plot->removePlottable(curve);
    }
    References.clear();
    Plot->legend->clearItems();
    for (const TCurve& reference : FReferences) {
        QCPCurve* curve = NewCurve(*Plot, QPen(reference.Colour, 1));
        curve->setName(reference.Name);
        Fill(*curve, reference);
        curve->addToLegend();
        References.push_back(curve);
    }
    if (!References.empty()) {
        Current->addToLegend();
    }
    Plot->legend->setVisible(!References.empty());
    const bool impedance = FCurrent.Kind == TTraceKind::Impedance;
    const bool noSmith = FKind == TDiagramKind::Smith && !FCurrent.Values.empty() && !impedance;
    Note->setText("The Smith chart shows impedances");
    Note->setVisible(noSmith);
    const QString unit = impedance ? QStringLiteral(" (\u03A9)") : QString();
    Plot->xAxis->setLabel("Re" + unit);
    Plot->yAxis->setLabel("\u2212Im" + unit);

    if (FKind == TDiagramKind::Smith) {
        // The unit circle and the labels around its rim.
        Extent = QRectF(-1.2, -1.12, 2.4, 2.24);
    } else {
        // The origin stays in view: the diagram is read from it.
        double left = 0, right = 0, bottom = 0, top = 0;
        const auto take = [&](const QCPCurve& curve) {
            for (const QCPCurveData& d : *curve.data()) {
                left = std::min(left, d.key);
                right = std::max(right, d.key);
                bottom = std::min(bottom, d.value);
                top = std::max(top, d.value);
            }
        };
        take(*Current);
        for (const QCPCurve* curve : References) {
            take(*curve);
        }
        double width = right - left, height = top - bottom;
        if (!(width > 0 || height > 0)) {
            left = bottom = -1;
            width = height = 2;
        }
        const double margin = 0.05 * std::max(width, height);
        Extent = QRectF(left - margin, bottom - margin, width + 2 * margin, height + 2 * margin);
    }
    FitEqualScale();
    // A hidden plot has nothing to paint into; it is drawn when it is shown.
    if (isVisible()) {
        Plot->replot(QCustomPlot::rpQueuedReplot);
    }
}

void TDiagramView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Beside the chart in a splitter: about square, and never more than two fifths of the width,
    // so that the curves against frequency keep most of it.
    if (auto* splitter = qobject_cast<QSplitter*>(parentWidget());
        splitter && !event->spontaneous()) {
        QList<int> sizes = splitter->sizes();
        const int index = splitter->indexOf(this);
        int total = 0;
        for (const int size : sizes) {
            total += size;
        }
        if (index >= 0 && sizes.size() == 2 && total > 0) {
            const int mine = std::min(total * 2 / 5, splitter->height());
            sizes[index] = mine;
            sizes[1 - index] = total - mine;
            splitter->setSizes(sizes);
        }
    }
    Plot->replot(QCustomPlot::rpQueuedReplot);
}

void TDiagramView::FitEqualScale() {
    const QRect area = Plot->axisRect()->rect();
    if (area.width() < 2 || area.height() < 2 || Extent.isNull()) {
        return;
    }
    // Units per pixel alike on both axes: the larger need sets it.
    const double scale = std::max(Extent.width() / area.width(), Extent.height() / area.height());
    const QPointF centre = Extent.center();
    const double halfWidth = scale * area.width() / 2;
    const double halfHeight = scale * area.height() / 2;
    Plot->xAxis->setRange(centre.x() - halfWidth, centre.x() + halfWidth);
    Plot->yAxis->setRange(centre.y() - halfHeight, centre.y() + halfHeight);
    // About one label every 70 pixels, so that labels never run into each other.
    Plot->xAxis->ticker()->setTickCount(std::max(2, area.width() / 70));
    Plot->yAxis->ticker()->setTickCount(std::max(2, area.height() / 50));
}

void TDiagramView::DrawGrid() {
    for (QCPCurve* curve : Grid) {
        Plot->removePlottable(curve);
    }
    Grid.clear();
    Plot->clearItems();  // the grid's labels; the note is made again below
    Note = new QCPItemText(Plot);
    Note->position->setType(QCPItemPosition::ptAxisRectRatio);
    Note->position->setCoords(0.5, 0.5);
    Note->setColor(Qt::darkGray);
    Note->setVisible(false);
    if (FKind != TDiagramKind::Smith) {
        return;
    }
    const QPen pen(kGridColour, 1);
    const auto addCurve = [&](const std::vector<QPointF>& points) {
        QCPCurve* curve = NewCurve(*Plot, pen);
        curve->setLayer(Plot->layer("grid"));
        SetPoints(*curve, points);
        Grid.push_back(curve);
    };
    const auto addLabel = [&](QPointF at, const QString& text) {
        auto* label = new QCPItemText(Plot);
        label->position->setCoords(at);
        label->setText(text);
        label->setColor(Qt::gray);
        QFont font = label->font();
        font.setPointSizeF(font.pointSizeF() * 0.8);
        label->setFont(font);
    };
    constexpr int kSteps = 180;
    // Circles of constant resistance, through the open circuit at +1.
    for (const double r : kResistances) {
        std::vector<QPointF> points;
        for (int i = 0; i <= kSteps; ++i) {
            const double angle = 2 * std::numbers::pi * i / kSteps;
            points.emplace_back(r / (1 + r) + std::cos(angle) / (1 + r), std::sin(angle) / (1 + r));
        }
        addCurve(points);
        if (r > 0) {
            addLabel(QPointF((r - 1) / (r + 1), -0.05), QString::number(r));
        }
    }
    // Arcs of constant reactance, from the rim (no resistance) to the open circuit.
    for (const double x : kReactances) {
        for (const double sign : {1.0, -1.0}) {
            std::vector<QPointF> points;
            for (int i = 0; i < kSteps; ++i) {
                const double r = std::tan(0.5 * std::numbers::pi * i / kSteps);
                const std::complex<double> g = Reflection({r, sign * x});
                points.emplace_back(g.real(), g.imag());
            }
            points.emplace_back(1, 0);
            addCurve(points);
            const std::complex<double> rim = Reflection({0, sign * x}) * 1.08;
            addLabel(QPointF(rim.real(), rim.imag()),
                     (sign > 0 ? "+" : "\u2212") + QString::number(x) + "j");
        }
    }
    addCurve({QPointF(-1, 0), QPointF(1, 0)});
}

}  // namespace tavrin
