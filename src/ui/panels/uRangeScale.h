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
    double Step = 0;  // Hz between labels; 0 when nothing could be laid out
    double MinorStep = 0;
};

// The linear mapping shared by the bar and the scale, so that ticks line up with the edges of
// the selected range: barLeft + nearest((f - low) * pixels per hertz), 32-bit float, halves to
// even.
class TFrequencyAxis {
  public:
    TFrequencyAxis(float low, float high, int barLeft, int barRight);
    int ScaleX(double frequency) const;

  private:
    float Low;
    float PixelsPerHz;
    int BarLeft;
};

// Labels every Step hertz (1, 2 or 5 times a power of ten, as many as fit side by side as wide
// as the decade's label), minor ticks in between, over an image `width` pixels wide whose
// frequency span low..high lies between barLeft and barRight. Frequencies in Hz.
TScaleLayout LayOutScale(float low, float high, int width, int barLeft, int barRight,
                         const TTextWidthMeasure& textWidth);

// Nearest whole number, halves to even, saturated to the int range (NaN gives 0).
int NearestPixel(float x);

}  // namespace tavrin
