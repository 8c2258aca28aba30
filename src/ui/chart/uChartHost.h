#pragma once

// What a series or an axis asks of the chart that holds it. Internal to the chart adapter.
// All calls on the user-interface thread.

namespace tavrin {

class TChartHost {
  public:
    // Points, axis sides or scales changed: automatic axes must be refitted before the next
    // redraw, which is queued.
    virtual void ContentChanged() = 0;
    // Titles, colours, grids or sampling changed: queue a redraw, ranges stay.
    virtual void AppearanceChanged() = 0;
    // Refits the automatic axes now if a content change is pending, so that a range read
    // between a change and the redraw is already the one that will be drawn.
    virtual void BringRangesUpToDate() = 0;

  protected:
    ~TChartHost() = default;
};

}  // namespace tavrin
