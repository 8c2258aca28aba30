#include "uBenchPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "uFileError.h"
#include "uInputMarking.h"
#include "uMeasurementSession.h"
#include "uNumberText.h"

namespace tavrin {
namespace {

const char* const kTestFrequencies[] = {"100", "1k", "10k"};
const char* const kModels[] = {"auto", "series", "parallel"};
constexpr int kSpotLines = 10;  // the readout's seven, the models' two, a mark

QString Text(const std::string& text) {
    return QString::fromStdString(text).replace("\r\n", "\n");
}

template <typename Widget, typename... Args>
Widget* Named(const char* name, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(name);
    return widget;
}

void Tighten(QLayout* layout) {
    layout->setContentsMargins(6, 2, 6, 3);
    layout->setSpacing(2);
}

// "1k" for 1000, as the list offers it; the typed text otherwise.
QString FrequencyText(double hertz) {
    if (hertz >= 1000.0) {
        return QString::fromStdString(FormatGeneral(hertz / 1000.0, 6) + "k");
    }
    return QString::fromStdString(FormatGeneral(hertz, 6));
}

std::string CaptureLine(const TFixtureCompensation& compensation) {
    std::string parts;
    std::string date;
    for (const TFixturePart part : {TFixturePart::Open, TFixturePart::Short, TFixturePart::Load}) {
        const TFixtureCapture& capture = compensation.Part(part);
        if (capture.Present()) {
            parts += (parts.empty() ? "" : ", ") + FixturePartName(part);
            date = capture.Date;
        }
    }
    if (parts.empty()) {
        return "No captures";
    }
    return parts + " of " + date;
}

}  // namespace

TBenchPanel::TBenchPanel(TMeasurementSession& session, QWidget* parent)
    : QWidget(parent), Session(session) {
    setObjectName("pnBench");
    auto* spotGroup = Named<QGroupBox>("gbSpot", " Spot readout ", this);
    auto* spot = new QGridLayout(spotGroup);
    Tighten(spot);
    cbSpot = Named<QComboBox>("cbSpot", spotGroup);
    cbSpot->setEditable(true);
    cbSpot->setInsertPolicy(QComboBox::NoInsert);
    for (const char* item : kTestFrequencies) {
        cbSpot->addItem(item);
    }
    cbModel = Named<QComboBox>("cbModel", spotGroup);
    for (const char* item : kModels) {
        cbModel->addItem(item);
    }
    spot->addWidget(new QLabel("f", spotGroup), 0, 0);
    spot->addWidget(cbSpot, 0, 1);
    spot->addWidget(new QLabel("Hz", spotGroup), 0, 2);
    spot->addWidget(cbModel, 0, 3);
    memSpot = Named<QPlainTextEdit>("memSpot", spotGroup);
    memSpot->setReadOnly(true);
    memSpot->setLineWrapMode(QPlainTextEdit::NoWrap);
    memSpot->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memSpot->setFixedHeight(kSpotLines * memSpot->fontMetrics().lineSpacing() + 8);
    spot->addWidget(memSpot, 1, 0, 1, 4);
    cbPlot = Named<QComboBox>("cbPlot", spotGroup);
    for (int i = 0; i < kBenchPlotCount; ++i) {
        cbPlot->addItem(QString::fromStdString(BenchPlotName(static_cast<TBenchPlot>(i))));
    }
    spot->addWidget(new QLabel("Plot", spotGroup), 2, 0);
    spot->addWidget(cbPlot, 2, 1, 1, 3);
    spot->setColumnStretch(1, 1);

    auto* fixtureGroup = Named<QGroupBox>("gbFixture", " Fixture ", this);
    auto* fixture = new QGridLayout(fixtureGroup);
    Tighten(fixture);
    btnOpen = Named<QPushButton>("btnOpen", "Open", fixtureGroup);
    btnShort = Named<QPushButton>("btnShort", "Short", fixtureGroup);
    btnLoad = Named<QPushButton>("btnLoad", "Load", fixtureGroup);
    edLoad = Named<QLineEdit>("edLoad", "1000", fixtureGroup);
    fixture->addWidget(btnOpen, 0, 0);
    fixture->addWidget(btnShort, 0, 1);
    fixture->addWidget(btnLoad, 1, 0);
    auto* load = new QHBoxLayout;
    load->addWidget(edLoad, 1);
    load->addWidget(new QLabel("Ohm", fixtureGroup));
    fixture->addLayout(load, 1, 1);
    cbCompensate = Named<QCheckBox>("cbCompensate", "Compensate", fixtureGroup);
    btnClear = Named<QPushButton>("btnClear", "Clear", fixtureGroup);
    fixture->addWidget(cbCompensate, 2, 0);
    fixture->addWidget(btnClear, 2, 1);
    lbFixture = Named<QLabel>("lbFixture", fixtureGroup);
    lbFixture->setWordWrap(true);
    fixture->addWidget(lbFixture, 3, 0, 1, 2);
    auto* rin = new QHBoxLayout;
    edRin = Named<QLineEdit>("edRin", fixtureGroup);
    edRin->setPlaceholderText("none");
    rin->addWidget(new QLabel("R in", fixtureGroup));
    rin->addWidget(edRin, 1);
    rin->addWidget(new QLabel("Ohm", fixtureGroup));
    fixture->addLayout(rin, 4, 0, 1, 2);
    lbInput = Named<QLabel>("lbInputFigures", fixtureGroup);
    lbInput->setWordWrap(true);
    btnUse = Named<QPushButton>("btnUse", "Use", fixtureGroup);
    btnUse->setToolTip("Take C in and R in from the captures");
    fixture->addWidget(lbInput, 5, 0);
    fixture->addWidget(btnUse, 5, 1, Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(spotGroup);
    layout->addWidget(fixtureGroup);
    layout->addStretch(1);

    connect(cbSpot, &QComboBox::currentTextChanged, this, [this] { cbSpotChange(); });
    connect(cbModel, &QComboBox::currentIndexChanged, this,
            [this](int index) { Session.Bench().SetModel(*ParseModelChoice(kModels[index])); });
    connect(cbPlot, &QComboBox::currentIndexChanged, this, [this](int index) {
        Session.Bench().SetPlot(static_cast<TBenchPlot>(index));
        if (OnPlotChange) {
            OnPlotChange();
        }
    });
    connect(edRin, &QLineEdit::textChanged, this, [this] { edRinChange(); });
    connect(btnOpen, &QPushButton::clicked, this, [this] {
        if (OnCapture) {
            OnCapture(TFixturePart::Open, 0);
        }
    });
    connect(btnShort, &QPushButton::clicked, this, [this] {
        if (OnCapture) {
            OnCapture(TFixturePart::Short, 0);
        }
    });
    connect(btnLoad, &QPushButton::clicked, this, [this] { btnLoadClick(); });
    connect(edLoad, &QLineEdit::textChanged, this, [this] {
        const std::optional<double> ohms = ParseTypedNumber(edLoad->text().toStdString());
        MarkInput(*edLoad, ohms && *ohms > 0.0);
    });
    connect(cbCompensate, &QCheckBox::toggled, this,
            [this](bool on) { Session.Bench().SetCompensationOn(on); });
    connect(btnClear, &QPushButton::clicked, this, [this] { btnClearClick(); });
    connect(btnUse, &QPushButton::clicked, this, [this] { btnUseClick(); });
}

void TBenchPanel::ShowBenchState() {
    const TBenchMeter& bench = Session.Bench();
    {
        const QSignalBlocker quiet(cbSpot);
        cbSpot->setCurrentText(FrequencyText(bench.TestFrequency()));
    }
    {
        const QSignalBlocker quiet(cbModel);
        cbModel->setCurrentIndex(static_cast<int>(bench.Model()));
    }
    {
        const QSignalBlocker quiet(cbPlot);
        cbPlot->setCurrentIndex(static_cast<int>(bench.Plot()));
    }
    {
        const QSignalBlocker quiet(edRin);
        edRin->setText(QString::fromStdString(bench.RinText()));
    }
    MarkInput(*edRin, bench.RinInForce());
    {
        const QSignalBlocker quiet(cbCompensate);
        cbCompensate->setChecked(bench.CompensationOn());
    }
    ShowFixture();
}

void TBenchPanel::ShowReadout(const TBenchReadout& readout) {
    memSpot->setPlainText(Text(readout.Text()));
}

void TBenchPanel::SetTestFrequency(double hertz) {
    if (hertz > 0.0) {
        cbSpot->setCurrentText(FrequencyText(hertz));
    }
}

void TBenchPanel::SetMeasuring(bool measuring) {
    for (QWidget* widget : {static_cast<QWidget*>(btnOpen), static_cast<QWidget*>(btnShort),
                            static_cast<QWidget*>(btnLoad), static_cast<QWidget*>(btnClear)}) {
        widget->setEnabled(!measuring);
    }
}

void TBenchPanel::ShowFixture() {
    const TBenchMeter& bench = Session.Bench();
    std::string line = CaptureLine(bench.Compensation());
    if (const std::optional<TFixturePart> part = bench.Capturing()) {
        line = "Capturing " + FixturePartName(*part) + "...";
    }
    lbFixture->setText(Text(line));
    const TInputFigures figures = bench.InputFigures();
    lbInput->setText(Text(FormatInputFigures(figures)));
    btnUse->setEnabled(figures.Known);
}

void TBenchPanel::cbSpotChange() {
    MarkInput(*cbSpot, Session.Bench().SetTestFrequencyText(cbSpot->currentText().toStdString()));
}

void TBenchPanel::edRinChange() {
    MarkInput(*edRin, Session.Bench().SetRinText(edRin->text().toStdString()));
}

void TBenchPanel::btnLoadClick() {
    const std::optional<double> ohms = ParseTypedNumber(edLoad->text().toStdString());
    if (ohms && *ohms > 0.0 && OnCapture) {
        OnCapture(TFixturePart::Load, *ohms);
    }
}

void TBenchPanel::btnUseClick() {
    if (!Session.UseMeasuredInputs()) {
        return;
    }
    {
        const QSignalBlocker quiet(edRin);
        edRin->setText(QString::fromStdString(Session.Bench().RinText()));
    }
    MarkInput(*edRin, true);
    if (OnInputsUsed) {
        OnInputsUsed();
    }
}

void TBenchPanel::btnClearClick() {
    try {
        Session.Bench().ClearCompensation();
    } catch (const EFileError& error) {
        lbFixture->setText(Text(error.what()));
        return;
    }
    ShowFixture();
}

}  // namespace tavrin
