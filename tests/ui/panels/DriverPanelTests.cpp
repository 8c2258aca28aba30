#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "PanelTestKit.h"
#include "uDriverMeasurement.h"
#include "ufrDriver.h"

namespace tavrin::test {

// The driver panel as a view of its measurement: what is typed reaches the model only as a
// positive number, the method decides what is asked and where results go, the results text
// follows the model, and Save tells what it wrote or what went wrong.
class DriverPanelTests : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TDriverMeasurement> Model;
    std::unique_ptr<TfrDriver> Panel;

    template <typename Widget>
    Widget* Find(const char* name) {
        return Panel->findChild<Widget*>(name);
    }
    void TypeOver(const char* edit, const QString& text) {
        PasteOver(*Find<QLineEdit>(edit), text);
    }
    QString Shown() { return Find<QPlainTextEdit>("memDriver")->toPlainText(); }

  private slots:
    void init() {
        Model = std::make_unique<TDriverMeasurement>();
        Panel = std::make_unique<TfrDriver>(*Model);
        Panel->show();
    }
    void cleanup() {
        Panel.reset();
        Model.reset();
    }

    void typedNumbersAndTheMethod() {
        QVERIFY(Shown().startsWith("Driver in free air\nFit       not measured yet"));
        QVERIFY(Find<QLineEdit>("edMass")->isHidden());
        QVERIFY(!Find<QRadioButton>("rbSecond")->isEnabled());

        Find<QComboBox>("cbMethod")->setCurrentIndex(1);
        QCOMPARE(Model->Method(), TDriverMethod::AddedMass);
        QVERIFY(Find<QLineEdit>("edMass")->isVisible());
        QVERIFY(Find<QLineEdit>("edVolume")->isHidden());
        QCOMPARE(Find<QRadioButton>("rbSecond")->text(), QString("With the mass"));
        TypeOver("edMass", "12.5");
        QCOMPARE(Model->AddedMass(), 0.0125);
        TypeOver("edSd", "220");
        QCOMPARE(Model->Sd(), 0.022);
        QVERIFY(Shown().contains("With 12.5 g added, Sd 220 cm2"));
        // Not a positive number: red, and the last good one stays in force.
        for (const char* bad : {"-3", "0", "2,5", "x"}) {
            TypeOver("edSd", bad);
            QVERIFY2(ShowsRed(*Find<QLineEdit>("edSd")), bad);
            QCOMPARE(Model->Sd(), 0.022);
        }
        TypeOver("edSd", "1E2");
        QVERIFY(ShowsNormal(*Find<QLineEdit>("edSd")));
        QCOMPARE(Model->Sd(), 0.01);

        Find<QRadioButton>("rbSecond")->click();
        QCOMPARE(Model->Step(), TDriverStep::Second);
        Find<QComboBox>("cbMethod")->setCurrentIndex(2);
        QCOMPARE(Find<QRadioButton>("rbSecond")->text(), QString("In the box"));
        TypeOver("edVolume", "20");
        QCOMPARE(Model->BoxVolume(), 0.02);
        QCOMPARE(Model->AddedMass(), 0.0125);
        // Free air only: nothing to go to but free air.
        Find<QComboBox>("cbMethod")->setCurrentIndex(0);
        QCOMPARE(Model->Step(), TDriverStep::FreeAir);
        QVERIFY(!Find<QRadioButton>("rbSecond")->isEnabled());
    }

    void saveSaysWhatItWroteOrWhy() {
        QTemporaryDir folder;
        std::string error;
        Panel->OnError = [&](const std::string& text) { error = text; };
        Panel->SetSaveBase(QDir(folder.path()).filePath("tavrin-driver").toStdString());
        Find<QPushButton>("btnDriverSave")->click();
        QVERIFY(error.empty());
        QVERIFY(Find<QLabel>("lbDriverSaved")->text().endsWith("tavrin-driver.txt"));
        QVERIFY(QFile::exists(folder.filePath("tavrin-driver.txt")));

        Panel->SetSaveBase(QDir(folder.path()).filePath("gone/tavrin-driver").toStdString());
        Find<QPushButton>("btnDriverSave")->click();
        QVERIFY(error.find("gone/tavrin-driver.txt") != std::string::npos);
        QVERIFY(Find<QLabel>("lbDriverSaved")->text().isEmpty());
    }
};

}  // namespace tavrin::test

QTEST_MAIN(tavrin::test::DriverPanelTests)
#include "DriverPanelTests.moc"
