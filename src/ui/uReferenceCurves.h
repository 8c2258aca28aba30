#pragma once

// The stored reference curves drawn on the chart beneath the current result, in muted colours,
// each named once in the legend: its first curve (Re, or the modulus) solid, its second (Im, or
// the phase) dashed, on the axes and with the graph options of the result's own two curves.
// Only curves of the kind the mode shows are drawn. User-interface thread.

#include <QColor>
#include <optional>
#include <vector>

#include "uReferenceFile.h"

namespace tavrin {

class TChart;
class TChartSeries;

class TReferenceCurves {
  public:
    explicit TReferenceCurves(TChart& chart);
    ~TReferenceCurves();
    TReferenceCurves(const TReferenceCurves&) = delete;
    TReferenceCurves& operator=(const TReferenceCurves&) = delete;

    // How the result's curves are drawn now.
    struct TOptions {
        std::optional<TTraceKind> Kind;  // none: no reference is drawn (a calibration run)
        bool ModPhase = false;
        bool LogZ = false;
    };
    // Replaces what is drawn with the shown references of the list; how many are drawn.
    size_t Show(const std::vector<TReference>& references, const TOptions& options);

    // The colour of the reference at `index` in the store.
    static QColor Colour(size_t index);

  private:
    void Clear();

    TChart& Chart;
    std::vector<TChartSeries*> Drawn;
};

}  // namespace tavrin
