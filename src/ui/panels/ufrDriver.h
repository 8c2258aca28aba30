#pragma once

// The driver panel: the method (free air only, added mass, known volume) with its mass, volume
// and cone area as typed, which step the incoming impedance results go to, the results as text,
// and their saving beside the curves. A view of the owner's driver measurement, shown as a
// window of its own beside the main one so that the chart stays in sight.
// User-interface thread only.

#include <QWidget>
#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace tavrin {

class TDriverMeasurement;

class TfrDriver : public QWidget {
    Q_OBJECT

  public:
    // The model must outlive the panel.
    explicit TfrDriver(TDriverMeasurement& model, QWidget* parent = nullptr);
    ~TfrDriver() override;

    // Where Save writes: a path without extension, to which the model adds its names.
    void SetSaveBase(std::string base) { SaveBase = std::move(base); }

    // A file that could not be written; the owner shows the text.
    std::function<void(const std::string& text)> OnError;

  private:
    void cbMethodChange();
    // A typed amount in the user's unit, scaled to SI and handed to `apply` when it is a
    // positive number; the edit turns red otherwise.
    void AmountChange(QLineEdit& edit, double scale, void (TDriverMeasurement::*apply)(double));
    void StepClick();
    void btnSaveClick();
    void ShowResults();

    TDriverMeasurement& Model;
    std::string SaveBase;

    QComboBox* cbMethod = nullptr;
    QLabel* lbMass = nullptr;
    QLineEdit* edMass = nullptr;
    QLabel* lbVolume = nullptr;
    QLineEdit* edVolume = nullptr;
    QLineEdit* edSd = nullptr;
    QRadioButton* rbFreeAir = nullptr;
    QRadioButton* rbSecond = nullptr;
    QPlainTextEdit* memDriver = nullptr;
    QPushButton* btnClear = nullptr;
    QPushButton* btnSave = nullptr;
    QLabel* lbSaved = nullptr;
};

}  // namespace tavrin
