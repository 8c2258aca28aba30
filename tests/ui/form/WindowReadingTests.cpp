// The window as a new user reads it: what to do at each calibration stage, curves named with
// their units, readouts that never outlive their component, the progress of a long
// integration, where Save wrote, a window whose controls are never squeezed and that opens
// where it was left, and a first start on the devices a calibration needs.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "FormTestKit.h"
#include "uChart.h"
#include "uMeasurementSession.h"
#include "uStatusLine.h"
#include "ufrSpRange.h"

namespace tavrin::testing {
namespace {

QStringList Names(TFormRig& rig, int count) {
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names << rig.Form().Chart().Series(i).Name();
    }
    return names;
}

TStatusLine& Status(TFormRig& rig) {
    return *rig.Find<TStatusLine>("pnStatus");
}

void PickRate(TFormRig& rig, int rate) {
    QComboBox* rates = rig.Find<QComboBox>("cbSampling");
    const int index = rates->findData(rate);
    rates->setCurrentIndex(index);
    emit rates->activated(index);
}

bool ReadoutMarked(TFormRig& rig) {
    auto* readout = rig.Find<QPlainTextEdit>("memLCRRes");
    return readout->palette().color(QPalette::Text) !=
           QApplication::palette().color(QPalette::Text);
}

void PickIntegrationTime(TFormRig& rig, int index) {
    QComboBox* times = rig.Find<QComboBox>("cbIntegration");
    times->setCurrentIndex(index);
    emit times->activated(index);
}

}  // namespace

class WindowReadingTests : public QObject {
    Q_OBJECT

  private slots:
    // Each stage says what to do and what its figures mean; the curves are named for what they
    // are, also once the window has gone on to the measuring mode.
    void calibrationGuidesTheUser() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        ShowProcessingPage(rig);
        QLabel* help = rig.Find<QLabel>("lbCalibrationHelp");
        QVERIFY(help->text().contains("S1 to Zx Out"));

        rig.Click("btnStartStop");
        QTRY_VERIFY_WITH_TIMEOUT(rig.Find<QLabel>("lbCalibration")->text().contains("Async: "),
                                 kResultTimeoutMs);
        QVERIFY(help->text().contains("40 or more is good"));
        QVERIFY(rig.Form().Chart().LegendVisible());
        QCOMPARE(Names(rig, 2), (QStringList{"Left input", "Right input"}));
        QVERIFY(!rig.Form().Chart().RightAxis().Shown());

        rig.Click("btnCalibration");
        QVERIFY(help->text().contains("kept"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.Find<QLabel>("lbCalibration")->text(),
                                  QString("Press Stop\nto finish."), kResultTimeoutMs);
        rig.Click("btnStartStop");
        QCOMPARE(CheckedMode(rig), 2);
        QVERIFY(Status(rig).Message().contains("S1 back to R ref"));
        // The calibration's curves stay, under their own names, not those of an impedance.
        QVERIFY(rig.Form().Chart().LegendVisible());
        QCOMPARE(Names(rig, 4),
                 (QStringList{"Re this block", "Im this block", "Re stored", "Im stored"}));
        QCOMPARE(rig.Form().Chart().LeftAxis().TitleText(), QString("Re [V/V]"));

        // The next run starts afresh.
        rig.SelectDevices(kCapacitor);
        rig.Click("btnStartStop");
        QVERIFY(Status(rig).Message().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.Find<QPlainTextEdit>("memLCRRes")->toPlainText().startsWith("Cx= "),
            kResultTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(rig.Form().Chart().LeftAxis().TitleText(), QString("Re [Ω]"),
                                  kResultTimeoutMs);
        QCOMPARE(Names(rig, 4),
                 (QStringList{"Re measured", "Im measured", "R fitted", "L/C fitted"}));
        rig.Click("btnStartStop");
    }

    // A calibration made at another rate marks the result area and the readout, also before
    // Start; calibrating again at the new rate takes the mark away.
    void rateChangedAfterCalibratingMarksTheReading() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        QLabel* mark = rig.Find<QLabel>("lbCalibrationMark");
        QVERIFY(mark->isHidden());  // a first start opens in calibration, which needs none
        Calibrate(rig);
        QVERIFY(mark->isHidden());

        PickRate(rig, 96000);
        QVERIFY(!mark->isHidden());
        QVERIFY(mark->text().startsWith("Not calibrated for 96000 S/s"));
        rig.SelectDevices(kCapacitor);
        ChooseMode(rig, 2);
        rig.Click("btnStartStop");
        auto* readout = rig.Find<QPlainTextEdit>("memLCRRes");
        // Uncalibrated the capacitor may even read as a coil: whatever it reads is marked.
        QTRY_VERIFY_WITH_TIMEOUT(readout->toPlainText().contains("tg= "), kResultTimeoutMs);
        QVERIFY(!mark->isHidden());
        QVERIFY(ReadoutMarked(rig));
        QCOMPARE(readout->toolTip(), mark->text());
        rig.Click("btnStartStop");

        ChooseMode(rig, 0);
        Calibrate(rig);
        QVERIFY(mark->isHidden());
        rig.SelectDevices(kCapacitor);
        rig.Click("btnStartStop");
        QTRY_VERIFY_WITH_TIMEOUT(readout->toPlainText().startsWith("Cx= "), kResultTimeoutMs);
        QVERIFY(mark->isHidden());
        QVERIFY(!ReadoutMarked(rig));
        rig.Click("btnStartStop");
    }

    // A readout belongs to the component and the mode it was measured in.
    void readoutsDoNotOutliveTheirComponent() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        ShowProcessingPage(rig);
        ChooseMode(rig, 2);
        rig.SelectDevices(kCapacitor);
        auto* readout = rig.Find<QPlainTextEdit>("memLCRRes");
        const auto measure = [&] {
            rig.Click("btnStartStop");
            // Uncalibrated, the reading itself is rough; that there is one is what counts here.
            QTRY_VERIFY_WITH_TIMEOUT(!readout->toPlainText().isEmpty(), kResultTimeoutMs);
            rig.Click("btnStartStop");
        };
        measure();
        QVERIFY(!readout->toPlainText().isEmpty());  // Stop keeps it: the component is the same
        rig.SelectDevices(kInductor);
        QVERIFY(readout->toPlainText().isEmpty());
        measure();
        ChooseMode(rig, 1);
        ChooseMode(rig, 2);
        QVERIFY(readout->toPlainText().isEmpty());
    }

    // A long integration shows how far it has come; a short one shows no flickering bar.
    void longIntegrationsShowTheirProgress() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        ShowProcessingPage(rig);
        ChooseMode(rig, 1);
        rig.SelectDevices(kResistor);
        rig.Click("btnStartStop");
        QTest::qWait(500);
        QVERIFY(!Status(rig).ProgressShown());

        PickIntegrationTime(rig, 2);  // 3 s: 36 blocks of 4096 samples at 48000 per second
        QTRY_VERIFY_WITH_TIMEOUT(Status(rig).ProgressShown() && Status(rig).ProgressValue() > 0,
                                 kResultTimeoutMs);
        QCOMPARE(Status(rig).ProgressMaximum(), 36);
        const TIntegrationProgress progress = rig.Form().Session().Progress();
        QCOMPARE(progress.Wanted, 36);
        QCOMPARE(progress.Seconds, 3.0);
        rig.Click("btnStartStop");
        QVERIFY(!Status(rig).ProgressShown());
        QCOMPARE(rig.Form().Session().Progress().Wanted, 0);
    }

    // Save says where it wrote and whether it replaced a file; an error names the file after
    // the runtime's own text.
    void saveTellsWhereItWrote() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        ShowProcessingPage(rig);
        const QString path = QDir::toNativeSeparators(rig.ExportPath());
        rig.Click("btnSave");
        QCOMPARE(Status(rig).Message(), "Saved 0 lines to " + path + " (a new file).");
        rig.Click("btnSave");
        QCOMPARE(Status(rig).Message(),
                 "Saved 0 lines to " + path + ", replacing the previous file.");

        QVERIFY(QFile::remove(rig.ExportPath()));
        QVERIFY(QDir(folder.path()).mkdir("tavrin.txt"));  // a folder where the file should be
        rig.Click("btnSave");
        QCOMPARE(rig.Messages.Texts.size(), 1);
        const QStringList lines = rig.Messages.Texts.first().split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY(!lines[0].isEmpty() && !lines[0].contains(path));
        QCOMPARE(lines[1], path);
    }

    // Lg(f) makes the range bar logarithmic with the chart's frequency axis.
    void theRangeBarFollowsLgF() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        ShowProcessingPage(rig);
        ChooseMode(rig, 1);
        auto* bar = rig.Find<TfrSpRange>("frSpRange1");
        QVERIFY(!bar->Logarithmic());
        rig.Find<QCheckBox>("cbLogF")->click();
        QVERIFY(bar->Logarithmic());
        QVERIFY(rig.Form().Chart().BottomAxis().Logarithmic());
        rig.Find<QCheckBox>("cbLogF")->click();
        QVERIFY(!bar->Logarithmic());
    }

    // However small the window is made, every control of the tallest column keeps the height
    // it needs, and the wiring diagram stays whole; a first start opens at least at the size
    // the window is designed for.
    void controlsAreNeverSqueezed() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        QVERIFY(rig.Form().width() >= 636 && rig.Form().height() >= 510);
        ShowProcessingPage(rig);
        ChooseMode(rig, 2);
        rig.Form().resize(485, 510);
        QTest::qWait(50);
        for (QAbstractButton* button :
             rig.Find<QWidget>("tsProcessing")->findChildren<QAbstractButton*>()) {
            if (button->isVisibleTo(&rig.Form())) {
                QVERIFY2(button->height() >= button->minimumSizeHint().height(),
                         qPrintable(button->text()));
            }
        }
        rig.Find<QTabWidget>("PageControl1")->setCurrentIndex(0);
        QTest::qWait(50);
        QWidget* setup = rig.Find<QWidget>("tsSetup");
        for (QWidget* child : setup->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isVisible()) {
                QVERIFY2(setup->rect().contains(child->geometry()),
                         qPrintable(child->objectName()));
            }
        }
    }

    // The window opens where it was left; its place has a file of its own.
    void theWindowOpensWhereItWasLeft() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        rig.Form().resize(900, 640);
        QTest::qWait(50);
        rig.Restart();
        QCOMPARE(rig.Form().size(), QSize(900, 640));
        QFile settings(rig.SettingsPath());
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QByteArray text = settings.readAll();
        QVERIFY(!text.contains("Width") && !text.contains("[Window]"));
        QVERIFY(QFile::exists(rig.GeometryPath()));
    }

    // Without a calibration a first start is on the box's calibration devices; a device the
    // user chose before stays chosen.
    void aFirstStartIsOnTheCalibrationDevices() {
        QTemporaryDir folder;
        {
            TFormRig rig(folder.path());
            QCOMPARE(rig.Find<QComboBox>("cbDeviceIn")->currentIndex(), int(kCalibration));
            QCOMPARE(rig.Find<QComboBox>("cbDeviceOut")->currentIndex(), int(kCalibration));
            rig.SelectDevices(kInductor);
        }
        QVERIFY(QFile::remove(folder.path() + "/tavrin.cal"));
        TFormRig again(folder.path());
        QCOMPARE(again.Find<QComboBox>("cbDeviceIn")->currentIndex(), int(kInductor));
    }
};

}  // namespace tavrin::testing

QTEST_MAIN(tavrin::testing::WindowReadingTests)
#include "WindowReadingTests.moc"
