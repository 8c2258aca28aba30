#pragma once

// The audio setup panel: sampling rate, capture and playback device, input swap and the band
// FMin..FMax in whole hertz, a view of the setup model that holds them and checks the band texts
// on every keystroke. User-interface thread only.

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace tavrin {

class TSettingsFile;
class TWaveService;
class TWaveSetupModel;

class TfrWaveSetup : public QWidget {
    Q_OBJECT

  public:
    // A panel with a model of its own; the service's device lists are read once, here, and the
    // caller keeps ownership of the service. Every accepted change raises OnSetupChange.
    explicit TfrWaveSetup(const TWaveService& waveService, QWidget* parent = nullptr);
    // A view of the owner's model, which must outlive the panel; the model's own OnSetupChange
    // tells of changes and the panel's stays silent.
    explicit TfrWaveSetup(TWaveSetupModel& model, QWidget* parent = nullptr);
    ~TfrWaveSetup() override;

    // 48000, 96000 or 192000 samples per second per channel.
    int32_t SampleRate() const;
    // Device numbers of the service; -1 when the list is empty or nothing is selected.
    int32_t InputDevice() const;
    int32_t OutputDevice() const;
    // The last accepted band limits, Hz. FMin is never 0; FMax was within SampleRate / 2 when
    // it was accepted. FMin < FMax is not guaranteed.
    int32_t FMin() const;
    int32_t FMax() const;
    // "Swap L/R Input": stays usable during a run, so read it for every block.
    bool SwapInputs() const;

    // Locks the rate, the devices and the band while a run is in progress.
    void SetControlsEnabled(bool enabled);

    // Section "WaveSetup". Loading raises OnSetupChange for each band text it accepts.
    void LoadSettings(const TSettingsFile& settings);
    // Throws what the settings file throws when a value cannot be written.
    void SaveSettings(TSettingsFile& settings) const;

    // Raised after a change of rate (before and again after FMax follows it) and after every
    // accepted band text; may come more than once for one action. Runs inside a widget event
    // handler, so it must not throw.
    std::function<void()> OnSetupChange;
    // Raised when the user picks another capture or playback device: what was measured on the
    // one before no longer applies.
    std::function<void()> OnDeviceChange;

  private:
    void Init();
    void BuildControls();
    void LayOutControls();
    void ConnectControls();
    // Selects device `index` of the input or the output list, raising OnDeviceChange when
    // that changes the device.
    void PickDevice(bool input, int index);
    static void FillDeviceList(QComboBox& list, const std::vector<std::string>& names);
    static void ShowDevice(QComboBox& list, int32_t device, const std::string& missingName);
    // Puts the model's state into the controls.
    void Refresh();

    void cbSamplingChange();
    // Hands the text of edMin or edMax to the model; true when it was accepted.
    bool edLimChange(QLineEdit& edit);

    QLabel* lbSampling = nullptr;
    QComboBox* cbSampling = nullptr;
    QLabel* lbInput = nullptr;
    QComboBox* cbDeviceIn = nullptr;
    QLabel* lbOutput = nullptr;
    QComboBox* cbDeviceOut = nullptr;
    QCheckBox* cbSwap = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* edMin = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* edMax = nullptr;

    std::unique_ptr<TWaveSetupModel> OwnModel;
    TWaveSetupModel& Model;
};

}  // namespace tavrin
