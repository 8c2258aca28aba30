// What the reader of a result sees of the curves: their names in the legend and the readout,
// and the units of the axes, for each kind of result and each graph option.

#include <QTest>

#include "uChart.h"
#include "uResultDisplay.h"

namespace tavrin::test {
namespace {

QStringList Names(TChart& chart) {
    QStringList names;
    for (int i = 0; i < TChart::SeriesCount; ++i) {
        names << chart.Series(i).Name();
    }
    return names;
}

// One bin of every channel holds `value`: bin 1 of a block of 8 values.
TWaveData Block(float re, float im) {
    TWaveData data;
    for (TChannelData& channel : data) {
        channel.assign(8, 0.0f);
        channel[2] = re;
        channel[3] = im;
    }
    return data;
}

void Settle() {
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents();
    }
}

}  // namespace

class ResultDisplayTests : public QObject {
    Q_OBJECT

  private:
    void Show(TChart& chart, TResultDisplay& display, TDisplayKind kind) {
        display.DisplayKind = kind;
        display.ShowResult(Block(3, -4), {1, 1, [](float) { return 1; }}, 8);
        chart.resize(640, 400);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        Settle();
    }

  private slots:
    // Measured and fitted curves are told apart in words, whatever the graph options call them.
    void modelCurvesAreNamedMeasuredAndFitted() {
        TChart chart;
        TResultDisplay display(chart);
        display.SetLeftForAll(false);
        display.SetResultContent(TResultContent::ImpedanceAndModel);
        QCOMPARE(Names(chart),
                 (QStringList{"Re measured", "Im measured", "R fitted", "L/C fitted"}));
        display.ApplyModPhase(true, false);
        QCOMPARE(Names(chart), (QStringList{"Module measured", "Phase measured", "|Zx| fitted",
                                            "Phase Zx fitted"}));
        // The titles the graph options give stay as they are.
        QCOMPARE(chart.Series(2).Title(), QStringLiteral("|Zx|"));

        Show(chart, display, TDisplayKind::TwoPairs);
        QCOMPARE(chart.LeftAxis().TitleText(), QStringLiteral("Module [Ω]"));
        QCOMPARE(chart.RightAxis().TitleText(), QStringLiteral("Phase [°]"));

        // Without a model the curves go by their titles alone.
        display.SetResultContent(TResultContent::Impedance);
        display.ApplyModPhase(false, false);
        QCOMPARE(Names(chart), (QStringList{"Re", "Im", "R", "L/C"}));
    }

    // Level setting draws both inputs against the left axis: the legend says which is which,
    // the right axis goes, and no unit of an earlier result stays on the left one.
    void levelSettingNamesTheInputsWithoutTheRightAxis() {
        TChart chart;
        TResultDisplay display(chart);
        display.SetLeftForAll(false);
        display.SetResultContent(TResultContent::Transfer);
        Show(chart, display, TDisplayKind::OnePair);
        QCOMPARE(chart.LeftAxis().TitleText(), QStringLiteral("Re [V/V]"));
        QVERIFY(chart.RightAxis().Shown());

        display.SetResultContent(TResultContent::LevelSpectra);
        display.SetLeftForAll(true);
        Show(chart, display, TDisplayKind::Moduli);
        QCOMPARE(Names(chart).mid(0, 2), (QStringList{"Left input", "Right input"}));
        QVERIFY(!chart.RightAxis().Shown());
        QCOMPARE(chart.LeftAxis().TitleText(), QString());
        QCOMPARE(chart.Series(0).Y(0), 5.0);  // the modulus of 3 - 4j
    }

    // During the band calibration the second pair of curves is the calibration stored so far.
    void calibrationCurvesNameTheBlockAndTheStoredValues() {
        TChart chart;
        TResultDisplay display(chart);
        display.SetResultContent(TResultContent::CalibrationRatio);
        QCOMPARE(Names(chart),
                 (QStringList{"Re this block", "Im this block", "Re stored", "Im stored"}));
        QCOMPARE(chart.Series(3).Unit(), QStringLiteral("V/V"));
    }
};

}  // namespace tavrin::test

QTEST_MAIN(tavrin::test::ResultDisplayTests)
#include "ResultDisplayTests.moc"
