#pragma once

// The open-data side of the window: "Export…" of the current result in the formats other
// programs read, the reference curves (store the current result or load a file as one, show or
// hide, rename, remove, show the result as a ratio to or a difference from one of them), and the
// Nyquist or Smith diagram beside the chart. The window owns it, hands it every result and says
// when the graph options change; the bar of buttons is the window's to place. User-interface
// thread.

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "uDiagramView.h"
#include "uExportDialog.h"
#include "uMeasurementResult.h"
#include "uReferenceCurves.h"
#include "uReferenceStore.h"
#include "uTraceCompare.h"
#include "uTraceExport.h"

class QLabel;
class QMenu;
class QPushButton;
class QToolButton;
class QWidget;

namespace tavrin {

class TChart;
class TMessageSink;

class TCurveTools {
  public:
    // The caller keeps ownership of the chart, the diagram and the message sink.
    TCurveTools(QWidget* parent, TChart& chart, TDiagramView& diagram, TMessageSink& messages,
                std::string referencePath);
    ~TCurveTools();
    TCurveTools(const TCurveTools&) = delete;
    TCurveTools& operator=(const TCurveTools&) = delete;

    // Reads the stored references; a damaged file is reported.
    void Open();

    // The bar above the chart: the references' and the diagram's menus, what the result is
    // compared with, and "Export…" at its right end, beside the column that starts with Save.
    // Hidden while the mode shows no curve of a kind (a calibration run).
    QWidget* ToolBar() const { return FToolBar; }

    // Each result before it is drawn: the result to draw, which is `result` itself or, while the
    // result is compared with a reference, a copy holding the comparison (valid until the next
    // call). The diagram shows the result itself.
    const TMeasurementResult& TakeResult(const TMeasurementResult& result);
    // The mode or a graph option changed: the reference curves follow.
    void OptionsChanged(const TReferenceCurves::TOptions& options);

    // What the session knows of the measurement (R ref, C in, integration time), asked for each
    // result; the calibration's date, asked when a curve is exported or stored.
    std::function<void(TTraceInfo& info)> DescribeMeasurement;
    std::function<std::optional<std::string>()> CalibrationDate;
    // The spot readout's quantities for a curve of that kind, written as extra CSV columns when
    // there are any.
    std::function<std::vector<TExtraColumn>(TTraceKind kind)> ExtraColumns;

    // After the reference curves on the chart changed: whether any is drawn (the legend names
    // them).
    std::function<void(bool anyDrawn)> OnReferencesDrawn;

    // The dialogs, Qt's by default; tests put answers in their place.
    std::function<std::optional<TExportChoice>(TTraceKind kind, const TExportChoice& last)>
        AskExport;
    std::function<std::optional<std::string>(const QString& prompt, const QString& text)> AskName;
    std::function<std::optional<std::string>()> AskCurveFile;
    std::function<bool(const QString& question)> Confirm;

    // What the buttons and menus do.
    void Export();
    void StoreCurrent();
    void LoadReference();
    void SetShown(size_t index, bool shown);
    void Rename(size_t index);
    void Remove(size_t index);
    // Compare with the reference of that name; nothing ends the comparison.
    void CompareWith(std::optional<std::string> name, TCompareMode mode);
    // The diagram beside the chart; nothing hides it.
    void ShowDiagram(std::optional<TDiagramKind> kind);

    const TReferenceStore& Store() const { return FStore; }
    // The current result as a curve, without the calibration date; nothing before a result of a
    // measuring mode.
    const std::optional<TTrace>& Latest() const { return FLatest; }
    const std::optional<std::string>& ComparedWith() const { return FCompareName; }

  private:
    void DrawReferences();
    void ShowComparison();
    void FillReferencesMenu();
    void ReferencesChanged();
    void Report(const std::optional<std::string>& error);
    std::string UniqueName(std::string base) const;
    const TReference* Compared() const;

    QWidget* Parent;
    TChart& Chart;
    TDiagramView& Diagram;
    TMessageSink& Messages;
    TReferenceStore FStore;
    TReferenceCurves Curves;
    TReferenceCurves::TOptions Options;
    std::optional<TTrace> FLatest;
    TExportChoice LastExport;
    std::optional<std::string> FCompareName;
    TCompareMode FCompareMode = TCompareMode::Ratio;
    // The comparison as drawn: a copy of the result's block and the result pointing to it.
    TWaveData ComparedData;
    TMeasurementResult ComparedResult;

    QPushButton* btnExport;
    QWidget* FToolBar;
    QLabel* lbCompared;
    QToolButton* btnReferences;
    QMenu* ReferencesMenu;
    QToolButton* btnDiagram;
};

}  // namespace tavrin
