#pragma once

// A complex curve in its own plane, beside the curves against frequency: the Nyquist diagram
// (Re across, -Im up, one unit as long on both axes, so that an RC network's arc is a true
// semicircle) or the Smith chart (the reflection coefficient of the impedance normalised to Z0,
// typed above the chart; R ref when the field is empty). The current curve and the reference
// curves shown beside it. A widget of the user-interface thread.

#include <QColor>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <complex>
#include <vector>

#include "uTrace.h"

class QCPCurve;
class QCPItemText;
class QCustomPlot;
class QLabel;
class QLineEdit;

namespace tavrin {

enum class TDiagramKind : uint8_t {
    Nyquist,
    Smith,
};

class TDiagramView : public QWidget {
  public:
    explicit TDiagramView(QWidget* parent = nullptr);

    TDiagramKind Kind() const { return FKind; }
    void SetKind(TDiagramKind kind);

    // A curve as the view keeps it: its values, every n-th of a long curve (far finer than any
    // screen shows) and always the last.
    struct TCurve {
        TTraceKind Kind = TTraceKind::Impedance;
        std::vector<std::complex<double>> Values;
        QColor Colour;
        QString Name;
    };
    static TCurve MakeCurve(const TTrace& trace, const QColor& colour = {},
                            const QString& name = {});

    // The current curve (an empty trace clears it).
    void SetCurrent(const TTrace& trace);
    void SetReferences(std::vector<TCurve> references);

    // The Smith chart's Z0 while its field is empty, ohms.
    void SetDefaultZ0(double ohms);
    // The Z0 in force, ohms.
    double Z0() const;

    // The current curve as drawn, in the diagram's plane.
    std::vector<QPointF> CurrentPoints() const;

    QSize minimumSizeHint() const override { return {140, 140}; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void Redraw();
    void DrawGrid();
    // The point of the diagram for a value of a curve of that kind; false when it has none.
    bool Map(TTraceKind kind, std::complex<double> value, QPointF& point) const;
    void Fill(QCPCurve& curve, const TCurve& values) const;
    void FitEqualScale();
    void Z0Edited();

    QCustomPlot* Plot;
    QWidget* Z0Row;
    QLineEdit* edZ0;
    QCPCurve* Current;
    QCPItemText* Note;
    std::vector<QCPCurve*> References;
    std::vector<QCPCurve*> Grid;
    TDiagramKind FKind = TDiagramKind::Nyquist;
    TCurve FCurrent;
    std::vector<TCurve> FReferences;
    double DefaultZ0 = 1;
    double TypedZ0 = 0;  // 0: none typed
    // The extent of what is drawn, in the diagram's units.
    QRectF Extent;
};

}  // namespace tavrin
