#pragma once

// Thins a curve that is drawn without smoothing to the points that shape its picture. Drawn as
// one polyline, a run of consecutive points in one pixel column covers that column from its
// highest to its lowest point, whatever the order inside the run, so the run's first point, its
// two extremes in their order and its last point draw the same picture. Only to within a pixel:
// the painter places the pixels of a sub-pixel segment by its direction, so an end of a column's
// span may move by one. A dense curve then costs at most four points per column however many
// points it has.

#include <vector>

namespace tavrin {

class TColumnOutline {
  public:
    // kept receives the indices of the points to draw, in ascending order.
    explicit TColumnOutline(std::vector<int>& kept) : mKept(kept) {}

    // Points in drawing order: x is the pixel coordinate along the key axis (the columns), y the
    // position along the value axis in pixels or in any measure that orders the points the same
    // way or the reverse way, such as the value itself. A NaN breaks the line and is kept.
    void Add(int index, double x, double y);
    // Call after the last point.
    void Finish();

  private:
    struct TRunPoint {
        int Index;
        double Y;
    };

    void Flush();

    std::vector<int>& mKept;
    bool mInRun = false;
    double mColumn = 0.0;
    TRunPoint mFirst{};
    TRunPoint mHighest{};
    TRunPoint mLowest{};
    int mLast = 0;
};

}  // namespace tavrin
