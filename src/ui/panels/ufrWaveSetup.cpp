#include "ufrWaveSetup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <string>

#include "uInputMarking.h"
#include "uNumberText.h"
#include "uSettingsFile.h"
#include "uWaveService.h"

namespace tavrin {
namespace {

constexpr const char* kSection = "WaveSetup";
const char* const kRates[] = {"48000", "96000", "192000"};

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, bool bold) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromUtf8(name));
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

QComboBox* MakeList(QWidget* parent, const char* name, int minimumWidth) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromUtf8(name));
    list->setEditable(false);
    // Long device names must not stretch the panel; the open list shows them in full.
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(6);
    list->setMinimumWidth(minimumWidth);
    return list;
}

QLineEdit* MakeBandEdit(QWidget* parent, const char* name, int width) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromUtf8(name));
    edit->setFixedWidth(width);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

QFrame* MakeBevel(QWidget* parent, const char* name, QFrame::Shape shape) {
    auto* bevel = new QFrame(parent);
    bevel->setObjectName(QString::fromUtf8(name));
    bevel->setFrameShape(shape);
    bevel->setFrameShadow(QFrame::Sunken);
    return bevel;
}

std::string ToText(const QString& text) {
    return text.toStdString();
}

QString FromText(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

TfrWaveSetup::TfrWaveSetup(const TWaveService& waveService, QWidget* parent) : QWidget(parent) {
    BuildControls();
    LayOutControls();

    for (const char* rate : kRates) {
        cbSampling->addItem(QString::fromUtf8(rate), ParseBandEdit(rate).value_or(0));
    }
    cbSampling->setCurrentIndex(0);

    FillDeviceList(*cbDeviceIn, waveService.InputDeviceCount(),
                   [&waveService](int32_t i) { return waveService.InputDeviceName(i); });
    FillDeviceList(*cbDeviceOut, waveService.OutputDeviceCount(),
                   [&waveService](int32_t i) { return waveService.OutputDeviceName(i); });

    PutBandText(*edMin, QStringLiteral("20"));
    PutBandText(*edMax, QStringLiteral("22000"));

    connect(cbSampling, &QComboBox::activated, this, [this] { cbSamplingChange(); });
    connect(edMin, &QLineEdit::textChanged, this, [this] { edLimChange(*edMin); });
    connect(edMax, &QLineEdit::textChanged, this, [this] { edLimChange(*edMax); });
    connect(cbDeviceIn, &QComboBox::activated, this, [this] { ClearMissingDevice(*cbDeviceIn); });
    connect(cbDeviceOut, &QComboBox::activated, this, [this] { ClearMissingDevice(*cbDeviceOut); });
}

void TfrWaveSetup::BuildControls() {
    lbSampling = MakeLabel(this, "lbSampling", "Sampling:", true);
    cbSampling = MakeList(this, "cbSampling", 61);
    lbInput = MakeLabel(this, "lbInput", "Input:", true);
    cbDeviceIn = MakeList(this, "cbDeviceIn", 245);
    lbOutput = MakeLabel(this, "lbOutput", "Output:", true);
    cbDeviceOut = MakeList(this, "cbDeviceOut", 245);
    cbSwap = new QCheckBox(QStringLiteral("Swap L/R Input"), this);
    cbSwap->setObjectName(QStringLiteral("cbSwap"));
    Label1 = MakeLabel(this, "Label1", "Min [Hz]", false);
    edMin = MakeBandEdit(this, "edMin", 60);
    Label2 = MakeLabel(this, "Label2", "Max [Hz]", false);
    edMax = MakeBandEdit(this, "edMax", 60);
}

void TfrWaveSetup::LayOutControls() {
    // Rate column | device rows, a rule, then the band and the swap option.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->addWidget(lbSampling, 0, 0);
    grid->addWidget(cbSampling, 1, 0);
    grid->addWidget(MakeBevel(this, "BevelWS1", QFrame::VLine), 0, 1, 2, 1);
    grid->addWidget(lbInput, 0, 2);
    grid->addWidget(cbDeviceIn, 0, 3);
    grid->addWidget(lbOutput, 1, 2);
    grid->addWidget(cbDeviceOut, 1, 3);
    grid->setColumnStretch(3, 1);

    auto* band = new QHBoxLayout;
    band->setSpacing(6);
    band->addWidget(Label1);
    band->addWidget(edMin);
    band->addSpacing(8);
    band->addWidget(Label2);
    band->addWidget(edMax);
    band->addStretch(1);
    band->addWidget(cbSwap);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(4);
    column->addLayout(grid);
    column->addWidget(MakeBevel(this, "BevelWS2", QFrame::HLine));
    column->addLayout(band);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TfrWaveSetup::FillDeviceList(QComboBox& list, int32_t count,
                                  const std::function<std::string(int32_t)>& nameOf) {
    list.clear();
    for (int32_t i = 0; i < count; ++i) {
        std::string name = nameOf(i);
        // Names come from C records on some backends; nothing after a NUL belongs to the name.
        name.resize(std::char_traits<char>::length(name.c_str()));
        list.addItem(FromText(name));
        list.setItemData(i, FromText(name), Qt::ToolTipRole);
    }
    // The middle of the list: the only device of one, the second of two or three, ...
    list.setCurrentIndex(count > 0 ? count / 2 : -1);
}

int32_t TfrWaveSetup::SampleRate() const {
    return cbSampling->currentData().toInt();
}

int32_t TfrWaveSetup::InputDevice() const {
    return cbDeviceIn->currentIndex();
}

int32_t TfrWaveSetup::OutputDevice() const {
    return cbDeviceOut->currentIndex();
}

bool TfrWaveSetup::SwapInputs() const {
    return cbSwap->isChecked();
}

void TfrWaveSetup::SetControlsEnabled(bool enabled) {
    for (QWidget* control : {static_cast<QWidget*>(cbSampling), static_cast<QWidget*>(cbDeviceIn),
                             static_cast<QWidget*>(cbDeviceOut), static_cast<QWidget*>(edMin),
                             static_cast<QWidget*>(edMax)}) {
        control->setEnabled(enabled);
    }
}

void TfrWaveSetup::RaiseSetupChange() {
    if (OnSetupChange) {
        OnSetupChange();
    }
}

bool TfrWaveSetup::edLimChange(QLineEdit& edit) {
    const std::optional<int32_t> number = ParseBandEdit(ToText(edit.text()));
    const bool isMin = &edit == edMin;
    bool accepted = false;
    if (number) {
        accepted = isMin ? *number != 0 : *number >= 0 && *number <= SampleRate() / 2;
    }
    if (accepted) {
        (isMin ? FMinValue : FMaxValue) = *number;
    }
    if (!isMin) {
        MaxTextInForce = accepted;
    }
    MarkInput(edit, accepted);
    if (accepted) {
        RaiseSetupChange();
    }
    return accepted;
}

void TfrWaveSetup::PutBandText(QLineEdit& edit, const QString& text) {
    {
        const QSignalBlocker quiet(&edit);
        edit.setText(text);
    }
    edLimChange(edit);
}

void TfrWaveSetup::cbSamplingChange() {
    // The owner sees the new rate with the old band first.
    RaiseSetupChange();
    const int32_t half = SampleRate() / 2;
    if (half < FMaxValue) {
        PutBandText(*edMax, FromText(FormatIniInt(half)));
    } else if (!MaxTextInForce) {
        // A text rejected under the old rate is taken once it fits the new one, so that the
        // marking of edMax always tells whether its text is in force.
        edLimChange(*edMax);
    }
}

void TfrWaveSetup::LoadSettings(const TSettingsFile& settings) {
    RestoreDevice(settings, *cbDeviceIn, "InputID", "InputName");
    RestoreDevice(settings, *cbDeviceOut, "OutputID", "OutputName");

    const int32_t rate = settings.ReadInt(kSection, "Sampling", SampleRate());
    const int rateIndex = cbSampling->findData(rate);
    if (rateIndex >= 0) {
        cbSampling->setCurrentIndex(rateIndex);
    }

    cbSwap->setChecked(settings.ReadFlag(kSection, "Swap", cbSwap->isChecked()));

    PutBandText(*edMin, FromText(settings.ReadText(kSection, "FMin", ToText(edMin->text()))));
    PutBandText(*edMax, FromText(settings.ReadText(kSection, "FMax", ToText(edMax->text()))));
}

void TfrWaveSetup::RestoreDevice(const TSettingsFile& settings, QComboBox& list, const char* idKey,
                                 const char* nameKey) {
    ClearMissingDevice(list);
    const int32_t id = settings.ReadInt(kSection, idKey, list.currentIndex());
    const QString name = FromText(settings.ReadText(kSection, nameKey, ""));

    // Devices come and go between runs (a USB card plugged in shifts the numbers), so a
    // device still present under its stored name is found wherever it now is.
    if (!name.isEmpty()) {
        if (id >= 0 && id < list.count() && list.itemText(id) == name) {
            list.setCurrentIndex(id);
            return;
        }
        const int moved = list.findText(name, Qt::MatchExactly);
        if (moved >= 0) {
            list.setCurrentIndex(moved);
            return;
        }
    }
    if (id < list.count()) {
        list.setCurrentIndex(id < 0 ? -1 : id);
    }
    // The stored device is gone: the number rule has picked another one, which must not
    // pass unnoticed.
    if (!name.isEmpty()) {
        ShowMissingDevice(list, name);
    }
}

void TfrWaveSetup::ShowMissingDevice(QComboBox& list, const QString& storedName) {
    MarkInput(list, false);
    list.setToolTip(
        QStringLiteral("The device last used, \"%1\", is not present.").arg(storedName));
}

void TfrWaveSetup::ClearMissingDevice(QComboBox& list) {
    MarkInput(list, true);
    list.setToolTip(QString());
}

void TfrWaveSetup::SaveSettings(TSettingsFile& settings) const {
    settings.WriteInt(kSection, "InputID", InputDevice());
    settings.WriteText(kSection, "InputName", ToText(cbDeviceIn->currentText()));
    settings.WriteInt(kSection, "OutputID", OutputDevice());
    settings.WriteText(kSection, "OutputName", ToText(cbDeviceOut->currentText()));
    settings.WriteInt(kSection, "Sampling", SampleRate());
    settings.WriteFlag(kSection, "Swap", cbSwap->isChecked());
    settings.WriteText(kSection, "FMin", ToText(edMin->text()));
    settings.WriteText(kSection, "FMax", ToText(edMax->text()));
}

}  // namespace tavrin
