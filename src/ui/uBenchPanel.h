#pragma once

// The bench-meter panel beside the processing column: the test frequency (typed, picked or
// clicked on the chart), the model, the spot readout and the band's circuits of each result,
// the plot in place of Re/Im, R in, and the fixture's captures with the "Input" line. A view of
// the session's bench meter; user-interface thread.

#include <QWidget>
#include <functional>

#include "uBenchMeter.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tavrin {

class TMeasurementSession;

class TBenchPanel : public QWidget {
  public:
    // The session outlives the panel.
    TBenchPanel(TMeasurementSession& session, QWidget* parent = nullptr);

    // Shows what the session's bench holds (after the session has loaded its files).
    void ShowBenchState();
    // A result's readings.
    void ShowReadout(const TBenchReadout& readout);
    // A test frequency from elsewhere (a click on the chart), Hz.
    void SetTestFrequency(double hertz);
    // While a run goes on, captures cannot start.
    void SetMeasuring(bool measuring);
    // The fixture's state and the "Input" line, after a capture or a change of R ref.
    void ShowFixture();

    // A capture button: the window starts the run.
    std::function<void(TFixturePart part, double loadOhms)> OnCapture;
    // The plot choice changed: the window redraws.
    std::function<void()> OnPlotChange;
    // C in was replaced by the measured one: the window shows it.
    std::function<void()> OnInputsUsed;

  private:
    void cbSpotChange();
    void edRinChange();
    void btnLoadClick();
    void btnUseClick();
    void btnClearClick();

    TMeasurementSession& Session;
    QComboBox* cbSpot = nullptr;
    QComboBox* cbModel = nullptr;
    QPlainTextEdit* memSpot = nullptr;
    QComboBox* cbPlot = nullptr;
    QLineEdit* edRin = nullptr;
    QPushButton* btnOpen = nullptr;
    QPushButton* btnShort = nullptr;
    QPushButton* btnLoad = nullptr;
    QLineEdit* edLoad = nullptr;
    QCheckBox* cbCompensate = nullptr;
    QPushButton* btnClear = nullptr;
    QLabel* lbFixture = nullptr;
    QLabel* lbInput = nullptr;
    QPushButton* btnUse = nullptr;
};

}  // namespace tavrin
