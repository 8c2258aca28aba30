#pragma once

// The main window on the virtual connection box at speed, its files in a scratch folder and its
// messages recorded, for tests and benchmarks of the whole program.

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "uClock.h"
#include "uCombinedWaveService.h"
#include "uMessageSink.h"
#include "uUiDispatcher.h"
#include "uVirtualBoxService.h"
#include "ufmTavrin.h"

namespace tavrin::testing {

class TRecordedMessages : public TMessageSink {
  public:
    void ShowMessage(const QString& text) override { Texts << text; }
    QStringList Texts;
};

// The virtual box's devices in the program's lists.
enum TBoxDevice : int { kCalibration = 0, kResistor, kCapacitor, kInductor, kLowPass };

TVirtualBoxOptions FastBox();

// Long enough for a result on a busy machine.
inline constexpr int kResultTimeoutMs = 30000;

class TFormRig {
  public:
    // A first start when `folder` holds no files; wave service and clock may be replaced.
    explicit TFormRig(const QString& folder, TWaveService* waveService = nullptr);
    ~TFormRig();

    TForm1& Form() { return *FForm; }
    // A new window on the same files, as after a restart.
    void Restart();
    template <typename Widget>
    Widget* Find(const char* name) {
        return FForm->findChild<Widget*>(name);
    }
    void SelectDevices(int device);
    void Click(const char* buttonName);
    QString SettingsPath() const { return Folder + "/tavrin.ini"; }
    QString ExportPath() const { return Folder + "/tavrin.txt"; }
    QString GeometryPath() const { return Folder + "/tavrin.window"; }

    TRecordedMessages Messages;

  private:
    QString Folder;
    TSystemClock Clock;
    TUiDispatcher Ui{Clock};
    std::unique_ptr<TWaveService> OwnService;
    TWaveService* Service;
    std::unique_ptr<TForm1> FForm;
};

// The mode checked in rgMode, -1 for none; choosing one clicks its button as the user would.
int CheckedMode(TFormRig& rig);
void ChooseMode(TFormRig& rig, int mode);
void ShowProcessingPage(TFormRig& rig);
// Calibrates on the box's calibration position, as the README tells a first-time user: level
// setting, Continue, Stop.
void Calibrate(TFormRig& rig);

}  // namespace tavrin::testing
