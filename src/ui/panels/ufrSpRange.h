#pragma once

// The frequency range selector: a linear scale over the span FullMin..FullMax and, below it, a
// bar on which the user picks RangeMin..RangeMax by dragging the range, moving either end or
// double-clicking (whole span <-> last partial range). Frequencies are 32-bit float hertz.
// User-interface thread only. Under a chart with a logarithmic frequency axis the scale and the
// bar can be logarithmic too, so that both show a band at the same place and width.
//
// The bar's widths encode the range: pnMin is 2 pixels plus the pixels below RangeMin, pnMax 2
// plus those above RangeMax, pnRange fills the space between the two 8-pixel end handles
// SpMin and SpMax. The handles are plain panels moved by this frame (not QSplitter), so the
// geometry stays exact to the pixel.

#include <QWidget>
#include <functional>

#include "uRangeScale.h"

class QFrame;
class QLabel;

namespace tavrin {

class TfrSpRange : public QWidget {
    Q_OBJECT

  public:
    explicit TfrSpRange(QWidget* parent = nullptr);

    // Sets the whole span, redraws the scale and selects the whole span (raising
    // OnRangeChange). A span that is not finite with low < high is ignored: the
    // previous one stays.
    void SetFullRange(float low, float high);

    float FullMin() const { return FullMinValue; }
    float FullMax() const { return FullMaxValue; }
    float RangeMin() const { return RangeMinValue; }
    float RangeMax() const { return RangeMaxValue; }

    // The scale's label widths; empty means the width of the text in the scale's font. Redraws.
    void SetTextWidthMeasure(TTextWidthMeasure measure);

    // A logarithmic scale and bar (for a span above 0; otherwise they stay linear). The range
    // keeps its values and is only drawn anew: nothing is raised.
    void SetLogarithmic(bool logarithmic);
    bool Logarithmic() const { return LogarithmicValue; }

    // Raised with RangeMin and RangeMax whenever the range is set or read back from the bar
    // (span change, end of a drag, a moved end, double click, resize). Not raised while a drag
    // is in progress. Runs inside a widget event handler, so it must not throw.
    std::function<void(float low, float high)> OnRangeChange;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildControls();
    void TakeScaleFont();
    int BarLeft() const;
    int BarRight() const;
    // Places the bar's panels for the current widths of pnMin and pnMax.
    void LayOutBar();
    int RangeLeft() const;
    int RangeWidth() const;

    void SetRange(float low, float high);
    // Sizes pnMin and pnMax for RangeMin..RangeMax.
    void PlaceRange();
    bool LogScale() const;
    void RangeFromBar();
    void RememberPartialRange();
    void RaiseRangeChange();
    void DrawScale(float low, float high);

    void pnFullRangeResize();
    void FrameResize();

    // Mouse handlers of pnRange and pnLine (x is the cursor's screen position); true when the
    // event has been dealt with.
    bool pnRangeMouseDown(int x);
    bool pnRangeMouseMove(int x);
    bool pnRangeMouseUp(int x);
    bool pnRangeDblClick();
    void ShowDragging(bool dragging);

    // The end handles are dragged live; newWidth is the width proposed for pnMin or pnMax.
    bool SplitterMouseDown(QFrame& splitter, int x);
    bool SplitterMouseMove(QFrame& splitter, int x);
    bool SplitterMouseUp(QFrame& splitter);
    void SpCanResize(const QFrame& splitter, int& newWidth) const;

    QLabel* imScale = nullptr;
    QFrame* pnFullRange = nullptr;
    QFrame* pnMin = nullptr;
    QFrame* SpMin = nullptr;
    QFrame* pnRange = nullptr;
    QFrame* pnLine = nullptr;
    QFrame* SpMax = nullptr;
    QFrame* pnMax = nullptr;

    float FullMinValue = 1;
    float FullMaxValue = 100;
    float RangeMinValue = 1;
    float RangeMaxValue = 100;
    float LastMin = 34;
    float LastMax = 67;
    bool LogarithmicValue = false;
    int MinWidth = 2;  // width of pnMin
    int MaxWidth = 2;  // width of pnMax

    bool Dragging = false;
    int DragOffset = 0;
    int PressX = 0;

    QFrame* ActiveSplitter = nullptr;
    int SplitterPressX = 0;
    int SplitterPressWidth = 0;

    QFont ScaleFont;
    TTextWidthMeasure TextWidth;
};

}  // namespace tavrin
