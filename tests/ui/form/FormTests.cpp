#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "FormTestKit.h"
#include "uChart.h"
#include "uNumberText.h"
#include "uSignalIn.h"
#include "uWaveOut.h"

namespace tavrin::testing {

namespace {

void TypeInto(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// The value of the LCR readout's first line, e.g. "Cx= 4.701 µF" gives 4.701e-6.
double ReadoutValue(const QString& line) {
    const QStringList parts = line.split(' ');
    if (parts.size() < 3) {
        return 0;
    }
    const double number = ParseDecimal(parts[1].toStdString()).value_or(0);
    const QString prefix = parts[2].left(parts[2].size() - 1);
    const double scale = prefix == "m"        ? 1e-3
                         : prefix == "\u00B5" ? 1e-6
                         : prefix == "n"      ? 1e-9
                                              : 1;
    return number * scale;
}

// The virtual box, counting the capture devices opened.
class TCountingService : public TWaveService {
  public:
    TCountingService() : Box(FastBox()) {}
    int32_t InputDeviceCount() const override { return Box.InputDeviceCount(); }
    std::string InputDeviceName(int32_t i) const override { return Box.InputDeviceName(i); }
    int32_t OutputDeviceCount() const override { return Box.OutputDeviceCount(); }
    std::string OutputDeviceName(int32_t i) const override { return Box.OutputDeviceName(i); }
    TWaveResult OpenInput(uint32_t id, const TWaveFormat& format, TAutoEvent& notify,
                          uint32_t flags, std::unique_ptr<TWaveDevice>& device) override {
        ++InputsOpened;
        return Box.OpenInput(id, format, notify, flags, device);
    }
    TWaveResult OpenOutput(uint32_t id, const TWaveFormat& format, TAutoEvent& notify,
                           uint32_t flags, std::unique_ptr<TWaveDevice>& device) override {
        return Box.OpenOutput(id, format, notify, flags, device);
    }
    int InputsOpened = 0;

  private:
    TVirtualBoxService Box;
};

}  // namespace

class FormTests : public QObject {
    Q_OBJECT

  private slots:
    void firstStartWithoutFiles() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        QCOMPARE(rig.Form().windowTitle(), QString("Tavrin-2"));
        QCOMPARE(rig.Find<QTabWidget>("PageControl1")->currentIndex(), 0);
        QCOMPARE(CheckedMode(rig), 0);
        QCOMPARE(rig.Find<QComboBox>("cbVal")->currentText(), QString("1"));
        QCOMPARE(rig.Find<QLineEdit>("edCin")->text(), QString("0"));
        QCOMPARE(rig.Find<QComboBox>("cbIntegration")->currentText(), QString("0.3"));
        QCOMPARE(rig.Find<QLineEdit>("edMin")->text(), QString("20"));
        QCOMPARE(rig.Find<QLineEdit>("edMax")->text(), QString("22000"));
        QCOMPARE(rig.Form().BlockLength(), 4096);
        QVERIFY(rig.Find<QWidget>("gbCalibration")->isHidden() == false);
        QVERIFY(rig.Find<QWidget>("gbGraph")->isHidden());
        QVERIFY(rig.Find<QWidget>("frSpRange1")->isHidden());
    }

    // Closing after a first start writes the sections and keys in the order of a first save.
    void firstCloseWritesTheSettingsLayout() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        rig.Form().close();
        QFile file(rig.SettingsPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        lines.removeIf([](const QString& line) { return line.contains("Name="); });
        // A first start is on the box's calibration devices, the first of its lists.
        const QStringList expected{"[WaveSetup]",
                                   "InputID=0",
                                   "OutputID=0",
                                   "Sampling=48000",
                                   "Swap=0",
                                   "FMin=20",
                                   "FMax=22000",
                                   "[Rref]",
                                   "Count=1",
                                   "Value0=1",
                                   "CurrentIndex=0",
                                   "[Calibration]",
                                   "Saturation0=0.899999976158142",
                                   "Saturation1=0.899999976158142",
                                   "[Graph]",
                                   "ModPhase=0",
                                   "DrawAll=0",
                                   "LeftForAll=0",
                                   "Lg(F)=0",
                                   "Lg(Z)=0",
                                   "Page=0",
                                   "Mode=0",
                                   "[InputParams]",
                                   "Cin=0"};
        QCOMPARE(lines, expected);
        QVERIFY(QFile::exists(folder.path() + "/tavrin.cal"));
        QVERIFY(rig.Messages.Texts.isEmpty());
    }

    // Calibration, a capacitor in "Z graph + LCR", the two-port in "Transfer graph", the
    // export, and a restart that comes back in the last mode.
    void calibrateMeasureSaveAndRestart() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        Calibrate(rig);
        QCOMPARE(CheckedMode(rig), 2);  // the last measuring mode, 2 since start-up
        QVERIFY(rig.Find<QWidget>("gbLCR")->isHidden() == false);
        QVERIFY(rig.Form().Chart().LegendVisible());

        rig.SelectDevices(kCapacitor);
        TypeInto(rig.Find<QComboBox>("cbVal")->lineEdit(), "100");
        TypeInto(rig.Find<QLineEdit>("edCin"), "100");
        rig.Click("btnStartStop");
        QVERIFY(rig.Form().Measuring());
        QVERIFY(!rig.Find<QWidget>("rgMode")->isEnabled());
        QVERIFY(!rig.Find<QWidget>("cbSampling")->isEnabled());
        auto* readout = rig.Find<QPlainTextEdit>("memLCRRes");
        QTRY_VERIFY_WITH_TIMEOUT(readout->toPlainText().startsWith("Cx= "), kResultTimeoutMs);
        // A few more results for the level loop to settle.
        const int results = 3;
        for (int i = 0; i < results; ++i) {
            const QString before = readout->toPlainText();
            QTRY_VERIFY_WITH_TIMEOUT(readout->toPlainText() != before, kResultTimeoutMs);
        }
        const double capacitance = ReadoutValue(readout->toPlainText().split('\n').first());
        QVERIFY2(std::fabs(capacitance / 4.7e-6 - 1) < 0.005, qPrintable(readout->toPlainText()));
        QVERIFY(rig.Form().Chart().Series(0).Count() > 1000);
        rig.Form().grab().save(TAVRIN_SCREENSHOT_DIR "/processing-lcr.png");
        rig.Click("btnStartStop");
        QVERIFY(!rig.Form().Measuring());

        // "Save" writes the points of the first two series, 71 characters and CR LF a line.
        const int points = rig.Form().Chart().Series(0).Count();
        rig.Click("btnSave");
        QFile exported(rig.ExportPath());
        QVERIFY(exported.open(QIODevice::ReadOnly));
        const QByteArray content = exported.readAll();
        QCOMPARE(content.count("\r\n"), points);
        QCOMPARE(content.size(), points * 73);
        QCOMPARE(content.left(23),
                 QByteArray(FormatExportNumber(rig.Form().Chart().Series(0).X(0)).c_str()));

        // The two-port: its ratio at low frequencies is that of the divider, about 0.5.
        ChooseMode(rig, 3);
        QCOMPARE(CheckedMode(rig), 3);
        QVERIFY(rig.Find<QWidget>("pnRref")->isHidden());
        rig.SelectDevices(kLowPass);
        rig.Click("btnStartStop");
        QTRY_VERIFY_WITH_TIMEOUT(rig.Form().Chart().Series(0).Count() > 100, kResultTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(std::fabs(rig.Form().Chart().Series(0).Y(0) - 0.5) < 0.01,
                                 kResultTimeoutMs);
        rig.Click("btnStartStop");

        rig.Restart();
        QCOMPARE(CheckedMode(rig), 3);
        QVERIFY(rig.Messages.Texts.isEmpty());
    }

    // A playback device that cannot be opened: its message, the window idle, no capture.
    void failingOutputDevice() {
        QTemporaryDir folder;
        TCountingService service;
        TFormRig rig(folder.path(), &service);
        const int gone = rig.Find<QComboBox>("cbDeviceOut")->count();
        rig.Find<QComboBox>("cbDeviceOut")->addItem("a device that went away");
        rig.Find<QComboBox>("cbDeviceOut")->setCurrentIndex(gone);
        ShowProcessingPage(rig);
        rig.Click("btnStartStop");
        QCOMPARE(rig.Messages.Texts,
                 QStringList{"Can not open output device " + QString::number(gone)});
        QVERIFY(!rig.Form().Measuring());
        QCOMPARE(rig.Find<QPushButton>("btnStartStop")->text(), QString("Start"));
        QVERIFY(rig.Form().Session().SignalIn().Parked());
        QVERIFY(rig.Form().Session().WaveOut().Parked());
        QVERIFY(rig.Find<QWidget>("rgMode")->isEnabled());
        QCOMPARE(service.InputsOpened, 0);
    }

    // Files that cannot be written at close: the user reads why, the calibration is still
    // kept where it can be, and the window closes all the same.
    void closesEvenWhenTheSettingsCannotBeWritten() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        QVERIFY(QDir(folder.path()).mkdir("tavrin.ini"));  // a folder where the file should be
        rig.Form().close();
        QVERIFY(!rig.Form().isVisible());
        QCOMPARE(rig.Messages.Texts, QStringList{"Impossible d'écrire dans " + rig.SettingsPath()});
        QVERIFY(QFile::exists(folder.path() + "/tavrin.cal"));
    }

    void closesEvenWhenTheCalibrationCannotBeWritten() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        QVERIFY(QDir(folder.path()).mkdir("tavrin.cal"));
        rig.Form().close();
        QVERIFY(!rig.Form().isVisible());
        QCOMPARE(rig.Messages.Texts,
                 QStringList{"Impossible de créer le fichier " + folder.path() + "/tavrin.cal"});
    }

    // Stop during the level setting stays in calibration mode; a bad C in keeps the last value.
    void stopDuringLevelSettingAndBadInput() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        rig.SelectDevices(kCalibration);
        ShowProcessingPage(rig);
        rig.Click("btnStartStop");
        QTRY_VERIFY_WITH_TIMEOUT(rig.Find<QLabel>("lbCalibration")->text().startsWith("Quality:"),
                                 kResultTimeoutMs);
        rig.Click("btnStartStop");
        QCOMPARE(CheckedMode(rig), 0);
        QVERIFY(rig.Form().Session().SignalIn().Averaging());

        ChooseMode(rig, 1);
        QLineEdit* cin = rig.Find<QLineEdit>("edCin");
        TypeInto(cin, "1e3");
        QCOMPARE(cin->palette().color(QPalette::Text), rig.Form().palette().color(QPalette::Text));
        TypeInto(cin, "1,5");
        QCOMPARE(cin->palette().color(QPalette::Text), QColor(Qt::red));
    }

    // The driver panel fits the impedance results while it is shown, and only then.
    void driverPanelFitsTheResultsWhileShown() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        Calibrate(rig);
        rig.SelectDevices(static_cast<int>(TVirtualBoxState::DriverFreeAir));
        TypeInto(rig.Find<QComboBox>("cbVal")->lineEdit(), "100");
        TypeInto(rig.Find<QLineEdit>("edCin"), "100");
        rig.Click("btnDriver");
        auto* panel = rig.Find<QWidget>("frDriver");
        QVERIFY(panel && panel->isVisible());
        auto* results = rig.Find<QPlainTextEdit>("memDriver");
        rig.Click("btnStartStop");
        QTRY_VERIFY_WITH_TIMEOUT(results->toPlainText().contains("\nFs "), kResultTimeoutMs);
        for (int i = 0; i < 3; ++i) {  // the level loop settles
            const QString before = results->toPlainText();
            QTRY_VERIFY_WITH_TIMEOUT(results->toPlainText() != before, kResultTimeoutMs);
        }
        rig.Click("btnStartStop");
        const QString text = results->toPlainText();
        const auto fs = QRegularExpression("\\nFs +([0-9.]+) Hz").match(text);
        QVERIFY2(std::fabs(fs.captured(1).toDouble() / 40.0 - 1) < 0.002, qPrintable(text));
        rig.Form().grab().save(TAVRIN_SCREENSHOT_DIR "/processing-driver.png");
        panel->grab().save(TAVRIN_SCREENSHOT_DIR "/driver-panel.png");

        panel->close();
        rig.Find<QPushButton>("btnDriverClear")->click();
        rig.Click("btnStartStop");
        const QString before = rig.Find<QPlainTextEdit>("memLCRRes")->toPlainText();
        QTRY_VERIFY_WITH_TIMEOUT(rig.Find<QPlainTextEdit>("memLCRRes")->toPlainText() != before,
                                 kResultTimeoutMs);
        rig.Click("btnStartStop");
        QVERIFY(results->toPlainText().contains("not measured yet"));
    }
};

}  // namespace tavrin::testing

QTEST_MAIN(tavrin::testing::FormTests)
#include "FormTests.moc"
