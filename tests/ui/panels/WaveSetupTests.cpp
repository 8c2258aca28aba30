#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <memory>
#include <vector>

#include "PanelTestKit.h"
#include "ufrWaveSetup.h"

namespace tavrin::test {
namespace {

struct TSeen {
    int32_t Rate;
    int32_t FMin;
    int32_t FMax;
    bool operator==(const TSeen&) const = default;
};

TNamedDevices ThreeInFourOut() {
    return TNamedDevices({"Line In 1", "Line In 2", "Virtual box in"},
                         {"Speakers", "Line Out 1", "Line Out 2", "Virtual box out"});
}

}  // namespace

class WaveSetupTests : public QObject {
    Q_OBJECT

  private:
    TNamedDevices Devices = ThreeInFourOut();
    std::unique_ptr<TfrWaveSetup> Panel;
    std::vector<TSeen> Seen;

    template <typename T>
    T& Child(const char* name) {
        T* child = Panel->findChild<T*>(QString::fromUtf8(name));
        if (!child) {
            qFatal("no child %s", name);
        }
        return *child;
    }
    QLineEdit& Min() { return Child<QLineEdit>("edMin"); }
    QLineEdit& Max() { return Child<QLineEdit>("edMax"); }
    QComboBox& Rates() { return Child<QComboBox>("cbSampling"); }

    void MakePanel(const TWaveService& devices) {
        Panel = std::make_unique<TfrWaveSetup>(devices);
        Panel->show();
        Seen.clear();
        Panel->OnSetupChange = [this] {
            Seen.push_back({Panel->SampleRate(), Panel->FMin(), Panel->FMax()});
        };
    }

    // The user steps through the closed rate list with the arrow keys.
    void PickRate(int32_t rate) {
        QComboBox& rates = Rates();
        rates.setFocus();
        const int target = rates.findText(QString::number(rate));
        QVERIFY(target >= 0);
        while (rates.currentIndex() != target) {
            QTest::keyClick(&rates, rates.currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
        }
    }

  private slots:
    void init() { MakePanel(Devices); }

    void aFreshPanelShowsTheDefaultsWithoutNotifying() {
        TNamedDevices devices = ThreeInFourOut();
        TfrWaveSetup panel(devices);
        bool raised = false;
        panel.OnSetupChange = [&] { raised = true; };
        QCOMPARE(panel.SampleRate(), 48000);
        QCOMPARE(panel.FMin(), 20);
        QCOMPARE(panel.FMax(), 22000);
        QCOMPARE(panel.InputDevice(), 1);   // 3 div 2
        QCOMPARE(panel.OutputDevice(), 2);  // 4 div 2
        QCOMPARE(panel.findChild<QLineEdit*>("edMax")->text(), QString("22000"));
        QCOMPARE(panel.findChild<QComboBox*>("cbDeviceOut")->itemText(3),
                 QString("Virtual box out"));
        QCOMPARE(panel.findChild<QComboBox*>("cbSampling")->count(), 3);
        QVERIFY(!panel.SwapInputs());
        QVERIFY(!raised);

        for (int count : {0, 1, 2, 5}) {
            std::vector<std::string> names(static_cast<size_t>(count), "Card");
            TNamedDevices some(names, names);
            TfrWaveSetup sized(some);
            QCOMPARE(sized.InputDevice(), count == 0 ? -1 : count / 2);
            QCOMPARE(sized.OutputDevice(), count == 0 ? -1 : count / 2);
        }
    }

    void theUpperLimitIsCheckedAgainstHalfTheRate() {
        PasteOver(Max(), "24000");
        QCOMPARE(Panel->FMax(), 24000);
        QVERIFY(ShowsNormal(Max()));
        QCOMPARE(Seen, (std::vector<TSeen>{{48000, 20, 24000}}));

        PasteOver(Max(), "24001");
        QCOMPARE(Panel->FMax(), 24000);
        QVERIFY(ShowsRed(Max()));
        QCOMPARE(Seen.size(), size_t(1));

        PasteOver(Max(), "0");
        QCOMPARE(Panel->FMax(), 0);
        QVERIFY(ShowsNormal(Max()));

        PasteOver(Max(), "-1");
        QCOMPARE(Panel->FMax(), 0);
        QVERIFY(ShowsRed(Max()));
    }

    void theLowerLimitRejectsZeroAndFractions() {
        PasteOver(Min(), "0");
        QVERIFY(ShowsRed(Min()));
        QCOMPARE(Panel->FMin(), 20);
        PasteOver(Min(), "-5");
        QCOMPARE(Panel->FMin(), -5);
        QVERIFY(ShowsNormal(Min()));
        PasteOver(Min(), "  30 ");
        QCOMPARE(Panel->FMin(), 30);
        for (const char* bad :
             {"30.5", "", " ", "abc", "1e999", "3,5", "99999999999", "+", "0x10", "\xD9\xA3"}) {
            PasteOver(Min(), QString::fromUtf8(bad));
            QCOMPARE(Min().text(), QString::fromUtf8(bad));
            QVERIFY2(ShowsRed(Min()), bad);
            QCOMPARE(Panel->FMin(), 30);
        }
        QCOMPARE(Seen.size(), size_t(2));
    }

    void typingTakesEachValidPrefixAtOnce() {
        Max().setFocus();
        QTest::keyClick(&Max(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(&Max(), "2400x");
        QCOMPARE(Panel->FMax(), 2400);
        QVERIFY(ShowsRed(Max()));
        QTest::keyClick(&Max(), Qt::Key_Backspace);
        QVERIFY(ShowsNormal(Max()));
        QCOMPARE(Seen.back(), (TSeen{48000, 20, 2400}));
    }

    void aLowerRateBringsTheUpperLimitDownAfterNotifying() {
        PickRate(96000);
        QCOMPARE(Seen, (std::vector<TSeen>{{96000, 20, 22000}}));
        PasteOver(Max(), "30000");
        Seen.clear();

        PickRate(48000);
        QCOMPARE(Max().text(), QString("24000"));
        QCOMPARE(Panel->FMax(), 24000);
        QCOMPARE(Seen, (std::vector<TSeen>{{48000, 20, 30000}, {48000, 20, 24000}}));

        // Stepping up through 96000 to 192000: a higher rate never lowers FMax.
        Seen.clear();
        PickRate(192000);
        QCOMPARE(Seen, (std::vector<TSeen>{{96000, 20, 24000}, {192000, 20, 24000}}));
    }

    void aTextRejectedUnderTheOldRateIsTakenWhenItFitsTheNewOne() {
        PasteOver(Max(), "30000");
        QVERIFY(ShowsRed(Max()));
        PickRate(96000);
        QCOMPARE(Panel->FMax(), 30000);
        QVERIFY(ShowsNormal(Max()));
        QCOMPARE(Seen, (std::vector<TSeen>{{96000, 20, 22000}, {96000, 20, 30000}}));

        PasteOver(Max(), "junk");
        Seen.clear();
        PickRate(192000);
        QVERIFY(ShowsRed(Max()));
        QCOMPARE(Seen, (std::vector<TSeen>{{192000, 20, 30000}}));
    }

    void aRunLocksEverythingButTheSwap() {
        Panel->SetControlsEnabled(false);
        for (const char* name : {"cbSampling", "cbDeviceIn", "cbDeviceOut", "edMin", "edMax"}) {
            QVERIFY2(!Child<QWidget>(name).isEnabled(), name);
        }
        QCheckBox& swap = Child<QCheckBox>("cbSwap");
        QVERIFY(swap.isEnabled());
        QTest::mouseClick(&swap, Qt::LeftButton);
        QVERIFY(Panel->SwapInputs());
        Panel->SetControlsEnabled(true);
        QVERIFY(Child<QWidget>("edMax").isEnabled());
    }

    void settingsComeBackAsTheyWereSaved() {
        TScratchSettings settings;
        Child<QComboBox>("cbDeviceIn").setCurrentIndex(2);
        Child<QComboBox>("cbDeviceOut").setCurrentIndex(0);
        PickRate(96000);
        QTest::mouseClick(&Child<QCheckBox>("cbSwap"), Qt::LeftButton);
        PasteOver(Min(), "50");
        PasteOver(Max(), "60000x");  // rejected texts are kept as typed
        Panel->SaveSettings(settings.File());
        QCOMPARE(settings.File().ReadText("WaveSetup", "InputName", ""), "Virtual box in");
        QCOMPARE(settings.File().ReadText("WaveSetup", "FMax", ""), "60000x");

        MakePanel(Devices);
        Panel->LoadSettings(settings.File());
        QCOMPARE(Panel->InputDevice(), 2);
        QCOMPARE(Panel->OutputDevice(), 0);
        QCOMPARE(Panel->SampleRate(), 96000);
        QVERIFY(Panel->SwapInputs());
        QCOMPARE(Min().text(), QString("50"));
        QCOMPARE(Max().text(), QString("60000x"));
        QVERIFY(ShowsRed(Max()));
        QCOMPARE(Seen, (std::vector<TSeen>{{96000, 50, 22000}}));
    }

    void aFirstSaveWritesTheKeysInTheirOrder() {
        TNamedDevices one({"Line In"}, {"Line Out"});
        MakePanel(one);
        TScratchSettings settings;
        Panel->SaveSettings(settings.File());
        QCOMPARE(settings.Text(), QString("[WaveSetup]\n"
                                          "InputID=0\n"
                                          "InputName=Line In\n"
                                          "OutputID=0\n"
                                          "OutputName=Line Out\n"
                                          "Sampling=48000\n"
                                          "Swap=0\n"
                                          "FMin=20\n"
                                          "FMax=22000\n"));
    }

    void loadingChecksTheUpperLimitAgainstTheStoredRate() {
        TScratchSettings settings;
        settings.File().WriteInt("WaveSetup", "Sampling", 96000);
        settings.File().WriteText("WaveSetup", "FMax", "40000");
        Panel->LoadSettings(settings.File());
        QCOMPARE(Panel->FMax(), 40000);
        QCOMPARE(Seen.back(), (TSeen{96000, 20, 40000}));
    }

    void nonsenseInTheSectionLeavesTheDefaults() {
        TScratchSettings settings;
        TSettingsFile& file = settings.File();
        file.WriteText("WaveSetup", "InputID", "abc");
        file.WriteInt("WaveSetup", "OutputID", 77);
        file.WriteText("WaveSetup", "Sampling", "44100");
        file.WriteText("WaveSetup", "Swap", "maybe");
        file.WriteText("WaveSetup", "FMin", "twenty");
        file.WriteText("WaveSetup", "FMax", "1e999");
        Panel->LoadSettings(file);
        QCOMPARE(Panel->InputDevice(), 1);
        QCOMPARE(Panel->OutputDevice(), 2);
        QCOMPARE(Panel->SampleRate(), 48000);
        QVERIFY(!Panel->SwapInputs());
        QCOMPARE(Panel->FMin(), 20);
        QCOMPARE(Panel->FMax(), 22000);
        QVERIFY(ShowsRed(Min()));
        QVERIFY(ShowsRed(Max()));
        QVERIFY(Seen.empty());
    }

    void savingWithoutDevicesWritesNoneAndANegativeNumberClears() {
        TNamedDevices none({}, {});
        MakePanel(none);
        TScratchSettings settings;
        Panel->SaveSettings(settings.File());
        QCOMPARE(settings.File().ReadInt("WaveSetup", "InputID", 0), -1);
        QCOMPARE(settings.File().ReadText("WaveSetup", "InputName", "x"), "");

        MakePanel(Devices);
        Panel->LoadSettings(settings.File());
        QCOMPARE(Panel->InputDevice(), -1);
        QCOMPARE(Panel->OutputDevice(), -1);
    }

    void aDeviceThatMovedIsFoundByItsName() {
        TScratchSettings settings;
        settings.File().WriteInt("WaveSetup", "InputID", 0);
        settings.File().WriteText("WaveSetup", "InputName", "Virtual box in");
        Panel->LoadSettings(settings.File());
        QCOMPARE(Panel->InputDevice(), 2);
        QVERIFY(ShowsNormal(Child<QComboBox>("cbDeviceIn")));
    }

    void aMissingDeviceIsShownNotSilentlyReplaced() {
        TScratchSettings settings;
        settings.File().WriteInt("WaveSetup", "OutputID", 1);
        settings.File().WriteText("WaveSetup", "OutputName", "USB card");
        Panel->LoadSettings(settings.File());
        QComboBox& outputs = Child<QComboBox>("cbDeviceOut");
        QCOMPARE(Panel->OutputDevice(), 1);  // the number still decides
        QVERIFY(ShowsRed(outputs));
        QVERIFY(outputs.toolTip().contains("USB card"));

        // Choosing a device settles the question.
        outputs.setFocus();
        QTest::keyClick(&outputs, Qt::Key_Down);
        QCOMPARE(Panel->OutputDevice(), 2);
        QVERIFY(ShowsNormal(outputs));
        // The tip names the device chosen, whole, for a box too narrow to show it.
        QCOMPARE(outputs.toolTip(), outputs.currentText());
    }
};

}  // namespace tavrin::test

QTEST_MAIN(tavrin::test::WaveSetupTests)
#include "WaveSetupTests.moc"
