#pragma once

// The audio setup panel: sampling rate, capture and playback device, input swap and the band
// FMin..FMax in whole hertz. Every accepted change is reported through OnSetupChange; the band
// texts are checked on every keystroke. User-interface thread only.

#include <QWidget>
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace tavrin {

class TSettingsFile;
class TWaveService;

class TfrWaveSetup : public QWidget {
    Q_OBJECT

  public:
    // The service's device lists are read once, here; the caller keeps ownership of it.
    explicit TfrWaveSetup(const TWaveService& waveService, QWidget* parent = nullptr);

    // 48000, 96000 or 192000 samples per second per channel.
    int32_t SampleRate() const;
    // Device numbers of the service; -1 when the list is empty or nothing is selected.
    int32_t InputDevice() const;
    int32_t OutputDevice() const;
    // The last accepted band limits, Hz. FMin is never 0; FMax was within SampleRate / 2 when
    // it was accepted. FMin < FMax is not guaranteed.
    int32_t FMin() const { return FMinValue; }
    int32_t FMax() const { return FMaxValue; }
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

  private:
    void BuildControls();
    void LayOutControls();
    static void FillDeviceList(QComboBox& list, int32_t count,
                               const std::function<std::string(int32_t)>& nameOf);
    void RestoreDevice(const TSettingsFile& settings, QComboBox& list, const char* idKey,
                       const char* nameKey);
    void ShowMissingDevice(QComboBox& list, const QString& storedName);
    void ClearMissingDevice(QComboBox& list);

    void cbSamplingChange();
    // Validates the text of edMin or edMax; true when it was accepted.
    bool edLimChange(QLineEdit& edit);
    // Replaces an edit's text and validates it once (the edit's own change report is held back).
    void PutBandText(QLineEdit& edit, const QString& text);
    void RaiseSetupChange();

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

    int32_t FMinValue = 20;
    int32_t FMaxValue = 22000;
    // Whether the text of edMax is the one in force; a rejected text may become valid when
    // the rate rises.
    bool MaxTextInForce = true;
};

}  // namespace tavrin
