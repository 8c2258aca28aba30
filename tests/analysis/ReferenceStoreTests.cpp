// The reference store and its file: what is kept comes back exactly after a restart, the limits
// hold, and a damaged, foreign or unwritable file loses nothing that could be kept.

#include <gtest/gtest.h>

#include <filesystem>

#include "../platform/TempFolder.h"
#include "TraceTestKit.h"
#include "uReferenceStore.h"
#include "uTraceResolution.h"

namespace tavrin {
namespace {

using test::ReadBytes;
using test::WriteBytes;

void ExpectSame(const TReference& a, const TReference& b) {
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(a.Shown, b.Shown);
    EXPECT_EQ(a.Trace.Kind, b.Trace.Kind);
    EXPECT_EQ(a.Trace.Info, b.Trace.Info);
    ASSERT_EQ(a.Trace.Points.size(), b.Trace.Points.size());
    for (size_t i = 0; i < a.Trace.Points.size(); ++i) {
        EXPECT_EQ(a.Trace.Points[i].Frequency, b.Trace.Points[i].Frequency);
        EXPECT_EQ(a.Trace.Points[i].Value, b.Trace.Points[i].Value);
    }
}

class ReferenceStoreTest : public ::testing::Test {
  protected:
    std::string Path() const { return Folder.Path("tavrin.refs"); }
    // Three curves: a measured impedance, a thinned one hidden, a transfer function.
    TReferenceStore Filled() const {
        TReferenceStore store(Path());
        EXPECT_EQ(store.Store("Good part", test::ImpedanceSample()), std::nullopt);
        TTrace thinned = ReduceToPointsPerOctave(test::DenseSample(100, 5000), 12);
        EXPECT_EQ(store.Store("  Thinned  ", thinned), std::nullopt);
        EXPECT_EQ(store.SetShown(1, false), std::nullopt);
        EXPECT_EQ(store.Store("Filter, before", test::TransferSample()), std::nullopt);
        return store;
    }

    test::TempFolder Folder;
};

TEST_F(ReferenceStoreTest, WhatIsKeptComesBackAfterARestart) {
    const TReferenceStore before = Filled();
    EXPECT_EQ(before.References()[1].Name, "Thinned");
    TReferenceStore after(Path());
    EXPECT_EQ(after.Load(), std::nullopt);
    ASSERT_EQ(after.References().size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        ExpectSame(after.References()[i], before.References()[i]);
    }
    EXPECT_EQ(after.References()[1].Trace.Info.PointsPerOctave, 12);

    // A missing file is an empty store, not a fault.
    TReferenceStore fresh(Folder.Path("none.refs"));
    EXPECT_EQ(fresh.Load(), std::nullopt);
    EXPECT_TRUE(fresh.References().empty());
}

TEST_F(ReferenceStoreTest, NamesAndLimits) {
    TReferenceStore store = Filled();
    // The same name replaces the curve where it stands.
    ASSERT_EQ(store.Store("Good part", test::TransferSample()), std::nullopt);
    EXPECT_EQ(store.References()[0].Trace.Kind, TTraceKind::Transfer);
    EXPECT_EQ(store.References().size(), 3u);

    EXPECT_EQ(store.Store(" \t", test::ImpedanceSample()), "A reference needs a name");
    EXPECT_EQ(store.Store("a\nb", test::ImpedanceSample()),
              "A reference name cannot hold control characters");
    EXPECT_EQ(store.Store(std::string(81, 'x'), test::ImpedanceSample()),
              "A reference name has at most 80 characters");
    EXPECT_EQ(store.Store("empty", TTrace{}), "There is no curve to keep");
    TTrace disordered = test::ImpedanceSample();
    std::swap(disordered.Points[0], disordered.Points[1]);
    EXPECT_EQ(store.Store("disordered", disordered),
              "This curve cannot be kept: its points are not in order");
    EXPECT_EQ(store.Rename(0, "Thinned"), "There is a reference named Thinned already");
    EXPECT_EQ(store.Remove(3), "No such reference");

    for (size_t i = store.References().size(); i < kReferenceLimit; ++i) {
        ASSERT_EQ(store.Store("r" + std::to_string(i), test::ImpedanceSample()), std::nullopt);
    }
    EXPECT_EQ(store.Store("one too many", test::ImpedanceSample()),
              "There are 16 references already; remove one first");
    ASSERT_EQ(store.Remove(1), std::nullopt);
    ASSERT_EQ(store.Rename(0, "Renamed"), std::nullopt);
    EXPECT_EQ(store.Store("one too many", test::ImpedanceSample()), std::nullopt);

    TReferenceStore reloaded(Path());
    EXPECT_EQ(reloaded.Load(), std::nullopt);
    ASSERT_EQ(reloaded.References().size(), kReferenceLimit);
    EXPECT_EQ(reloaded.References()[0].Name, "Renamed");
    EXPECT_EQ(reloaded.References()[1].Name, "Filter, before");
    EXPECT_EQ(reloaded.References().back().Name, "one too many");
}

TEST_F(ReferenceStoreTest, ADamagedFileKeepsTheCurvesBeforeTheDamageAndACopy) {
    Filled();
    const std::string whole = ReadBytes(Path());

    struct TDamage {
        const char* What;
        std::string Bytes;
        size_t Kept;
        std::string Message;
    };
    std::string flipped = whole;
    flipped[flipped.size() - 5] ^= 0x10;  // in the last curve's points
    std::string later = whole;
    later[8] = 2;  // format version 2
    const TDamage damages[] = {
        {"cut short", whole.substr(0, whole.size() - 1), 2,
         Path() + " is damaged from curve 3 of 3 on; 2 curves were read"},
        {"a bit flipped", flipped, 2,
         Path() + " is damaged from curve 3 of 3 on; 2 curves were read"},
        {"a later version", later, 0,
         Path() + " was written by a later version of Tavrin (format 2); its curves are not read"},
        {"not ours", "[Graph]\r\nMode=1\r\n", 0, Path() + " is not a file of reference curves"},
        {"header only", whole.substr(0, 16), 0,
         Path() + " is damaged from curve 1 of 3 on; 0 curves were read"},
    };
    for (const TDamage& damage : damages) {
        SCOPED_TRACE(damage.What);
        WriteBytes(Path(), damage.Bytes);
        TReferenceStore store(Path());
        const std::optional<std::string> message = store.Load();
        ASSERT_TRUE(message);
        EXPECT_EQ(*message, damage.Message + ". The file was copied to " + Path() + ".damaged.");
        EXPECT_EQ(store.References().size(), damage.Kept);
        EXPECT_EQ(ReadBytes(Path() + ".damaged"), damage.Bytes);
    }
}

TEST_F(ReferenceStoreTest, AFileThatCannotBeWrittenChangesNothing) {
    TReferenceStore store = Filled();
    const std::string before = ReadBytes(Path());
    std::filesystem::permissions(Path(), std::filesystem::perms::owner_read);
    if (test::RunsAsSuperUser()) {
        // root writes read-only files; a folder in the file's place stops everyone.
        std::filesystem::remove(Path());
        std::filesystem::create_directory(Path());
    }
    const std::string error = "Cannot write the reference curves to " + Path();
    EXPECT_EQ(store.Store("new", test::ImpedanceSample()), error);
    EXPECT_EQ(store.Store("Good part", test::TransferSample()), error);
    EXPECT_EQ(store.Remove(0), error);
    EXPECT_EQ(store.Rename(0, "x"), error);
    EXPECT_EQ(store.SetShown(0, false), error);
    ASSERT_EQ(store.References().size(), 3u);
    EXPECT_EQ(store.References()[0].Name, "Good part");
    EXPECT_EQ(store.References()[0].Trace.Kind, TTraceKind::Impedance);
    EXPECT_TRUE(store.References()[0].Shown);
    if (!test::RunsAsSuperUser()) {
        EXPECT_EQ(ReadBytes(Path()), before);
    }
}

}  // namespace
}  // namespace tavrin
