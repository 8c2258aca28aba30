#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>

#include "TempFolder.h"
#include "uIniProfile.h"

namespace tavrin {
namespace {

using namespace std::string_literals;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

TEST(IniProfile, MissingFileReadsNothingAndErasingCreatesNothing) {
    TempFolder folder;
    const std::string path = folder.Path("tavrin.ini");
    EXPECT_EQ(ProfileRead(path, "Graph", "Mode"), std::nullopt);
    EXPECT_TRUE(ProfileEraseSection(path, "Rref"));
    EXPECT_TRUE(folder.Names().empty());
}

TEST(IniProfile, WriteReplacesTheFileAndKeepsEveryOtherByte) {
    TempFolder folder;
    const std::string path = folder.Path("tavrin.ini");
    const std::string before =
        "; kept\r\n[Graph]\r\nMode=1\r\n\x01\xff\0junk\r\n[Other]\r\nkey = value \r\nno end"s;
    WriteBytes(path, before);
    ::chmod(path.c_str(), 0640);

    ASSERT_TRUE(ProfileWrite(path, "graph", "Mode", "2"));
    ASSERT_TRUE(ProfileWrite(path, "Graph", "Page", "1"));
    ASSERT_TRUE(ProfileWrite(path, "Rref", "Count", "0"));

    EXPECT_EQ(ReadBytes(path),
              "; kept\r\n[Graph]\r\nMode=2\r\nPage=1\r\n\x01\xff\0junk\r\n[Other]\r\n"
              "key = value \r\nno end\r\n[Rref]\r\nCount=0\r\n"s);
    EXPECT_EQ(ProfileRead(path, "OTHER", "KEY"), "value");
    EXPECT_EQ(ModeOf(path), 0640u);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"tavrin.ini"});  // no temporary left
}

TEST(IniProfile, ValuesAreCutTo2047CharactersOnReading) {
    TempFolder folder;
    const std::string path = folder.Path("tavrin.ini");
    const std::string value(3000, 'x');
    ASSERT_TRUE(ProfileWrite(path, "WaveSetup", "InputName", value));
    EXPECT_EQ(ProfileRead(path, "WaveSetup", "InputName")->size(), kProfileValueLimit);
    EXPECT_NE(ReadBytes(path).find(value), std::string::npos);  // written whole
}

TEST(IniProfile, SymbolicLinkIsFollowedAndKept) {
    TempFolder folder;
    const std::string real = folder.Path("real.ini");
    const std::string link = folder.Path("tavrin.ini");
    WriteBytes(real, "[A]\nk=1\n");
    std::filesystem::create_symlink(real, link);

    ASSERT_TRUE(ProfileWrite(link, "A", "k", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(real), "[A]\nk=2\n");
}

TEST(IniProfile, WhatCannotBeWrittenFailsAndLeavesEverythingAsItWas) {
    TempFolder folder;
    // A regular file where the folder should be: not even root can create a file in it.
    WriteBytes(folder.Path("plain"), "x");
    EXPECT_FALSE(ProfileWrite(folder.Path("plain/tavrin.ini"), "A", "k", "1"));
    // A folder where the file should be can be neither read nor replaced.
    std::filesystem::create_directory(folder.Path("dir.ini"));
    EXPECT_FALSE(ProfileWrite(folder.Path("dir.ini"), "A", "k", "1"));
    EXPECT_FALSE(ProfileEraseSection(folder.Path("dir.ini"), "A"));
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path("dir.ini")));
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"dir.ini", "plain"}));
}

TEST(IniProfile, DiskFullMidWriteKeepsTheOldFileWhole) {
    TempFolder folder;
    const std::string path = folder.Path("tavrin.ini");
    const std::string before = "[A]\nk=" + std::string(8000, 'o') + "\n";
    WriteBytes(path, before);

    // The file-size limit binds root too, and fails the write half-way like a full disk.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = ProfileWrite(path, "A", "j", "1");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"tavrin.ini"});
}

// Runs `write` as an ordinary user: root may write any file, so it gives root up in a child.
bool WritesAsUser(const std::function<bool()>& write) {
    if (::geteuid() != 0) {
        return write();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped ? (write() ? 0 : 1) : 2);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2) << "cannot give root up";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(IniProfile, FilesTheUserMayNotWriteOrReadAreNotReplaced) {
    TempFolder folder;
    // The folder lets anyone create and rename files: only the files' own modes stand in the way.
    ::chmod(folder.Path(".").c_str(), 0777);
    const std::string readOnly = folder.Path("read-only.ini");
    const std::string unreadable = folder.Path("unreadable.ini");
    WriteBytes(readOnly, "[A]\nk=1\n");
    WriteBytes(unreadable, "[A]\nk=1\n");
    ::chmod(readOnly.c_str(), 0444);
    ::chmod(unreadable.c_str(), 0222);

    EXPECT_FALSE(WritesAsUser([&] { return ProfileWrite(readOnly, "A", "k", "2"); }));
    EXPECT_FALSE(WritesAsUser([&] { return ProfileWrite(unreadable, "A", "j", "2"); }));
    EXPECT_EQ(ReadBytes(readOnly), "[A]\nk=1\n");
    EXPECT_EQ(ReadBytes(unreadable), "[A]\nk=1\n");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"read-only.ini", "unreadable.ini"}));
    // The check is real: the same user may replace a file that is writable.
    ::chmod(readOnly.c_str(), 0666);
    EXPECT_TRUE(WritesAsUser([&] { return ProfileWrite(readOnly, "A", "k", "2"); }));
}

}  // namespace
}  // namespace tavrin
