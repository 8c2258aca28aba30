#include <gtest/gtest.h>

#include <string>

#include "uIniText.h"

namespace tavrin {
namespace {

using namespace std::string_literals;

std::string Written(std::string text, std::string_view section, std::string_view key,
                    std::string_view value) {
    EXPECT_TRUE(IniWriteValue(text, section, key, value));
    return text;
}

TEST(IniText, ReadsWithoutRegardToCaseOrBlanks) {
    const std::string text = "Mode=7\n[Graph]\n  mode =  3 \t\n; Page=1\n#Page=2\n[ WaveSetup ]\n";
    EXPECT_EQ(IniReadValue(text, "graph", "MODE"), "3");
    EXPECT_EQ(IniReadValue(text, "Graph", "Page"), std::nullopt);  // commented out
    EXPECT_EQ(IniReadValue(text, "WAVESETUP", "Mode"), std::nullopt);
    EXPECT_EQ(IniReadValue(text, "Other", "Mode"), std::nullopt);  // lines before any section
    EXPECT_EQ(IniReadValue("[A]\nk=\n", "A", "k"), "");
}

TEST(IniText, FirstOfDuplicateSectionsAndKeysIsReadAndWritten) {
    const std::string text = "[A]\nk=1\nk=2\n[a]\nk=3\nj=4\n";
    EXPECT_EQ(IniReadValue(text, "A", "k"), "1");
    EXPECT_EQ(IniReadValue(text, "A", "j"), std::nullopt);
    EXPECT_EQ(Written(text, "a", "K", "9"), "[A]\nK=9\nk=2\n[a]\nk=3\nj=4\n");
    EXPECT_EQ(Written(text, "A", "j", "5"), "[A]\nk=1\nk=2\nj=5\n[a]\nk=3\nj=4\n");
}

TEST(IniText, GarbageHoldsNoValuesButDoesNotHideTheOthers) {
    const std::string text =
        "\xff\xfe\0garbage\n[Graph\nMode\n=1\n[Graph]junk\nLg(F)\x01=\0\n=2\nDraw\0All=1\n"
        "[Graph\nPage=2\n\x80\x81=\x82\n[WaveSetup]\nFMin=20"s;
    EXPECT_EQ(IniReadValue(text, "Graph", "Mode"), std::nullopt);
    EXPECT_EQ(IniReadValue(text, "Graph", "Lg(F)"), "");  // control characters are blanks
    EXPECT_EQ(IniReadValue(text, "Graph", "Draw\0All"s), "1");
    EXPECT_EQ(IniReadValue(text, "Graph", "Page"), "2");  // "[Graph" is no header
    EXPECT_EQ(IniReadValue(text, "Graph", "\x80\x81"), "\x82");
    EXPECT_EQ(IniReadValue(text, "WaveSetup", "FMin"), "20");
}

TEST(IniText, NewKeysFollowTheLastKeyOfTheirSectionAndNewSectionsEndTheText) {
    const std::string text = "; top\n[A]\nk=1\n; note\n\n[B]\n\n[C]\n";
    EXPECT_EQ(Written(text, "A", "j", "2"), "; top\n[A]\nk=1\nj=2\n; note\n\n[B]\n\n[C]\n");
    EXPECT_EQ(Written(text, "B", "j", "2"), "; top\n[A]\nk=1\n; note\n\n[B]\nj=2\n\n[C]\n");
    EXPECT_EQ(Written(text, "D", "j", "2"), text + "[D]\nj=2\n");
    EXPECT_EQ(Written("", "D", "j", "2"), "[D]\nj=2\n");
}

TEST(IniText, UpdatesRewriteOnlyTheirLineAndKeepEveryLineEnd) {
    EXPECT_EQ(Written("[A]\r\n  k = old ; c\r\nz=1\n", "A", "K", "new"), "[A]\r\nK=new\r\nz=1\n");
    // New lines take the text's own line end; a last line without one gets it first.
    EXPECT_EQ(Written("[A]\r\nk=1", "A", "j", "2"), "[A]\r\nk=1\r\nj=2\r\n");
    EXPECT_EQ(Written("[A]\r\nk=1", "B", "j", "2"), "[A]\r\nk=1\r\n[B]\r\nj=2\r\n");
    EXPECT_EQ(Written("[A]", "A", "j", "2"), "[A]\nj=2\n");
    EXPECT_EQ(Written("[A]\nk=1", "A", "k", "2"), "[A]\nk=2");
}

TEST(IniText, ErasingRemovesEveryCopyOfTheSectionAndNothingElse) {
    std::string text = "x=0\n[Rref]\nValue0=1\nValue1=2\n[Graph]\nMode=1\n[RREF]\nValue5=2";
    EXPECT_TRUE(IniEraseSection(text, "rref"));
    EXPECT_EQ(text, "x=0\n[Graph]\nMode=1\n");
    EXPECT_FALSE(IniEraseSection(text, "Rref"));
    EXPECT_EQ(text, "x=0\n[Graph]\nMode=1\n");

    text = Written(text, "Rref", "Count", "1");
    EXPECT_EQ(Written(text, "Rref", "Value0", "5"),
              "x=0\n[Graph]\nMode=1\n[Rref]\nCount=1\nValue0=5\n");
}

TEST(IniText, ValuesAreCutOnReadingAndCannotAddLines) {
    const std::string longValue(5000, 'v');
    EXPECT_EQ(IniReadValue("[A]\nk=" + longValue + "\n", "A", "k"), longValue.substr(0, 2047));

    const std::string text = Written("[A]\n", "A", "k", "x\r\n[Graph]\nMode=3");
    EXPECT_EQ(text, "[A]\nk=x  [Graph] Mode=3\n");
    EXPECT_EQ(IniReadValue(text, "Graph", "Mode"), std::nullopt);
}

TEST(IniText, NamesThatWouldNotReadBackAreRefused) {
    for (const std::string_view section : {"", " A", "A ", "A]", "A\nB", "A\rB"}) {
        std::string text = "[A]\n";
        EXPECT_FALSE(IniWriteValue(text, section, "k", "1")) << section;
        EXPECT_EQ(text, "[A]\n");
    }
    for (const std::string_view key : {"", " k", "k\t", "k=v", "[k", ";k", "#k", "k\nj"}) {
        std::string text = "[A]\n";
        EXPECT_FALSE(IniWriteValue(text, "A", key, "1")) << key;
        EXPECT_EQ(text, "[A]\n");
    }
    EXPECT_TRUE(IsValidIniKey("Lg(F)"));
    EXPECT_TRUE(IsValidIniSection("Input Params"));
}

TEST(IniText, ByteOrderMarkBelongsToNoLineAndACarriageReturnAloneEndsALine) {
    const std::string marked = "\xEF\xBB\xBF[A]\nk=1\n";
    EXPECT_EQ(IniReadValue(marked, "A", "k"), "1");
    EXPECT_EQ(Written(marked, "A", "k", "2"), "\xEF\xBB\xBF[A]\nk=2\n");
    std::string erased = marked;
    EXPECT_TRUE(IniEraseSection(erased, "A"));
    EXPECT_EQ(erased, "\xEF\xBB\xBF");
    EXPECT_EQ(Written(erased, "B", "j", "3"), "\xEF\xBB\xBF[B]\nj=3\n");

    const std::string classic = "[A]\rk=1\r[B]\rj=2";
    EXPECT_EQ(IniReadValue(classic, "A", "k"), "1");
    EXPECT_EQ(IniReadValue(classic, "B", "j"), "2");
    EXPECT_EQ(Written(classic, "A", "i", "3"), "[A]\rk=1\ri=3\r[B]\rj=2");
    EXPECT_EQ(Written(classic, "C", "x", "4"), "[A]\rk=1\r[B]\rj=2\r[C]\rx=4\r");
    // Each line keeps its own end; "\r\r\n" is a line ended by "\r", then an empty one.
    EXPECT_EQ(Written("[A]\r\r\nk=1\n", "A", "k", "2"), "[A]\r\r\nk=2\n");
}

TEST(IniText, Utf16IsToldApartFromEightBitText) {
    EXPECT_TRUE(IsUtf16Text("\xFF\xFE[\0"s));
    EXPECT_TRUE(IsUtf16Text("\xFE\xFF\0["s));
    EXPECT_TRUE(IsUtf16Text("[\0A\0]\0\n\0"s));
    EXPECT_TRUE(IsUtf16Text("\0[\0A\0]\0\xE9"s));
    EXPECT_FALSE(IsUtf16Text("[\0A\0]\0\n\0[WaveSetup]\n"s));  // a line of ours in it
    EXPECT_FALSE(IsUtf16Text("\0\n[WaveSetup]\n"s));
    EXPECT_FALSE(IsUtf16Text("[A]\n"));
    EXPECT_FALSE(IsUtf16Text("\xEF\xBB\xBF[A]"));
    EXPECT_FALSE(IsUtf16Text("\x01\x02\xff\xfe binary"));
    EXPECT_FALSE(IsUtf16Text("\0\0"s));
    EXPECT_FALSE(IsUtf16Text(""));
}

// The edits of a save on one document, against the same edits each on the text of the last.
TEST(IniText, ManyEditsOnOneDocumentGiveTheTextOfTheEditsOneByOne) {
    for (const std::string& start :
         {""s, "[A]"s,
          "x=0\r\n[Rref]\r\nValue0=1\r\n[Graph]\r\nMode=1\r\n; c\r\n\r\n[rref]\r\nz=1"s,
          "\xEF\xBB\xBF[Graph]\rMode=2\r[Tail]\rk=v"s, "[Graph]\n; only a note"s,
          // New lines end in "\r" and go before a blank line: "\r" then "\n" reads as one end.
          "[Graph]\rMode=1\n\n[Rref]\rValue0=0\n\n[Tail]\r"s}) {
        TIniDocument document(start);
        std::string text = start;
        const auto both = [&](const auto& edit) {
            edit(document, text);
            EXPECT_EQ(document.Text(), text) << "from " << start;
        };
        both([](TIniDocument& d, std::string& t) {
            EXPECT_EQ(d.EraseSection("RREF"), IniEraseSection(t, "RREF"));
        });
        for (int i = 0; i < 5; ++i) {
            const std::string key = "Value" + std::to_string(i);
            both([&](TIniDocument& d, std::string& t) {
                d.Write("Rref", key, "v" + std::to_string(i));
                IniWriteValue(t, "Rref", key, "v" + std::to_string(i));
            });
            both([&](TIniDocument& d, std::string& t) {
                d.Write("Graph", key, "g\r\n");
                IniWriteValue(t, "Graph", key, "g\r\n");
            });
        }
        both([](TIniDocument& d, std::string& t) {
            d.Write("graph", "MODE", "3");
            IniWriteValue(t, "graph", "MODE", "3");
        });
        both([](TIniDocument& d, std::string& t) {
            EXPECT_EQ(d.EraseSection("Tail"), IniEraseSection(t, "Tail"));
        });
        both([](TIniDocument& d, std::string& t) {
            d.Write("Tail", "k", "again");
            IniWriteValue(t, "Tail", "k", "again");
        });
        EXPECT_EQ(document.Read("GRAPH", "mode"), IniReadValue(text, "Graph", "Mode"));
        EXPECT_EQ(document.Read("Rref", "Value4"), "v4");
    }
}

}  // namespace
}  // namespace tavrin
