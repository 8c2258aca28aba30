// Playback and capture on two cards whose clocks differ: the window says so while the capture
// keeps its own clock, and stops saying so once "Clock compensation" on the Setup page resamples
// the capture by the offset the stimulus shows.

#include <QCheckBox>
#include <QTemporaryDir>
#include <QTest>

#include "FormTestKit.h"
#include "uMeasurementSession.h"
#include "uSignalIn.h"
#include "uStatusLine.h"

namespace tavrin::testing {

class ClockCompensationTests : public QObject {
    Q_OBJECT

  private slots:
    void theSwitchResamplesAndEndsTheWarning() {
        QTemporaryDir folder;
        TVirtualBoxOptions options = FastBox();
        options.ClockOffsetPpm = 200;
        TVirtualBoxService box(options);
        TFormRig rig(folder.path(), &box);
        auto* compensation = rig.Find<QCheckBox>("cbClockCompensation");
        QVERIFY(compensation != nullptr);
        QVERIFY(!compensation->isChecked());
        TStatusLine& status = *rig.Find<TStatusLine>("pnStatus");

        rig.SelectDevices(kResistor);
        ShowProcessingPage(rig);
        ChooseMode(rig, mdZGraph);
        rig.Click("btnStartStop");
        QTRY_VERIFY_WITH_TIMEOUT(status.Message().startsWith("Clock offset +"), kResultTimeoutMs);
        QVERIFY(status.Message().contains("turn on clock compensation"));

        // During the run, as the warning suggests: the warning goes and stays gone.
        QVERIFY(compensation->isEnabled());
        compensation->click();
        QVERIFY(rig.Form().Session().SignalIn().ClockCompensation());
        QTRY_VERIFY_WITH_TIMEOUT(status.Message().isEmpty(), kResultTimeoutMs);
        QTest::qWait(500);
        QVERIFY(!status.Message().contains("Clock offset"));
        // The offset is still measured and shown, only no longer a fault.
        QVERIFY(rig.Form().Session().ClockOffset().Known);

        compensation->click();
        QVERIFY(!rig.Form().Session().SignalIn().ClockCompensation());
        QTRY_VERIFY_WITH_TIMEOUT(status.Message().startsWith("Clock offset +"), kResultTimeoutMs);
        rig.Click("btnStartStop");
    }
};

}  // namespace tavrin::testing

QTEST_MAIN(tavrin::testing::ClockCompensationTests)
#include "ClockCompensationTests.moc"
