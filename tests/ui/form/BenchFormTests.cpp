// The bench panel of the window on the virtual box with test leads, as a user works it: open
// and short captured with its buttons, the spot readout beside the LCR result, the plot in
// place of Re/Im, a click on the chart for the test frequency, and everything back after a
// restart without a trace in the settings file.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <vector>

#include "FormTestKit.h"
#include "uBenchPanel.h"
#include "uChart.h"
#include "uCombinedWaveService.h"
#include "uCurveTools.h"
#include "uVirtualBoxNetwork.h"

namespace tavrin::testing {

namespace {

int Device(TVirtualBoxState state) {
    return static_cast<int>(state);
}

void TypeInto(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

std::unique_ptr<TWaveService> BoxWithLeads() {
    TVirtualBoxOptions options = FastBox();
    options.Faults.TestLeads = true;
    std::vector<std::unique_ptr<TWaveService>> backends;
    backends.push_back(std::make_unique<TVirtualBoxService>(options));
    return std::make_unique<TCombinedWaveService>(std::move(backends));
}

// The readout's Cs in µF, NaN when it shows none.
double SpotMicrofarads(const QString& readout) {
    const QRegularExpressionMatch match =
        QRegularExpression(QString::fromUtf8("Cs= ([-0-9.e+]+) \u00b5F")).match(readout);
    return match.hasMatch() ? match.captured(1).toDouble() : std::nan("");
}

void Capture(TFormRig& rig, const char* button, TVirtualBoxState state, const QString& line) {
    rig.SelectDevices(Device(state));
    rig.Click(button);
    QVERIFY(rig.Form().Measuring());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.Form().Measuring(), kResultTimeoutMs);
    QVERIFY2(rig.Find<QLabel>("lbFixture")->text().startsWith(line),
             qPrintable(rig.Find<QLabel>("lbFixture")->text()));
}

}  // namespace

class BenchFormTests : public QObject {
    Q_OBJECT

  private slots:
    void captureReadPlotAndRestart() {
        QTemporaryDir folder;
        const std::unique_ptr<TWaveService> box = BoxWithLeads();
        TFormRig rig(folder.path(), box.get());
        Calibrate(rig);
        QCOMPARE(rig.Form().Session().Mode(), 2);
        TypeInto(rig.Find<QComboBox>("cbVal")->lineEdit(), "100");
        TypeInto(rig.Find<QLineEdit>("edCin"), "100");

        // The panel opens beside the column; the window grows by it as far as the screen has
        // room, and gives back what it took.
        auto* panel = rig.Find<TBenchPanel>("pnBench");
        QVERIFY(!panel->isVisible());
        const QRect screen = rig.Form().screen()->availableGeometry();
        rig.Form().move(screen.topLeft());
        rig.Form().resize(screen.width() - 100, rig.Form().height());
        const int width = rig.Form().width();
        rig.Click("cbBench");
        QVERIFY(panel->isVisible());
        QCOMPARE(rig.Form().frameGeometry().right(), screen.right());
        rig.Click("cbBench");
        QVERIFY(!panel->isVisible());
        QCOMPARE(rig.Form().width(), width);
        // Moved half out of the screen's left edge, it has room for the whole panel.
        rig.Form().move(screen.left() - width / 2, screen.top());
        rig.Click("cbBench");
        QCOMPARE(rig.Form().width(), width + panel->width() + 6);

        rig.Find<QComboBox>("cbSpot")->setCurrentText("1k");
        Capture(rig, "btnOpen", TVirtualBoxState::Open, "open of ");
        Capture(rig, "btnShort", TVirtualBoxState::Short, "open, short of ");
        QCOMPARE(rig.Find<QLabel>("lbInputFigures")->text(),
                 QString("Input: needs a load capture"));
        QVERIFY(!rig.Find<QPushButton>("btnUse")->isEnabled());

        rig.SelectDevices(Device(TVirtualBoxState::Capacitor));
        rig.Click("btnStartStop");
        auto* spot = rig.Find<QPlainTextEdit>("memSpot");
        QTRY_VERIFY_WITH_TIMEOUT(spot->toPlainText().startsWith("996.094 Hz series (auto)"),
                                 kResultTimeoutMs);
        QTRY_VERIFY2_WITH_TIMEOUT(std::abs(SpotMicrofarads(spot->toPlainText()) / 4.7 - 1) < 1e-3,
                                  qPrintable(spot->toPlainText()), kResultTimeoutMs);
        // R-C, or R-L-C with the few nH that noise may leave of the leads' 300 nH.
        QVERIFY2(spot->toPlainText().contains("Model: series R-"), qPrintable(spot->toPlainText()));
        // The LCR result goes on beside it.
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.Find<QPlainTextEdit>("memLCRRes")->toPlainText().startsWith("Cx= "),
            kResultTimeoutMs);

        // Cs and ESR in place of Re and Im.
        rig.Find<QComboBox>("cbPlot")->setCurrentIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.Form().Chart().Series(0).Description() == "Cs",
                                 kResultTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(rig.Form().Chart().Series(0).Y(100) / 4.7e-6 - 1) < 0.01,
                                 kResultTimeoutMs);
        rig.Form().grab().save(TAVRIN_SCREENSHOT_DIR "/processing-bench.png");

        // Its CSV export carries the bench quantities beside Re and Im.
        const QString csv = folder.path() + "/capacitor.csv";
        rig.Form().Curves().AskExport = [&](TTraceKind, const TExportChoice&) {
            return std::optional(TExportChoice{csv.toStdString(), 12});
        };
        rig.Click("btnExport");
        QFile exported(csv);
        QVERIFY(exported.open(QIODevice::ReadOnly));
        QVERIFY(exported.readAll().contains(",Phase (deg),Cs (F),Ls (H),ESR (Ohm),"));

        // A click in the chart's plot area picks the test frequency under it.
        TChart& chart = rig.Form().Chart();
        const QPoint middle = chart.PlotArea().center();
        QWidget* plot = chart.childAt(middle);
        QVERIFY(plot != nullptr);
        QTest::mouseClick(plot, Qt::LeftButton, {}, plot->mapFrom(&chart, middle));
        QVERIFY(rig.Find<QComboBox>("cbSpot")->currentText() != "1k");
        rig.Click("btnStartStop");

        rig.Restart();
        QVERIFY(rig.Find<QCheckBox>("cbBench")->isChecked());
        QCOMPARE(rig.Find<QComboBox>("cbPlot")->currentIndex(), 1);
        QVERIFY(rig.Find<QLabel>("lbFixture")->text().startsWith("open, short of "));
        QFile settings(rig.SettingsPath());
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(!settings.readAll().contains("Bench"));
        QVERIFY(QFile::exists(folder.path() + "/tavrin.bench.ini"));
        QVERIFY(QFile::exists(folder.path() + "/tavrin.fixture"));
        QVERIFY(rig.Messages.Texts.isEmpty());
    }
};

}  // namespace tavrin::testing

QTEST_MAIN(tavrin::testing::BenchFormTests)
#include "BenchFormTests.moc"
