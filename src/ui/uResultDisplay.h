#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <optional>

#include "uChart.h"
#include "uMeasurementResult.h"
#include "uWaveControl.h"

namespace tavrin {

// How a result is drawn.
enum class TDisplayKind : uint8_t {
    None = 0,
    OnePair = 1,   // channel 0 as a complex curve pair (Series1, Series2)
    TwoPairs = 2,  // channel 0 and channel 1 as complex curve pairs (all four series)
    Moduli = 3,    // the moduli of both channels (Series1, Series2)
};

// The chart side of the main window: turns processed blocks into the points of the four
// series, applies the graph options, and tells when the chart has drawn the last result so
// that the next one may be requested. User-interface thread only.
class TResultDisplay {
  public:
    explicit TResultDisplay(TChart& chart);

    // The band in Hz and the bin rule of the block length in use.
    struct TBand {
        float Low;
        float High;
        std::function<int32_t(float frequency)> ToBin;
    };
    // Replaces every point: bins of the band of each non-empty channel as DisplayKind says.
    void ShowResult(const TWaveData& data, const TBand& band, float sampleRate);
    // Each series' after-draw notification; the last one awaited raises OnAllDrawn.
    void SeriesDrawn();
    std::function<void()> OnAllDrawn;

    void ClearSeries();
    void SetDrawAllPoints(bool drawAll);
    // Series2 and Series4 on the left axis (true) or the right one.
    void SetLeftForAll(bool leftForAll);
    // The graph options, with the states of the other boxes they depend on.
    void ApplyModPhase(bool modPhase, bool logZTicked);
    void ApplyLogZ(bool logZ, bool modPhaseTicked);
    void ApplyLogF(bool logF, float fMin, float fMax);
    void ClickAxis(TAxisKind axis);
    // What the curves show, for their names in the legend and the readout and for their units;
    // their titles stay those of the graph options. Until it is set the curves go by their
    // titles alone and carry no units.
    void SetResultContent(TResultContent content);
    std::optional<TResultContent> ResultContent() const { return Content; }

    TDisplayKind DisplayKind = TDisplayKind::None;
    bool ModPhase = false;
    bool LogZ = false;
    int32_t PendingDraws = 0;

  private:
    void NameCurves();

    TChart& Chart;
    // The points of one curve pair, kept from result to result so that their memory is reused.
    std::vector<double> PointX, PointA, PointB;
    std::optional<TResultContent> Content;
};

}  // namespace tavrin
