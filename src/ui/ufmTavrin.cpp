#include "ufmTavrin.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <clocale>
#include <filesystem>
#include <utility>
#include <vector>

#include "uBenchPanel.h"
#include "uCalibrationRecord.h"
#include "uChart.h"
#include "uConnectionDiagram.h"
#include "uDriverMeasurement.h"
#include "uExecutablePath.h"
#include "uInputMarking.h"
#include "uMessageSink.h"
#include "uNumberText.h"
#include "uResultExport.h"
#include "uSettingsFile.h"
#include "uSpotColumns.h"
#include "uStatusLine.h"
#include "uWindowPlace.h"
#include "ufrDriver.h"
#include "ufrSpRange.h"
#include "ufrValues.h"
#include "ufrWaveSetup.h"

namespace tavrin {
namespace {

constexpr const char* kGraph = "Graph";
const char* const kModeNames[] = {"Calibration", "Z graph", "Z graph + LCR", "Transfer graph"};
const char* const kIntegrationTimes[] = {"0.3", "1", "3", "10", "30"};
// The size the window is designed for, and the smallest it may be made.
constexpr QSize kDesignSize(636, 510);
constexpr QSize kSmallestSize(485, 510);
// How often the progress of a long integration is looked at.
constexpr int kProgressIntervalMs = 200;
// Shorter integrations end before a bar would be read.
constexpr double kProgressWorthSeconds = 1.0;

// What to do at each stage of a calibration run.
const char* const kCalibrationStartHelp =
    "Set S1 to Zx Out, so that both inputs see the same signal (on the virtual box: its S1 "
    "calibration device), then press Start.";
const char* const kLevelSettingHelp =
    "Quality: the test tone over its harmonics, in dB, left and right input; 40 or more is "
    "good. Async stays near 0 when playback and capture share one clock. Press Continue when "
    "both are steady.";
const char* const kBandCalibrationHelp =
    "Calibrating the whole band. Press Stop once no input saturates; the calibration is kept "
    "and saved when the window closes.";
const char* const kCalibrationDone =
    "Calibration kept. Set S1 back to R ref, choose the component, press Start.";
constexpr int kBenchPanelWidth = 290;
constexpr int kBenchPanelSpacing = 6;

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
    : QWidget(parent),
      Environment(environment),
      FSession(std::make_unique<TMeasurementSession>(
          TSessionEnvironment{environment.WaveService, environment.Ui, environment.Clock,
                              environment.SettingsPath, environment.CalibrationPath})) {
    setObjectName("Form1");
    setWindowTitle("Tavrin-2");

    PageControl = Named<QTabWidget>("PageControl1", this);
    tsSetup = Named<QWidget>("tsSetup");
    tsProcessing = Named<QWidget>("tsProcessing");
    PageControl->addTab(tsSetup, "Setup");
    PageControl->addTab(tsProcessing, "Processing");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(PageControl);
    pnStatus = new TStatusLine(PageControl);
    pnStatus->setObjectName("pnStatus");
    PageControl->setCornerWidget(pnStatus, Qt::TopRightCorner);
    BuildSetupPage(tsSetup);
    BuildProcessingPage(tsProcessing);
    FormCreate();
    FitMinimumSize();
    RestoreWindowPlace(*this, Environment.GeometryPath, minimumSize().expandedTo(kDesignSize));
}

void TForm1::FitMinimumSize() {
    // The tallest column: "Z graph + LCR".
    const std::vector<std::pair<QWidget*, bool>> tallest = {
        {lbSaturation, true}, {pnRref, true},         {gbLCR, true},
        {gbGraph, true},      {gbCalibration, false}, {frSpRange1, true}};
    std::vector<bool> before;
    for (const auto& [widget, shown] : tallest) {
        before.push_back(!widget->isHidden());
        widget->setVisible(shown);
    }
    // Sizes as they will be drawn, with every layout measured afresh for the controls shown.
    ensurePolished();
    for (QLayout* each : findChildren<QLayout*>()) {
        each->invalidate();
    }
    layout()->activate();
    const QSize needed = minimumSizeHint();
    for (size_t i = 0; i < tallest.size(); ++i) {
        tallest[i].first->setVisible(before[i]);
    }
    // A minimum equal to the one the layout set would not count as the window's own.
    setMinimumSize(0, 0);
    setMinimumSize(needed.expandedTo(kSmallestSize));
}

TForm1::~TForm1() {
    FormDestroy();
}

void TForm1::BuildSetupPage(QWidget* page) {
    frWaveSet = Named<TfrWaveSetup>("frWaveSet", FSession->WaveSetup(), page);
    lbAutor = Named<QLabel>("lbAutor", page);
    lbAutor->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* diagram = new TConnectionDiagram(page);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(frWaveSet);
    // Playback and capture on two cards run on two clocks: resampled by the offset the stimulus
    // shows, the tones land on their bins again. Usable during a run, like the input swap.
    cbClockCompensation = Named<QCheckBox>("cbClockCompensation", "Clock compensation", page);
    cbClockCompensation->setToolTip(
        "Resample the capture by the clock offset measured from the "
        "stimulus (for playback and capture on two devices)");
    connect(cbClockCompensation, &QCheckBox::toggled, this,
            [this](bool on) { FSession->EnableClockCompensation(on); });
    layout->addWidget(cbClockCompensation);
    layout->addWidget(diagram, 0, Qt::AlignLeft);
    layout->addWidget(lbAutor);
    layout->addStretch(1);
}

void TForm1::BuildProcessingPage(QWidget* page) {
    FChart = Named<TChart>("Chart", page);
    FDisplay = std::make_unique<TResultDisplay>(*FChart);
    FDiagram = new TDiagramView(page);
    FCurves = std::make_unique<TCurveTools>(page, *FChart, *FDiagram, Environment.Messages,
                                            WithExtension(Environment.SettingsPath, ".refs"));
    frSpRange1 = Named<TfrSpRange>("frSpRange1", page);

    auto* column = new QVBoxLayout;
    column->setSpacing(3);
    lbSaturation = Named<QLabel>("lbSaturation", "Saturation", page);
    MakeBold(*lbSaturation, 14);
    QPalette red = lbSaturation->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lbSaturation->setPalette(red);
    lbSaturation->hide();
    btnSave = Named<QPushButton>("btnSave", "Save", page);
    btnDriver = Named<QPushButton>("btnDriver", "Driver...", page);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnDriver);
    column->addLayout(buttons);
    // The warning sits on the line beside the page tabs, in sight and costing the column no
    // height.
    pnStatus->AddIndicator(lbSaturation);
    // On the line above the results, in every measuring mode: a reading that no calibration
    // made for this set-up corrects must not pass for one that is.
    lbCalibrationMark = Named<QLabel>("lbCalibrationMark", page);
    lbCalibrationMark->setStyleSheet(
        "QLabel { color: white; background-color: #c0392b; padding: 1px 4px; font-weight: bold; }");
    lbCalibrationMark->hide();
    pnStatus->AddIndicator(lbCalibrationMark);
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

    pnBench = new TBenchPanel(*FSession, page);
    pnBench->setFixedWidth(kBenchPanelWidth);
    pnBench->hide();

    auto* layout = new QGridLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    // The diagram, when shown, sits beside the chart, which stays in view: its redraws pace
    // the results.
    auto* charts = new QSplitter(Qt::Horizontal, page);
    charts->setChildrenCollapsible(false);
    charts->addWidget(FChart);
    charts->addWidget(FDiagram);
    charts->setStretchFactor(0, 3);
    charts->setStretchFactor(1, 2);
    auto* chartArea = new QVBoxLayout;
    chartArea->setSpacing(0);
    // The bench panel's switch heads the chart's bar: the column has no height to spare.
    cbBench = Named<QCheckBox>("cbBench", "Bench readings", page);
    auto* chartBar = new QHBoxLayout;
    chartBar->setSpacing(8);
    chartBar->addWidget(cbBench);
    chartBar->addWidget(FCurves->ToolBar(), 1);
    chartArea->addLayout(chartBar);
    chartArea->addWidget(charts, 1);
    layout->addLayout(chartArea, 0, 0);
    layout->addWidget(columnWidget, 0, 1);
    layout->addWidget(pnBench, 0, 2);
    layout->addWidget(frSpRange1, 1, 0, 1, 3);
    layout->setColumnStretch(0, 1);
    layout->setRowStretch(0, 1);

    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnDriver, &QPushButton::clicked, this, [this] { btnDriverClick(); });
    connect(btnStartStop, &QPushButton::clicked, this, [this] { btnStartStopClick(); });
    connect(cbIntegration, &QComboBox::activated, this, [this] { cbIntegrationClick(); });
    FChart->OnClickAxis = [this](TAxisKind axis) { FDisplay->ClickAxis(axis); };
    connect(cbBench, &QCheckBox::toggled, this, [this](bool shown) { ShowBench(shown); });
}

QWidget* TForm1::BuildModeGroup() {
    rgMode = Named<QGroupBox>("rgMode", " Mode ");
    rgModeButtons = new QButtonGroup(rgMode);
    auto* layout = new QVBoxLayout(rgMode);
    Tighten(layout);
    layout->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        auto* button = new QRadioButton(kModeNames[i], rgMode);
        rgModeButtons->addButton(button, i);
        layout->addWidget(button);
    }
    rgModeButtons->button(mdCalibration)->setChecked(true);
    connect(rgModeButtons, &QButtonGroup::idClicked, this,
            [this](int mode) { FSession->SelectMode(mode); });
    return rgMode;
}

QWidget* TForm1::BuildRrefPanel() {
    pnRref = Named<QWidget>("pnRref");
    auto* layout = new QGridLayout(pnRref);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(3);
    frRref = Named<TfrValues>("frRref", FSession->Rref(), pnRref);
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
    lbCalibrationHelp = Named<QLabel>("lbCalibrationHelp", gbCalibration);
    lbCalibrationHelp->setWordWrap(true);
    lbCalibrationHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    calibration->addWidget(lbCalibrationHelp);

    gbGraph = Named<QGroupBox>("gbGraph", " Graph ", holder);
    auto* graph = new QGridLayout(gbGraph);
    Tighten(graph);
    graph->setVerticalSpacing(0);
    cbModPh = Named<QCheckBox>("cbModPh", "Mod. && Phase", gbGraph);
    cbLogF = Named<QCheckBox>("cbLogF", "Lg(f)", gbGraph);
    cbLogZ = Named<QCheckBox>("cbLogZ", "Lg|Z|", gbGraph);
    cbDrawAll = Named<QCheckBox>("cbDrawAll", "Draw all points", gbGraph);
    cbLeftForAll = Named<QCheckBox>("cbLeftForAll", "Left Y for all", gbGraph);
    // The two short ones share a row, so that the column fits the window's smallest height.
    graph->addWidget(cbModPh, 0, 0, 1, 2);
    graph->addWidget(cbLogF, 1, 0);
    graph->addWidget(cbLogZ, 1, 1);
    graph->addWidget(cbDrawAll, 2, 0, 1, 2);
    graph->addWidget(cbLeftForAll, 3, 0, 1, 2);
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

    TMeasurementSession& session = *FSession;
    session.OnError = [this](const std::string& text) { ShowError(text); };
    session.OnNotice = [this](const std::string& text) { pnStatus->SetMessage(Text(text)); };
    session.OnRunEnded = [this] { ShowStopped(); };
    session.OnStageText = [this](const std::string& text) { ShowCalibrationText(text); };
    session.OnLCRText = [this](const std::string& text) { ShowLCRText(text); };
    session.OnCalibrationMark = [this](const std::string& mark) { ShowCalibrationMark(mark); };
    session.OnSaturation = [this](bool saturated) { ShowSaturation(saturated); };
    session.OnResult = [this](const TMeasurementResult& result) { ShowResult(result); };
    session.OnModeChange = [this](int mode) { ShowMode(mode); };
    session.OnApplyDisplayOptions = [this] { ApplyGraphOptions(); };
    session.OnFullRangeChange = [this](float low, float high) {
        frSpRange1->SetFullRange(low, high);
    };
    session.OnLoadViewSettings = [this](const TSettingsFile& settings) {
        LoadGraphSettings(settings);
    };
    session.OnSaveViewSettings = [this](TSettingsFile& settings) { SaveGraphSettings(settings); };
    FDisplay->OnAllDrawn = [this] { FSession->RequestData(); };
    frSpRange1->OnRangeChange = [this](float low, float high) { FSession->SetRange(low, high); };
    frWaveSet->OnDeviceChange = [this] { ClearReadouts(); };
    ProgressTimer = new QTimer(this);
    ProgressTimer->setInterval(kProgressIntervalMs);
    connect(ProgressTimer, &QTimer::timeout, this, [this] { ShowProgress(); });

    FCurves->DescribeMeasurement = [this](TTraceInfo& info) {
        info.Rref = FSession->Rref().Value();
        info.Cin = FSession->InputCapacitance();
        if (const auto ms = ParseIntegrationTimeMs(cbIntegration->currentText().toStdString())) {
            info.IntegrationTime = *ms / 1000.0;
        }
    };
    FCurves->OnReferencesDrawn = [this](bool anyDrawn) {
        FChart->SetLegendVisible(FSession->Mode() == mdZGraphLCR || anyDrawn);
    };
    FCurves->CalibrationDate = [this]() -> std::optional<std::string> {
        const auto record =
            ReadCalibrationRecord(CalibrationRecordPath(Environment.CalibrationPath));
        return record ? std::optional(record->Made) : std::nullopt;
    };

    FCurves->ExtraColumns = [](TTraceKind kind) { return SpotReadoutColumns(kind); };
    pnBench->OnCapture = [this](TFixturePart part, double ohms) { StartCapture(part, ohms); };
    // Back to Re and Im: the graph options name the curves again.
    pnBench->OnPlotChange = [this] {
        if (FSession->Bench().Plot() == TBenchPlot::ReIm) {
            FDisplay->ApplyModPhase(cbModPh->isChecked(), cbLogZ->isChecked());
        }
    };
    pnBench->OnInputsUsed = [this] {
        const QSignalBlocker quiet(edCin);
        edCin->setText(Text(FSession->CinText()));
        MarkInput(*edCin, FSession->CinInForce());
    };
    FChart->OnClickPlot = [this](double frequency) {
        if (pnBench->isVisible()) {
            pnBench->SetTestFrequency(frequency);
        }
    };
    // The run stops once the capture is stored, after the delivery that stored it has returned.
    session.Bench().OnCaptureDone = [this](TFixturePart) {
        QTimer::singleShot(0, this, [this] {
            Stop();
            pnBench->ShowFixture();
        });
    };

    session.Open();
    FCurves->Open();
    pnBench->ShowBenchState();
    {
        const QSignalBlocker quiet(cbBench);
        cbBench->setChecked(session.Bench().PanelShown());
    }
    // A window that opens with the panel has its room in the size it was left at.
    BenchGrowth = kBenchPanelWidth + kBenchPanelSpacing;
    {
        const QSignalBlocker quiet(edCin);
        edCin->setText(Text(session.CinText()));
    }
    MarkInput(*edCin, session.CinInForce());
    FChart->RightAxis().SetGridVisible(false);
    cbIntegration->setCurrentIndex(0);
    cbIntegrationClick();
    ShowCalibrationHelp();
}

void TForm1::LoadGraphSettings(const TSettingsFile& settings) {
    cbModPh->setChecked(settings.ReadFlag(kGraph, "ModPhase", cbModPh->isChecked()));
    cbDrawAll->setChecked(settings.ReadFlag(kGraph, "DrawAll", cbDrawAll->isChecked()));
    cbLeftForAll->setChecked(settings.ReadFlag(kGraph, "LeftForAll", cbLeftForAll->isChecked()));
    cbLogF->setChecked(settings.ReadFlag(kGraph, "Lg(F)", cbLogF->isChecked()));
    cbLogZ->setChecked(settings.ReadFlag(kGraph, "Lg(Z)", cbLogZ->isChecked()));
    const int page = settings.ReadInt(kGraph, "Page", PageControl->currentIndex());
    if (page >= 0 && page < PageControl->count()) {
        PageControl->setCurrentIndex(page);
    }
}

void TForm1::SaveGraphSettings(TSettingsFile& settings) const {
    settings.WriteFlag(kGraph, "ModPhase", cbModPh->isChecked());
    settings.WriteFlag(kGraph, "DrawAll", cbDrawAll->isChecked());
    settings.WriteFlag(kGraph, "LeftForAll", cbLeftForAll->isChecked());
    settings.WriteFlag(kGraph, "Lg(F)", cbLogF->isChecked());
    settings.WriteFlag(kGraph, "Lg(Z)", cbLogZ->isChecked());
    settings.WriteInt(kGraph, "Page", PageControl->currentIndex());
}

void TForm1::closeEvent(QCloseEvent* event) {
    SaveWindowPlace(*this, Environment.GeometryPath);
    FormCloseQuery();
    event->accept();
}

void TForm1::FormCloseQuery() {
    FSession->Close();
}

void TForm1::FormDestroy() {
    // The views of the session's models and the handlers that call into it go first.
    FDisplay->OnAllDrawn = nullptr;
    frSpRange1->OnRangeChange = nullptr;
    ProgressTimer->stop();
    delete frWaveSet;
    frWaveSet = nullptr;
    delete frRref;
    frRref = nullptr;
    delete frDriver;
    frDriver = nullptr;
    FSession.reset();
    std::setlocale(LC_NUMERIC, SavedDecimalSeparator.c_str());
}

void TForm1::ShowMode(int mode) {
    if (QAbstractButton* button = rgModeButtons->button(mode); button && !button->isChecked()) {
        button->setChecked(true);
    }
    if (mode != ShownMode) {
        ShownMode = mode;
        ClearReadouts();
        pnStatus->SetMessage({});
    }
    gbCalibration->setVisible(mode == mdCalibration);
    gbGraph->setVisible(mode != mdCalibration);
    gbLCR->setVisible(mode == mdZGraphLCR);
    FChart->SetLegendVisible(mode == mdZGraphLCR);
    pnRref->setVisible(mode == mdZGraph || mode == mdZGraphLCR);
    cbBench->setVisible(mode == mdZGraph || mode == mdZGraphLCR);
    pnBench->setVisible(cbBench->isVisible() && cbBench->isChecked());
    lbCalibration->clear();
    ReferenceOptionsChanged();
    if (mode == mdCalibration) {
        // Each result is the latest block alone, drawn point for point.
        FDisplay->SetDrawAllPoints(true);
        frSpRange1->hide();
    } else {
        frSpRange1->show();
    }
}

void TForm1::btnStartStopClick() {
    if (FSession->Measuring()) {
        Stop();
    } else {
        Start();
    }
}

void TForm1::Start() {
    const int mode = FSession->Mode();
    if (mode == mdCalibration) {
        FDisplay->DisplayKind = TDisplayKind::Moduli;
        FDisplay->ClearSeries();
        FChart->UndoZoom();
        for (TChartAxis* axis : {&FChart->LeftAxis(), &FChart->BottomAxis()}) {
            axis->SetAutomatic(true);
            axis->SetLogarithmic(true);
        }
        FDisplay->SetLeftForAll(true);
    } else {
        FDisplay->DisplayKind =
            mode == mdZGraphLCR ? TDisplayKind::TwoPairs : TDisplayKind::OnePair;
    }
    pnStatus->SetMessage({});
    if (FSession->Start()) {
        btnStartStop->setText("Stop");
        ProgressTimer->start();
    }
    UpdateRunControls();
    ShowCalibrationHelp();
}

void TForm1::Stop() {
    const bool calibrated = FSession->Mode() == mdCalibration && !FSession->LevelSetting();
    FSession->Stop();
    ShowStopped();
    if (calibrated) {
        pnStatus->SetMessage(kCalibrationDone);
    }
}

void TForm1::ShowStopped() {
    btnStartStop->setText("Start");
    lbSaturation->hide();
    ProgressTimer->stop();
    pnStatus->SetProgress(0, 0);
    UpdateRunControls();
    ShowCalibrationHelp();
}

void TForm1::UpdateRunControls() {
    const bool measuring = FSession->Measuring();
    frWaveSet->SetControlsEnabled(!measuring);
    rgMode->setEnabled(!measuring);
    pnBench->SetMeasuring(measuring);
    btnCalibration->setVisible(measuring);
}

void TForm1::btnCalibrationClick() {
    FDisplay->ClearSeries();
    FSession->Continue();
    FChart->LeftAxis().SetLogarithmic(false);
    FChart->BottomAxis().SetLogarithmic(false);
    FChart->UndoZoom();
    FDisplay->DisplayKind = TDisplayKind::TwoPairs;
    FDisplay->SetLeftForAll(false);
    btnCalibration->hide();
    ShowCalibrationHelp();
}

void TForm1::cbIntegrationClick() {
    const int index = cbIntegration->currentIndex();
    if (index >= 0) {
        FSession->SetIntegrationTime(cbIntegration->itemText(index).toStdString());
    }
}

void TForm1::ApplyGraphOptions() {
    cbModPhClick();
    cbDrawAllClick();
    cbLeftForAllClick();
    cbLogFClick();
    cbLogZClick();
}

void TForm1::ReferenceOptionsChanged() {
    TReferenceCurves::TOptions options;
    const int mode = FSession->Mode();
    if (mode == mdZGraph || mode == mdZGraphLCR) {
        options.Kind = TTraceKind::Impedance;
    } else if (mode == mdTransfer) {
        options.Kind = TTraceKind::Transfer;
    }
    options.ModPhase = FDisplay->ModPhase;
    options.LogZ = FDisplay->LogZ;
    FCurves->OptionsChanged(options);
}

void TForm1::cbModPhClick() {
    FDisplay->ApplyModPhase(cbModPh->isChecked(), cbLogZ->isChecked());
    ReferenceOptionsChanged();
}

void TForm1::cbLogFClick() {
    const TWaveSetupModel& setup = FSession->WaveSetup();
    FDisplay->ApplyLogF(cbLogF->isChecked(), static_cast<float>(setup.FMin()),
                        static_cast<float>(setup.FMax()));
    // The range bar below reads the same scale as the chart above it.
    frSpRange1->SetLogarithmic(cbLogF->isChecked());
}

void TForm1::cbLogZClick() {
    FDisplay->ApplyLogZ(cbLogZ->isChecked(), cbModPh->isChecked());
    ReferenceOptionsChanged();
}

void TForm1::cbDrawAllClick() {
    FDisplay->SetDrawAllPoints(cbDrawAll->isChecked());
    ReferenceOptionsChanged();
}

void TForm1::cbLeftForAllClick() {
    FDisplay->SetLeftForAll(cbLeftForAll->isChecked());
    ReferenceOptionsChanged();
}

void TForm1::edCinChange() {
    MarkInput(*edCin, FSession->SetCinText(edCin->text().toStdString()));
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

void TForm1::ShowResult(const TMeasurementResult& result) {
    if (result.ClockWarning != ShownClockWarning) {
        // A warning that no longer holds (compensation switched on) must not stay up.
        if (!ShownClockWarning.empty() && pnStatus->Message() == Text(ShownClockWarning)) {
            pnStatus->SetMessage({});
        }
        ShownClockWarning = result.ClockWarning;
        if (!ShownClockWarning.empty()) {
            pnStatus->SetMessage(Text(ShownClockWarning));
        }
    }
    FDisplay->SetResultContent(result.Content);
    // A calibration run draws the two inputs, or this block's ratio beside the stored one:
    // curves that need their names whatever the mode shows otherwise.
    const bool calibrationCurves = result.Content == TResultContent::LevelSpectra ||
                                   result.Content == TResultContent::CalibrationRatio;
    if (calibrationCurves && !FChart->LegendVisible()) {
        FChart->SetLegendVisible(true);
    }
    const TResultDisplay::TBand band{result.BandLow, result.BandHigh,
                                     [this](float f) { return FSession->FrequencyToBin(f); }};
    // The result itself, or its comparison with a reference curve.
    const TMeasurementResult& shown = FCurves->TakeResult(result);
    if (result.Bench) {
        pnBench->ShowReadout(*result.Bench);
    }
    // A bench quantity is drawn from the result itself: a ratio of capacitances to a reference
    // would not read as one.
    if (result.Bench && FSession->Bench().Plot() != TBenchPlot::ReIm) {
        ShowBenchPlot(result, band);
    } else {
        FDisplay->ShowResult(*shown.Data, band, static_cast<float>(shown.SampleRate));
    }
    if (frDriver && frDriver->isVisible()) {
        TTraceInfo info;
        info.SampleRate = result.SampleRate;
        info.BlockLength = result.BlockLength;
        info.Rref = FSession->Rref().Value();
        info.Cin = FSession->InputCapacitance();
        FDriver->Take(result, info);
    }
}

void TForm1::btnDriverClick() {
    if (!frDriver) {
        FDriver = std::make_unique<TDriverMeasurement>();
        frDriver = new TfrDriver(*FDriver, this);
        frDriver->setWindowFlag(Qt::Tool);
        // Beside the curves they come from: tavrin-driver.txt next to tavrin.txt.
        std::filesystem::path base(Environment.ExportPath);
        base.replace_extension();
        frDriver->SetSaveBase(base.string() + "-driver");
        frDriver->OnError = [this](const std::string& text) { ShowError(text); };
        frDriver->move(frameGeometry().topRight());
    }
    frDriver->show();
    frDriver->raise();
}

void TForm1::ShowBenchPlot(const TMeasurementResult& result, const TResultDisplay::TBand& band) {
    ResizeWaveData(BenchPlotData, static_cast<int32_t>((*result.Data)[0].size()));
    CopyWaveData(*result.Data, BenchPlotData);
    const std::span<const TComplex> zx = result.Channel(0);
    const auto slotCount = static_cast<int32_t>(zx.size());
    const TBinRange bins{std::max(result.Bins.Lo, 1), std::min(result.Bins.Hi, slotCount - 1)};
    FSession->Bench().PlotPoints(
        zx, bins, result.SampleRate, result.BlockLength,
        std::span<TComplex>(ComplexSlots(BenchPlotData[0].data()), static_cast<size_t>(slotCount)));
    // The pair is drawn as it is (no modulus and phase of it), without the fitted model.
    const bool modPhase = FDisplay->ModPhase;
    const TDisplayKind kind = FDisplay->DisplayKind;
    FDisplay->ModPhase = false;
    FDisplay->DisplayKind = TDisplayKind::OnePair;
    FDisplay->ShowResult(BenchPlotData, band, static_cast<float>(result.SampleRate));
    FDisplay->ModPhase = modPhase;
    FDisplay->DisplayKind = kind;
    const std::array<TBenchCurve, 2> curves = BenchPlotCurves(FSession->Bench().Plot());
    for (int i = 0; i < 2; ++i) {
        const QString name = Text(curves[static_cast<size_t>(i)].Name);
        FChart->Series(i).SetTitle(name);
        FChart->Series(i).SetDescription(name);
        FChart->Series(i).SetUnit(Text(curves[static_cast<size_t>(i)].Unit));
        (i == 0 ? FChart->LeftAxis() : FChart->RightAxis()).SetTitleCaption(name);
    }
}

void TForm1::ShowBench(bool shown) {
    FSession->Bench().SetPanelShown(shown);
    const bool wasVisible = pnBench->isVisible();
    pnBench->setVisible(shown && cbBench->isVisible());
    // The window grows by the panel rather than squeezing the chart, as far as the screen has
    // room (the chart gives up the rest), and gives back what it took.
    if (pnBench->isVisible() == wasVisible || isMaximized() || isFullScreen()) {
        return;
    }
    if (!pnBench->isVisible()) {
        resize(width() - BenchGrowth, height());
        return;
    }
    int growth = kBenchPanelWidth + kBenchPanelSpacing;
    if (const QScreen* shownOn = screen()) {
        const int room = shownOn->availableGeometry().right() - frameGeometry().right();
        growth = std::clamp(room, 0, growth);
    }
    BenchGrowth = growth;
    resize(width() + growth, height());
}

void TForm1::StartCapture(TFixturePart part, double loadOhms) {
    if (FSession->Measuring()) {
        return;
    }
    const int mode = FSession->Mode();
    FDisplay->DisplayKind = mode == mdZGraphLCR ? TDisplayKind::TwoPairs : TDisplayKind::OnePair;
    if (FSession->StartCapture(part, loadOhms)) {
        btnStartStop->setText("Stop");
    }
    UpdateRunControls();
    pnBench->ShowFixture();
}

void TForm1::ShowLCRText(const std::string& text) {
    memLCRRes->setPlainText(Text(text).replace("\r\n", "\n"));
}

void TForm1::ShowCalibrationMark(const std::string& mark) {
    lbCalibrationMark->setText(Text(mark));
    lbCalibrationMark->setVisible(!mark.empty());
    lbCalibrationMark->setToolTip(Text(mark));  // whole, where the line cuts it short
    // The readout itself in the mark's colour, so that a copied or glanced-at reading is not
    // taken for a calibrated one.
    QPalette palette = memLCRRes->palette();
    palette.setColor(QPalette::Text, mark.empty() ? QApplication::palette().color(QPalette::Text)
                                                  : QColor(0xc0, 0x39, 0x2b));
    memLCRRes->setPalette(palette);
    memLCRRes->setToolTip(Text(mark));
}

void TForm1::ClearReadouts() {
    memLCRRes->clear();
}

void TForm1::ShowCalibrationHelp() {
    const char* help = !FSession->Measuring()     ? kCalibrationStartHelp
                       : FSession->LevelSetting() ? kLevelSettingHelp
                                                  : kBandCalibrationHelp;
    lbCalibrationHelp->setText(help);
}

void TForm1::ShowProgress() {
    const TIntegrationProgress progress = FSession->Progress();
    if (progress.Seconds >= kProgressWorthSeconds && progress.Wanted > 1) {
        pnStatus->SetProgress(progress.Summed, progress.Wanted);
    } else {
        pnStatus->SetProgress(0, 0);
    }
}

void TForm1::btnSaveClick() {
    const TChartSeries& first = FChart->Series(0);
    const TChartSeries& second = FChart->Series(1);
    const auto row = [&](size_t i) {
        const int index = static_cast<int>(i);
        return std::array<double, 3>{first.X(index), first.Y(index), second.Y(index)};
    };
    const QString path = QDir::toNativeSeparators(Text(Environment.ExportPath));
    const bool replacing = QFileInfo::exists(Text(Environment.ExportPath));
    if (const auto error =
            ExportResults(Environment.ExportPath, static_cast<size_t>(first.Count()), row)) {
        // The runtime's text, then which file it is about.
        pnStatus->SetMessage("Not saved: " + path);
        ShowError(*error + "\r\n" + path.toStdString());
        return;
    }
    pnStatus->SetMessage(QString("Saved %1 lines to %2%3")
                             .arg(first.Count())
                             .arg(path)
                             .arg(replacing ? ", replacing the previous file." : " (a new file)."));
}

}  // namespace tavrin
