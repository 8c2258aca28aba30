#pragma once

// Where the labelled ticks of a linear or logarithmic scale go and what their labels read.
// Labels are distinct, carry as many decimals as their step needs and no more, and are never
// closer to each other than their own sizes allow; a scale with little room gets fewer labels,
// never crowded ones. Positions are in pixels along the scale, from its lower end.

#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace tavrin {

// Size in pixels of a label text along the scale: its width on a horizontal scale, its
// height on a vertical one.
using TLabelExtent = std::function<double(const std::string& text)>;

struct TTickRoom {
    double Length = 0;  // pixels from the lower to the upper end of the scale
    TLabelExtent Extent;
    // Labels start at their ticks (the range selector's scale) or are centred on them (a chart
    // axis).
    bool LabelStartsAtTick = false;
    double MinSpacing = 40;  // pixels between neighbouring labelled ticks at least
    double Gap = 4;          // pixels between neighbouring label texts at least
    // Room for a label beyond the lower and the upper end; a label that would stick out
    // further, and be cut off, is left out.
    double Before = std::numeric_limits<double>::infinity();
    double After = std::numeric_limits<double>::infinity();
};

struct TScaleTick {
    double Value = 0;
    double Position = 0;  // pixels from the lower end
    std::string Text;
};

struct TScaleTicks {
    std::vector<TScaleTick> Labelled;  // ascending
    std::vector<double> Minor;         // values between the labelled ticks, ascending
};

// Steps of 1, 2 or 5 times a power of ten, the finest whose labels fit.
TScaleTicks ChooseLinearTicks(double lower, double upper, const TTickRoom& room);

// 1, 2 and 5 in every decade when they fit, else every decade, else every few decades. A span
// of less than a decade is labelled in even steps like a linear one. Needs 0 < lower < upper.
TScaleTicks ChooseLogTicks(double lower, double upper, const TTickRoom& room);

// A label that resolves 10^resolution: "0.25", "-3", "1500"; and in the exponent form, which
// ChooseLinearTicks and ChooseLogTicks use for a whole scale whose plain labels would be long,
// "1.5E-9", "2E8". Always "." as the decimal point, never "-0".
std::string TickText(double value, int resolution, bool exponentForm);

}  // namespace tavrin
