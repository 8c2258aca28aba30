#pragma once

// Where the labels and ticks of the range selector's frequency scale go. Kept apart from the
// painting so that the layout can be checked to the pixel whatever font is installed.

#include <functional>
#include <string>
#include <vector>

namespace tavrin {

// Width in pixels of a label text in the font it will be drawn with.
using TTextWidthMeasure = std::function<int(const std::string& text)>;

struct TScaleLabel {
    int X = 0;  // left edge of the text and position of its major tick
    std::string Text;
};

struct TScaleLayout {
    std::vector<TScaleLabel> Labels;
    std::vector<int> MinorTicks;
    // Hz between labels on a linear scale; 0 when nothing could be laid out, and on a
    // logarithmic scale, whose labels are not evenly spaced in hertz.
    double Step = 0;
    double MinorStep = 0;
};

// The mapping shared by the bar and the scale, so that ticks line up with the edges of the
// selected range. Linear: barLeft + nearest((f - low) * pixels per hertz), 32-bit float, halves
// to even. Logarithmic (needs 0 < low): barLeft + nearest(log(f / low) / log(high / low) *
// (barRight - barLeft)).
class TFrequencyAxis {
  public:
    TFrequencyAxis(float low, float high, int barLeft, int barRight, bool logarithmic = false);
    int ScaleX(double frequency) const;
    // Pixels from barLeft, not rounded.
    double Offset(double frequency) const;
    // The frequency `offset` pixels right of barLeft: the inverse of Offset.
    double FrequencyAt(double offset) const;

  private:
    float Low;
    float High;
    float PixelsPerHz;
    int BarLeft;
    int Track;
    bool Logarithmic;
};

// Labels every Step hertz (1, 2 or 5 times a power of ten, as many as fit side by side as wide
// as the decade's label), minor ticks in between, over an image `width` pixels wide whose
// frequency span low..high lies between barLeft and barRight. Frequencies in Hz.
TScaleLayout LayOutScale(float low, float high, int width, int barLeft, int barRight,
                         const TTextWidthMeasure& textWidth);

// Labels at 1, 2 and 5 of every decade where they fit, else at the decades, laid out on a
// logarithmic scale of low..high (0 < low < high) between barLeft and barRight; each label
// starts at its tick and ends on the image.
TScaleLayout LayOutLogScale(float low, float high, int width, int barLeft, int barRight,
                            const TTextWidthMeasure& textWidth);

// Nearest whole number, halves to even, saturated to the int range (NaN gives 0).
int NearestPixel(float x);

}  // namespace tavrin
