// Export, reference curves and the diagrams in the window, on the virtual box: the low-pass's
// Nyquist arc against the analytic circle, an export read back, a reference kept, compared
// with and found again after a restart, the Smith chart of a capacitor, and a malformed file
// that changes nothing.

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "FormTestKit.h"
#include "uChart.h"
#include "uTraceImport.h"

namespace tavrin::testing {
namespace {

// Measures with the box's `device` until `results` results have arrived after the first.
void Measure(TFormRig& rig, int device, int results) {
    rig.SelectDevices(device);
    rig.Click("btnStartStop");
    const TCurveTools& curves = rig.Form().Curves();
    QTRY_VERIFY_WITH_TIMEOUT(curves.Latest().has_value(), kResultTimeoutMs);
    for (int i = 0; i < results; ++i) {
        const double before = std::abs(curves.Latest()->Points[10].Value);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(curves.Latest()->Points[10].Value) != before,
                                 kResultTimeoutMs);
    }
    rig.Click("btnStartStop");
}

struct TCircle {
    double X = 0, Y = 0, Radius = 0;
};

// The least-squares circle through the points (Kasa's fit: x^2 + y^2 + D x + E y + F = 0).
TCircle FitCircle(const std::vector<QPointF>& points) {
    double m[3][4] = {};
    for (const QPointF& p : points) {
        const double row[3] = {p.x(), p.y(), 1};
        const double rhs = -(p.x() * p.x() + p.y() * p.y());
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                m[i][j] += row[i] * row[j];
            }
            m[i][3] += row[i] * rhs;
        }
    }
    for (int i = 0; i < 3; ++i) {  // Gauss-Jordan; the normal matrix is positive definite
        for (int k = 0; k < 3; ++k) {
            if (k != i) {
                const double f = m[k][i] / m[i][i];
                for (int j = 0; j < 4; ++j) {
                    m[k][j] -= f * m[i][j];
                }
            }
        }
    }
    const double d = m[0][3] / m[0][0], e = m[1][3] / m[1][1], f = m[2][3] / m[2][2];
    return {-d / 2, -e / 2, std::sqrt(d * d / 4 + e * e / 4 - f)};
}

}  // namespace

class OpenDataTests : public QObject {
    Q_OBJECT

  private slots:
    void lowPassArcExportReferenceAndRestart() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        Calibrate(rig);
        ChooseMode(rig, 3);
        rig.Click("btnStartStop");  // leaves the transfer graph's first results to the loop
        rig.Click("btnStartStop");
        rig.Form().Curves().ShowDiagram(TDiagramKind::Nyquist);
        Measure(rig, kLowPass, 3);

        // 100 ohm into 1 uF loaded by R ref = 100 ohm: H = 0.5 / (1 + j f / fc), an arc of
        // radius 0.25 about (0.25, 0), above the axis with -Im upwards.
        const std::vector<QPointF> arc = rig.Form().Diagram().CurrentPoints();
        QVERIFY(arc.size() > 1000);
        const TCircle circle = FitCircle(arc);
        QVERIFY2(std::fabs(circle.Radius / 0.25 - 1) < 1e-3,
                 qPrintable(QString::number(circle.Radius, 'g', 8)));
        QVERIFY(std::fabs(circle.X - 0.25) < 1e-3 && std::fabs(circle.Y) < 1e-3);
        QVERIFY(arc[arc.size() / 2].y() > 0.1);
        rig.Form().grab().save(TAVRIN_SCREENSHOT_DIR "/processing-nyquist.png");

        // Export at 24 points per octave, and read back as the file says.
        const QString exported = folder.path() + "/low-pass";
        TExportChoice asked;
        rig.Form().Curves().AskExport = [&](TTraceKind kind, const TExportChoice& last) {
            asked = last;
            return TExportChoice{ExportPathFor(exported.toStdString(), kind, ".frd"), 24};
        };
        rig.Click("btnExport");
        const TTraceRead read = ReadTraceFile((exported + ".frd").toStdString());
        QVERIFY2(read.Trace, read.Error.c_str());
        QCOMPARE(read.Trace->Kind, TTraceKind::Transfer);
        QCOMPARE(read.Trace->Info.PointsPerOctave, 24);
        QCOMPARE(read.Trace->Info.SampleRate, 48000u);
        // Fewer points than bins, and at most one a cell; the low cells hold no bin at N = 4096.
        QVERIFY(read.Trace->Points.size() > 100);
        QVERIFY(read.Trace->Points.size() <= 24 * std::log2(22000.0 / 20) + 2);
        QVERIFY(std::fabs(read.Trace->Points[0].Value - 0.5) < 0.01);
        QVERIFY(std::arg(read.Trace->Points.back().Value) < -1);  // a low-pass lags

        // Kept as a reference: drawn in the legend, and the result as a ratio to it near 1.
        rig.Form().Curves().AskName = [](const QString&, const QString&) {
            return std::optional<std::string>("Low-pass before");
        };
        rig.Form().Curves().StoreCurrent();
        QCOMPARE(rig.Form().Chart().ExtraSeriesCount(), 2);
        QVERIFY(rig.Form().Chart().LegendVisible());  // which names it
        rig.Form().Curves().CompareWith("Low-pass before", TCompareMode::Ratio);
        Measure(rig, kLowPass, 1);
        const TChartSeries& ratio = rig.Form().Chart().Series(0);
        QVERIFY(ratio.Count() > 1000);
        for (int i = 0; i < ratio.Count(); i += 97) {
            QVERIFY2(std::fabs(ratio.Y(i) - 1) < 0.01, qPrintable(QString::number(ratio.Y(i))));
        }

        rig.Restart();
        QCOMPARE(rig.Form().Curves().Store().References().size(), size_t{1});
        QCOMPARE(rig.Form().Curves().Store().References()[0].Name, std::string("Low-pass before"));
        QCOMPARE(rig.Form().Chart().ExtraSeriesCount(), 2);  // mode 3 came back with it
        rig.Form().Curves().ShowDiagram(TDiagramKind::Nyquist);
        Measure(rig, kLowPass, 1);
        rig.Form().grab().save(TAVRIN_SCREENSHOT_DIR "/processing-reference.png");
        QVERIFY(rig.Messages.Texts.isEmpty());
    }

    void smithChartOfACapacitor() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        Calibrate(rig);
        ChooseMode(rig, 1);
        rig.Find<QComboBox>("cbVal")->lineEdit()->setText("100");
        rig.Form().Curves().ShowDiagram(TDiagramKind::Smith);
        Measure(rig, kCapacitor, 1);
        TDiagramView& smith = rig.Form().Diagram();
        QCOMPARE(smith.Z0(), 100.0);  // R ref while nothing is typed

        const auto expectAt = [&](double z0) {
            const TTrace& trace = *rig.Form().Curves().Latest();
            const std::vector<QPointF> points = smith.CurrentPoints();
            QCOMPARE(points.size(), trace.Points.size());
            const std::complex<double> z = trace.Points[5].Value / z0;
            const std::complex<double> gamma = (z - 1.0) / (z + 1.0);
            QVERIFY(std::fabs(points[5].x() - gamma.real()) < 1e-12);
            QVERIFY(std::fabs(points[5].y() - gamma.imag()) < 1e-12);
            QVERIFY(gamma.imag() < 0);  // a capacitor lies on the lower half
        };
        expectAt(100);
        QLineEdit* z0 = rig.Find<QLineEdit>("edZ0");
        z0->setText("50");
        QCOMPARE(smith.Z0(), 50.0);
        expectAt(50);
        z0->setText("-5");  // not an impedance to normalise to: red, 50 stays
        QCOMPARE(z0->palette().color(QPalette::Text), QColor(Qt::red));
        QCOMPARE(smith.Z0(), 50.0);
        rig.Form().grab().save(TAVRIN_SCREENSHOT_DIR "/processing-smith.png");
    }

    void malformedCurveFilesChangeNothing() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        const QString bad = folder.path() + "/bad.zma";
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("* a speaker\r\n10 8 0\r\n20 8,5 0\r\n");
        file.close();
        rig.Form().Curves().AskCurveFile = [&] { return std::optional(bad.toStdString()); };
        rig.Form().Curves().LoadReference();
        QCOMPARE(rig.Messages.Texts, QStringList{bad + ", line 3: \"8,5\" is not a number"});
        QVERIFY(rig.Form().Curves().Store().References().empty());
        QVERIFY(!QFile::exists(folder.path() + "/tavrin.refs"));

        // Nothing measured yet: nothing to export or keep, and no dialog for it.
        bool asked = false;
        rig.Form().Curves().AskExport = [&](TTraceKind, const TExportChoice&) {
            asked = true;
            return std::optional<TExportChoice>();
        };
        rig.Form().Curves().Export();
        QVERIFY(!asked);
        QCOMPARE(rig.Messages.Texts.last(),
                 QString("There is no curve to export yet: measure first."));
    }
};

}  // namespace tavrin::testing

QTEST_MAIN(tavrin::testing::OpenDataTests)
#include "OpenDataTests.moc"
