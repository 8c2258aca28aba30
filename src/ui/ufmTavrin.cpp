#include "ufmTavrin.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <clocale>
#include <cmath>

#include "uChart.h"
#include "uConnectionDiagram.h"
#include "uFileError.h"
#include "uInputMarking.h"
#include "uMessageSink.h"
#include "uNumberText.h"
#include "uResultExport.h"
#include "uSettingsFile.h"
#include "uSignalIn.h"
#include "uUiDispatcher.h"
#include "uWaveOut.h"
#include "ufrSpRange.h"
#include "ufrValues.h"
#include "ufrWaveSetup.h"

namespace tavrin {
namespace {

constexpr const char* kGraph = "Graph";
constexpr const char* kInputParams = "InputParams";
constexpr int kShutdownWaitMs = 2000;
const char* const kModeNames[] = {"Calibration", "Z graph", "Z graph + LCR", "Transfer graph"};
const char* const kIntegrationTimes[] = {"0.3", "1", "3", "10", "30"};

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

void MakeBold(QWidget& widget, int pixelSize = 0) {
    QFont font = widget.font();
    font.setBold(true);
    if (pixelSize > 0) {
        font.setPixelSize(pixelSize);
    }
    widget.setFont(font);
}

// The column beside the chart holds many controls; tight group boxes keep them all visible at
// the window's smallest height.
void Tighten(QLayout* layout) {
    layout->setContentsMargins(6, 2, 6, 3);
    layout->setSpacing(2);
}

template <typename Widget, typename... Args>
Widget* Named(const char* name, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(name);
    return widget;
}

}  // namespace

TForm1::TForm1(const TFormEnvironment& environment, QWidget* parent)
    : QWidget(parent), Environment(environment) {
    setObjectName("Form1");
    setWindowTitle("Tavrin-2");
    resize(636, 510);
    setMinimumSize(485, 510);

    PageControl = Named<QTabWidget>("PageControl1", this);
    tsSetup = Named<QWidget>("tsSetup");
    tsProcessing = Named<QWidget>("tsProcessing");
    PageControl->addTab(tsSetup, "Setup");
    PageControl->addTab(tsProcessing, "Processing");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(PageControl);
    BuildSetupPage(tsSetup);
    BuildProcessingPage(tsProcessing);
    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
}

void TForm1::BuildSetupPage(QWidget* page) {
    frWaveSet = Named<TfrWaveSetup>("frWaveSet", Environment.WaveService, page);
    lbAutor = Named<QLabel>("lbAutor", page);
    lbAutor->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* diagram = new TConnectionDiagram(page);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(frWaveSet);
    layout->addWidget(diagram, 0, Qt::AlignLeft);
    layout->addWidget(lbAutor);
    layout->addStretch(1);
}

void TForm1::BuildProcessingPage(QWidget* page) {
    FChart = Named<TChart>("Chart", page);
    FDisplay = std::make_unique<TResultDisplay>(*FChart);
    frSpRange1 = Named<TfrSpRange>("frSpRange1", page);

    auto* column = new QVBoxLayout;
    column->setSpacing(4);
    lbSaturation = Named<QLabel>("lbSaturation", "Saturation", page);
    MakeBold(*lbSaturation, 14);
    QPalette red = lbSaturation->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lbSaturation->setPalette(red);
    lbSaturation->hide();
    btnSave = Named<QPushButton>("btnSave", "Save", page);
    column->addWidget(btnSave);
    column->addWidget(lbSaturation);
    column->addWidget(BuildModeGroup());
    column->addWidget(BuildRrefPanel());

    gbLCR = Named<QGroupBox>("gbLCR", " LCR result  ", page);
    memLCRRes = Named<QPlainTextEdit>("memLCRRes", gbLCR);
    memLCRRes->setReadOnly(true);
    memLCRRes->setLineWrapMode(QPlainTextEdit::NoWrap);
    memLCRRes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memLCRRes->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MakeBold(*memLCRRes);
    memLCRRes->setFixedHeight(3 * memLCRRes->fontMetrics().lineSpacing() + 8);
    auto* lcr = new QVBoxLayout(gbLCR);
    Tighten(lcr);
    lcr->addWidget(memLCRRes);
    column->addWidget(gbLCR);

    auto* integration = new QHBoxLayout;
    integration->addWidget(Named<QLabel>("Label2", "Acc.[s]", page));
    cbIntegration = Named<QComboBox>("cbIntegration", page);
    cbIntegration->setEditable(true);
    cbIntegration->setInsertPolicy(QComboBox::NoInsert);
    for (const char* item : kIntegrationTimes) {
        cbIntegration->addItem(item);
    }
    integration->addWidget(cbIntegration, 1);
    column->addLayout(integration);
    column->addWidget(BuildCalibrationAndGraphGroups());
    column->addStretch(1);
    btnStartStop = Named<QPushButton>("btnStartStop", "Start", page);
    MakeBold(*btnStartStop, 13);
    btnStartStop->setMinimumHeight(32);
    column->addWidget(btnStartStop);

    auto* columnWidget = new QWidget(page);
    columnWidget->setLayout(column);
    column->setContentsMargins(0, 0, 0, 0);
    columnWidget->setFixedWidth(150);

    auto* layout = new QGridLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(FChart, 0, 0);
    layout->addWidget(columnWidget, 0, 1);
    layout->addWidget(frSpRange1, 1, 0, 1, 2);
    layout->setColumnStretch(0, 1);
    layout->setRowStretch(0, 1);

    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnStartStop, &QPushButton::clicked, this, [this] { btnStartStopClick(); });
    connect(cbIntegration, &QComboBox::activated, this, [this] { cbIntegrationClick(); });
    FChart->OnClickAxis = [this](TAxisKind axis) { FDisplay->ClickAxis(axis); };
}

QWidget* TForm1::BuildModeGroup() {
    rgMode = Named<QGroupBox>("rgMode", " Mode ");
    rgModeButtons = new QButtonGroup(rgMode);
    auto* layout = new QVBoxLayout(rgMode);
    Tighten(layout);
    for (int i = 0; i < 4; ++i) {
        auto* button = new QRadioButton(kModeNames[i], rgMode);
        rgModeButtons->addButton(button, i);
        layout->addWidget(button);
    }
    rgModeButtons->button(mdCalibration)->setChecked(true);
    connect(rgModeButtons, &QButtonGroup::idClicked, this, [this] { rgModeClick(); });
    return rgMode;
}

QWidget* TForm1::BuildRrefPanel() {
    pnRref = Named<QWidget>("pnRref");
    auto* layout = new QGridLayout(pnRref);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(3);
    frRref = Named<TfrValues>("frRref", pnRref);
    frRref->setFixedWidth(70);
    edCin = Named<QLineEdit>("edCin", "0", pnRref);
    edCin->setFixedWidth(70);
    layout->addWidget(Named<QLabel>("Label1", "R ref", pnRref), 0, 0);
    layout->addWidget(frRref, 0, 1);
    layout->addWidget(Named<QLabel>("Label3", "C in", pnRref), 1, 0);
    layout->addWidget(edCin, 1, 1);
    layout->addWidget(Named<QLabel>("Label4", "pF", pnRref), 1, 2);
    connect(edCin, &QLineEdit::textChanged, this, [this] { edCinChange(); });
    return pnRref;
}

QWidget* TForm1::BuildCalibrationAndGraphGroups() {
    auto* holder = new QWidget;
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);

    gbCalibration = Named<QGroupBox>("gbCalibration", " Calibration   ", holder);
    auto* calibration = new QVBoxLayout(gbCalibration);
    Tighten(calibration);
    lbCalibration = Named<QLabel>("lbCalibration", gbCalibration);
    MakeBold(*lbCalibration);
    lbCalibration->setWordWrap(true);
    lbCalibration->setMinimumHeight(2 * lbCalibration->fontMetrics().lineSpacing());
    btnCalibration = Named<QPushButton>("btnCalibration", "Continue", gbCalibration);
    MakeBold(*btnCalibration);
    btnCalibration->hide();
    calibration->addWidget(lbCalibration);
    calibration->addWidget(btnCalibration);
    connect(btnCalibration, &QPushButton::clicked, this, [this] { btnCalibrationClick(); });

    gbGraph = Named<QGroupBox>("gbGraph", " Graph ", holder);
    auto* graph = new QVBoxLayout(gbGraph);
    Tighten(graph);
    cbModPh = Named<QCheckBox>("cbModPh", "Mod. && Phase", gbGraph);
    cbLogF = Named<QCheckBox>("cbLogF", "Lg(f)", gbGraph);
    cbLogZ = Named<QCheckBox>("cbLogZ", "Lg|Z|", gbGraph);
    cbDrawAll = Named<QCheckBox>("cbDrawAll", "Draw all points", gbGraph);
    cbLeftForAll = Named<QCheckBox>("cbLeftForAll", "Left Y for all", gbGraph);
    for (QCheckBox* box : {cbModPh, cbLogF, cbLogZ, cbDrawAll, cbLeftForAll}) {
        graph->addWidget(box);
    }
    connect(cbModPh, &QCheckBox::clicked, this, [this] { cbModPhClick(); });
    connect(cbLogF, &QCheckBox::clicked, this, [this] { cbLogFClick(); });
    connect(cbLogZ, &QCheckBox::clicked, this, [this] { cbLogZClick(); });
    connect(cbDrawAll, &QCheckBox::clicked, this, [this] { cbDrawAllClick(); });
    connect(cbLeftForAll, &QCheckBox::clicked, this, [this] { cbLeftForAllClick(); });

    layout->addWidget(gbCalibration);
    layout->addWidget(gbGraph);
    return holder;
}

void TForm1::FormCreate() {
    lbAutor->setText(
        "Tavrin-2\nImpedance meter and transfer-function analyser\n"
        "for a sound card and its connection box");
    // Every number in the program is converted with "." whatever the user's locale; the C
    // library is kept in step for anything that might still consult it.
    SavedDecimalSeparator = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    PageControl->setCurrentIndex(0);
    LastMeasureMode = mdZGraphLCR;

    FWaveOut = std::make_unique<TWaveOut>(Environment.WaveService, Environment.Ui);
    FSignalIn = std::make_unique<TSignalIn>(Environment.WaveService, Environment.Ui,
                                            Environment.Clock, Environment.CalibrationPath);
    FWaveOut->OnStimulusChange = [this](bool playing) { FSignalIn->SetCapturing(playing); };
    FSignalIn->SetOnError([this](const std::string& text) { ShowError(text); });
    FWaveOut->SetOnError([this](const std::string& text) { ShowError(text); });
    FMeasuring = false;

    FDisplay->OnAllDrawn = [this] { FSignalIn->RequestData(); };
    frWaveSet->OnSetupChange = [this] { SetupChanged(); };
    FSignalIn->OnData = [this](TWaveData& data) { SignalInData(data); };
    frSpRange1->OnRangeChange = [this](float low, float high) { RangeChanged(low, high); };

    frRref->SetValue(1.0f);
    frRref->SetSectionName("Rref");
    LoadSettings();

    ApplyGraphOptions();
    rgModeClick();
    FSignalIn->OnSaturation = [this](bool saturated) { ShowSaturation(saturated); };
    FSignalIn->OnScaleAmplitude = [this](float factor) { ScaleAmplitude(factor); };
    FChart->RightAxis().SetGridVisible(false);
    FAmplitude = 1.0f;
    cbIntegration->setCurrentIndex(0);
    cbIntegrationClick();
}

void TForm1::LoadSettings() {
    const TSettingsFile settings(Environment.SettingsPath);
    frWaveSet->LoadSettings(settings);
    frRref->LoadSettings(settings);
    // The last measuring mode comes back only with a calibration to measure with.
    if (FSignalIn->LoadCalibration(settings)) {
        const int mode = settings.ReadInt(kGraph, "Mode", Mode());
        if (mode >= mdCalibration && mode <= mdTransfer) {
            SelectMode(mode);
        }
    }
    cbModPh->setChecked(settings.ReadFlag(kGraph, "ModPhase", cbModPh->isChecked()));
    cbDrawAll->setChecked(settings.ReadFlag(kGraph, "DrawAll", cbDrawAll->isChecked()));
    cbLeftForAll->setChecked(settings.ReadFlag(kGraph, "LeftForAll", cbLeftForAll->isChecked()));
    cbLogF->setChecked(settings.ReadFlag(kGraph, "Lg(F)", cbLogF->isChecked()));
    cbLogZ->setChecked(settings.ReadFlag(kGraph, "Lg(Z)", cbLogZ->isChecked()));
    const int page = settings.ReadInt(kGraph, "Page", PageControl->currentIndex());
    if (page >= 0 && page < PageControl->count()) {
        PageControl->setCurrentIndex(page);
    }
    edCin->setText(Text(settings.ReadText(kInputParams, "Cin", "0")));
    edCinChange();
}

void TForm1::SaveSettings() {
    TSettingsFile settings(Environment.SettingsPath);
    try {
        SaveSettingsTo(settings);
    } catch (const EFileError& error) {
        ShowError(error.what());
    }
}

void TForm1::SaveSettingsTo(TSettingsFile& settings) {
    try {
        frWaveSet->SaveSettings(settings);
        frRref->SaveSettings(settings);
    } catch (const EFileError&) {
        // The settings cannot be kept, but the calibration file may still be: a calibration
        // run must not be lost because the settings file is read-only.
        try {
            FSignalIn->SaveCalibrationTable();
        } catch (const EFileError& calibrationError) {
            ShowError(calibrationError.what());
        }
        throw;
    }
    FSignalIn->SaveCalibration(settings);
    settings.WriteFlag(kGraph, "ModPhase", cbModPh->isChecked());
    settings.WriteFlag(kGraph, "DrawAll", cbDrawAll->isChecked());
    settings.WriteFlag(kGraph, "LeftForAll", cbLeftForAll->isChecked());
    settings.WriteFlag(kGraph, "Lg(F)", cbLogF->isChecked());
    settings.WriteFlag(kGraph, "Lg(Z)", cbLogZ->isChecked());
    settings.WriteInt(kGraph, "Page", PageControl->currentIndex());
    settings.WriteInt(kGraph, "Mode", Mode());
    settings.WriteText(kInputParams, "Cin", std::string(TrimBlanks(edCin->text().toStdString())));
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept();
}

void TForm1::FormCloseQuery() {
    SaveSettings();
    FSignalIn->Stop();
    FWaveOut->Stop();
    FMeasuring = false;
    // The worker threads' synchronous calls are still served while waiting.
    Environment.Ui.WaitUntil([this] { return FSignalIn->Parked() && FWaveOut->Parked(); },
                             kShutdownWaitMs);
    QString message;
    if (!FSignalIn->Parked()) {
        message += "Can not stop WaveIn.\r\n";
    }
    if (!FWaveOut->Parked()) {
        message += "Can not stop WaveOut.\r\n";
    }
    if (!message.isEmpty()) {
        ShowError(
            (message + "Abnormal termination.\r\nTry use Task Manager to close this software.")
                .toStdString());
    }
}

void TForm1::FormDestroy() {
    FSignalIn.reset();
    FWaveOut.reset();
    std::setlocale(LC_NUMERIC, SavedDecimalSeparator.c_str());
}

int TForm1::Mode() const {
    return rgModeButtons->checkedId();
}

void TForm1::SelectMode(int mode) {
    if (QAbstractButton* button = rgModeButtons->button(mode)) {
        button->setChecked(true);
    }
    rgModeClick();
}

void TForm1::rgModeClick() {
    const int m = Mode();
    gbCalibration->setVisible(m == mdCalibration);
    gbGraph->setVisible(m != mdCalibration);
    gbLCR->setVisible(m == mdZGraphLCR);
    FChart->SetLegendVisible(m == mdZGraphLCR);
    pnRref->setVisible(m == mdZGraph || m == mdZGraphLCR);
    lbCalibration->clear();
    if (m == mdCalibration) {
        // Each result is the latest block alone, drawn point for point.
        FSignalIn->SetAveraging(false);
        FDisplay->SetDrawAllPoints(true);
        frSpRange1->hide();
    } else {
        ApplyGraphOptions();
        frSpRange1->show();
        LastMeasureMode = m;
    }
}

void TForm1::btnStartStopClick() {
    if (FMeasuring) {
        Stop();
    } else {
        Start();
    }
}

void TForm1::Start() {
    FWaveOut->SetDeviceID(static_cast<uint32_t>(frWaveSet->OutputDevice()));
    FSignalIn->SetDeviceID(static_cast<uint32_t>(frWaveSet->InputDevice()));
    FSignalIn->SetSampleRate(static_cast<uint32_t>(frWaveSet->SampleRate()));
    FWaveOut->SetSampleRate(FSignalIn->SampleRate());
    FSignalIn->SetBlockLength(FBlockLength);
    if (Mode() == mdCalibration) {
        FAmplitude = 1.0f;
        const float f = static_cast<float>(
            std::sqrt(static_cast<double>(frWaveSet->FMin()) * frWaveSet->FMax() * 0.4));
        FWaveOut->SetStimulus(FBlockLength, f, f, 1.0);
        FSignalIn->BeginLevelSetting(
            f, [this](const std::string& text) { ShowCalibrationText(text); });
        FDisplay->DisplayKind = TDisplayKind::Moduli;
        FDisplay->ClearSeries();
        FChart->UndoZoom();
        for (TChartAxis* axis : {&FChart->LeftAxis(), &FChart->BottomAxis()}) {
            axis->SetAutomatic(true);
            axis->SetLogarithmic(true);
        }
        FDisplay->SetLeftForAll(true);
        LevelSetting = true;
    } else {
        FWaveOut->SetStimulus(FBlockLength, frSpRange1->RangeMin(), frSpRange1->RangeMax(),
                              FAmplitude);
        // Every measuring mode runs the measurement stage; the transfer ratio of its mode is
        // formed from the corrected spectra afterwards.
        FSignalIn->BeginMeasurement(false);
        FDisplay->DisplayKind =
            Mode() == mdZGraphLCR ? TDisplayKind::TwoPairs : TDisplayKind::OnePair;
    }
    if (FWaveOut->Start() && FSignalIn->Start()) {
        btnStartStop->setText("Stop");
        FMeasuring = true;
    } else {
        // The device's own message has been shown already; stopping an idle thread is harmless.
        FSignalIn->Stop();
        FWaveOut->Stop();
    }
    UpdateRunControls();
}

void TForm1::Stop() {
    FSignalIn->Stop();
    FWaveOut->Stop();
    FMeasuring = false;
    btnStartStop->setText("Start");
    lbSaturation->hide();
    if (Mode() == mdCalibration) {
        if (!LevelSetting) {
            SelectMode(LastMeasureMode);
        }
        ApplyGraphOptions();
    }
    UpdateRunControls();
}

void TForm1::UpdateRunControls() {
    frWaveSet->SetControlsEnabled(!FMeasuring);
    rgMode->setEnabled(!FMeasuring);
    btnCalibration->setVisible(FMeasuring);
}

void TForm1::btnCalibrationClick() {
    FDisplay->ClearSeries();
    FWaveOut->SetStimulus(FBlockLength, frWaveSet->FMin(), frWaveSet->FMax(), FAmplitude);
    FSignalIn->BeginCalibration(static_cast<float>(frWaveSet->FMin()),
                                static_cast<float>(frWaveSet->FMax()));
    FChart->LeftAxis().SetLogarithmic(false);
    FChart->BottomAxis().SetLogarithmic(false);
    FChart->UndoZoom();
    FDisplay->DisplayKind = TDisplayKind::TwoPairs;
    FDisplay->SetLeftForAll(false);
    btnCalibration->hide();
    FSignalIn->SetAveraging(true);
    LevelSetting = false;
}

void TForm1::cbIntegrationClick() {
    const int index = cbIntegration->currentIndex();
    if (index >= 0) {
        FSignalIn->SetIntegrationTime(cbIntegration->itemText(index).toStdString());
    }
}

void TForm1::ApplyGraphOptions() {
    FSignalIn->SetAveraging(true);
    cbModPhClick();
    cbDrawAllClick();
    cbLeftForAllClick();
    cbLogFClick();
    cbLogZClick();
}

void TForm1::cbModPhClick() {
    FDisplay->ApplyModPhase(cbModPh->isChecked(), cbLogZ->isChecked());
}

void TForm1::cbLogFClick() {
    FDisplay->ApplyLogF(cbLogF->isChecked(), static_cast<float>(frWaveSet->FMin()),
                        static_cast<float>(frWaveSet->FMax()));
}

void TForm1::cbLogZClick() {
    FDisplay->ApplyLogZ(cbLogZ->isChecked(), cbModPh->isChecked());
}

void TForm1::cbDrawAllClick() {
    FDisplay->SetDrawAllPoints(cbDrawAll->isChecked());
}

void TForm1::cbLeftForAllClick() {
    FDisplay->SetLeftForAll(cbLeftForAll->isChecked());
}

void TForm1::edCinChange() {
    const std::optional<double> picofarads = ParseTypedNumber(edCin->text().toStdString());
    const float held = picofarads ? static_cast<float>(*picofarads) : 0.0f;
    const bool valid = picofarads && std::isfinite(held);
    MarkInput(*edCin, valid);
    if (valid) {
        InputCapacitance = static_cast<float>(held * 1e-12);
    }
}

void TForm1::SetupChanged() {
    const int64_t rate = frWaveSet->SampleRate();
    const int64_t fMin = std::max<int32_t>(frWaveSet->FMin(), 1);
    // The tone spacing rate / N must not exceed the lowest band frequency.
    int64_t n = 2;
    while (fMin * n < rate) {
        n *= 2;
    }
    FBlockLength = static_cast<int32_t>(n);
    const int64_t top = std::min<int64_t>(frWaveSet->FMax(), rate / 2 - 1);
    if (fMin < top) {
        frSpRange1->SetFullRange(static_cast<float>(fMin), static_cast<float>(top));
    }
}

void TForm1::RangeChanged(float low, float high) {
    FWaveOut->SetStimulus(FBlockLength, low, high, FAmplitude);
    RangeLow = low;
    RangeHigh = high;
}

void TForm1::ScaleAmplitude(float factor) {
    const float proposed = FAmplitude * factor;
    if (proposed > 1.0f) {
        if (FAmplitude == 1.0f) {
            return;  // already at full scale: nothing to rebuild
        }
        FAmplitude = 1.0f;
    } else {
        FAmplitude = proposed;
    }
    RebuildStimulus();
}

void TForm1::RebuildStimulus() {
    if (Mode() == mdCalibration) {
        FWaveOut->SetStimulus(FBlockLength, frWaveSet->FMin(), frWaveSet->FMax(), FAmplitude);
    } else {
        FWaveOut->SetStimulus(FBlockLength, RangeLow, RangeHigh, FAmplitude);
    }
}

void TForm1::ShowCalibrationText(const std::string& text) {
    lbCalibration->setText(Text(text).replace("\r\n", "\n"));
}

void TForm1::ShowSaturation(bool saturated) {
    lbSaturation->setVisible(saturated);
}

void TForm1::ShowError(const std::string& text) {
    Environment.Messages.ShowMessage(Text(text).replace("\r\n", "\n"));
}

void TForm1::SignalInData(TWaveData& data) {
    const int m = Mode();
    const bool swap = frWaveSet->SwapInputs();
    if (m == mdZGraph || m == mdZGraphLCR) {
        FSignalIn->ComputeImpedance(data, swap, RangeLow, RangeHigh, frRref->Value(),
                                    InputCapacitance, m == mdZGraphLCR,
                                    [this](const std::string& text) { ShowLCRText(text); });
    } else if (m == mdTransfer) {
        FSignalIn->ComputeTransfer(data, swap, RangeLow, RangeHigh);
    }
    const bool calibrating = m == mdCalibration;
    const TResultDisplay::TBand band{
        calibrating ? static_cast<float>(frWaveSet->FMin()) : RangeLow,
        calibrating ? static_cast<float>(frWaveSet->FMax()) : RangeHigh,
        [this](float f) { return FWaveOut->FrequencyToBin(FBlockLength, f); }};
    FDisplay->ShowResult(data, band, static_cast<float>(FSignalIn->SampleRate()));
}

void TForm1::ShowLCRText(const std::string& text) {
    memLCRRes->setPlainText(Text(text).replace("\r\n", "\n"));
}

void TForm1::btnSaveClick() {
    const TChartSeries& first = FChart->Series(0);
    const TChartSeries& second = FChart->Series(1);
    const auto row = [&](size_t i) {
        const int index = static_cast<int>(i);
        return std::array<double, 3>{first.X(index), first.Y(index), second.Y(index)};
    };
    if (const auto error =
            ExportResults(Environment.ExportPath, static_cast<size_t>(first.Count()), row)) {
        ShowError(*error);
    }
}

}  // namespace tavrin
