#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "uCurveTools.h"
#include "uMeasurementSession.h"
#include "uResultDisplay.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace tavrin {

class TBenchPanel;
class TChart;
class TClock;
class TDriverMeasurement;
class TMessageSink;
class TSettingsFile;
class TUiDispatcher;
class TWaveService;
class TfrDriver;
class TfrSpRange;
class TfrValues;
class TfrWaveSetup;
class TStatusLine;

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
    // Where the window's place and size are kept between runs; empty keeps nothing.
    std::string GeometryPath;
};

// The program's window, a view of the measuring session: the setup and processing pages, the
// controls that drive the session, the display of each result, the export of the curves and the
// message boxes. The modes' item index in rgMode is TMode.
class TForm1 : public QWidget {
  public:
    explicit TForm1(const TFormEnvironment& environment, QWidget* parent = nullptr);
    ~TForm1() override;

    bool Measuring() const { return FSession->Measuring(); }
    int32_t BlockLength() const { return FSession->BlockLength(); }
    float Amplitude() const { return FSession->Amplitude(); }
    TMeasurementSession& Session() { return *FSession; }
    TChart& Chart() { return *FChart; }
    const TResultDisplay& Display() const { return *FDisplay; }
    TCurveTools& Curves() { return *FCurves; }
    TDiagramView& Diagram() { return *FDiagram; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildSetupPage(QWidget* page);
    void BuildProcessingPage(QWidget* page);
    QWidget* BuildModeGroup();
    QWidget* BuildRrefPanel();
    QWidget* BuildCalibrationAndGraphGroups();

    // No control may be squeezed below what it needs to be read whole.
    void FitMinimumSize();
    void FormCreate();
    void FormCloseQuery();
    void FormDestroy();
    void LoadGraphSettings(const TSettingsFile& settings);
    void SaveGraphSettings(TSettingsFile& settings) const;

    void btnStartStopClick();
    void Start();
    void Stop();
    // The controls of an idle instrument, after a Stop or a run the session ended by itself.
    void ShowStopped();
    void UpdateRunControls();
    void btnCalibrationClick();
    void btnSaveClick();
    void btnDriverClick();
    void ShowMode(int mode);
    void cbIntegrationClick();
    void ApplyGraphOptions();
    void cbModPhClick();
    void cbLogFClick();
    void cbLogZClick();
    void cbDrawAllClick();
    void cbLeftForAllClick();
    void edCinChange();

    void ShowCalibrationText(const std::string& text);
    void ShowSaturation(bool saturated);
    void ShowError(const std::string& text);
    void ShowResult(const TMeasurementResult& result);
    void ShowLCRText(const std::string& text);
    void ShowCalibrationMark(const std::string& mark);
    void ReferenceOptionsChanged();
    // The readout of a component measured before no longer applies.
    void ClearReadouts();
    // What to do in the calibration's present stage.
    void ShowCalibrationHelp();
    void ShowProgress();
    // The bench-meter panel beside the column, and the captures its buttons start.
    void ShowBench(bool shown);
    void StartCapture(TFixturePart part, double loadOhms);
    void ShowBenchPlot(const TMeasurementResult& result, const TResultDisplay::TBand& band);

    TFormEnvironment Environment;
    std::string SavedDecimalSeparator;
    std::unique_ptr<TMeasurementSession> FSession;

    QTabWidget* PageControl = nullptr;
    QWidget* tsSetup = nullptr;
    QWidget* tsProcessing = nullptr;
    TfrWaveSetup* frWaveSet = nullptr;
    QLabel* lbAutor = nullptr;
    TChart* FChart = nullptr;
    std::unique_ptr<TResultDisplay> FDisplay;
    TDiagramView* FDiagram = nullptr;
    std::unique_ptr<TCurveTools> FCurves;
    TfrSpRange* frSpRange1 = nullptr;
    QLabel* lbSaturation = nullptr;
    QLabel* lbCalibrationMark = nullptr;
    std::string ShownClockWarning;
    QCheckBox* cbClockCompensation = nullptr;
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
    QLabel* lbCalibrationHelp = nullptr;
    TStatusLine* pnStatus = nullptr;
    QTimer* ProgressTimer = nullptr;
    int ShownMode = -1;
    // The driver panel, a window of its own, fitting the impedance results while it is shown.
    std::unique_ptr<TDriverMeasurement> FDriver;
    QPushButton* btnDriver = nullptr;
    TfrDriver* frDriver = nullptr;
    QCheckBox* cbBench = nullptr;
    TBenchPanel* pnBench = nullptr;
    // What the window grew by for the panel, given back when it is hidden.
    int BenchGrowth = 0;
    // A copy of a result with the bench plot's pair in place of Zx.
    TWaveData BenchPlotData;
};

}  // namespace tavrin
