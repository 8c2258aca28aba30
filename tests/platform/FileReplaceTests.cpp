// Whole-file reading and replacing, alike on every system: the bytes exactly as given (no line
// ends translated), nothing left behind, and a file that may not be written kept as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TempFolder.h"
#include "uFileReplace.h"

namespace tavrin {
namespace {

using namespace std::string_literals;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

TEST(FileReplace, BytesGoAndComeBackExactly) {
    TempFolder folder;
    const std::string path = folder.Path("tavrin.cal");
    EXPECT_EQ(ReadFileIfAny(path), "");  // missing reads as empty
    const std::string bytes = "[A]\r\nk=1\nbinary\0\x1a\xff\r"s;
    ASSERT_TRUE(ReplaceFileContents(path, bytes));
    EXPECT_EQ(ReadBytes(path), bytes);
    EXPECT_EQ(ReadFileIfAny(path), bytes);
    ASSERT_TRUE(ReplaceFileContents(path, "short"));
    EXPECT_EQ(ReadFileIfAny(path), "short");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"tavrin.cal"});  // no temporary left
}

TEST(FileReplace, WhatMayNotBeWrittenIsKept) {
    TempFolder folder;
    // A folder in the file's place is neither read as a file nor replaced.
    std::filesystem::create_directory(folder.Path("tavrin.ini"));
    EXPECT_EQ(ReadFileIfAny(folder.Path("tavrin.ini")), std::nullopt);
    EXPECT_FALSE(ReplaceFileContents(folder.Path("tavrin.ini"), "x"));
    // No folder to write in.
    EXPECT_FALSE(ReplaceFileContents(folder.Path("missing/tavrin.ini"), "x"));
    // A file the user made read-only.
    const std::string readOnly = folder.Path("read-only.cal");
    WriteBytes(readOnly, "old");
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read);
    if (!test::RunsAsSuperUser()) {
        EXPECT_FALSE(ReplaceFileContents(readOnly, "new"));
        EXPECT_EQ(ReadBytes(readOnly), "old");
    }
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_all);
    EXPECT_TRUE(ReplaceFileContents(readOnly, "new"));
    EXPECT_EQ(ReadBytes(readOnly), "new");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"read-only.cal", "tavrin.ini"}));
}

}  // namespace
}  // namespace tavrin
