// The chart adapter on the offscreen platform: redraw reports, data, ranges, zoom, axis clicks
// and the legend, driven through the widget's public interface and simulated mouse input.

#include <QApplication>
#include <QMouseEvent>
#include <QTabWidget>
#include <QtTest>
#include <array>
#include <cmath>
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
    void labelTextHasAtMostTheGivenDecimals() {
        QCOMPARE(AxisLabelText(20.0, 1), QStringLiteral("20"));
        QCOMPARE(AxisLabelText(20.54, 1), QStringLiteral("20.5"));
        QCOMPARE(AxisLabelText(0.25, 2), QStringLiteral("0.25"));
        QCOMPARE(AxisLabelText(0.2, 2), QStringLiteral("0.2"));
        QCOMPARE(AxisLabelText(0.0, 2), QStringLiteral("0"));
        QCOMPARE(AxisLabelText(-0.0, 1), QStringLiteral("0"));
        // Ticks of a logarithmic axis below the decimals must not all read "0".
        QCOMPARE(AxisLabelText(0.004, 2), QStringLiteral("0.004"));
        QCOMPARE(AxisLabelText(-0.0025, 2), QStringLiteral("-0.0025"));
        QCOMPARE(AxisLabelText(1e-6, 2), QStringLiteral("1E-6"));
        QCOMPARE(AxisLabelText(2.5e-12, 1), QStringLiteral("2.5E-12"));
        QCOMPARE(AxisLabelText(192000.0, 1), QStringLiteral("192000"));
        QCOMPARE(AxisLabelText(-1.5, 2), QStringLiteral("-1.5"));
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
                found = found || image.pixelColor(column, row) == QColor(255, 0, 0);
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
        bool red = false;
        bool blue = false;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int xPixel = area.left(); xPixel <= area.right(); ++xPixel) {
                const QColor colour = image.pixelColor(xPixel, y);
                red = red || colour == QColor(255, 0, 0);
                blue = blue || colour == QColor(0, 0, 255);
            }
        }
        QVERIFY(red);
        QVERIFY(blue);
    }
};

QTEST_MAIN(TChartTests)
#include "ChartTests.moc"
