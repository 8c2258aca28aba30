#include "uChartCursor.h"

#include <cmath>
#include <limits>

#include "uChartAxis.h"
#include "uChartSeries.h"
#include "uNumberText.h"

namespace tavrin {
namespace {

constexpr int kBoxMargin = 6;   // between the line or the plot's edge and the box
constexpr int kBoxPadding = 4;  // inside the box, around the text
constexpr double kMarkerRadius = 3.5;
// Five digits tell 47.012 from 47.013 ohms; frequencies get six for bins a fraction of a hertz
// apart in the kilohertz.
constexpr int kValueDigits = 5;
constexpr int kFrequencyDigits = 6;

// The point of `series` (which holds points, in ascending x) whose x is nearest `key`.
int NearestIndex(const TChartSeries& series, double key) {
    int low = 0;
    int high = series.Count() - 1;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (series.X(middle) < key) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low > 0 && std::fabs(series.X(low - 1) - key) <= std::fabs(series.X(low) - key)) {
        return low - 1;
    }
    return low;
}

QString NumberText(double value, int digits) {
    return QString::fromStdString(FormatGeneral(value, digits));
}

QString WithUnit(const QString& number, const QString& unit) {
    if (unit.isEmpty()) {
        return number;
    }
    // Degrees sit on the number; other units follow a space.
    return unit == QStringLiteral("°") ? number + unit : number + QLatin1Char(' ') + unit;
}

}  // namespace

TChartCursor::TChartCursor(QCustomPlot& plot, std::vector<const TChartSeries*> series,
                           const TChartAxis& bottom)
    : QCPLayerable(&plot, QStringLiteral("overlay")),
      mPlot(plot),
      mSeries(std::move(series)),
      mBottom(bottom) {}

void TChartCursor::Follow(QPoint position) {
    if (mPinned) {
        return;
    }
    if (!mPlot.axisRect()->rect().contains(position)) {
        Leave();
        return;
    }
    mKey = mPlot.xAxis->pixelToCoord(position.x());
    ReadAt(mKey);
    Show();
}

void TChartCursor::Click(QPoint position) {
    if (mPinned) {
        mPinned = false;
        Follow(position);
        return;
    }
    mKey = mPlot.xAxis->pixelToCoord(position.x());
    ReadAt(mKey);
    mPinned = mShown;
    Show();
}

void TChartCursor::Leave() {
    if (mPinned || !mShown) {
        return;
    }
    mShown = false;
    Show();
}

void TChartCursor::Refresh() {
    if (mShown) {
        ReadAt(mKey);
    }
    if (!mShown) {
        mPinned = false;
    }
}

QStringList TChartCursor::Lines() const {
    QStringList lines;
    if (!mShown) {
        return lines;
    }
    lines << mFrequencyLine;
    for (const TReading& reading : mReadings) {
        lines << reading.Text;
    }
    return lines;
}

void TChartCursor::ReadAt(double key) {
    mReadings.clear();
    // The frequency is that of the point nearest the pointer on screen, whichever curve it is on.
    const double pointer = mPlot.xAxis->coordToPixel(key);
    double nearest = std::numeric_limits<double>::infinity();
    bool found = false;
    for (const TChartSeries* series : mSeries) {
        if (series->Count() == 0) {
            continue;
        }
        const double x = series->X(NearestIndex(*series, key));
        const double distance = std::fabs(mPlot.xAxis->coordToPixel(x) - pointer);
        if (!found || distance < nearest) {
            nearest = distance;
            mPointKey = x;
            found = true;
        }
    }
    mShown = found;
    if (!found) {
        return;
    }
    mFrequencyLine =
        QStringLiteral("f = ") + WithUnit(NumberText(mPointKey, kFrequencyDigits), mBottom.Unit());
    for (const TChartSeries* series : mSeries) {
        if (series->Count() == 0) {
            continue;
        }
        const int index = NearestIndex(*series, mPointKey);
        const double value = series->Y(index);
        mReadings.push_back({series->Name() + QStringLiteral(" = ") +
                                 WithUnit(NumberText(value, kValueDigits), series->Unit()),
                             series->Colour(), series->AxisSide() == TAxisSide::Right,
                             series->X(index), value});
    }
}

void TChartCursor::Show() {
    if (QCPLayer* overlay = layer()) {
        overlay->replot();
    }
}

void TChartCursor::applyDefaultAntialiasingHint(QCPPainter* painter) const {
    applyAntialiasingHint(painter, true, QCP::aeOther);
}

void TChartCursor::draw(QCPPainter* painter) {
    if (!mShown) {
        return;
    }
    const QRect area = mPlot.axisRect()->rect();
    const double x = mPlot.xAxis->coordToPixel(mPointKey);
    const bool lineInside = x >= area.left() && x <= area.right();
    if (lineInside) {
        painter->setPen(QPen(QColor(90, 90, 90), 1, mPinned ? Qt::SolidLine : Qt::DashLine));
        painter->drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        for (const TReading& reading : mReadings) {
            const QCPAxis* axis = reading.OnRight ? mPlot.yAxis2 : mPlot.yAxis;
            const QPointF point(mPlot.xAxis->coordToPixel(reading.Key),
                                axis->coordToPixel(reading.Value));
            if (std::isfinite(point.y()) && area.contains(point.toPoint())) {
                painter->setPen(QPen(reading.Colour, 1.5));
                painter->setBrush(Qt::white);
                painter->drawEllipse(point, kMarkerRadius, kMarkerRadius);
            }
        }
    }

    const QFontMetrics metrics(mPlot.font());
    const QStringList lines = Lines();
    int textWidth = 0;
    for (const QString& line : lines) {
        textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
    }
    const int width = textWidth + 2 * kBoxPadding;
    const int height = static_cast<int>(lines.size()) * metrics.lineSpacing() + 2 * kBoxPadding;
    // Beside the line, on whichever side has room, and never over the plot's edge.
    const double anchor = lineInside ? x : area.left();
    int left = static_cast<int>(anchor) + kBoxMargin;
    if (left + width > area.right() - kBoxMargin) {
        left = static_cast<int>(anchor) - kBoxMargin - width;
    }
    left = std::max(left, area.left() + kBoxMargin);
    const QRect box(left, area.top() + kBoxMargin, width, height);
    painter->setPen(QColor(150, 150, 150));
    painter->setBrush(QColor(255, 255, 255, 235));
    painter->drawRect(box);
    int baseline = box.top() + kBoxPadding + metrics.ascent();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        // The curves' colours, a shade darker so that thin text stays legible on white.
        const QColor colour = i == 0 ? QColor(Qt::black) : mReadings[i - 1].Colour.darker(125);
        painter->setPen(colour);
        painter->drawText(QPoint(box.left() + kBoxPadding, baseline), lines[i]);
        baseline += metrics.lineSpacing();
    }
}

}  // namespace tavrin
