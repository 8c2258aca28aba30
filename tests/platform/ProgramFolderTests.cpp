// Where the programs keep their files: beside a portable or freshly built program, in the user's
// configuration folder for an installed one, which could not write beside itself.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "TempFolder.h"
#include "uProgramFolder.h"

namespace tavrin {
namespace {

TEnvironmentLookup Environment(std::map<std::string, std::string> variables) {
    return [variables](const char* name) -> std::optional<std::string> {
        const auto found = variables.find(name);
        return found == variables.end() ? std::nullopt : std::optional(found->second);
    };
}

#ifndef _WIN32
TEST(ProgramFolder, BesideAWritableProgramElseInTheUsersConfigurationFolder) {
    const auto user = Environment({{"HOME", "/home/ada"}, {"XDG_CONFIG_HOME", "/home/ada/cfg"}});
    // A portable copy and the build tree keep their files with them, as they always did.
    EXPECT_EQ(ChooseProgramFolder("/home/ada/tavrin", true, user), "/home/ada/tavrin");
    EXPECT_EQ(ChooseProgramFolder("/opt/tavrin", true, user), "/opt/tavrin");
    // Installed: the folder cannot be written, or is the system's even where root could.
    EXPECT_EQ(ChooseProgramFolder("/opt/tavrin", false, user), "/home/ada/cfg/tavrin");
    EXPECT_EQ(ChooseProgramFolder("/usr/bin", true, user), "/home/ada/cfg/tavrin");
    EXPECT_EQ(ChooseProgramFolder("/usr/local/bin", true, user), "/home/ada/cfg/tavrin");
    EXPECT_EQ(ChooseProgramFolder("/usr", true, user), "/home/ada/cfg/tavrin");
    EXPECT_EQ(ChooseProgramFolder("/usrlocal", true, user), "/usrlocal");
}

TEST(ProgramFolder, ConfigurationFolderFollowsTheXdgRules) {
    EXPECT_EQ(ChooseProgramFolder("/usr/bin", false, Environment({{"HOME", "/home/ada"}})),
              "/home/ada/.config/tavrin");
    EXPECT_EQ(ChooseProgramFolder("/usr/bin", false,
                                  Environment({{"HOME", "/home/ada/"}, {"XDG_CONFIG_HOME", ""}})),
              "/home/ada/.config/tavrin");
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    EXPECT_EQ(ChooseProgramFolder("/usr/bin", false,
                                  Environment({{"HOME", "/root"}, {"XDG_CONFIG_HOME", "cfg"}})),
              "/root/.config/tavrin");
    // With no home at all nothing is better than the program's own folder, nor an unknown one.
    EXPECT_EQ(ChooseProgramFolder("/usr/bin", false, Environment({})), "/usr/bin");
    EXPECT_EQ(ChooseProgramFolder("", false, Environment({{"HOME", "/root"}})), "");
}

TEST(ProgramFolder, TheUsersFolderIsCreatedForTheUserAlone) {
    test::TempFolder folder;
    const auto user = Environment({{"XDG_CONFIG_HOME", folder.Path("config")}});
    // The executable's folder does not exist, so it cannot be written.
    const std::string chosen = ProgramFolder(folder.Path("missing/tavrin"), user);
    EXPECT_EQ(chosen, folder.Path("config/tavrin"));
    ASSERT_TRUE(std::filesystem::is_directory(chosen));
    EXPECT_EQ(std::filesystem::status(chosen).permissions(), std::filesystem::perms::owner_all);
    // Beside a program in a folder of its own, nothing is created elsewhere.
    const std::string own = std::filesystem::path(folder.Path("tavrin")).parent_path().string();
    EXPECT_EQ(ProgramFolder(folder.Path("tavrin"), Environment({})), own);
    EXPECT_FALSE(std::filesystem::exists(folder.Path("tavrin")));
}
#else
TEST(ProgramFolder, BesideAWritableProgramElseInTheUsersApplicationData) {
    const auto user = Environment(
        {{"APPDATA", "C:\\Users\\ada\\AppData\\Roaming"}, {"ProgramFiles", "C:\\Program Files"}});
    EXPECT_EQ(ChooseProgramFolder("D:\\tools\\tavrin", true, user), "D:\\tools\\tavrin");
    EXPECT_EQ(ChooseProgramFolder("C:\\Program Files\\Tavrin", false, user),
              "C:\\Users\\ada\\AppData\\Roaming\\tavrin");
    // An administrator could write there; it stays the system's.
    EXPECT_EQ(ChooseProgramFolder("c:\\program files\\Tavrin", true, user),
              "C:\\Users\\ada\\AppData\\Roaming\\tavrin");
    EXPECT_EQ(ChooseProgramFolder("C:\\Program Files (x86)\\Tavrin", true, user),
              "C:\\Program Files (x86)\\Tavrin");
    EXPECT_EQ(ChooseProgramFolder("C:\\Program Files\\Tavrin", false, Environment({})),
              "C:\\Program Files\\Tavrin");
}

TEST(ProgramFolder, AWritableFolderIsFoundByTrying) {
    test::TempFolder folder;
    EXPECT_TRUE(FolderWritable(folder.Path("")));
    EXPECT_FALSE(FolderWritable(folder.Path("missing")));
    EXPECT_TRUE(folder.Names().empty());  // the probe leaves nothing behind
    const std::string chosen = ProgramFolder(folder.Path("missing\\tavrin.exe"),
                                             Environment({{"APPDATA", folder.Path("roaming")}}));
    EXPECT_EQ(chosen, folder.Path("roaming\\tavrin"));
    EXPECT_TRUE(std::filesystem::is_directory(chosen));
}
#endif

}  // namespace
}  // namespace tavrin
