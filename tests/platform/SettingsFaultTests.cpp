// The settings file under faults: saves killed half-way, two programs on the same files, files
// in odd encodings, things that are not files at the path, links to files not yet created.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "SaveSequence.h"
#include "TempFolder.h"
#include "uFileError.h"
#include "uFileLock.h"
#include "uFileReplace.h"
#include "uSettingsFile.h"

namespace tavrin {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using test::ReadBytes;
using test::SaveAtClose;
using test::TempFolder;
using test::TSavedState;
using test::WriteBytes;

std::string DataFile(const std::string& name) {
    return ReadBytes(std::string(TAVRIN_TEST_DATA_DIR) + "/settings/" + name);
}

// What a file with the user's own sections, comments and odd lines holds before a save.
const std::string kForeign =
    "; written by hand\r\n[Mine]\r\nkey=1\r\n\r\n[Graph]\r\nMode=1\r\n; note\r\n"
    "[WaveSetup]\r\nFMin=30\r\n[Rref]\r\nCount=2\r\nValue0=5\r\nValue1=6\r\nStale=1\r\n"
    "[Tail]\r\nlast=no end";

void SaveBatched(TSettingsFile& file, const TSavedState& state) {
    TSettingsUpdate update(file);
    SaveAtClose(file, state);
    update.Commit();
}

int Occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST(SettingsFault, OneReplacementWritesTheBytesOfTheKeyByKeySave) {
    const TSavedState later{.Sampling = 96000,
                            .Swap = true,
                            .RrefValues = {"100", "1k", ""},
                            .RrefIndex = 2,
                            .Saturation0 = 0.75f,
                            .LgF = true,
                            .Page = 1,
                            .Mode = 3,
                            .Cin = "12.5"};
    const std::vector<std::string> starts = {
        "",
        DataFile("first-close.ini"),
        DataFile("second-close.ini"),
        DataFile("garbage.ini"),
        kForeign,
        "\xEF\xBB\xBF[Graph]\rMode=2\r[Other]\rx=1",
    };
    for (size_t i = 0; i < starts.size(); ++i) {
        TempFolder folder;
        TSettingsFile oneByOne(folder.Path("one.ini"));
        TSettingsFile batched(folder.Path("batch.ini"));
        if (i > 0) {
            WriteBytes(oneByOne.Path(), starts[i]);
            WriteBytes(batched.Path(), starts[i]);
        }
        for (const TSavedState& state : {TSavedState{}, later}) {
            SaveAtClose(oneByOne, state);
            const std::string before = ReadBytes(batched.Path());
            TSettingsUpdate update(batched);
            SaveAtClose(batched, state);
            // Nothing reaches the file before the end, but the update reads its own writes.
            EXPECT_EQ(ReadBytes(batched.Path()), before);
            EXPECT_EQ(batched.ReadInt("Graph", "Mode", -1), state.Mode);
            update.Commit();
            EXPECT_EQ(ReadBytes(batched.Path()), ReadBytes(oneByOne.Path())) << "start " << i;
        }
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"batch.ini", "one.ini"}));
    }
    TempFolder folder;
    TSettingsFile first(folder.Path("tavrin.ini"));
    SaveBatched(first, {});
    EXPECT_EQ(ReadBytes(first.Path()), DataFile("first-close.ini"));
}

TEST(SettingsFault, AnUpdateLeftByAnErrorKeepsWhatWasWrittenBeforeIt) {
    TempFolder folder;
    TSettingsFile oneByOne(folder.Path("one.ini"));
    TSettingsFile batched(folder.Path("batch.ini"));
    for (TSettingsFile* file : {&oneByOne, &batched}) {
        WriteBytes(file->Path(), kForeign);
    }
    // The calibration file fails after the "Calibration" keys: "Graph" is not written.
    const auto saveUntilTheCalibrationFile = [](TSettingsFile& file) {
        file.WriteText("WaveSetup", "FMin", "40");
        file.DropSection("Rref");
        file.WriteInt("Rref", "Count", 0);
        file.WriteReal("Calibration", "Saturation0", 0.5);
        throw EFileError("Impossible de créer le fichier tavrin.cal");
    };
    EXPECT_THROW(saveUntilTheCalibrationFile(oneByOne), EFileError);
    EXPECT_THROW(
        {
            TSettingsUpdate update(batched);
            saveUntilTheCalibrationFile(batched);
            update.Commit();
        },
        EFileError);
    EXPECT_EQ(ReadBytes(batched.Path()), ReadBytes(oneByOne.Path()));
    EXPECT_EQ(batched.ReadText("WaveSetup", "FMin", ""), "40");
}

TEST(SettingsFault, AnUpdateStopsWhereTheFirstWriteOnItsOwnWould) {
    TempFolder folder;
    WriteBytes(folder.Path("plain"), "x");
    TSettingsFile underAFile(folder.Path("plain/tavrin.ini"));
    TSettingsUpdate update(underAFile);
    underAFile.DropSection("Rref");  // nothing to drop: nothing to write yet
    try {
        underAFile.WriteInt("WaveSetup", "InputID", 0);
        FAIL() << "no error";
    } catch (const EFileError& error) {
        EXPECT_EQ(std::string(error.what()), "Impossible d'écrire dans " + underAFile.Path());
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"plain"});
}

TEST(SettingsFault, ByteOrderMarkAndCarriageReturnsAloneAreReadAndKept) {
    TempFolder folder;
    for (const std::string& start : {"\xEF\xBB\xBF[WaveSetup]\r\nFMin=30\r\n[Graph]\r\nMode=2\r\n"s,
                                     "[WaveSetup]\rFMin=30\r[Graph]\rMode=2\r"s}) {
        TSettingsFile file(folder.Path("tavrin.ini"));
        WriteBytes(file.Path(), start);
        EXPECT_EQ(file.ReadText("WaveSetup", "FMin", "20"), "30");
        EXPECT_EQ(file.ReadInt("Graph", "Mode", 0), 2);
        SaveBatched(file, {});
        const std::string saved = ReadBytes(file.Path());
        EXPECT_EQ(Occurrences(saved, "[WaveSetup]"), 1) << saved;
        EXPECT_EQ(Occurrences(saved, "[Graph]"), 1) << saved;
        EXPECT_EQ(saved.substr(0, 3) == "\xEF\xBB\xBF", start.substr(0, 3) == "\xEF\xBB\xBF");
        EXPECT_EQ(saved.find('\n') == std::string::npos, start.find('\n') == std::string::npos);
        EXPECT_TRUE(file.Problem().empty());
    }
}

TEST(SettingsFault, Utf16IsRefusedWithAMessageAndLeftAsItIs) {
    TempFolder folder;
    TSettingsFile file(folder.Path("tavrin.ini"));
    for (const std::string& utf16 : {"\xFF\xFE[\0G\0]\0\r\0\n\0"s, "[\0G\0]\0\n\0"s}) {
        WriteBytes(file.Path(), utf16);
        EXPECT_NE(file.Problem().find("UTF-16"), std::string::npos) << file.Problem();
        EXPECT_NE(file.Problem().find(file.Path()), std::string::npos);
        EXPECT_EQ(file.ReadInt("G", "Mode", 5), 5);
        EXPECT_THROW(SaveBatched(file, {}), EFileError);
        EXPECT_THROW(file.WriteInt("G", "Mode", 1), EFileError);
        EXPECT_EQ(ReadBytes(file.Path()), utf16);
    }
}

TEST(SettingsFault, BytesThatAreNoUtf8ComeBackAsTheyWere) {
    TempFolder folder;
    TSettingsFile file(folder.Path("tavrin.ini"));
    const std::string latin1 = "[WaveSetup]\nInputName=Entr\xE9\x65 ligne \xB5\xFF\n";
    WriteBytes(file.Path(), latin1);
    EXPECT_EQ(file.ReadText("WaveSetup", "InputName", ""), "Entr\xE9\x65 ligne \xB5\xFF");
    file.WriteText("WaveSetup", "InputName", file.ReadText("WaveSetup", "InputName", ""));
    EXPECT_EQ(ReadBytes(file.Path()), latin1);
}

TEST(SettingsFault, WhatIsNoRegularFileIsNeitherWaitedOnNorWritten) {
    TempFolder folder;
    const std::string fifo = folder.Path("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    std::filesystem::create_directory(folder.Path("dir.ini"));
    for (const std::string& path : {fifo, folder.Path("dir.ini")}) {
        // In a child, so that a wait on the pipe fails the test instead of hanging it.
        const auto status = test::RunInChild(
            [&] {
                TSettingsFile file(path);
                const bool told = file.Problem().find("not a regular file") != std::string::npos;
                const bool defaults = file.ReadText("Graph", "Mode", "d") == "d";
                bool refused = false;
                try {
                    SaveBatched(file, {});
                } catch (const EFileError&) {
                    refused = true;
                }
                return told && defaults && refused ? 0 : 1;
            },
            5s);
        EXPECT_EQ(status, 0) << path << (status ? "" : ": hung");
    }
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(SettingsFault, ALinkToAFileNotYetMadeCreatesIt) {
    TempFolder folder;
    std::filesystem::create_directory(folder.Path("real"));
    std::filesystem::create_symlink("real/tavrin.ini", folder.Path("first"));
    std::filesystem::create_symlink("first", folder.Path("tavrin.ini"));
    TSettingsFile file(folder.Path("tavrin.ini"));
    EXPECT_TRUE(file.Problem().empty());
    SaveBatched(file, {});
    EXPECT_EQ(ReadBytes(folder.Path("real/tavrin.ini")), DataFile("first-close.ini"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.Path("tavrin.ini")));

    std::filesystem::create_symlink("loop.ini", folder.Path("loop.ini"));
    TSettingsFile loop(folder.Path("loop.ini"));
    EXPECT_THROW(SaveBatched(loop, {}), EFileError);
}

void SetModified(const std::string& path, std::chrono::system_clock::time_point when) {
    const auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
    const timeval times[2] = {{us / 1000000, us % 1000000}, {us / 1000000, us % 1000000}};
    ASSERT_EQ(::utimes(path.c_str(), times), 0);
}

TEST(SettingsFault, OnlyOurOwnStaleTemporariesAreRemoved) {
    TempFolder folder;
    const auto start = std::chrono::system_clock::now();
    const std::vector<std::string> stale = {".tavrin.ini.123.0.tmp", ".tavrin.ini.9.41.tmp"};
    const std::vector<std::string> kept = {
        ".tavrin.ini.55.1.tmp",  // written after the start: a save in progress elsewhere
        ".tavrin.ini.x.1.tmp",  ".tavrin.ini.1.1.tmp.bak", ".other.ini.1.1.tmp",
        "tavrin.ini.1.1.tmp",   ".tavrin.cal.1.1.tmp",     "tavrin.ini"};
    for (const std::string& name : stale) {
        WriteBytes(folder.Path(name), "x");
        SetModified(folder.Path(name), start - 10s);
    }
    for (const std::string& name : kept) {
        WriteBytes(folder.Path(name), "x");
        SetModified(folder.Path(name), name == kept.front() ? start + 1s : start - 10s);
    }
    EXPECT_EQ(RemoveStaleTemporaries(folder.Path("tavrin.ini"), start), 2);
    std::vector<std::string> expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.Names(), expected);
}

// A generation of the saved state: every value it writes says which generation it is, and the
// R ref list is long, so that a save takes a while to write.
TSavedState Generation(int g) {
    TSavedState state{.Sampling = g % 2 == 0 ? 48000 : 96000,
                      .FMin = std::to_string(g),
                      .RrefIndex = g,
                      .Page = g % 2,
                      .Cin = std::to_string(g)};
    state.RrefValues.clear();
    for (int i = 0; i < 300; ++i) {
        state.RrefValues.push_back(std::to_string(g) + "-" + std::to_string(i));
    }
    return state;
}

// The generation the file holds as a whole, or -1 for a mixture, a short list or a lost section.
// Read in one go, so that a save that replaces the file meanwhile does not mix the reading.
int WholeGeneration(const std::string& path) {
    TempFolder copy;
    WriteBytes(copy.Path("copy.ini"), ReadBytes(path));
    TSettingsFile file(copy.Path("copy.ini"));
    const int g = file.ReadInt("Rref", "CurrentIndex", -1);
    const TSavedState expected = Generation(g);
    if (g < 0 || file.ReadText("WaveSetup", "FMin", "") != expected.FMin ||
        file.ReadInt("WaveSetup", "Sampling", 0) != expected.Sampling ||
        file.ReadInt("Graph", "Page", -1) != expected.Page ||
        file.ReadText("InputParams", "Cin", "") != expected.Cin ||
        file.ReadInt("Rref", "Count", 0) != static_cast<int>(expected.RrefValues.size())) {
        return -1;
    }
    for (size_t i = 0; i < expected.RrefValues.size(); ++i) {
        if (file.ReadText("Rref", "Value" + std::to_string(i), "") != expected.RrefValues[i]) {
            return -1;
        }
    }
    return g;
}

TEST(SettingsFault, SavesKilledHalfWayLeaveOneWholeGenerationAndNoTemporaryAfterTheNextStart) {
    constexpr int kKills = 300;
    TempFolder folder;
    const std::string path = folder.Path("tavrin.ini");
    {
        TSettingsFile file(path);
        SaveBatched(file, Generation(0));
    }
    std::mt19937 random(7);
    int mixed = 0;
    int lastSeen = 0;
    int advanced = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const pid_t child = test::StartChild([&] {
            TSettingsFile file(path);
            for (int g = lastSeen + 1;; ++g) {
                SaveBatched(file, Generation(g));
            }
            return 0;
        });
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 8000));
        ::kill(child, SIGKILL);
        test::WaitForChild(child, 5s);
        const int g = WholeGeneration(path);
        mixed += g < 0 ? 1 : 0;
        advanced += g > lastSeen ? 1 : 0;
        lastSeen = std::max(lastSeen, g);
    }
    EXPECT_EQ(mixed, 0);
    // The kills came during saves, not only before or after them.
    EXPECT_GT(advanced, kKills / 10);
    RemoveStaleTemporaries(path, std::chrono::system_clock::now());
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"tavrin.ini"});
    std::printf("%d kills: %d saves completed between kills, %d files not whole\n", kKills,
                advanced, mixed);
}

TEST(SettingsFault, TwoProgramsSavingAtOnceNeverMixTheirValues) {
    TempFolder folder;
    const std::string path = folder.Path("tavrin.ini");
    {
        TSettingsFile file(path);
        SaveBatched(file, Generation(1));
    }
    std::vector<pid_t> savers;
    for (int g : {1, 2}) {
        savers.push_back(test::StartChild([&, g] {
            TSettingsFile file(path);
            for (int round = 0; round < 20; ++round) {
                SaveBatched(file, Generation(g));
            }
            return 0;
        }));
    }
    int reads = 0;
    int broken = 0;
    while (reads < 2000 && ::waitpid(savers.back(), nullptr, WNOHANG) == 0) {
        broken += WholeGeneration(path) < 0 ? 1 : 0;
        ++reads;
    }
    for (pid_t saver : savers) {
        EXPECT_EQ(test::WaitForChild(saver, 30s), 0);
    }
    EXPECT_EQ(broken, 0) << "of " << reads << " reads";
    EXPECT_GT(WholeGeneration(path), 0);
}

TEST(SettingsFault, TheFirstProgramHoldsTheLockUntilItEnds) {
    TempFolder folder;
    const std::string lockPath = folder.Path("tavrin.lock");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t first = test::StartChild([&] {
        TFileLock lock(lockPath);
        const char held = lock.TryLock() == TFileLock::TResult::Held ? 'y' : 'n';
        ::write(ready[1], &held, 1);
        ::pause();
        return 0;
    });
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');
    {
        TFileLock second(lockPath);
        EXPECT_EQ(second.TryLock(), TFileLock::TResult::HeldElsewhere);
        EXPECT_FALSE(second.Held());
    }
    ::kill(first, SIGKILL);  // the system lets go of a killed program's lock
    test::WaitForChild(first, 5s);
    {
        TFileLock next(lockPath);
        EXPECT_EQ(next.TryLock(), TFileLock::TResult::Held);
        EXPECT_EQ(next.TryLock(), TFileLock::TResult::Held);
    }
    EXPECT_FALSE(std::filesystem::exists(lockPath));
    EXPECT_EQ(TFileLock(folder.Path("none/tavrin.lock")).TryLock(),
              TFileLock::TResult::Unavailable);
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
}  // namespace tavrin
