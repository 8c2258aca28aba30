// What the reference curves and the diagrams draw: the values of a reference as the graph
// options show them, only curves of the mode's kind, a legend of any length, the points of the
// Nyquist and Smith diagrams, and the file names the export writes.

#include <QTest>
#include <cmath>

#include "uChart.h"
#include "uDiagramView.h"
#include "uExportDialog.h"
#include "uReferenceCurves.h"

namespace tavrin::test {
namespace {

void Settle() {
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents();
    }
}

TReference Reference(const char* name, TTraceKind kind, bool shown = true) {
    TReference reference{name, shown, {}};
    reference.Trace.Kind = kind;
    reference.Trace.Points = {{100, {3, -4}}, {200, {-1, 2}}};
    return reference;
}

}  // namespace

class CurveViewTests : public QObject {
    Q_OBJECT

  private slots:
    void referencesFollowTheGraphOptionsAndTheMode() {
        TChart chart;
        chart.resize(220, 300);  // narrow: the legend takes two columns
        chart.show();
        chart.Series(1).SetAxisSide(TAxisSide::Right);
        TReferenceCurves curves(chart);
        const std::vector<TReference> references = {
            Reference("impedance", TTraceKind::Impedance),
            Reference("hidden", TTraceKind::Impedance, false),
            Reference("transfer", TTraceKind::Transfer)};

        TReferenceCurves::TOptions options;
        QCOMPARE(curves.Show(references, options), size_t{0});  // a calibration run: none
        QCOMPARE(chart.ExtraSeriesCount(), 0);

        options.Kind = TTraceKind::Impedance;
        QCOMPARE(curves.Show(references, options), size_t{1});
        QCOMPARE(chart.ExtraSeriesCount(), 2);
        chart.SetLegendVisible(true);
        Settle();  // five entries in the legend, drawn in two columns with one cell empty
        QVERIFY(!chart.grab().isNull());

        // The two curves read Re and Im as stored, on the sides of Series1 and Series2.
        QCOMPARE(chart.Axis(TAxisKind::Left).Minimum() <= -1, true);
        QVERIFY(chart.Axis(TAxisKind::Right).Maximum() >= 2);

        options.ModPhase = true;
        curves.Show(references, options);
        QVERIFY(chart.Axis(TAxisKind::Left).Maximum() >= 5);  // |3 - 4j|

        // A transfer function is drawn conjugated, like the display's transfer curves.
        options = {TTraceKind::Transfer, false, false};
        QCOMPARE(curves.Show(references, options), size_t{1});
        Settle();
        QVERIFY(chart.Axis(TAxisKind::Right).Maximum() >= 4);
        QVERIFY(chart.Axis(TAxisKind::Right).Minimum() <= -2);

        options.LogZ = true;
        curves.Show(references, options);
        Settle();
        QVERIFY(chart.Axis(TAxisKind::Left).Minimum() >= 0);  // absolute values

        options.Kind.reset();
        curves.Show(references, options);
        QCOMPARE(chart.ExtraSeriesCount(), 0);
    }

    void nyquistAndSmithPoints() {
        TDiagramView view;
        view.resize(300, 300);
        view.show();
        TTrace trace;
        trace.Kind = TTraceKind::Impedance;
        for (int i = 1; i <= 20000; ++i) {  // more than a diagram draws: every third point
            trace.Points.push_back({static_cast<double>(i), {50.0 + i, -1.0 * i}});
        }
        view.SetCurrent(trace);
        std::vector<QPointF> points = view.CurrentPoints();
        QCOMPARE(points.size(), size_t{6668});
        QCOMPARE(points.front(), QPointF(51, 1));        // Re across, -Im up
        QCOMPARE(points.back(), QPointF(20050, 20000));  // the last point is always drawn

        view.SetKind(TDiagramKind::Smith);
        view.SetDefaultZ0(50);
        points = view.CurrentPoints();
        const std::complex<double> z = std::complex<double>(51, -1) / 50.0;
        const std::complex<double> gamma = (z - 1.0) / (z + 1.0);
        QVERIFY(std::abs(std::complex<double>(points[0].x(), points[0].y()) - gamma) < 1e-15);
        for (const QPointF& p : points) {
            QVERIFY(std::hypot(p.x(), p.y()) < 1);  // a passive impedance
        }
        view.SetDefaultZ0(-3);  // no impedance to normalise to: the last one stays
        QCOMPARE(view.Z0(), 50.0);

        // Transfer functions have no place on a Smith chart; the Nyquist diagram takes them.
        trace.Kind = TTraceKind::Transfer;
        view.SetCurrent(trace);
        QVERIFY(view.CurrentPoints().empty());
        view.SetKind(TDiagramKind::Nyquist);
        QCOMPARE(view.CurrentPoints().size(), size_t{6668});
        Settle();
        QVERIFY(!view.grab().isNull());
    }

    void exportFileNames() {
        QCOMPARE(ExportPathFor("/a/b.zma", TTraceKind::Impedance, ".csv"), std::string("/a/b.zma"));
        QCOMPARE(ExportPathFor("/a/b.ZMA", TTraceKind::Impedance, ".csv"), std::string("/a/b.ZMA"));
        QCOMPARE(ExportPathFor("/a/b", TTraceKind::Impedance, ".s1p"), std::string("/a/b.s1p"));
        // A name whose extension names a format that does not suit the curve keeps it and gets
        // the chosen one added, rather than being written in the wrong format.
        QCOMPARE(ExportPathFor("/a/b.zma", TTraceKind::Transfer, ".frd"),
                 std::string("/a/b.zma.frd"));
        QCOMPARE(ExportPathFor("/a.v1/b", TTraceKind::Transfer, ".csv"),
                 std::string("/a.v1/b.csv"));
    }
};

}  // namespace tavrin::test

QTEST_MAIN(tavrin::test::CurveViewTests)
#include "CurveViewTests.moc"
