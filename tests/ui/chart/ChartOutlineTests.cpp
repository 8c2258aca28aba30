// The thinned curve must draw the picture of the full one, to within a pixel, when both are
// drawn without smoothing, the way the chart draws a series with every point.

#include <QImage>
#include <QPainter>
#include <QtTest>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "uChartOutline.h"

using namespace tavrin;

namespace {

constexpr int Width = 120;
constexpr int Height = 80;

// Drawn like the chart draws a curve: one cosmetic aliased polyline, broken where a point is NaN.
QImage Draw(const std::vector<QPointF>& points) {
    QImage image(Width, Height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(QPen(Qt::black, 0));
    size_t start = 0;
    for (size_t i = 0; i <= points.size(); ++i) {
        if (i == points.size() || std::isnan(points[i].x()) || std::isnan(points[i].y())) {
            if (i > start) {
                painter.drawPolyline(points.data() + start, static_cast<int>(i - start));
            }
            start = i + 1;
        }
    }
    return image;
}

bool Lit(const QImage& image, int x, int y) {
    return image.rect().contains(x, y) && image.pixel(x, y) != QColor(Qt::white).rgb();
}

// Pixels lit in one picture only, or -1 when one of them has a lit pixel farther than one pixel
// from every lit pixel of the other.
int DifferingPixels(const QImage& a, const QImage& b) {
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const bool inA = Lit(a, x, y);
            if (inA == Lit(b, x, y)) {
                continue;
            }
            ++differing;
            const QImage& other = inA ? b : a;
            bool near = false;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    near = near || Lit(other, x + dx, y + dy);
                }
            }
            if (!near) {
                return -1;
            }
        }
    }
    return differing;
}

int LitPixels(const QImage& image) {
    int lit = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            lit += Lit(image, x, y) ? 1 : 0;
        }
    }
    return lit;
}

std::vector<QPointF> Thinned(const std::vector<QPointF>& points) {
    std::vector<int> kept;
    TColumnOutline outline(kept);
    for (size_t i = 0; i < points.size(); ++i) {
        outline.Add(static_cast<int>(i), points[i].x(), points[i].y());
    }
    outline.Finish();
    std::vector<QPointF> result;
    for (int index : kept) {
        result.push_back(points[static_cast<size_t>(index)]);
    }
    return result;
}

}  // namespace

class TChartOutlineTests : public QObject {
    Q_OBJECT

  private slots:
    void thinnedCurveDrawsTheSamePictureWithinAPixel_data() {
        QTest::addColumn<double>("pointsPerColumn");
        QTest::addColumn<double>("spread");  // of y, in pixels
        QTest::addColumn<bool>("gaps");
        QTest::newRow("sparse") << 0.3 << 40.0 << false;
        QTest::newRow("one per column") << 1.0 << 40.0 << false;
        QTest::newRow("dense noise") << 50.0 << 40.0 << false;
        QTest::newRow("dense, beyond the edges") << 50.0 << 120.0 << false;
        QTest::newRow("dense, nearly flat") << 50.0 << 1.5 << false;
        QTest::newRow("dense with gaps") << 20.0 << 40.0 << true;
    }

    void thinnedCurveDrawsTheSamePictureWithinAPixel() {
        QFETCH(double, pointsPerColumn);
        QFETCH(double, spread);
        QFETCH(bool, gaps);
        for (unsigned seed = 1; seed <= 5; ++seed) {
            std::mt19937 generator(seed);
            std::uniform_real_distribution<double> step(0.0, 2.0 / pointsPerColumn);
            std::uniform_real_distribution<double> height(-spread, spread);
            std::uniform_int_distribution<int> gap(0, 200);
            std::vector<QPointF> points;
            for (double x = 3.7; x < Width - 3; x += step(generator)) {
                const bool nan = gaps && gap(generator) == 0;
                points.emplace_back(x, nan ? std::numeric_limits<double>::quiet_NaN()
                                           : Height / 2.0 + height(generator));
            }
            const std::vector<QPointF> thinned = Thinned(points);
            const QImage full = Draw(points);
            const int differing = DifferingPixels(full, Draw(thinned));
            QVERIFY(differing >= 0);
            if (pointsPerColumn < 1) {
                QCOMPARE(differing, 0);  // hardly a run to thin
            }
            QVERIFY(differing <= LitPixels(full) / 10);
            if (pointsPerColumn > 4 && !gaps) {
                // At most four points for each column the curve crosses.
                QVERIFY(thinned.size() <= 4 * static_cast<size_t>(Width));
            }
        }
    }

    void keepsTheExtremesInTheirOrder() {
        // One column: first, highest (smallest y), lowest, last in the order they came.
        const std::vector<QPointF> points = {{10.1, 5}, {10.2, 3}, {10.3, 9}, {10.4, 1},
                                             {10.5, 7}, {10.6, 4}, {11.2, 4}, {11.3, 4}};
        const std::vector<QPointF> expected = {{10.1, 5}, {10.3, 9}, {10.4, 1},
                                               {10.6, 4}, {11.2, 4}, {11.3, 4}};
        QCOMPARE(Thinned(points), expected);

        // Values in place of pixel rows may run the other way up: the same points are kept.
        std::vector<QPointF> flipped;
        for (const QPointF& point : points) {
            flipped.emplace_back(point.x(), -point.y());
        }
        std::vector<QPointF> keptFlipped = Thinned(flipped);
        for (QPointF& point : keptFlipped) {
            point.setY(-point.y());
        }
        QCOMPARE(keptFlipped, expected);
    }
};

QTEST_MAIN(TChartOutlineTests)
#include "ChartOutlineTests.moc"
