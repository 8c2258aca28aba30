// The window and the command line present the same session: the same processed blocks give the
// same LCR numbers in the window's readout and chart and in the command line's JSON.

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <numbers>

#include "FormTestKit.h"
#include "uChart.h"
#include "uCliJson.h"
#include "uSignalIn.h"
#include "uVirtualBoxNetwork.h"

namespace tavrin::testing {
namespace {

constexpr int32_t kLength = 4096;
constexpr double kRate = 48000;

// What the capacitor's box gives both inputs: every bin of the band at a small amplitude.
TWaveData CapacitorBlock() {
    TWaveData block;
    ResizeWaveData(block, kLength);
    const TVirtualBoxComponents parts;
    for (int32_t k = 2; k <= 1877; ++k) {
        const TNodeVoltages v =
            BoxResponse(TVirtualBoxState::Capacitor, parts, k * kRate / kLength);
        const std::complex<double> nodes[2] = {v.ZxOut, v.ZxIn};
        for (int c = 0; c < 2; ++c) {
            const double amplitude = 1e-3 * std::abs(nodes[c]);
            const double phase = std::arg(nodes[c]);
            for (int32_t n = 0; n < kLength; ++n) {
                block[c][n] += static_cast<float>(
                    amplitude * std::cos(2 * std::numbers::pi * k * n / kLength + phase));
            }
        }
    }
    return block;
}

// As the receiver delivers a block: analysis, then the result's consumers.
void Deliver(TSignalIn& analyser, TWaveData block) {
    analyser.ProcessBlock(block);
    analyser.OnData(block);
}

void TypeInto(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

}  // namespace

class WindowAndCliTests : public QObject {
    Q_OBJECT

  private slots:
    void theSameBlocksGiveTheSameLcrNumbers() {
        QTemporaryDir windowFolder, cliFolder;
        TFormRig rig(windowFolder.path());
        rig.Find<QTabWidget>("PageControl1")->setCurrentIndex(1);
        const auto modes = rig.Find<QWidget>("rgMode")->findChildren<QRadioButton*>();
        QTest::mouseClick(modes.at(mdZGraphLCR), Qt::LeftButton, {},
                          QPoint(6, modes.at(mdZGraphLCR)->height() / 2));
        TypeInto(rig.Find<QComboBox>("cbVal")->lineEdit(), "100");
        TypeInto(rig.Find<QLineEdit>("edCin"), "100");
        rig.SelectDevices(kCapacitor);
        rig.Click("btnStartStop");  // a run sets the analyser's rate and block length
        rig.Click("btnStartStop");

        // The command line's session, set up as tavrin-cli measure --mode lcr does it.
        TSystemClock clock;
        TUiDispatcher ui(clock);
        TVirtualBoxService box(FastBox());
        TMeasurementSession cli(
            TSessionEnvironment{box, ui, clock, (cliFolder.path() + "/tavrin.ini").toStdString(),
                                (cliFolder.path() + "/tavrin.cal").toStdString()});
        nlohmann::json line;
        cli.OnResult = [&](const TMeasurementResult& result) {
            line = cli::ResultJson(result, {1, cli.Amplitude(), false, false});
        };
        cli.Open();
        cli.WaveSetup().SelectInput(kCapacitor);
        cli.WaveSetup().SelectOutput(kCapacitor);
        cli.SelectMode(mdZGraphLCR);
        QVERIFY(cli.Rref().Apply("100"));
        QVERIFY(cli.SetCinText("100"));
        QVERIFY(cli.Start());
        cli.Stop();

        const TWaveData block = CapacitorBlock();
        Deliver(rig.Form().Session().SignalIn(), block);
        Deliver(cli.SignalIn(), block);

        QVERIFY(line.contains("fit"));
        const QStringList readout =
            rig.Find<QPlainTextEdit>("memLCRRes")->toPlainText().split('\n');
        // Both show the running reading, with its uncertainty.
        QVERIFY(line.contains("reading"));
        QStringList cliReadout;
        for (const auto& text : line["reading"]["readout"]) {
            cliReadout << QString::fromStdString(text.get<std::string>());
        }
        QCOMPARE(cliReadout, readout);
        QVERIFY(readout.first().startsWith("Cx= "));
        // The chart's R curve holds the fitted R as the window computed it.
        QCOMPARE(static_cast<float>(line["fit"]["resistance"].get<double>()),
                 static_cast<float>(rig.Form().Chart().Series(2).Y(0)));
        cli.Close();
    }
};

}  // namespace tavrin::testing

QTEST_MAIN(tavrin::testing::WindowAndCliTests)
#include "WindowAndCliTests.moc"
