#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "uResultDisplay.h"
#include "uWaveControl.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace tavrin {

class TChart;
class TClock;
class TMessageSink;
class TSettingsFile;
class TSignalIn;
class TUiDispatcher;
class TWaveOut;
class TWaveService;
class TfrSpRange;
class TfrValues;
class TfrWaveSetup;

// What the window is given: the audio devices, the user-interface dispatcher, the clock, where
// its files are and where its messages go. The caller keeps ownership of all of it.
struct TFormEnvironment {
    TWaveService& WaveService;
    TUiDispatcher& Ui;
    TClock& Clock;
    TMessageSink& Messages;
    std::string SettingsPath;
    std::string CalibrationPath;
    std::string ExportPath;
};

// The measuring modes, the item index of rgMode.
enum TMode : int { mdCalibration = 0, mdZGraph = 1, mdZGraphLCR = 2, mdTransfer = 3 };

// The program's window: setup and processing pages, the measuring modes, Start/Stop and the
// calibration run, the level control, the display of each result and its export.
class TForm1 : public QWidget {
  public:
    explicit TForm1(const TFormEnvironment& environment, QWidget* parent = nullptr);
    ~TForm1() override;

    bool Measuring() const { return FMeasuring; }
    int32_t BlockLength() const { return FBlockLength; }
    float Amplitude() const { return FAmplitude; }
    TSignalIn& SignalIn() { return *FSignalIn; }
    TWaveOut& WaveOut() { return *FWaveOut; }
    TChart& Chart() { return *FChart; }
    const TResultDisplay& Display() const { return *FDisplay; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildSetupPage(QWidget* page);
    void BuildProcessingPage(QWidget* page);
    QWidget* BuildModeGroup();
    QWidget* BuildRrefPanel();
    QWidget* BuildCalibrationAndGraphGroups();

    void FormCreate();
    void FormCloseQuery();
    void FormDestroy();
    void LoadSettings();
    void SaveSettings();
    void SaveSettingsTo(TSettingsFile& settings);

    void btnStartStopClick();
    void Start();
    void Stop();
    void UpdateRunControls();
    void btnCalibrationClick();
    void btnSaveClick();
    int Mode() const;
    void SelectMode(int mode);
    void rgModeClick();
    void cbIntegrationClick();
    void ApplyGraphOptions();
    void cbModPhClick();
    void cbLogFClick();
    void cbLogZClick();
    void cbDrawAllClick();
    void cbLeftForAllClick();
    void edCinChange();

    void SetupChanged();
    void RangeChanged(float low, float high);
    void ScaleAmplitude(float factor);
    void ShowCalibrationText(const std::string& text);
    void ShowSaturation(bool saturated);
    void ShowError(const std::string& text);
    void SignalInData(TWaveData& data);
    void ShowLCRText(const std::string& text);
    void RebuildStimulus();

    TFormEnvironment Environment;
    std::string SavedDecimalSeparator;
    bool FMeasuring = false;
    std::unique_ptr<TWaveOut> FWaveOut;
    std::unique_ptr<TSignalIn> FSignalIn;
    int32_t FBlockLength = 0;
    float RangeLow = 0;
    float RangeHigh = 0;
    float FAmplitude = 0;
    int LastMeasureMode = mdZGraphLCR;
    bool LevelSetting = false;
    float InputCapacitance = 0;

    QTabWidget* PageControl = nullptr;
    QWidget* tsSetup = nullptr;
    QWidget* tsProcessing = nullptr;
    TfrWaveSetup* frWaveSet = nullptr;
    QLabel* lbAutor = nullptr;
    TChart* FChart = nullptr;
    std::unique_ptr<TResultDisplay> FDisplay;
    TfrSpRange* frSpRange1 = nullptr;
    QLabel* lbSaturation = nullptr;
    QPushButton* btnSave = nullptr;
    QGroupBox* rgMode = nullptr;
    QButtonGroup* rgModeButtons = nullptr;
    QWidget* pnRref = nullptr;
    TfrValues* frRref = nullptr;
    QLineEdit* edCin = nullptr;
    QGroupBox* gbLCR = nullptr;
    QPlainTextEdit* memLCRRes = nullptr;
    QComboBox* cbIntegration = nullptr;
    QGroupBox* gbCalibration = nullptr;
    QLabel* lbCalibration = nullptr;
    QPushButton* btnCalibration = nullptr;
    QGroupBox* gbGraph = nullptr;
    QCheckBox* cbModPh = nullptr;
    QCheckBox* cbLogF = nullptr;
    QCheckBox* cbLogZ = nullptr;
    QCheckBox* cbDrawAll = nullptr;
    QCheckBox* cbLeftForAll = nullptr;
    QPushButton* btnStartStop = nullptr;
};

}  // namespace tavrin
