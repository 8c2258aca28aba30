// Pictures of the whole window in every mode and stage, at the default size and at two common
// screen sizes, written to the build folder's gallery so the look can be judged by eye.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include "FormTestKit.h"
#include "uChart.h"

namespace tavrin::testing {
namespace {

// The smallest the window may be made, the size it is designed for, two common screens.
const QSize kSizes[] = {{485, 510}, {636, 510}, {1024, 768}, {1280, 800}};

// A few results, so that the level loop has settled and the chart shows a steady picture.
void AwaitResults(TFormRig& rig, int count) {
    for (int i = 0; i < count; ++i) {
        const int before = rig.Form().Chart().Series(0).Count() > 0
                               ? static_cast<int>(rig.Form().Chart().Series(0).Y(0) * 1e6)
                               : -1;
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.Form().Chart().Series(0).Count() > 0 &&
                static_cast<int>(rig.Form().Chart().Series(0).Y(0) * 1e6) != before,
            kResultTimeoutMs);
    }
}

}  // namespace

class FormGallery : public QObject {
    Q_OBJECT

  private:
    static void Save(TFormRig& rig, const char* state) {
        const QString folder = QStringLiteral(TAVRIN_GALLERY_DIR);
        QVERIFY(QDir().mkpath(folder));
        for (const QSize& size : kSizes) {
            // The smallest size may come out larger: the window never squeezes its controls.
            rig.Form().resize(size);
            QTest::qWait(150);
            const QSize shown = rig.Form().size();
            const QString path = QStringLiteral("%1/window-%2-%3x%4.png")
                                     .arg(folder)
                                     .arg(state)
                                     .arg(shown.width())
                                     .arg(shown.height());
            QVERIFY(rig.Form().grab().save(path));
        }
    }

  private slots:
    void everyModeAndStage() {
        QTemporaryDir folder;
        TFormRig rig(folder.path());
        Save(rig, "setup");
        rig.Find<QTabWidget>("PageControl1")->setCurrentIndex(1);
        Save(rig, "calibration-idle");

        rig.SelectDevices(kCalibration);
        rig.Click("btnStartStop");
        QLabel* stage = rig.Find<QLabel>("lbCalibration");
        QTRY_VERIFY_WITH_TIMEOUT(stage->text().contains("Async: "), kResultTimeoutMs);
        AwaitResults(rig, 2);
        Save(rig, "level-setting");
        rig.Click("btnCalibration");
        QTRY_COMPARE_WITH_TIMEOUT(stage->text(), QString("Press Stop\nto finish."),
                                  kResultTimeoutMs);
        AwaitResults(rig, 1);
        Save(rig, "band-calibration");
        rig.Click("btnStartStop");
        Save(rig, "calibration-stopped");

        rig.SelectDevices(kCapacitor);
        QComboBox* rref = rig.Find<QComboBox>("cbVal");
        rref->lineEdit()->selectAll();
        QTest::keyClicks(rref->lineEdit(), "100");  // the box's R ref
        rig.Click("btnStartStop");
        AwaitResults(rig, 3);
        Save(rig, "z-graph-lcr");
        rig.Find<QCheckBox>("cbModPh")->click();
        rig.Find<QCheckBox>("cbLogF")->click();
        rig.Find<QCheckBox>("cbLogZ")->click();
        AwaitResults(rig, 2);
        Save(rig, "z-graph-lcr-log");
        rig.Click("btnStartStop");

        ChooseMode(rig, 1);
        rig.SelectDevices(kInductor);
        rig.Click("btnStartStop");
        AwaitResults(rig, 3);
        Save(rig, "z-graph-log");
        rig.Find<QCheckBox>("cbModPh")->click();
        rig.Find<QCheckBox>("cbLogF")->click();
        rig.Find<QCheckBox>("cbLogZ")->click();
        AwaitResults(rig, 2);
        Save(rig, "z-graph");
        rig.Click("btnStartStop");

        ChooseMode(rig, 3);
        rig.SelectDevices(kLowPass);
        rig.Click("btnStartStop");
        AwaitResults(rig, 3);
        Save(rig, "transfer");
        rig.Click("btnStartStop");
        // Where the saturation warning shows, with a long message beside it.
        rig.Find<QLabel>("lbSaturation")->show();
        rig.Click("btnSave");
        Save(rig, "saturation-and-message");
        rig.Find<QLabel>("lbSaturation")->hide();

        // A capacitor at a rate the calibration was not made for: the mark and the readout.
        QComboBox* rates = rig.Find<QComboBox>("cbSampling");
        rates->setCurrentIndex(rates->findData(96000));
        emit rates->activated(rates->currentIndex());
        ChooseMode(rig, 2);
        rig.SelectDevices(kCapacitor);
        rig.Click("btnStartStop");
        AwaitResults(rig, 3);
        Save(rig, "uncalibrated");
        rig.Click("btnStartStop");
    }
};

}  // namespace tavrin::testing

QTEST_MAIN(tavrin::testing::FormGallery)
#include "FormGallery.moc"
