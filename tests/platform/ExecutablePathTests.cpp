#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TempFolder.h"
#include "uExecutablePath.h"

namespace tavrin {
namespace {

TEST(ExecutablePath, IsTheRunningTestProgram) {
    const std::string path = ExecutablePath();
    EXPECT_EQ(std::filesystem::path(path).stem(), "tavrin_settings_tests");
    EXPECT_TRUE(std::filesystem::path(path).is_absolute());
    // The build tree is written beside the program.
    EXPECT_EQ(ProgramFilePath(".ini"), WithExtension(path, ".ini"));
}

#ifndef _WIN32
TEST(ExecutablePath, ReplacedExecutableAndLongPathsAreRead) {
    test::TempFolder folder;
    // Longer than the first buffer the link is read into, each name within the system's limit.
    const std::string longFolder = folder.Path(std::string(120, 'd') + "/" + std::string(120, 'e') +
                                               "/" + std::string(120, 'f'));
    std::filesystem::create_directories(longFolder);
    std::filesystem::create_symlink(longFolder + "/tavrin (deleted)", folder.Path("exe"));
    EXPECT_EQ(ExecutablePath(folder.Path("exe")), longFolder + "/tavrin");
    EXPECT_EQ(ProgramFilePath(".cal", folder.Path("exe")), longFolder + "/tavrin.cal");
    // Without a readable link the files fall back to the current folder.
    EXPECT_EQ(ExecutablePath(folder.Path("none")), "");
    EXPECT_EQ(ProgramFilePath(".txt", folder.Path("none")), "tavrin.txt");
}
#endif

TEST(ExecutablePath, OnlyTheFileNameExtensionIsReplaced) {
    EXPECT_EQ(WithExtension("/usr/bin/tavrin", ".ini"), "/usr/bin/tavrin.ini");
    EXPECT_EQ(WithExtension("C:/Tools/tavrin.exe", ".cal"), "C:/Tools/tavrin.cal");
#ifdef _WIN32
    EXPECT_EQ(WithExtension("C:\\v2.0\\tavrin", ".cal"), "C:\\v2.0\\tavrin.cal");
#endif
    EXPECT_EQ(WithExtension("/opt/v2.0/tavrin", ".txt"), "/opt/v2.0/tavrin.txt");
    EXPECT_EQ(WithExtension("/opt/a.b/tavrin.x.y", ".ini"), "/opt/a.b/tavrin.x.ini");
    EXPECT_EQ(WithExtension("/home/u/.tavrin", ".ini"), "/home/u/.tavrin.ini");
    EXPECT_EQ(WithExtension("tavrin", ".ini"), "tavrin.ini");
}

}  // namespace
}  // namespace tavrin
