#pragma once

// The readout of the chart: a vertical line at the point nearest the mouse and, beside it, the
// frequency there and the value of every curve that has points, each line in its curve's
// colour. It follows the mouse over the plot area; a click pins it at that frequency, where it
// keeps reading the values of each new result, and the next click lets it follow again.
// Internal to the chart adapter; user-interface thread only. Owned by the plot.

#include <qcustomplot.h>

#include <QStringList>
#include <vector>

namespace tavrin {

class TChartAxis;
class TChartSeries;

class TChartCursor : public QCPLayerable {
  public:
    // series: in legend order; the caller keeps them for the life of the plot.
    TChartCursor(QCustomPlot& plot, std::vector<const TChartSeries*> series,
                 const TChartAxis& bottom);

    // Mouse positions in the plot's coordinates.
    void Follow(QPoint position);
    void Click(QPoint position);
    void Leave();
    // Reads the values at the cursor's frequency again, for the frame being prepared.
    void Refresh();

    bool Shown() const { return mShown; }
    bool Pinned() const { return mPinned; }
    // The frequency line first, then one line per curve.
    QStringList Lines() const;

  protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override;
    void draw(QCPPainter* painter) override;

  private:
    struct TReading {
        QString Text;
        QColor Colour;
        bool OnRight = false;
        double Key = 0;
        double Value = 0;
    };

    void ReadAt(double key);
    // Draws the layer alone: the curves and the axes stay as they are.
    void Show();

    QCustomPlot& mPlot;
    std::vector<const TChartSeries*> mSeries;
    const TChartAxis& mBottom;
    bool mShown = false;
    bool mPinned = false;
    double mKey = 0;       // where the pointer or the pin is, in x units
    double mPointKey = 0;  // the x of the point read, where the line is drawn
    QString mFrequencyLine;
    std::vector<TReading> mReadings;
};

}  // namespace tavrin
