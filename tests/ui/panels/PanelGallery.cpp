// Pictures of the three panels in a typical state, written to the build folder's gallery so the
// look can be judged without running the program.

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTest>

#include "PanelTestKit.h"
#include "ufrSpRange.h"
#include "ufrValues.h"
#include "ufrWaveSetup.h"

namespace tavrin::test {

class PanelGallery : public QObject {
    Q_OBJECT

  private:
    static void Save(QWidget& panel, const char* name) {
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        const QString folder = QStringLiteral(TAVRIN_GALLERY_DIR);
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QLatin1Char('/') + QString::fromUtf8(name) + ".png";
        QVERIFY(panel.grab().save(path));
    }

  private slots:
    void waveSetup() {
        TNamedDevices devices({"Built-in Line In", "USB Audio CODEC Line In", "Virtual box"},
                              {"Built-in Line Out", "USB Audio CODEC Line Out", "Virtual box"});
        TfrWaveSetup panel(devices);
        panel.findChild<QLineEdit*>("edMax")->setText("30000");  // red at 48000
        Save(panel, "WaveSetup");
    }

    void spRange() {
        TfrSpRange panel;
        panel.resize(624, panel.height());
        panel.SetFullRange(20, 22000);
        Save(panel, "SpRange-whole");
        DoubleClick(*panel.findChild<QWidget*>("pnRange"), {300, 10});
        Save(panel, "SpRange-middle-third");
        panel.SetLogarithmic(true);
        Save(panel, "SpRange-log");
        panel.SetLogarithmic(false);
        panel.SetFullRange(20, 95999);
        panel.resize(900, panel.height());
        Save(panel, "SpRange-wide");
    }

    void values() {
        TfrValues panel;
        panel.SetValue(1);
        auto* list = panel.findChild<QComboBox*>("cbVal");
        list->setFocus();
        QTest::keyClicks(list, "00");
        panel.resize(109, panel.sizeHint().height());
        Save(panel, "Values");
        QTest::keyClicks(list, "k");
        Save(panel, "Values-red");
    }
};

}  // namespace tavrin::test

QTEST_MAIN(tavrin::test::PanelGallery)
#include "PanelGallery.moc"
