#include "uRangeScale.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "uAxisTicks.h"
#include "uNumberText.h"

namespace tavrin {
namespace {

// Guards the walks against spans so narrow or so wide that float steps stop moving.
constexpr int kMaxWalk = 10000;
constexpr int kMaxStepFactors = 300;  // 10^100: beyond any float span

// 2, 5, 10, 20, 50, 100, ...
double StepFactor(int k) {
    static constexpr double kMantissa[] = {2, 5, 10};
    return kMantissa[k % 3] * std::pow(10.0, k / 3);
}

// Exponent of `value` (> 0) once it is rounded to one significant digit: 95999 gives 5.
int DecadeExponent(double value) {
    int exponent = static_cast<int>(std::floor(std::log10(value)));
    if (std::pow(10.0, exponent) > value) {
        --exponent;
    } else if (std::pow(10.0, exponent + 1) <= value) {
        ++exponent;
    }
    if (std::round(value / std::pow(10.0, exponent)) >= 10) {
        ++exponent;
    }
    return exponent;
}

struct TStep {
    double Size;
    int LeadingDigit;  // 1, 2 or 5: decides the minor step
};

// Labels as wide as the decade's: at most `fit` of them side by side over the image.
TStep ChooseStep(double span, double decade, int fit) {
    if (fit > 2 * std::trunc(span / decade)) {
        // Refining looks two factors ahead, so the labels end up well spread.
        static constexpr int kRefinedDigit[] = {5, 2, 1};
        TStep step{decade, 1};
        for (int k = 0; k < kMaxStepFactors; ++k) {
            step = {decade / StepFactor(k), kRefinedDigit[k % 3]};
            if (fit < std::trunc(StepFactor(k + 2) * span / decade)) {
                break;
            }
        }
        return step;
    }
    static constexpr int kCoarseDigit[] = {2, 5, 1};
    TStep step{decade, 1};
    for (int k = 0; k < kMaxStepFactors && fit < std::trunc(span / step.Size); ++k) {
        step = {StepFactor(k) * decade, kCoarseDigit[k % 3]};
    }
    return step;
}

double Anchor(double low, double high, double decade, double step) {
    if (low <= decade) {
        return decade;
    }
    if (std::trunc(high / decade) > std::trunc(low / decade)) {
        return std::trunc(high / decade) * decade;
    }
    return std::trunc(high / step) * step;
}

}  // namespace

int NearestPixel(float x) {
    if (std::isnan(x)) {
        return 0;
    }
    const float rounded = std::nearbyint(x);  // the default rounding mode sends halves to even
    if (rounded >= static_cast<float>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (rounded <= static_cast<float>(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(rounded);
}

TFrequencyAxis::TFrequencyAxis(float low, float high, int barLeft, int barRight, bool logarithmic)
    : Low(low),
      High(high),
      PixelsPerHz(static_cast<float>(barRight - barLeft) / (high - low)),
      BarLeft(barLeft),
      Track(barRight - barLeft),
      Logarithmic(logarithmic && low > 0 && high > low) {}

double TFrequencyAxis::Offset(double frequency) const {
    if (Logarithmic) {
        return std::log(frequency / Low) / std::log(static_cast<double>(High) / Low) * Track;
    }
    return (static_cast<float>(frequency) - Low) * PixelsPerHz;
}

double TFrequencyAxis::FrequencyAt(double offset) const {
    // The ends exactly, so that a range at an end reads as the whole span.
    if (offset <= 0) {
        return Low;
    }
    if (offset >= Track) {
        return High;
    }
    if (Logarithmic) {
        return Low * std::pow(static_cast<double>(High) / Low, offset / Track);
    }
    return Low + offset / PixelsPerHz;
}

int TFrequencyAxis::ScaleX(double frequency) const {
    const int offset = Logarithmic
                           ? NearestPixel(static_cast<float>(Offset(frequency)))
                           : NearestPixel((static_cast<float>(frequency) - Low) * PixelsPerHz);
    return offset > std::numeric_limits<int>::max() - BarLeft ? std::numeric_limits<int>::max()
                                                              : BarLeft + offset;
}

TScaleLayout LayOutScale(float low, float high, int width, int barLeft, int barRight,
                         const TTextWidthMeasure& textWidth) {
    TScaleLayout layout;
    if (!std::isfinite(low) || !std::isfinite(high) || !(low < high) || !(high > 0) || width <= 0 ||
        barRight <= barLeft || !textWidth) {
        return layout;
    }
    const TFrequencyAxis axis(low, high, barLeft, barRight);
    const double span = high - low;
    const double decade = std::pow(10.0, DecadeExponent(high));
    const std::string decadeText = FormatHz(decade);
    const int fit = width / std::max(1, textWidth(decadeText));
    const TStep step = ChooseStep(span, decade, fit);
    if (!(step.Size > 0) || !std::isfinite(step.Size)) {
        return layout;
    }
    const double minor = step.LeadingDigit == 2 ? step.Size / 2 : step.Size / 5;
    const int labelRoom = textWidth(decadeText + "0");
    const double anchor = Anchor(low, high, decade, step.Size);

    const auto addLabel = [&](double f) { layout.Labels.push_back({axis.ScaleX(f), FormatHz(f)}); };
    if (axis.ScaleX(anchor) + labelRoom < width) {
        addLabel(anchor);
    }
    for (int t = 1; t < kMaxWalk && axis.ScaleX(anchor - t * step.Size) > 0; ++t) {
        addLabel(anchor - t * step.Size);
    }
    // A label is never started where it could not be read in full.
    for (int t = 1; t < kMaxWalk && axis.ScaleX(anchor + t * step.Size) < width - labelRoom; ++t) {
        addLabel(anchor + t * step.Size);
    }
    for (int t = 1; t < kMaxWalk && axis.ScaleX(anchor - t * minor) > 0; ++t) {
        layout.MinorTicks.push_back(axis.ScaleX(anchor - t * minor));
    }
    for (int t = 1; t < kMaxWalk && axis.ScaleX(anchor + t * minor) < width; ++t) {
        layout.MinorTicks.push_back(axis.ScaleX(anchor + t * minor));
    }

    std::sort(layout.Labels.begin(), layout.Labels.end(),
              [](const TScaleLabel& a, const TScaleLabel& b) { return a.X < b.X; });
    std::sort(layout.MinorTicks.begin(), layout.MinorTicks.end());
    layout.Step = step.Size;
    layout.MinorStep = minor;
    return layout;
}

TScaleLayout LayOutLogScale(float low, float high, int width, int barLeft, int barRight,
                            const TTextWidthMeasure& textWidth) {
    TScaleLayout layout;
    if (!std::isfinite(low) || !std::isfinite(high) || !(low > 0) || !(low < high) || width <= 0 ||
        barRight <= barLeft || !textWidth) {
        return layout;
    }
    const TFrequencyAxis axis(low, high, barLeft, barRight, true);
    const int digit = std::max(1, textWidth("0"));
    TTickRoom room;
    room.Length = barRight - barLeft;
    room.Extent = [&textWidth](const std::string& text) { return textWidth(text); };
    room.LabelStartsAtTick = true;
    room.MinSpacing = 3 * digit;
    // Whole-pixel ticks may each move half a pixel.
    room.Gap = digit + 1;
    room.Before = barLeft;
    room.After = width - barRight;
    const TScaleTicks ticks = ChooseLogTicks(low, high, room);
    for (const TScaleTick& tick : ticks.Labelled) {
        layout.Labels.push_back({axis.ScaleX(tick.Value), tick.Text});
    }
    for (const double minor : ticks.Minor) {
        layout.MinorTicks.push_back(axis.ScaleX(minor));
    }
    return layout;
}

}  // namespace tavrin
