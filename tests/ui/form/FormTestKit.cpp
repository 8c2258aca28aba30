#include "FormTestKit.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <vector>

#include "uQtDispatch.h"

namespace tavrin::testing {

TVirtualBoxOptions FastBox() {
    TVirtualBoxOptions options;
    options.SpeedUp = 8.0;
    options.Lockstep = true;  // no lost audio when the machine is busy
    return options;
}

TFormRig::TFormRig(const QString& folder, TWaveService* waveService) : Folder(folder) {
    DrainFromQtEventLoop(Ui);
    if (waveService == nullptr) {
        std::vector<std::unique_ptr<TWaveService>> backends;
        backends.push_back(std::make_unique<TVirtualBoxService>(FastBox()));
        OwnService = std::make_unique<TCombinedWaveService>(std::move(backends));
        waveService = OwnService.get();
    }
    Service = waveService;
    Restart();
}

TFormRig::~TFormRig() {
    if (FForm) {
        FForm->close();
    }
    FForm.reset();
}

void TFormRig::Restart() {
    if (FForm) {
        FForm->close();
        FForm.reset();
    }
    FForm = std::make_unique<TForm1>(TFormEnvironment{
        *Service, Ui, Clock, Messages, (Folder + "/tavrin.ini").toStdString(),
        (Folder + "/tavrin.cal").toStdString(), (Folder + "/tavrin.txt").toStdString(),
        (Folder + "/tavrin.window").toStdString()});
    FForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
}

void TFormRig::SelectDevices(int device) {
    Find<QComboBox>("cbDeviceIn")->setCurrentIndex(device);
    Find<QComboBox>("cbDeviceOut")->setCurrentIndex(device);
}

void TFormRig::Click(const char* buttonName) {
    QAbstractButton* button = Find<QAbstractButton>(buttonName);
    QVERIFY2(button != nullptr, buttonName);
    QVERIFY2(button->isVisible() && button->isEnabled(), buttonName);
    QTest::mouseClick(button, Qt::LeftButton);
}

int CheckedMode(TFormRig& rig) {
    const auto buttons = rig.Find<QWidget>("rgMode")->findChildren<QRadioButton*>();
    for (int i = 0; i < buttons.size(); ++i) {
        if (buttons[i]->isChecked()) {
            return i;
        }
    }
    return -1;
}

void ChooseMode(TFormRig& rig, int mode) {
    const auto buttons = rig.Find<QWidget>("rgMode")->findChildren<QRadioButton*>();
    QTest::mouseClick(buttons.at(mode), Qt::LeftButton, {},
                      QPoint(6, buttons.at(mode)->height() / 2));
}

void ShowProcessingPage(TFormRig& rig) {
    rig.Find<QTabWidget>("PageControl1")->setCurrentIndex(1);
}

void Calibrate(TFormRig& rig) {
    rig.SelectDevices(kCalibration);
    ShowProcessingPage(rig);
    rig.Click("btnStartStop");
    QVERIFY(rig.Form().Measuring());
    QLabel* stage = rig.Find<QLabel>("lbCalibration");
    QTRY_VERIFY_WITH_TIMEOUT(stage->text().contains("Async: "), kResultTimeoutMs);
    rig.Click("btnCalibration");
    QTRY_COMPARE_WITH_TIMEOUT(stage->text(), QString("Press Stop\nto finish."), kResultTimeoutMs);
    rig.Click("btnStartStop");
    QVERIFY(!rig.Form().Measuring());
}

}  // namespace tavrin::testing
