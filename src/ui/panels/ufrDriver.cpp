#include "ufrDriver.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "uDriverMeasurement.h"
#include "uInputMarking.h"
#include "uNumberText.h"

namespace tavrin {
namespace {

const char* const kMethods[] = {"Free air only", "Added mass", "Known volume"};

template <typename Widget, typename... Args>
Widget* Named(const char* name, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(name);
    return widget;
}

}  // namespace

TfrDriver::TfrDriver(TDriverMeasurement& model, QWidget* parent) : QWidget(parent), Model(model) {
    setObjectName("frDriver");
    setWindowTitle("Driver");

    cbMethod = Named<QComboBox>("cbMethod", this);
    for (const char* method : kMethods) {
        cbMethod->addItem(method);
    }
    lbMass = Named<QLabel>("lbMass", "Added mass [g]", this);
    edMass = Named<QLineEdit>("edMass", this);
    lbVolume = Named<QLabel>("lbVolume", "Box volume [l]", this);
    edVolume = Named<QLineEdit>("edVolume", this);
    edSd = Named<QLineEdit>("edSd", this);
    auto* form = new QFormLayout;
    form->addRow("Method", cbMethod);
    form->addRow(lbMass, edMass);
    form->addRow(lbVolume, edVolume);
    form->addRow("Sd [cm\u00B2]", edSd);

    rbFreeAir = Named<QRadioButton>("rbFreeAir", "Free air", this);
    rbSecond = Named<QRadioButton>("rbSecond", this);
    rbFreeAir->setChecked(true);
    auto* steps = new QHBoxLayout;
    steps->addWidget(Named<QLabel>("lbStep", "Results go to", this));
    steps->addWidget(rbFreeAir);
    steps->addWidget(rbSecond);
    steps->addStretch(1);

    memDriver = Named<QPlainTextEdit>("memDriver", this);
    memDriver->setReadOnly(true);
    memDriver->setLineWrapMode(QPlainTextEdit::NoWrap);
    memDriver->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    memDriver->setMinimumSize(memDriver->fontMetrics().horizontalAdvance('0') * 56,
                              memDriver->fontMetrics().lineSpacing() * 33);

    btnClear = Named<QPushButton>("btnDriverClear", "Clear", this);
    btnSave = Named<QPushButton>("btnDriverSave", "Save", this);
    lbSaved = Named<QLabel>("lbDriverSaved", this);
    lbSaved->setWordWrap(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnClear);
    buttons->addStretch(1);
    buttons->addWidget(btnSave);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(steps);
    layout->addWidget(memDriver, 1);
    layout->addLayout(buttons);
    layout->addWidget(lbSaved);

    connect(cbMethod, &QComboBox::currentIndexChanged, this, [this] { cbMethodChange(); });
    connect(edMass, &QLineEdit::textChanged, this,
            [this] { AmountChange(*edMass, 1e-3, &TDriverMeasurement::SetAddedMass); });
    connect(edVolume, &QLineEdit::textChanged, this,
            [this] { AmountChange(*edVolume, 1e-3, &TDriverMeasurement::SetBoxVolume); });
    connect(edSd, &QLineEdit::textChanged, this,
            [this] { AmountChange(*edSd, 1e-4, &TDriverMeasurement::SetSd); });
    connect(rbFreeAir, &QRadioButton::toggled, this, [this] { StepClick(); });
    connect(btnClear, &QPushButton::clicked, this, [this] { Model.Clear(); });
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    Model.OnChange = [this] { ShowResults(); };

    cbMethod->setCurrentIndex(static_cast<int>(Model.Method()));
    rbSecond->setChecked(Model.Step() == TDriverStep::Second);
    cbMethodChange();
}

TfrDriver::~TfrDriver() {
    Model.OnChange = nullptr;
}

void TfrDriver::cbMethodChange() {
    const auto method = static_cast<TDriverMethod>(cbMethod->currentIndex());
    const bool mass = method == TDriverMethod::AddedMass;
    const bool volume = method == TDriverMethod::KnownVolume;
    lbMass->setVisible(mass);
    edMass->setVisible(mass);
    lbVolume->setVisible(volume);
    edVolume->setVisible(volume);
    rbSecond->setText(volume ? "In the box" : "With the mass");
    rbSecond->setEnabled(mass || volume);
    if (!mass && !volume) {
        rbFreeAir->setChecked(true);
    }
    Model.SetMethod(method);
}

void TfrDriver::AmountChange(QLineEdit& edit, double scale,
                             void (TDriverMeasurement::*apply)(double)) {
    const std::optional<double> number = ParseTypedNumber(edit.text().toStdString());
    const bool valid = number && *number > 0;
    MarkInput(edit, valid);
    if (valid) {
        (Model.*apply)(*number * scale);
    }
}

void TfrDriver::StepClick() {
    Model.SetStep(rbFreeAir->isChecked() ? TDriverStep::FreeAir : TDriverStep::Second);
}

void TfrDriver::btnSaveClick() {
    if (const auto error = Model.Save(SaveBase)) {
        lbSaved->clear();
        if (OnError) {
            OnError(*error);
        }
        return;
    }
    QStringList saved;
    for (const std::string& file : Model.Files(SaveBase)) {
        saved << QString::fromStdString(file);
    }
    lbSaved->setText("Saved " + saved.join(", "));
}

void TfrDriver::ShowResults() {
    memDriver->setPlainText(QString::fromStdString(Model.Text()).replace("\r\n", "\n"));
}

}  // namespace tavrin
