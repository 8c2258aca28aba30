#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <memory>

#include "PanelTestKit.h"
#include "ufrValues.h"

namespace tavrin::test {

class ValuesTests : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TfrValues> Box;
    QComboBox* List = nullptr;

    QStringList Entries() const {
        QStringList entries;
        for (int i = 0; i < List->count(); ++i) {
            entries << List->itemText(i);
        }
        return entries;
    }
    bool Red() const { return ShowsRed(*List->lineEdit()); }

    void ClearText() {
        QTest::keyClick(List, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(List, Qt::Key_Delete);
    }
    void TypeOver(const QString& text) {
        ClearText();
        QTest::keyClicks(List, text);
    }
    // Entries as a user would have made them: type, Enter, type, ...
    void MakeEntries(const QStringList& texts, int current) {
        TypeOver(texts.front());
        for (qsizetype i = 1; i < texts.size(); ++i) {
            QTest::keyClick(List, Qt::Key_Return);
            QTest::keyClicks(List, texts[i]);
        }
        List->setCurrentIndex(current);
        QCOMPARE(Entries(), texts);
    }

  private slots:
    void init() {
        Box = std::make_unique<TfrValues>();
        List = Box->findChild<QComboBox*>("cbVal");
        QVERIFY(List);
        Box->show();
        List->setFocus();
        Box->SetValue(1);
    }

    void atStartTheBoxHoldsTheOneValueSet() {
        QCOMPARE(List->currentText(), QString("1"));
        QCOMPARE(Box->Value(), 1.0f);
        QCOMPARE(Entries(), QStringList{"1"});
        TScratchSettings nothingStored;
        Box->LoadSettings(nothingStored.File());
        QCOMPARE(Entries(), QStringList{"1"});
        QCOMPARE(Box->Value(), 1.0f);

        Box->SetValue(0.000005f);
        QCOMPARE(List->currentText(), QString("5E-006"));
        QCOMPARE(Box->Value(), 0.000005f);
        QCOMPARE(Box->SectionName(), std::string("Values"));
    }

    void typingEditsTheCurrentEntryKeystrokeByKeystroke() {
        ClearText();
        QVERIFY(Red());
        QTest::keyClick(List, Qt::Key_4);
        QCOMPARE(Entries(), QStringList{"4"});
        QCOMPARE(Box->Value(), 4.0f);
        QVERIFY(!Red());
        QTest::keyClick(List, Qt::Key_X);
        QVERIFY(Red());
        QCOMPARE(Entries(), QStringList{"4"});
        QCOMPARE(Box->Value(), 4.0f);
        QTest::keyClick(List, Qt::Key_Backspace);
        QTest::keyClick(List, Qt::Key_7);
        QCOMPARE(List->currentText(), QString("47"));
        QCOMPARE(List->lineEdit()->cursorPosition(), 2);
        QCOMPARE(Box->Value(), 47.0f);

        // The caret stays where the user typed.
        QTest::keyClick(List, Qt::Key_Left);
        QTest::keyClick(List, Qt::Key_0);
        QCOMPARE(List->currentText(), QString("407"));
        QCOMPARE(List->lineEdit()->cursorPosition(), 2);

        TypeOver("2.2E3");
        QCOMPARE(Box->Value(), 2200.0f);
        TypeOver("-.5");
        QCOMPARE(Box->Value(), -0.5f);
        QCOMPARE(Entries(), QStringList{"-.5"});
    }

    void whatIsNotANumberTurnsRedAndChangesNothing() {
        TypeOver("33");
        for (const char* bad :
             {"abc", "1e999", "1e39", "-1e39", "3,5", " ", "-", "1e", "0x10", "1..2", "\xD9\xA3"}) {
            PasteOver(*List, QString::fromUtf8(bad));
            QCOMPARE(List->currentText(), QString::fromUtf8(bad));
            QVERIFY2(Red(), bad);
            QCOMPARE(Box->Value(), 33.0f);
            QCOMPARE(Entries(), QStringList{"33"});
        }
        TypeOver(" 12 ");
        QVERIFY(!Red());
        QCOMPARE(Box->Value(), 12.0f);
        QCOMPARE(Entries(), QStringList{"12"});
    }

    void enterAddsAnEmptyEntryAfterTheCurrentOne() {
        MakeEntries({"10", "47", "100"}, 1);
        QTest::keyClick(List, Qt::Key_Return);
        QCOMPARE(Entries(), (QStringList{"10", "47", "", "100"}));
        QCOMPARE(List->currentIndex(), 2);
        QCOMPARE(List->currentText(), QString());
        QCOMPARE(Box->Value(), 47.0f);
        QTest::keyClicks(List, "220");
        QCOMPARE(Entries(), (QStringList{"10", "47", "220", "100"}));
        QCOMPARE(Box->Value(), 220.0f);
    }

    void backspaceInAnEmptyBoxRemovesTheCurrentEntry() {
        MakeEntries({"10", "47", "100"}, 2);
        ClearText();
        QTest::keyClick(List, Qt::Key_Backspace);
        QCOMPARE(Entries(), (QStringList{"10", "47"}));
        QCOMPARE(List->currentIndex(), 1);
        QCOMPARE(List->currentText(), QString("47"));
        QCOMPARE(Box->Value(), 47.0f);
        QVERIFY(!Red());

        List->setCurrentIndex(0);
        ClearText();
        QTest::keyClick(List, Qt::Key_Backspace);
        QCOMPARE(Entries(), QStringList{"47"});
        QCOMPARE(List->currentText(), QString("47"));

        ClearText();
        QTest::keyClick(List, Qt::Key_Backspace);
        QTest::keyClick(List, Qt::Key_Backspace);
        QCOMPARE(Entries(), QStringList{"47"});
        QCOMPARE(List->currentText(), QString());
    }

    void pickingAnEntryMakesItCurrent() {
        MakeEntries({"10", "47", "100"}, 0);
        QTest::keyClick(List, Qt::Key_Down);
        QCOMPARE(Box->Value(), 47.0f);
        QTest::keyClicks(List, "0");
        QCOMPARE(Entries(), (QStringList{"10", "470", "100"}));
    }

    void savingRewritesTheSectionAndLoadingBringsItBack() {
        TScratchSettings settings;
        TSettingsFile& file = settings.File();
        Box->SetSectionName("Rref");
        MakeEntries({"10", "47", "100"}, 2);
        QTest::keyClick(List, Qt::Key_Return);  // an empty entry, left empty
        List->setCurrentIndex(1);
        Box->SaveSettings(file);
        QCOMPARE(file.ReadInt("Rref", "Count", 0), 4);
        QCOMPARE(file.ReadText("Rref", "Value3", "missing"), "");
        QCOMPARE(file.ReadInt("Rref", "CurrentIndex", -1), 1);

        TfrValues loaded;
        loaded.SetValue(1);
        loaded.SetSectionName("Rref");
        loaded.LoadSettings(file);
        auto* list = loaded.findChild<QComboBox*>("cbVal");
        QCOMPARE(list->count(), 4);
        QCOMPARE(list->itemText(3), QString(""));
        QCOMPARE(list->currentIndex(), 1);
        QCOMPARE(loaded.Value(), 47.0f);

        // A shorter list leaves no stale keys.
        for (int removed = 0; removed < 2; ++removed) {
            ClearText();
            QTest::keyClick(List, Qt::Key_Backspace);
        }
        QCOMPARE(Entries(), (QStringList{"100", ""}));
        Box->SaveSettings(file);
        QCOMPARE(file.ReadInt("Rref", "Count", 0), 2);
        QCOMPARE(file.ReadText("Rref", "Value2", "missing"), "missing");
        QCOMPARE(file.ReadInt("Rref", "CurrentIndex", -1), 0);
    }

    void aFirstSaveWritesTheSingleEntry() {
        TScratchSettings settings;
        Box->SaveSettings(settings.File());
        QCOMPARE(settings.Text(), QString("[Values]\nCount=1\nValue0=1\nCurrentIndex=0\n"));
    }

    void aBadStoredIndexShowsAnEmptyRedBoxAndKeepsTheValue() {
        TScratchSettings settings;
        TSettingsFile& file = settings.File();
        file.WriteInt("Values", "Count", 2);
        file.WriteText("Values", "Value0", "5");
        file.WriteInt("Values", "CurrentIndex", 9);
        Box->LoadSettings(file);
        QCOMPARE(Entries(), (QStringList{"5", "0"}));  // the missing key reads "0"
        QCOMPARE(List->currentText(), QString());
        QVERIFY(Red());
        QCOMPARE(Box->Value(), 1.0f);

        // Typing goes into an entry of the new list.
        QTest::keyClicks(List, "8");
        QCOMPARE(Entries(), (QStringList{"8", "0"}));
        QCOMPARE(Box->Value(), 8.0f);
    }

    void aStoredCountThatMakesNoSenseLeavesTheList() {
        for (const char* count : {"abc", "-3", "0", "2000000000"}) {
            TScratchSettings settings;
            settings.File().WriteText("Values", "Count", count);
            settings.File().WriteText("Values", "Value0", "99");
            Box->LoadSettings(settings.File());
            QCOMPARE(Entries(), QStringList{"1"});
            QCOMPARE(Box->Value(), 1.0f);
        }
    }
};

}  // namespace tavrin::test

QTEST_MAIN(tavrin::test::ValuesTests)
#include "ValuesTests.moc"
