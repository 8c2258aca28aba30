#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "PanelTestKit.h"
#include "uRangeScale.h"
#include "ufrSpRange.h"

namespace tavrin::test {
namespace {

using TRange = std::pair<float, float>;

int SixPixelsPerDigit(const std::string& text) {
    return 6 * static_cast<int>(text.size());
}

std::vector<std::string> Texts(const TScaleLayout& layout) {
    std::vector<std::string> texts;
    for (const TScaleLabel& label : layout.Labels) {
        texts.push_back(label.Text);
    }
    return texts;
}

std::vector<int> Positions(const TScaleLayout& layout) {
    std::vector<int> positions;
    for (const TScaleLabel& label : layout.Labels) {
        positions.push_back(label.X);
    }
    return positions;
}

}  // namespace

class SpRangeTests : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TfrSpRange> Frame;
    std::vector<TRange> Reported;

    QFrame& Part(const char* name) {
        QFrame* part = Frame->findChild<QFrame*>(QString::fromUtf8(name));
        if (!part) {
            qFatal("no part %s", name);
        }
        return *part;
    }
    QImage ScaleImage() { return Frame->findChild<QLabel*>("imScale")->pixmap().toImage(); }
    qint64 ScaleKey() { return Frame->findChild<QLabel*>("imScale")->pixmap().cacheKey(); }

    // 20..22000 over a 624-pixel frame: 602 track pixels for 21980 Hz.
    void ShowVoiceBand() {
        Frame->SetFullRange(20, 22000);
        Reported.clear();
    }
    // The range is always FullMin + k * h for whole pixels k once it comes from the bar.
    void VerifyOnPixelGrid(float value) {
        const float h = (Frame->FullMax() - Frame->FullMin()) / 602.0f;
        const float k = (value - Frame->FullMin()) / h;
        QVERIFY2(std::fabs(k - std::round(k)) < 1e-3f, qPrintable(QString::number(value)));
    }

  private slots:
    void init() {
        Reported.clear();
        Frame = std::make_unique<TfrSpRange>();
        Frame->resize(624, Frame->height());
        Frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(Frame.get()));
        Frame->OnRangeChange = [this](float low, float high) { Reported.push_back({low, high}); };
        Frame->SetTextWidthMeasure(SixPixelsPerDigit);
    }

    void theScaleLaysOutLabelsAsWideAsTheDecade() {
        const TScaleLayout voice = LayOutScale(20, 22000, 624, 11, 613, SixPixelsPerDigit);
        QCOMPARE(Texts(voice), (std::vector<std::string>{"0", "5000", "10000", "15000", "20000"}));
        QCOMPARE(Positions(voice), (std::vector<int>{10, 147, 284, 421, 558}));
        QCOMPARE(voice.MinorStep, 1000.0);

        const TScaleLayout wide = LayOutScale(20, 95999, 624, 11, 613, SixPixelsPerDigit);
        QCOMPARE(wide.Step, 20000.0);
        QCOMPARE(wide.MinorStep, 10000.0);
        QCOMPARE(Texts(wide), (std::vector<std::string>{"0", "20000", "40000", "60000", "80000"}));

        const TScaleLayout narrow = LayOutScale(15000, 22000, 624, 11, 613, SixPixelsPerDigit);
        QCOMPARE(narrow.Step, 1000.0);
        QCOMPARE(narrow.MinorStep, 200.0);
        QCOMPARE(Texts(narrow), (std::vector<std::string>{"15000", "16000", "17000", "18000",
                                                          "19000", "20000", "21000"}));
    }

    void theScaleSurvivesAnySpan() {
        const std::vector<TRange> spans = {{1, 100},    {0.001f, 0.002f},   {1, 3e38f},
                                           {-1e30f, 1}, {1e9f, 1e9f + 128}, {-5, -1}};
        for (const auto& [low, high] : spans) {
            const TScaleLayout layout = LayOutScale(low, high, 624, 11, 613, SixPixelsPerDigit);
            QVERIFY(layout.Labels.size() < 700);
            Frame->SetFullRange(low, high);
            QCOMPARE(Frame->RangeMin(), low);
            QCOMPARE(Frame->RangeMax(), high);
        }
        QVERIFY(LayOutScale(1, 100, 624, 11, 613, [](const std::string&) {
                    return 0;
                }).Labels.size() < 700);
        QVERIFY(LayOutScale(1, 100, 10, 11, 613, [](const std::string&) {
                    return 900;
                }).Labels.size() < 700);
    }

    void theDrawnScaleHasItsTicksWhereTheLayoutPutsThem() {
        ShowVoiceBand();
        const QImage image = ScaleImage();
        QCOMPARE(image.width(), 624);
        QCOMPARE(image.height(), 16);
        const QRgb background = image.pixel(5, 15);
        const auto tickAt = [&](int x, int y) { return image.pixel(x, y) != background; };
        for (const int x : {10, 147, 284, 421, 558}) {
            QVERIFY2(tickAt(x, 12) && tickAt(x, 15), qPrintable(QString::number(x)));
        }
        // 1000 Hz is 27.4 pixels: minor ticks are 2 pixels high, between the labels.
        for (const int hz : {1000, 2000, 3000, 4000, 6000, 21000}) {
            const int x = 11 + static_cast<int>(std::nearbyint((hz - 20) * (602.0f / 21980.0f)));
            QVERIFY2(tickAt(x, 14) && tickAt(x, 15) && !tickAt(x, 12),
                     qPrintable(QString::number(hz)));
        }
        QVERIFY(!tickAt(600, 15));
    }

    // Under a logarithmic chart the scale and the bar are logarithmic as well: a decade takes
    // the same width wherever it lies, labels stay apart, and a dragged band keeps its ratio.
    void aLogarithmicScaleAndBarFollowTheChart() {
        ShowVoiceBand();
        const auto logX = [](double f) {
            return 11 + static_cast<int>(std::nearbyint(std::log(f / 20) / std::log(1100.0) * 602));
        };
        const TScaleLayout layout = LayOutLogScale(20, 22000, 624, 11, 613, SixPixelsPerDigit);
        QVERIFY(layout.Labels.size() >= 3);
        for (size_t i = 0; i < layout.Labels.size(); ++i) {
            const TScaleLabel& label = layout.Labels[i];
            QCOMPARE(label.X, logX(std::stod(label.Text)));
            QVERIFY(label.X + SixPixelsPerDigit(label.Text) <= 624);
            if (i > 0) {
                const TScaleLabel& before = layout.Labels[i - 1];
                QVERIFY2(before.X + SixPixelsPerDigit(before.Text) < label.X,
                         qPrintable(QString::fromStdString(before.Text + " " + label.Text)));
            }
        }
        const std::vector<std::string> texts = Texts(layout);
        for (const char* decade : {"100", "1000", "10000"}) {
            QVERIFY(std::find(texts.begin(), texts.end(), decade) != texts.end());
        }

        // Switching redraws the scale and places the range anew, raising nothing.
        const qint64 linearScale = ScaleKey();
        Frame->SetLogarithmic(true);
        QVERIFY(Frame->Logarithmic());
        QVERIFY(ScaleKey() != linearScale);
        QVERIFY(Reported.empty());
        const QImage image = ScaleImage();
        const QRgb background = image.pixel(5, 15);
        QVERIFY(image.pixel(logX(1000), 12) != background);  // the major tick of 1000 Hz

        DoubleClick(Part("pnRange"), {2, 10});  // the middle third, 7346.7..14673.3
        QCOMPARE(Part("pnMin").width(), logX(Frame->RangeMin()) - 11 + 2);
        QCOMPARE(Part("pnMax").width(), 613 - logX(Frame->RangeMax()) + 2);
        const float ratio = Frame->RangeMax() / Frame->RangeMin();
        Reported.clear();
        Drag(Part("pnRange"), {10, 10}, {{-90, 10}, {-190, 10}});
        QCOMPARE(Reported.size(), size_t(1));
        QVERIFY(Frame->RangeMin() < 1000);
        // One pixel is a factor of 1100^(1/602) here; the band's ratio moves by two at most.
        QVERIFY(std::fabs(std::log(Frame->RangeMax() / Frame->RangeMin() / ratio)) <
                2 * std::log(1100.0) / 602);

        // Back to linear: the same range, laid out linearly again.
        const float low = Frame->RangeMin();
        Frame->SetLogarithmic(false);
        QCOMPARE(Frame->RangeMin(), low);
        QCOMPARE(Part("pnMin").width(), NearestPixel((low - 20) * (602.0f / 21980.0f)) + 2);
    }

    void aNewSpanSelectsItAllAndDoubleClicksToggleTheMiddleThird() {
        Frame->SetFullRange(20, 22000);
        QCOMPARE(Reported, (std::vector<TRange>{{20, 22000}}));
        QCOMPARE(Part("pnMin").width(), 2);
        QCOMPARE(Part("pnMax").width(), 2);
        QCOMPARE(Part("pnRange").x(), 11);
        QCOMPARE(Part("pnRange").width(), 602);

        QFrame& range = Part("pnRange");
        DoubleClick(range, {300, 10});
        QCOMPARE(Frame->RangeMin(), 20 + 21980.0f / 3);
        QCOMPARE(Frame->RangeMax(), 20 + 21980.0f * 2 / 3);
        QCOMPARE(Reported.size(), size_t(2));
        QCOMPARE(Part("pnMin").width(), 201 + 2);

        DoubleClick(Part("pnLine"), {30, 2});
        QCOMPARE(Reported.back(), (TRange{20, 22000}));
        DoubleClick(range, {300, 10});
        QCOMPARE(Frame->RangeMin(), 20 + 21980.0f / 3);
        QCOMPARE(Reported.size(), size_t(4));
    }

    void draggingSlidesTheRangeWithItsWidthAndReportsOnRelease() {
        ShowVoiceBand();
        QFrame& range = Part("pnRange");
        DoubleClick(range, {300, 10});  // the middle third, 201 to 401 pixels in
        Reported.clear();
        const int width = range.width();
        const qint64 scale = ScaleKey();

        QTest::mousePress(&range, Qt::LeftButton, Qt::NoModifier, {50, 10});
        QCOMPARE(range.backgroundRole(), QPalette::Dark);
        QTest::mouseMove(&range, {90, 10});
        QCOMPARE(range.x(), 11 + 201 + 40);
        QCOMPARE(range.width(), width);
        QVERIFY(Reported.empty());
        QTest::mouseRelease(&range, Qt::LeftButton, Qt::NoModifier, {90, 10});
        QCOMPARE(range.backgroundRole(), QPalette::Mid);
        QCOMPARE(Reported.size(), size_t(1));
        VerifyOnPixelGrid(Frame->RangeMin());
        VerifyOnPixelGrid(Frame->RangeMax());
        QCOMPARE(ScaleKey(), scale);
        const TRange dragged{Frame->RangeMin(), Frame->RangeMax()};

        // Double clicks now toggle between the whole span and the dragged range.
        DoubleClick(range, {20, 10});
        QCOMPARE(Reported.back(), (TRange{20, 22000}));
        DoubleClick(range, {20, 10});
        QCOMPARE(Reported.back(), dragged);

        // A click without horizontal movement changes nothing.
        Reported.clear();
        Drag(range, {20, 10}, {{20, 4}, {20, 15}});
        QVERIFY(Reported.empty());
        QTest::mouseClick(&range, Qt::RightButton, Qt::NoModifier, {20, 10});
        QVERIFY(Reported.empty());
    }

    void aDragStopsAtEitherEnd() {
        ShowVoiceBand();
        QFrame& range = Part("pnRange");
        DoubleClick(range, {300, 10});
        const int width = range.width();
        Drag(Part("pnLine"), {10, 2}, {{2000, 2}});
        QCOMPARE(Part("pnMax").width(), 2);
        QCOMPARE(range.width(), width);
        QCOMPARE(Frame->RangeMax(), 22000.0f);

        Drag(range, {10, 10}, {{-3000, 10}});
        QCOMPARE(Part("pnMin").width(), 2);
        QCOMPARE(Frame->RangeMin(), 20.0f);
        QCOMPARE(range.width(), width);
    }

    void movingAnEndStopsAtTwoPixelsAndNeverCrossesTheOther() {
        ShowVoiceBand();
        QFrame& lower = Part("SpMin");
        QFrame& upper = Part("SpMax");
        Drag(lower, {4, 10}, {{60, 10}, {104, 10}});
        QCOMPARE(Part("pnMin").width(), 102);
        QCOMPARE(Reported.size(), size_t(1));
        VerifyOnPixelGrid(Frame->RangeMin());
        QCOMPARE(Frame->RangeMax(), 22000.0f);

        Drag(lower, {4, 10}, {{-500, 10}});
        QCOMPARE(Part("pnMin").width(), 2);
        QCOMPARE(Frame->RangeMin(), 20.0f);

        Drag(upper, {4, 10}, {{-200, 10}});
        const float upperEnd = Frame->RangeMax();
        QVERIFY(upperEnd < 22000);
        Drag(lower, {4, 10}, {{2000, 10}});
        QCOMPARE(Part("pnRange").width(), 0);
        QCOMPARE(Part("SpMin").geometry().right() + 1, Part("SpMax").x());
        QCOMPARE(Frame->RangeMin(), Frame->RangeMax());
        QCOMPARE(Frame->RangeMax(), upperEnd);

        Drag(upper, {4, 10}, {{3000, 10}});
        QCOMPARE(Part("pnMax").width(), 2);
        QCOMPARE(Frame->RangeMax(), 22000.0f);
        Drag(upper, {4, 10}, {{-3000, 10}});
        QCOMPARE(Part("pnRange").width(), 0);
        QCOMPARE(Frame->RangeMax(), Frame->RangeMin());

        Reported.clear();
        QTest::mouseClick(&upper, Qt::LeftButton, Qt::NoModifier, {4, 10});
        QVERIFY(Reported.empty());
    }

    void resizingKeepsTheRangeAndRedrawsTheScale() {
        ShowVoiceBand();
        DoubleClick(Part("pnRange"), {300, 10});
        Reported.clear();
        const TRange before{Frame->RangeMin(), Frame->RangeMax()};
        const qint64 scale = ScaleKey();
        Frame->resize(1000, Frame->height());
        QCOMPARE(Reported, (std::vector<TRange>{before}));
        QCOMPARE(ScaleImage().width(), 1000);
        QVERIFY(ScaleKey() != scale);
        // 978 track pixels now: a third of them below the range.
        QCOMPARE(Part("pnMin").width(), 326 + 2);
        QCOMPARE(Part("pnMax").geometry().right(), 1000 - 2);
    }

    void aSpanWithoutWidthIsIgnored() {
        ShowVoiceBand();
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        for (const auto& [low, high] : std::vector<TRange>{
                 {5, 5}, {10, 1}, {nan, 3}, {1, nan}, {1, inf}, {-inf, 1}, {-3e38f, 3e38f}}) {
            Frame->SetFullRange(low, high);
        }
        QVERIFY(Reported.empty());
        QCOMPARE(Frame->FullMin(), 20.0f);
        QCOMPARE(Frame->FullMax(), 22000.0f);
    }
};

}  // namespace tavrin::test

QTEST_MAIN(tavrin::test::SpRangeTests)
#include "SpRangeTests.moc"
