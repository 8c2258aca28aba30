// The chart adapter on the offscreen platform: redraw reports, data, ranges, zoom, axis clicks
// and the legend, driven through the widget's public interface and simulated mouse input.

#include <QApplication>
#include <QMouseEvent>
#include <QTabWidget>
#include <QtTest>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "uChart.h"

using namespace tavrin;

namespace {

std::vector<double> Ramp(int count, double first, double step) {
    std::vector<double> values(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        values[static_cast<size_t>(i)] = first + step * i;
    }
    return values;
}

// Lets the queued redraw run and its frame reach the (offscreen) screen.
void Settle() {
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents();
    }
}

// Mouse input goes to the widget under the point, as it would for a real pointer.
void SendMouse(TChart& chart, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QWidget* target = chart.childAt(pos);
    if (target == nullptr) {
        target = &chart;
    }
    const QPointF local = target->mapFrom(&chart, QPointF(pos));
    QMouseEvent event(type, local, target->mapToGlobal(local), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void Click(TChart& chart, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(chart, QEvent::MouseButtonPress, pos, button, button);
    SendMouse(chart, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

void Drag(TChart& chart, QPoint from, QPoint to) {
    SendMouse(chart, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    SendMouse(chart, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    SendMouse(chart, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    SendMouse(chart, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

// Counts the after-draw reports of the four series.
struct TDrawCounter {
    std::array<int, TChart::SeriesCount> Reports{};

    explicit TDrawCounter(TChart& chart) {
        for (int i = 0; i < TChart::SeriesCount; ++i) {
            chart.Series(i).AfterDrawValues = [this, i] { ++Reports[static_cast<size_t>(i)]; };
        }
    }
};

}  // namespace

class TChartTests : public QObject {
    Q_OBJECT

  private:
    // A shown chart whose start-up frames have been painted.
    void ShowSettled(TChart& chart) {
        chart.resize(600, 400);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        Settle();
    }

  private slots:
    // Whatever the range, the scale and the size, every axis's labels read distinct values and
    // their texts neither touch each other nor stick out of the chart.
    void tickLabelsAreDistinctAndNeverOverlap() {
        TChart chart;
        chart.Series(1).SetAxisSide(TAxisSide::Right);
        ShowSettled(chart);
        struct TRange {
            double Low;
            double High;
        };
        const std::vector<TRange> linear = {
            {20, 22000},  {46.985, 47.025}, {-0.001, 0.012}, {-1e-9, 1e-9},   {-180, 180},
            {-5e9, 1e10}, {9e7, 1.1e8},     {0.51, 0.99},    {-47.02, -46.9}, {1e6, 1.00001e6}};
        const std::vector<TRange> logarithmic = {{20, 22000}, {10000, 17500}, {1, 192000},
                                                 {1e-3, 1e5}, {1e-12, 1e3},   {999, 1001},
                                                 {0.5, 0.9},  {1e-30, 1e30}};
        for (const QSize size : {QSize(330, 240), QSize(640, 420), QSize(1100, 700)}) {
            chart.resize(size);
            for (const bool log : {false, true}) {
                for (const TRange& range : log ? logarithmic : linear) {
                    for (TAxisKind kind : {TAxisKind::Bottom, TAxisKind::Left, TAxisKind::Right}) {
                        chart.Axis(kind).SetLogarithmic(log);
                        chart.Axis(kind).SetMinMax(range.Low, range.High);
                    }
                    Settle();
                    for (TAxisKind kind : {TAxisKind::Bottom, TAxisKind::Left, TAxisKind::Right}) {
                        const QString what = QStringLiteral("%1 %2..%3 axis %4 size %5x%6")
                                                 .arg(log ? "log" : "linear")
                                                 .arg(range.Low)
                                                 .arg(range.High)
                                                 .arg(int(kind))
                                                 .arg(size.width())
                                                 .arg(size.height());
                        const QVector<TTickLabel> labels = chart.Axis(kind).TickLabels();
                        QVERIFY2(labels.size() >= 2, qPrintable(what));
                        for (qsizetype i = 0; i < labels.size(); ++i) {
                            QVERIFY2(chart.rect().contains(labels[i].Box),
                                     qPrintable(what + " " + labels[i].Text));
                            for (qsizetype j = i + 1; j < labels.size(); ++j) {
                                QVERIFY2(labels[i].Text != labels[j].Text,
                                         qPrintable(what + " " + labels[i].Text));
                                QVERIFY2(
                                    !labels[i].Box.intersects(labels[j].Box),
                                    qPrintable(what + " " + labels[i].Text + " " + labels[j].Text));
                            }
                        }
                    }
                }
            }
        }
        // The labels that repeated or ran together, now apart: a log scale over 20..22000 with
        // room ticks 1, 2 and 5 of each decade.
        chart.resize(1100, 700);
        chart.BottomAxis().SetLogarithmic(true);
        chart.BottomAxis().SetMinMax(20, 22000);
        Settle();
        QStringList texts;
        for (const TTickLabel& label : chart.BottomAxis().TickLabels()) {
            texts << label.Text;
        }
        QVERIFY2(texts.contains("200") && texts.contains("500") && texts.contains("2000"),
                 qPrintable(texts.join(' ')));
    }

    void seriesKeepTheirPointsInXOrder() {
        TChart chart;
        TChartSeries& series = chart.Series(0);
        // The shorter list counts.
        series.SetPoints(std::vector<double>{1, 2, 3}, std::vector<double>{10, 20});
        QCOMPARE(series.Count(), 2);
        QCOMPARE(series.X(1), 2.0);
        QCOMPARE(series.Y(1), 20.0);
        QCOMPARE(series.X(-1), 0.0);
        QCOMPARE(series.Y(2), 0.0);

        // Replacing drops the old points; unsorted input still ends up in x order.
        series.SetPoints(std::vector<double>{5, 1, 3}, std::vector<double>{50, 10, 30});
        QCOMPARE(series.Count(), 3);
        QCOMPARE(series.X(0), 1.0);
        QCOMPARE(series.Y(0), 10.0);
        QCOMPARE(series.X(2), 5.0);
        QCOMPARE(series.Y(2), 50.0);

        series.Add(2, 20);
        QCOMPARE(series.Count(), 4);
        QCOMPARE(series.X(1), 2.0);
        QCOMPARE(series.Y(1), 20.0);

        series.Clear();
        QCOMPARE(series.Count(), 0);
        QVERIFY(!series.HasPointAtOrRightOf(-1e300));
        // The other series are untouched.
        QCOMPARE(chart.Series(1).Count(), 0);
    }

    void hiddenTitleKeepsItsCaption() {
        TChart chart;
        chart.LeftAxis().SetTitleVisible(false);
        QVERIFY(!chart.LeftAxis().TitleVisible());
        QCOMPARE(chart.LeftAxis().TitleCaption(), QStringLiteral("Re"));
        chart.LeftAxis().SetTitleCaption(QStringLiteral("Module"));
        chart.LeftAxis().SetTitleVisible(true);
        QCOMPARE(chart.LeftAxis().TitleCaption(), QStringLiteral("Module"));
    }

    void eachPaintedRedrawIsReportedOnceBySeriesWithPoints() {
        TChart chart;
        ShowSettled(chart);
        TDrawCounter counter(chart);

        // Several changes before the event loop runs make one redraw.
        chart.Series(0).SetPoints(Ramp(100, 1, 1), Ramp(100, 0, 0.5));
        chart.Series(1).SetPoints(Ramp(100, 1, 1), Ramp(100, 5, -0.1));
        chart.Series(1).SetPoints(Ramp(50, 1, 2), Ramp(50, 5, -0.1));
        Settle();
        QCOMPARE(counter.Reports, (std::array<int, 4>{1, 1, 0, 0}));

        // Repainting the same frame is not a redraw.
        chart.update();
        chart.repaint();
        Settle();
        QCOMPARE(counter.Reports, (std::array<int, 4>{1, 1, 0, 0}));

        chart.Redraw();
        Settle();
        QCOMPARE(counter.Reports, (std::array<int, 4>{2, 2, 0, 0}));

        // A cleared series falls silent.
        chart.Series(0).Clear();
        Settle();
        QCOMPARE(counter.Reports, (std::array<int, 4>{2, 3, 0, 0}));
    }

    void seriesLeftOfTheVisibleRangeReportNothing() {
        TChart chart;
        ShowSettled(chart);
        TDrawCounter counter(chart);
        chart.Series(0).SetPoints(Ramp(10, 1, 1), Ramp(10, 1, 1));     // x 1..10
        chart.Series(1).SetPoints(Ramp(11, 100, 10), Ramp(11, 1, 1));  // x 100..200
        chart.Series(2).SetPoints(Ramp(11, 10, 4), Ramp(11, 1, 1));    // x 10..50
        chart.BottomAxis().SetMinMax(50, 300);
        Settle();
        // A point exactly at the left end counts.
        QCOMPARE(counter.Reports, (std::array<int, 4>{0, 1, 1, 0}));

        // The same after a mouse zoom into the right half of the curves.
        chart.BottomAxis().SetAutomatic(true);
        Settle();
        counter.Reports = {};
        const QRect area = chart.PlotArea();
        Drag(chart, QPoint(area.center().x(), area.top() + 5),
             QPoint(area.right() - 5, area.bottom() - 5));
        Settle();
        QVERIFY(chart.Zoomed());
        QVERIFY(chart.BottomAxis().Minimum() > 50);
        QCOMPARE(counter.Reports, (std::array<int, 4>{0, 1, 0, 0}));
    }

    void hiddenChartReportsNoRedrawUntilShown() {
        QTabWidget pages;
        auto* setupPage = new QWidget;
        auto* chart = new TChart;
        pages.addTab(setupPage, QStringLiteral("Setup"));
        pages.addTab(chart, QStringLiteral("Processing"));
        pages.resize(600, 400);
        pages.setCurrentIndex(1);
        pages.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pages));
        Settle();
        TDrawCounter counter(*chart);

        pages.setCurrentIndex(0);
        Settle();
        chart->Series(0).SetPoints(Ramp(100, 1, 1), Ramp(100, 1, 1));
        Settle();
        chart->Redraw();
        (void)chart->grab();  // an image of the hidden chart is not a redraw on screen either
        Settle();
        QCOMPARE(counter.Reports[0], 0);

        pages.setCurrentIndex(1);
        Settle();
        QCOMPARE(counter.Reports[0], 1);
    }

    void handlerThatChangesTheChartDoesNotRecurse() {
        TChart chart;
        ShowSettled(chart);
        TDrawCounter counter(chart);
        bool changed = false;
        chart.Series(0).AfterDrawValues = [&] {
            ++counter.Reports[0];
            if (!changed) {
                changed = true;
                chart.Redraw();
                chart.Series(2).SetPoints(Ramp(10, 1, 1), Ramp(10, 1, 1));
            }
        };
        chart.Series(0).SetPoints(Ramp(10, 1, 1), Ramp(10, 1, 1));
        Settle();
        // The change made in the handler shows in one more redraw.
        QCOMPARE(counter.Reports, (std::array<int, 4>{2, 0, 1, 0}));
    }

    void automaticAxesFollowThePointsOfTheirSide() {
        TChart chart;
        TChartSeries& left = chart.Series(0);
        TChartSeries& right = chart.Series(1);
        right.SetAxisSide(TAxisSide::Right);
        left.SetPoints(std::vector<double>{10, 20, 1000}, std::vector<double>{-2, 0, 5});
        right.SetPoints(std::vector<double>{20, 30}, std::vector<double>{100, 200});
        QCOMPARE(chart.BottomAxis().Minimum(), 10.0);
        QCOMPARE(chart.BottomAxis().Maximum(), 1000.0);
        QCOMPARE(chart.LeftAxis().Minimum(), -2.0);
        QCOMPARE(chart.LeftAxis().Maximum(), 5.0);
        QCOMPARE(chart.RightAxis().Minimum(), 100.0);
        QCOMPARE(chart.RightAxis().Maximum(), 200.0);

        // A logarithmic axis fits the positive values only.
        chart.LeftAxis().SetLogarithmic(true);
        left.SetPoints(std::vector<double>{10, 20, 30}, std::vector<double>{-2, 0.5, 5});
        QCOMPARE(chart.LeftAxis().Minimum(), 0.5);
        QCOMPARE(chart.LeftAxis().Maximum(), 5.0);

        // A single value still gets a range around it.
        right.SetPoints(std::vector<double>{20}, std::vector<double>{7});
        QVERIFY(chart.RightAxis().Minimum() < 7.0);
        QVERIFY(chart.RightAxis().Maximum() > 7.0);

        // An axis without points keeps its range.
        right.Clear();
        QVERIFY(chart.RightAxis().Minimum() < 7.0);
        QVERIFY(chart.RightAxis().Maximum() > 7.0);

        // A fixed range stays when the points change, until the axis is automatic again.
        chart.BottomAxis().SetMinMax(0, 50);
        QVERIFY(!chart.BottomAxis().Automatic());
        left.SetPoints(std::vector<double>{100, 200}, std::vector<double>{1, 2});
        QCOMPARE(chart.BottomAxis().Minimum(), 0.0);
        QCOMPARE(chart.BottomAxis().Maximum(), 50.0);
        chart.BottomAxis().SetAutomatic(true);
        QCOMPARE(chart.BottomAxis().Minimum(), 100.0);
        QCOMPARE(chart.BottomAxis().Maximum(), 200.0);

        // Moving a series to the other side moves its range with it.
        left.SetAxisSide(TAxisSide::Right);
        QCOMPARE(chart.RightAxis().Minimum(), 1.0);
        QCOMPARE(chart.RightAxis().Maximum(), 2.0);
    }

    void pointsWithoutAValueDoNotWidenTheRange() {
        TChart chart;
        const double nan = std::numeric_limits<double>::quiet_NaN();
        chart.Series(0).SetPoints(std::vector<double>{1, 2, 3, 4},
                                  std::vector<double>{nan, -3, nan, 8});
        QCOMPARE(chart.LeftAxis().Minimum(), -3.0);
        QCOMPARE(chart.LeftAxis().Maximum(), 8.0);
        chart.LeftAxis().SetLogarithmic(true);
        chart.Series(0).SetPoints(std::vector<double>{1, 2, 3}, std::vector<double>{nan, 0.25, 4});
        QCOMPARE(chart.LeftAxis().Minimum(), 0.25);
        QCOMPARE(chart.LeftAxis().Maximum(), 4.0);
    }

    void logarithmicSwitchesKeepRangesPositive() {
        TChart chart;
        chart.BottomAxis().SetMinMax(-100, 1000);
        chart.BottomAxis().SetLogarithmic(true);
        QVERIFY(chart.BottomAxis().Logarithmic());
        QVERIFY(chart.BottomAxis().Minimum() > 0);
        chart.BottomAxis().SetMinimum(20);
        QCOMPARE(chart.BottomAxis().Minimum(), 20.0);
        QCOMPARE(chart.BottomAxis().Maximum(), 1000.0);
        chart.BottomAxis().SetLogarithmic(false);
        QVERIFY(!chart.BottomAxis().Logarithmic());
    }

    void mouseZoomFixesTheAxesUntilUndone() {
        TChart chart;
        ShowSettled(chart);
        chart.Series(0).SetPoints(Ramp(101, 0, 10), Ramp(101, 0, 1));  // x 0..1000, y 0..100
        chart.Series(1).SetAxisSide(TAxisSide::Right);
        chart.Series(1).SetPoints(Ramp(101, 0, 10), Ramp(101, -50, 1));
        Settle();
        const QRect area = chart.PlotArea();

        // A click in the plot area is no zoom; a leftward drag with nothing zoomed changes
        // nothing but still redraws, which wipes the rectangle.
        TDrawCounter counter(chart);
        Click(chart, area.center());
        Drag(chart, area.center(), area.center() - QPoint(40, 40));
        Settle();
        QVERIFY(!chart.Zoomed());
        QCOMPARE(counter.Reports[0], 1);

        Drag(chart, QPoint(area.left() + area.width() / 4, area.top() + area.height() / 4),
             QPoint(area.left() + area.width() / 2, area.top() + area.height() / 2));
        Settle();
        QVERIFY(chart.Zoomed());
        for (TAxisKind kind : {TAxisKind::Bottom, TAxisKind::Left, TAxisKind::Right}) {
            QVERIFY(!chart.Axis(kind).Automatic());
        }
        // The upper left quarter of the curves' area.
        QVERIFY(std::abs(chart.BottomAxis().Minimum() - 250) < 10);
        QVERIFY(std::abs(chart.BottomAxis().Maximum() - 500) < 10);
        QVERIFY(std::abs(chart.LeftAxis().Minimum() - 50) < 2);
        QVERIFY(std::abs(chart.LeftAxis().Maximum() - 75) < 2);
        QVERIFY(std::abs(chart.RightAxis().Maximum() - 25) < 2);

        // New points do not move a zoomed view.
        chart.Series(0).SetPoints(Ramp(11, 0, 1), Ramp(11, 0, 1));
        Settle();
        QVERIFY(std::abs(chart.BottomAxis().Minimum() - 250) < 10);

        chart.UndoZoom();
        QVERIFY(!chart.Zoomed());
        QVERIFY(chart.BottomAxis().Automatic());
        QCOMPARE(chart.BottomAxis().Maximum(), 1000.0);  // Series2 still reaches x = 1000
        QCOMPARE(chart.LeftAxis().Maximum(), 10.0);

        // A fixed axis is fixed again after the undo; dragging leftwards undoes as well.
        chart.LeftAxis().SetMinMax(-1, 1);
        Settle();
        Drag(chart, area.center(), area.bottomRight() - QPoint(5, 5));
        Settle();
        QVERIFY(chart.Zoomed());
        Drag(chart, area.center(), area.center() - QPoint(40, 40));
        Settle();
        QVERIFY(!chart.Zoomed());
        QVERIFY(!chart.LeftAxis().Automatic());
        QCOMPARE(chart.LeftAxis().Minimum(), -1.0);
        QCOMPARE(chart.LeftAxis().Maximum(), 1.0);
        QVERIFY(chart.BottomAxis().Automatic());
    }

    void clicksOnAxesNameTheAxis() {
        TChart chart;
        chart.Series(1).SetAxisSide(TAxisSide::Right);  // the right axis is shown only in use
        ShowSettled(chart);
        std::vector<TAxisKind> clicked;
        chart.OnClickAxis = [&](TAxisKind kind) { clicked.push_back(kind); };
        const QRect area = chart.PlotArea();
        const QPoint middle = area.center();

        Click(chart, QPoint(area.left() - 3, middle.y()));
        Click(chart, QPoint(area.right() + 3, middle.y()));
        Click(chart, QPoint(middle.x(), area.bottom() + 3));
        Click(chart, middle);                               // plot area
        Click(chart, QPoint(area.left() + 3, middle.y()));  // plot area, near the left axis
        Click(chart, QPoint(area.left() - 3, middle.y()), Qt::RightButton);
        QCOMPARE(clicked,
                 (std::vector<TAxisKind>{TAxisKind::Left, TAxisKind::Right, TAxisKind::Bottom}));
    }

    void legendTakesRoomOnlyWhenVisible() {
        TChart chart;
        ShowSettled(chart);
        const int topWithout = chart.PlotArea().top();
        chart.SetLegendVisible(true);
        Settle();
        QVERIFY(chart.LegendVisible());
        const int topWith = chart.PlotArea().top();
        QVERIFY(topWith > topWithout);
        chart.SetLegendVisible(false);
        Settle();
        QVERIFY(!chart.LegendVisible());
        QCOMPARE(chart.PlotArea().top(), topWithout);

        // Long names that do not fit one row take two rather than run off the chart.
        for (int i = 0; i < TChart::SeriesCount; ++i) {
            chart.Series(i).SetDescription(QStringLiteral("Phase Zx fitted %1").arg(i));
        }
        chart.SetLegendVisible(true);
        Settle();
        const int oneRow = chart.PlotArea().top();
        chart.resize(330, 400);
        Settle();
        QVERIFY(chart.PlotArea().top() > oneRow);
    }

    void drawingAllPointsKeepsEverySpikeInPlace() {
        TChart chart;
        chart.Series(0).SetDrawAllPoints(true);
        chart.BottomAxis().SetLogarithmic(true);
        chart.LeftAxis().SetMinMax(-10, 10);
        // A flat curve of 131071 points with spikes a few pixels apart, each lower than the one
        // before, so that none may stand for another.
        constexpr int count = 131071;
        const std::vector<double> x = Ramp(count, 1, 1);
        std::vector<double> y(count, 0.0);
        const std::array<int, 5> spikes = {999, 1099, 1199, 1299, 89999};  // x = 1000, 1100, ...
        const std::array<double, 5> heights = {9, 8, 7, 6, -9};
        for (size_t i = 0; i < spikes.size(); ++i) {
            y[spikes[i]] = heights[i];
        }
        chart.Series(0).SetPoints(x, y);
        ShowSettled(chart);

        const QImage image = chart.grab().toImage();
        const QRect area = chart.PlotArea();
        const double decades = std::log10(double(count));
        for (size_t i = 0; i < spikes.size(); ++i) {
            const int expectedX =
                area.left() + int(area.width() * std::log10(x[spikes[i]]) / decades);
            // Nine tenths of the way up the spike.
            const int row = area.top() + int((10 - 0.9 * heights[i]) / 20 * area.height());
            bool found = false;
            for (int column = expectedX - 1; column <= expectedX + 1; ++column) {
                found = found || image.pixelColor(column, row) == chart.Series(0).Colour();
            }
            QVERIFY2(found, qPrintable(QStringLiteral("spike %1").arg(i)));
        }
    }

    void drawsCurvesInTheirColours() {
        TChart chart;
        chart.SetLegendVisible(true);
        chart.BottomAxis().SetLogarithmic(true);
        chart.Series(1).SetAxisSide(TAxisSide::Right);
        chart.Series(3).SetAxisSide(TAxisSide::Right);
        chart.RightAxis().SetGridVisible(false);
        std::vector<double> f, re, im, r, x;
        for (int i = 1; i <= 2000; ++i) {
            const double frequency = 20.0 * i;
            const double w = 2 * std::numbers::pi * frequency;
            const double reactance = w * 1e-3 - 1.0 / (w * 1e-6);  // 1 mH with 1 uF
            f.push_back(frequency);
            re.push_back(10 + 0.2 * std::sin(frequency / 400));
            im.push_back(reactance);
            r.push_back(10);
            x.push_back(reactance * 0.5);
        }
        chart.Series(0).SetPoints(f, re);
        chart.Series(1).SetPoints(f, im);
        chart.Series(2).SetPoints(f, r);
        chart.Series(3).SetPoints(f, x);
        ShowSettled(chart);

        const QImage image = chart.grab().toImage();
        QVERIFY(image.save(QStringLiteral(TAVRIN_CHART_PICTURE)));
        // Inside the plot area, away from the red and blue axis titles.
        const QRect area = chart.PlotArea().adjusted(2, 2, -2, -2);
        std::array<bool, TChart::SeriesCount> seen{};
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int xPixel = area.left(); xPixel <= area.right(); ++xPixel) {
                const QColor colour = image.pixelColor(xPixel, y);
                for (int i = 0; i < TChart::SeriesCount; ++i) {
                    seen[i] = seen[i] || colour == chart.Series(i).Colour();
                }
            }
        }
        QCOMPARE(seen, (std::array<bool, 4>{true, true, true, true}));
    }

    // Measured and fitted curves, which once were red against dark purple and blue against
    // navy, differ clearly in lightness or hue for every kind of colour vision: checked on
    // the colours as a red-blind and a green-blind eye sees them.
    void paletteKeepsCurvesApartForColourBlindEyes() {
        TChart chart;
        // Simulated dichromat views (Viénot, Brettel and Mollon 1999, linear RGB).
        const auto linear = [](double c) {
            c /= 255.0;
            return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        struct TView {
            std::array<double, 3> r, g, b;
        };
        const std::array<TView, 3> views = {{
            {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},                                       // normal
            {{0.11238, 0.88762, 0}, {0.11238, 0.88762, 0}, {0.00401, -0.00401, 1}},  // red-blind
            {{0.29275, 0.70725, 0}, {0.29275, 0.70725, 0}, {-0.02234, 0.02234, 1}},  // green-blind
        }};
        const auto seen = [&](const QColor& colour, const TView& view) {
            const std::array<double, 3> c = {linear(colour.red()), linear(colour.green()),
                                             linear(colour.blue())};
            std::array<double, 3> out{};
            for (int k = 0; k < 3; ++k) {
                const std::array<double, 3>& row = k == 0 ? view.r : k == 1 ? view.g : view.b;
                out[k] = row[0] * c[0] + row[1] * c[1] + row[2] * c[2];
            }
            return out;
        };
        for (const TView& view : views) {
            for (int i = 0; i < TChart::SeriesCount; ++i) {
                for (int j = i + 1; j < TChart::SeriesCount; ++j) {
                    const auto a = seen(chart.Series(i).Colour(), view);
                    const auto b = seen(chart.Series(j).Colour(), view);
                    const double distance = std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
                    QVERIFY2(distance > 0.1,
                             qPrintable(QStringLiteral("series %1 and %2").arg(i + 1).arg(j + 1)));
                }
                // Every curve stands out from the white background.
                const auto c = seen(chart.Series(i).Colour(), view);
                QVERIFY(0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2] < 0.45);
            }
        }
    }

    // The readout under the mouse names each curve with points, its value and its unit; a
    // click pins it, so it keeps reading new results at that frequency.
    void cursorReadoutFollowsTheMouseAndPinsOnClick() {
        TChart chart;
        chart.Series(0).SetUnit(QStringLiteral("Ω"));
        chart.Series(1).SetUnit(QStringLiteral("°"));
        chart.Series(1).SetAxisSide(TAxisSide::Right);
        chart.Series(2).SetDescription(QStringLiteral("R fitted"));
        chart.Series(0).SetPoints(Ramp(101, 0, 10), Ramp(101, 0, 1));      // y = x / 10
        chart.Series(1).SetPoints(Ramp(101, 0, 10), Ramp(101, -90, 0.5));  // x 0..1000
        chart.Series(2).SetPoints(Ramp(101, 0, 10), Ramp(101, 5, 0));
        ShowSettled(chart);
        QVERIFY(chart.CursorReadout().isEmpty());

        const QRect area = chart.PlotArea();
        const auto pixelOf = [&](double x) { return area.left() + int(area.width() * x / 1000); };
        SendMouse(chart, QEvent::MouseMove, QPoint(pixelOf(502), area.center().y()), Qt::NoButton,
                  Qt::NoButton);
        QCOMPARE(chart.CursorReadout(),
                 (QStringList{"f = 500 Hz", "Re = 50 Ω", "R fitted = 5", "Im = -65°"}));

        // Leaving the chart hides it; clicking pins it and new points are read at the pin.
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(chart.childAt(area.center()), &leave);
        QVERIFY(chart.CursorReadout().isEmpty());
        Click(chart, QPoint(pixelOf(300), area.center().y()));
        QVERIFY(chart.CursorPinned());
        QApplication::sendEvent(chart.childAt(area.center()), &leave);
        SendMouse(chart, QEvent::MouseMove, QPoint(pixelOf(700), area.center().y()), Qt::NoButton,
                  Qt::NoButton);
        QCOMPARE(chart.CursorReadout().value(1), QStringLiteral("Re = 30 Ω"));
        chart.Series(0).SetPoints(Ramp(101, 0, 10), Ramp(101, 0, 2));
        Settle();
        QCOMPARE(chart.CursorReadout().value(1), QStringLiteral("Re = 60 Ω"));

        // A cleared curve drops out; the next click lets the readout follow the mouse again.
        chart.Series(2).Clear();
        Settle();
        QCOMPARE(chart.CursorReadout().size(), 3);
        Click(chart, QPoint(pixelOf(700), area.center().y()));
        QVERIFY(!chart.CursorPinned());
        QCOMPARE(chart.CursorReadout().value(0), QStringLiteral("f = 700 Hz"));
        // A click on an axis is no click on the plot.
        Click(chart, QPoint(area.left() - 3, area.center().y()));
        QVERIFY(!chart.CursorPinned());
    }

    // Axes carry the units of their curves; an axis nothing is drawn against is not shown.
    void axesShowTheirCurvesUnitsAndOnlyWhenInUse() {
        TChart chart;
        ShowSettled(chart);
        QCOMPARE(chart.BottomAxis().TitleText(), QStringLiteral("Frequency [Hz]"));
        chart.Series(0).SetUnit(QStringLiteral("Ω"));
        chart.Series(1).SetUnit(QStringLiteral("°"));
        chart.Series(1).SetAxisSide(TAxisSide::Right);
        chart.Series(0).SetPoints(Ramp(10, 1, 1), Ramp(10, 1, 1));
        chart.Series(1).SetPoints(Ramp(10, 1, 1), Ramp(10, 1, 1));
        Settle();
        QVERIFY(chart.RightAxis().Shown());
        QCOMPARE(chart.LeftAxis().TitleText(), QStringLiteral("Re [Ω]"));
        QCOMPARE(chart.RightAxis().TitleText(), QStringLiteral("Im [°]"));

        // All on the left: the left title gives way to the units of both, the right axis goes.
        chart.Series(1).SetAxisSide(TAxisSide::Left);
        chart.LeftAxis().SetTitleVisible(false);
        Settle();
        QVERIFY(!chart.RightAxis().Shown());
        QVERIFY(chart.RightAxis().TickLabels().isEmpty());
        QCOMPARE(chart.LeftAxis().TitleText(), QStringLiteral("[Ω, °]"));
        const QRect withoutRight = chart.PlotArea();
        chart.Series(3).SetAxisSide(TAxisSide::Right);
        Settle();
        QVERIFY(chart.RightAxis().Shown());
        QVERIFY(chart.PlotArea().width() < withoutRight.width());
        // Its grid comes back with it, as it was.
        QVERIFY(chart.RightAxis().GridVisible());
    }
};

QTEST_MAIN(TChartTests)
#include "ChartTests.moc"
