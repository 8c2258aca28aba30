#include "FormTestKit.h"

#include <QAbstractButton>
#include <QComboBox>
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
        (Folder + "/tavrin.cal").toStdString(), (Folder + "/tavrin.txt").toStdString()});
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

}  // namespace tavrin::testing
