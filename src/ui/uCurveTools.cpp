#include "uCurveTools.h"

#include <QActionGroup>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <cmath>
#include <limits>

#include "uMessageSink.h"
#include "uNumberText.h"
#include "uResultTrace.h"
#include "uTraceImport.h"
#include "uTraceResolution.h"

namespace tavrin {
namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QToolButton* MenuButton(const char* name, const QString& text, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    return button;
}

}  // namespace

TCurveTools::TCurveTools(QWidget* parent, TChart& chart, TDiagramView& diagram,
                         TMessageSink& messages, std::string referencePath)
    : Parent(parent),
      Chart(chart),
      Diagram(diagram),
      Messages(messages),
      FStore(std::move(referencePath)),
      Curves(chart) {
    FToolBar = new QWidget(parent);
    FToolBar->setObjectName("pnCurves");
    btnExport = new QPushButton("Export\u2026", FToolBar);
    btnExport->setObjectName("btnExport");
    btnExport->setToolTip("Write the curve as ZMA, FRD, CSV or Touchstone for other programs");
    QObject::connect(btnExport, &QPushButton::clicked, btnExport, [this] { Export(); });

    btnReferences = MenuButton("btnReferences", "References", FToolBar);
    btnReferences->setToolTip("Reference curves: keep the result or load a file to compare with");
    ReferencesMenu = new QMenu(btnReferences);
    ReferencesMenu->setObjectName("mnReferences");
    btnReferences->setMenu(ReferencesMenu);
    QObject::connect(ReferencesMenu, &QMenu::aboutToShow, ReferencesMenu,
                     [this] { FillReferencesMenu(); });

    btnDiagram = MenuButton("btnDiagram", "Diagram", FToolBar);
    btnDiagram->setToolTip("A Nyquist diagram or a Smith chart beside the chart");
    auto* diagramMenu = new QMenu(btnDiagram);
    auto* group = new QActionGroup(diagramMenu);
    const std::pair<const char*, std::optional<TDiagramKind>> choices[] = {
        {"None", std::nullopt},
        {"Nyquist (Re, \u2212Im)", TDiagramKind::Nyquist},
        {"Smith chart", TDiagramKind::Smith}};
    for (const auto& [text, kind] : choices) {
        QAction* action = diagramMenu->addAction(text);
        action->setCheckable(true);
        action->setChecked(!kind);
        group->addAction(action);
        QObject::connect(action, &QAction::triggered, action,
                         [this, kind = kind] { ShowDiagram(kind); });
    }
    btnDiagram->setMenu(diagramMenu);
    Diagram.hide();
    lbCompared = new QLabel(FToolBar);
    lbCompared->setObjectName("lbCompared");
    auto* bar = new QHBoxLayout(FToolBar);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(2);
    bar->addWidget(btnReferences);
    bar->addWidget(btnDiagram);
    bar->addStretch(1);
    bar->addWidget(lbCompared);
    bar->addSpacing(6);
    bar->addWidget(btnExport);
    FToolBar->hide();

    AskExport = [this](TTraceKind kind, const TExportChoice& last) {
        return AskExportFile(Parent, kind, last);
    };
    AskName = [this](const QString& prompt, const QString& text) -> std::optional<std::string> {
        bool ok = false;
        const QString name =
            QInputDialog::getText(Parent, "Reference curve", prompt, QLineEdit::Normal, text, &ok);
        return ok ? std::optional(name.toStdString()) : std::nullopt;
    };
    AskCurveFile = [this]() -> std::optional<std::string> {
        const QString path = QFileDialog::getOpenFileName(
            Parent, "Load a reference curve", QDir::homePath(),
            "Curve files (*.zma *.frd *.csv *.s1p *.ZMA *.FRD *.CSV *.S1P);;All files (*)");
        return path.isEmpty() ? std::nullopt : std::optional(path.toStdString());
    };
    Confirm = [this](const QString& question) {
        return QMessageBox::question(Parent, "Reference curve", question) == QMessageBox::Yes;
    };
}

TCurveTools::~TCurveTools() = default;

void TCurveTools::Open() {
    Report(FStore.Load());
    ReferencesChanged();
}

void TCurveTools::Report(const std::optional<std::string>& error) {
    if (error) {
        Messages.ShowMessage(Text(*error));
    }
}

const TReference* TCurveTools::Compared() const {
    if (!FCompareName) {
        return nullptr;
    }
    const std::optional<size_t> index = FStore.Find(*FCompareName);
    return index ? &FStore.References()[*index] : nullptr;
}

const TMeasurementResult& TCurveTools::TakeResult(const TMeasurementResult& result) {
    FLatest = TraceOfResult(result);
    if (FLatest && DescribeMeasurement) {
        DescribeMeasurement(FLatest->Info);
    }
    if (FLatest && FLatest->Info.Rref) {
        Diagram.SetDefaultZ0(*FLatest->Info.Rref);
    }
    if (!Diagram.isHidden()) {
        Diagram.SetCurrent(FLatest.value_or(TTrace{}));
    }
    const TReference* reference = Compared();
    if (!FLatest || !reference || reference->Trace.Kind != FLatest->Kind) {
        return result;
    }
    // The block as drawn: the comparison at each bin of the curve, nothing (a gap) elsewhere,
    // and no model curves, which would not compare.
    ComparedData[0] = (*result.Data)[0];
    ComparedData[1].clear();
    std::fill(ComparedData[0].begin(), ComparedData[0].end(),
              std::numeric_limits<float>::quiet_NaN());
    TComplex* bins = ComplexSlots(ComparedData[0].data());
    const double binWidth = static_cast<double>(result.SampleRate) / ComparedData[0].size();
    size_t hint = 0;
    for (const TTracePoint& p : FLatest->Points) {
        const auto bin = static_cast<size_t>(std::lround(p.Frequency / binWidth));
        const std::optional<std::complex<double>> ref =
            ReferenceValueAt(reference->Trace, p.Frequency, hint);
        if (!ref || bin == 0 || bin >= ComparedData[0].size() / 2) {
            continue;
        }
        std::complex<double> value = FCompareMode == TCompareMode::Ratio
                                         ? (*ref != 0.0 ? p.Value / *ref : NAN)
                                         : p.Value - *ref;
        // Drawn as the display draws its transfer curves: as the transform gives them.
        if (FLatest->Kind == TTraceKind::Transfer) {
            value = std::conj(value);
        }
        bins[bin] = {static_cast<float>(value.real()), static_cast<float>(value.imag())};
    }
    ComparedResult = result;
    ComparedResult.Data = &ComparedData;
    ComparedResult.Fit.reset();
    return ComparedResult;
}

void TCurveTools::OptionsChanged(const TReferenceCurves::TOptions& options) {
    Options = options;
    FToolBar->setVisible(Options.Kind.has_value());
    ReferencesChanged();
}

void TCurveTools::ShowComparison() {
    const TReference* reference = Compared();
    const bool shown = reference && Options.Kind && reference->Trace.Kind == *Options.Kind;
    lbCompared->setText(!shown ? QString()
                        : FCompareMode == TCompareMode::Ratio
                            ? "Shown: ratio to " + Text(reference->Name)
                            : "Shown: difference from " + Text(reference->Name));
}

void TCurveTools::DrawReferences() {
    const size_t drawn = Curves.Show(FStore.References(), Options);
    if (OnReferencesDrawn) {
        OnReferencesDrawn(drawn > 0);
    }
}

void TCurveTools::ReferencesChanged() {
    if (FCompareName && !FStore.Find(*FCompareName)) {
        FCompareName.reset();
    }
    DrawReferences();
    ShowComparison();
    std::vector<TDiagramView::TCurve> shown;
    const auto& references = FStore.References();
    for (size_t i = 0; i < references.size(); ++i) {
        // As on the chart: the shown curves of the kind the mode measures.
        if (references[i].Shown && Options.Kind && references[i].Trace.Kind == *Options.Kind) {
            shown.push_back(TDiagramView::MakeCurve(
                references[i].Trace, TReferenceCurves::Colour(i), Text(references[i].Name)));
        }
    }
    Diagram.SetReferences(std::move(shown));
}

std::string TCurveTools::UniqueName(std::string base) const {
    if (!FStore.Find(base)) {
        return base;
    }
    for (int n = 2;; ++n) {
        std::string name = base + " (" + std::to_string(n) + ")";
        if (!FStore.Find(name)) {
            return name;
        }
    }
}

void TCurveTools::Export() {
    if (!FLatest) {
        Messages.ShowMessage("There is no curve to export yet: measure first.");
        return;
    }
    // The curve as it stands when the button is pressed, whatever arrives while the dialog is up.
    TTrace trace = *FLatest;
    const std::optional<TExportChoice> choice = AskExport(trace.Kind, LastExport);
    if (!choice) {
        return;
    }
    LastExport = *choice;
    trace = ReduceToPointsPerOctave(trace, choice->PointsPerOctave);
    if (CalibrationDate) {
        trace.Info.CalibrationDate = CalibrationDate();
    }
    const std::vector<TExtraColumn> extra =
        ExtraColumns ? ExtraColumns(trace.Kind) : std::vector<TExtraColumn>{};
    Report(WriteTraceFile(choice->Path, trace, extra));
}

void TCurveTools::StoreCurrent() {
    if (!FLatest) {
        Messages.ShowMessage("There is no curve to keep yet: measure first.");
        return;
    }
    TTrace trace = *FLatest;
    int n = 1;
    while (FStore.Find("Reference " + std::to_string(n))) {
        ++n;
    }
    const std::optional<std::string> name =
        AskName("Keep the current curve as:", Text("Reference " + std::to_string(n)));
    if (!name) {
        return;
    }
    const std::string kept(TrimBlanks(*name));
    if (FStore.Find(kept) && !Confirm(Text("Replace the reference \"" + kept + "\"?"))) {
        return;
    }
    if (CalibrationDate) {
        trace.Info.CalibrationDate = CalibrationDate();
    }
    Report(FStore.Store(kept, std::move(trace)));
    ReferencesChanged();
}

void TCurveTools::LoadReference() {
    const std::optional<std::string> path = AskCurveFile();
    if (!path) {
        return;
    }
    TTraceRead read = ReadTraceFile(*path);
    if (!read.Trace) {
        Messages.ShowMessage(Text(read.Error));
        return;
    }
    const std::string base = QFileInfo(Text(*path)).completeBaseName().toStdString();
    Report(FStore.Store(UniqueName(base.empty() ? "Reference" : base), std::move(*read.Trace)));
    ReferencesChanged();
}

void TCurveTools::SetShown(size_t index, bool shown) {
    Report(FStore.SetShown(index, shown));
    ReferencesChanged();
}

void TCurveTools::Rename(size_t index) {
    if (index >= FStore.References().size()) {
        return;
    }
    const std::string old = FStore.References()[index].Name;
    const std::optional<std::string> name = AskName("New name of the reference:", Text(old));
    if (!name) {
        return;
    }
    const std::optional<std::string> error = FStore.Rename(index, *name);
    if (!error && FCompareName == old) {
        FCompareName = FStore.References()[index].Name;
    }
    Report(error);
    ReferencesChanged();
}

void TCurveTools::Remove(size_t index) {
    if (index >= FStore.References().size()) {
        return;
    }
    if (!Confirm(Text("Remove the reference \"" + FStore.References()[index].Name + "\"?"))) {
        return;
    }
    Report(FStore.Remove(index));
    ReferencesChanged();
}

void TCurveTools::CompareWith(std::optional<std::string> name, TCompareMode mode) {
    FCompareName = std::move(name);
    FCompareMode = mode;
    ShowComparison();
}

void TCurveTools::ShowDiagram(std::optional<TDiagramKind> kind) {
    if (!kind) {
        Diagram.hide();
        return;
    }
    Diagram.SetKind(*kind);
    Diagram.SetCurrent(FLatest.value_or(TTrace{}));
    Diagram.show();
}

void TCurveTools::FillReferencesMenu() {
    QMenu& menu = *ReferencesMenu;
    menu.clear();
    QAction* store = menu.addAction("Keep the current curve\u2026", [this] { StoreCurrent(); });
    store->setEnabled(FLatest.has_value());
    menu.addAction("Load a curve file\u2026", [this] { LoadReference(); });
    const auto& references = FStore.References();
    if (references.empty()) {
        return;
    }
    menu.addSection("Shown");
    for (size_t i = 0; i < references.size(); ++i) {
        QString text = Text(references[i].Name);
        if (Options.Kind && references[i].Trace.Kind != *Options.Kind) {
            text += references[i].Trace.Kind == TTraceKind::Transfer ? " (transfer function)"
                                                                     : " (impedance)";
        }
        QAction* action = menu.addAction(text, [this, i](bool shown) { SetShown(i, shown); });
        action->setCheckable(true);
        action->setChecked(references[i].Shown);
    }
    menu.addSeparator();
    QMenu* compare = menu.addMenu("Compare the result");
    auto* group = new QActionGroup(compare);
    QAction* off =
        compare->addAction("Not compared", [this] { CompareWith(std::nullopt, FCompareMode); });
    off->setCheckable(true);
    off->setChecked(!FCompareName);
    group->addAction(off);
    for (const TCompareMode mode : {TCompareMode::Ratio, TCompareMode::Difference}) {
        compare->addSection(mode == TCompareMode::Ratio ? "Ratio to" : "Difference from");
        for (const TReference& reference : references) {
            if (Options.Kind && reference.Trace.Kind != *Options.Kind) {
                continue;
            }
            QAction* action = compare->addAction(
                Text(reference.Name),
                [this, name = reference.Name, mode] { CompareWith(name, mode); });
            action->setCheckable(true);
            action->setChecked(FCompareName == reference.Name && FCompareMode == mode);
            group->addAction(action);
        }
    }
    QMenu* rename = menu.addMenu("Rename");
    QMenu* remove = menu.addMenu("Remove");
    for (size_t i = 0; i < references.size(); ++i) {
        rename->addAction(Text(references[i].Name), [this, i] { Rename(i); });
        remove->addAction(Text(references[i].Name), [this, i] { Remove(i); });
    }
}

}  // namespace tavrin
