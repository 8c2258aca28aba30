#include "ufrWaveSetup.h"

#include <QAbstractItemView>
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
#include "uWaveSetupModel.h"

namespace tavrin {
namespace {

// Room in an open device list beside the longest name: the frame and a scroll bar.
constexpr int kListMargin = 24;

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

TfrWaveSetup::TfrWaveSetup(const TWaveService& waveService, QWidget* parent)
    : QWidget(parent), OwnModel(std::make_unique<TWaveSetupModel>(waveService)), Model(*OwnModel) {
    Model.OnSetupChange = [this] {
        if (OnSetupChange) {
            OnSetupChange();
        }
    };
    Init();
}

TfrWaveSetup::TfrWaveSetup(TWaveSetupModel& model, QWidget* parent)
    : QWidget(parent), Model(model) {
    Init();
}

void TfrWaveSetup::Init() {
    BuildControls();
    LayOutControls();
    for (const int32_t rate : TWaveSetupModel::Rates) {
        cbSampling->addItem(FromText(FormatIniInt(rate)), rate);
    }
    FillDeviceList(*cbDeviceIn, Model.InputNames());
    FillDeviceList(*cbDeviceOut, Model.OutputNames());
    Refresh();
    Model.OnStateChange = [this] { Refresh(); };
    ConnectControls();
}

TfrWaveSetup::~TfrWaveSetup() {
    Model.OnStateChange = nullptr;
}

void TfrWaveSetup::ConnectControls() {
    connect(cbSampling, &QComboBox::activated, this, [this] { cbSamplingChange(); });
    connect(edMin, &QLineEdit::textChanged, this, [this] { edLimChange(*edMin); });
    connect(edMax, &QLineEdit::textChanged, this, [this] { edLimChange(*edMax); });
    // A device picked by the user clears a missing-device mark even when the number stays.
    connect(cbDeviceIn, &QComboBox::activated, this,
            [this] { PickDevice(true, cbDeviceIn->currentIndex()); });
    connect(cbDeviceOut, &QComboBox::activated, this,
            [this] { PickDevice(false, cbDeviceOut->currentIndex()); });
    connect(cbDeviceIn, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index != Model.InputDevice()) {
            PickDevice(true, index);
        }
    });
    connect(cbDeviceOut, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index != Model.OutputDevice()) {
            PickDevice(false, index);
        }
    });
    connect(cbSwap, &QCheckBox::toggled, this, [this](bool on) {
        if (on != Model.SwapInputs()) {
            Model.SetSwap(on);
        }
    });
}

void TfrWaveSetup::PickDevice(bool input, int index) {
    const int32_t before = input ? Model.InputDevice() : Model.OutputDevice();
    if (input) {
        Model.SelectInput(index);
    } else {
        Model.SelectOutput(index);
    }
    const int32_t after = input ? Model.InputDevice() : Model.OutputDevice();
    if (after != before && OnDeviceChange) {
        OnDeviceChange();
    }
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

void TfrWaveSetup::FillDeviceList(QComboBox& list, const std::vector<std::string>& names) {
    list.clear();
    for (const std::string& name : names) {
        list.addItem(FromText(name));
        list.setItemData(list.count() - 1, FromText(name), Qt::ToolTipRole);
    }
    // The open list shows every name whole, however narrow the window makes the box.
    list.view()->setMinimumWidth(list.view()->sizeHintForColumn(0) + kListMargin);
}

void TfrWaveSetup::ShowDevice(QComboBox& list, int32_t device, const std::string& missingName) {
    if (list.currentIndex() != device) {
        const QSignalBlocker quiet(&list);
        list.setCurrentIndex(device);
    }
    // A stored device that is gone must not pass unnoticed behind the one the number rule
    // picked instead.
    MarkInput(list, missingName.empty());
    list.setToolTip(missingName.empty()
                        ? list.currentText()
                        : QStringLiteral("The device last used, \"%1\", is not present.")
                              .arg(FromText(missingName)));
}

void TfrWaveSetup::Refresh() {
    const int rateIndex = cbSampling->findData(Model.SampleRate());
    if (cbSampling->currentIndex() != rateIndex) {
        const QSignalBlocker quiet(cbSampling);
        cbSampling->setCurrentIndex(rateIndex);
    }
    ShowDevice(*cbDeviceIn, Model.InputDevice(), Model.MissingInput());
    ShowDevice(*cbDeviceOut, Model.OutputDevice(), Model.MissingOutput());
    if (cbSwap->isChecked() != Model.SwapInputs()) {
        const QSignalBlocker quiet(cbSwap);
        cbSwap->setChecked(Model.SwapInputs());
    }
    const std::pair<QLineEdit*, std::pair<const std::string*, bool>> edits[] = {
        {edMin, {&Model.MinText(), Model.MinInForce()}},
        {edMax, {&Model.MaxText(), Model.MaxInForce()}}};
    for (const auto& [edit, state] : edits) {
        const QString text = FromText(*state.first);
        // Only a text from elsewhere is put in: rewriting the one being typed would move the
        // caret.
        if (edit->text() != text) {
            const QSignalBlocker quiet(edit);
            edit->setText(text);
        }
        MarkInput(*edit, state.second);
    }
}

int32_t TfrWaveSetup::SampleRate() const {
    return Model.SampleRate();
}

int32_t TfrWaveSetup::InputDevice() const {
    return Model.InputDevice();
}

int32_t TfrWaveSetup::OutputDevice() const {
    return Model.OutputDevice();
}

int32_t TfrWaveSetup::FMin() const {
    return Model.FMin();
}

int32_t TfrWaveSetup::FMax() const {
    return Model.FMax();
}

bool TfrWaveSetup::SwapInputs() const {
    return Model.SwapInputs();
}

void TfrWaveSetup::SetControlsEnabled(bool enabled) {
    for (QWidget* control : {static_cast<QWidget*>(cbSampling), static_cast<QWidget*>(cbDeviceIn),
                             static_cast<QWidget*>(cbDeviceOut), static_cast<QWidget*>(edMin),
                             static_cast<QWidget*>(edMax)}) {
        control->setEnabled(enabled);
    }
}

bool TfrWaveSetup::edLimChange(QLineEdit& edit) {
    const std::string text = ToText(edit.text());
    return &edit == edMin ? Model.SetMinText(text) : Model.SetMaxText(text);
}

void TfrWaveSetup::cbSamplingChange() {
    Model.SelectRate(cbSampling->currentData().toInt());
}

void TfrWaveSetup::LoadSettings(const TSettingsFile& settings) {
    Model.LoadSettings(settings);
}

void TfrWaveSetup::SaveSettings(TSettingsFile& settings) const {
    Model.SaveSettings(settings);
}

}  // namespace tavrin
