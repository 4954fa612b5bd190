#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "platform/paths/Folders.h"
#include "platform/paths/OsRelease.h"
#include "platform/paths/Tilde.h"
#include "platform/paths/UserDirs.h"
#include "support/FakeEnvironment.h"
#include "support/TempFolder.h"

namespace corvaline {
namespace {

TEST(PathsTest, TildeExpandsAndAbbreviates) {
    EXPECT_EQ(expandTilde("~/Downloads/Corvaline", "/home/ann"), "/home/ann/Downloads/Corvaline");
    EXPECT_EQ(expandTilde("~", "/home/ann/"), "/home/ann");
    EXPECT_EQ(expandTilde("/srv/~/x", "/home/ann"), "/srv/~/x");
    EXPECT_EQ(expandTilde("~/x", "/"), "/x");
    EXPECT_EQ(abbreviateWithTilde("/home/ann/Downloads", "/home/ann"), "~/Downloads");
    EXPECT_EQ(abbreviateWithTilde("/home/ann", "/home/ann/"), "~");
    EXPECT_EQ(abbreviateWithTilde("/home/anna/x", "/home/ann"), "/home/anna/x");
    EXPECT_EQ(abbreviateWithTilde("/x", "/"), "/x");
}

TEST(PathsTest, FoldersFollowTheEnvironment) {
    std::map<std::string, std::string> vars = {{"HOME", "/home/ann"}};
    auto env = testing::fakeEnvironment(vars);
    EXPECT_EQ(applicationSupportFolder(env), "/home/ann/.local/share");
    EXPECT_EQ(configFolder(env), "/home/ann/.config");
    EXPECT_EQ(sandboxContainerFolder(env), "/home/ann/.var/app/com.tarvelo.Corvaline/data");
    EXPECT_FALSE(hasSandboxContainerId(env));

    vars["XDG_DATA_HOME"] = "/data";
    vars["XDG_CONFIG_HOME"] = "relative/ignored";
    vars["APP_SANDBOX_CONTAINER_ID"] = "";
    env = testing::fakeEnvironment(vars);
    EXPECT_EQ(applicationSupportFolder(env), "/data");
    EXPECT_EQ(configFolder(env), "/home/ann/.config");
    EXPECT_TRUE(hasSandboxContainerId(env));
}

TEST(PathsTest, UserDirsFileNamesFoldersBelowHomeOrAbsolute) {
    const struct {
        const char* text;
        std::optional<std::filesystem::path> folder;
    } cases[] = {
        {"XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n", "/home/ann/Downloads"},
        {"# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
         "XDG_DOWNLOAD_DIR=\"$HOME/T\u00e9l\u00e9chargements\"\r\n",
         "/home/ann/T\u00e9l\u00e9chargements"},
        {"  XDG_DOWNLOAD_DIR = \"/srv/inbox\"", "/srv/inbox"},
        {"XDG_DOWNLOAD_DIR=\"$HOME\"", "/home/ann"},
        {"XDG_DOWNLOAD_DIR=\"$HOME/\"", "/home/ann"},
        {"XDG_DOWNLOAD_DIR=\"$HOME/My \\\"Files\\\"\"", "/home/ann/My \"Files\""},
        {"XDG_DOWNLOAD_DIR=\"/a\"\nXDG_DOWNLOAD_DIR=\"/b\"", "/b"},        // the last wins
        {"XDG_DOWNLOAD_DIR=\"/a\"\nXDG_DOWNLOAD_DIR=\"relative\"", "/a"},  // ignored
        {"XDG_DOWNLOAD_DIR=\"$HOMEWORK/x\"", std::nullopt},
        {"XDG_DOWNLOAD_DIR=\"Downloads\"", std::nullopt},
        {"XDG_DOWNLOAD_DIR=$HOME/Downloads", std::nullopt},  // unquoted
        {"XDG_DOWNLOAD_DIR=\"/unclosed", std::nullopt},
        {"#XDG_DOWNLOAD_DIR=\"/commented\"", std::nullopt},
        {"XDG_DOWNLOAD_DIRS=\"/other\"", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(userDirIn(c.text, "XDG_DOWNLOAD_DIR", "/home/ann"), c.folder) << c.text;
    }
}

TEST(PathsTest, DownloadFolderFromTheEnvironmentThenUserDirsThenDownloads) {
    testing::TempFolder home;
    const auto config = home.path() / "config";
    std::map<std::string, std::string> vars = {{"HOME", home.path().string()}};
    const auto folder = [&] { return downloadFolder(testing::fakeEnvironment(vars)); };
    EXPECT_EQ(folder(), home.path() / "Downloads");

    std::filesystem::create_directories(home.path() / ".config");
    std::ofstream(home.path() / ".config/user-dirs.dirs") << "XDG_DOWNLOAD_DIR=\"$HOME/Usual\"\n";
    EXPECT_EQ(folder(), home.path() / "Usual");
    vars["XDG_CONFIG_HOME"] = config.string();
    EXPECT_EQ(folder(), home.path() / "Usual") << "no file in $XDG_CONFIG_HOME";
    std::filesystem::create_directories(config);
    std::ofstream(config / "user-dirs.dirs") << "XDG_DOWNLOAD_DIR=\"$HOME/Mine\"\n";
    EXPECT_EQ(folder(), home.path() / "Mine");

    vars["XDG_DOWNLOAD_DIR"] = "/srv/inbox";
    EXPECT_EQ(folder(), "/srv/inbox");
    vars["XDG_DOWNLOAD_DIR"] = "$HOME/Env";
    EXPECT_EQ(folder(), home.path() / "Env");
    vars["XDG_DOWNLOAD_DIR"] = "relative";
    EXPECT_EQ(folder(), home.path() / "Mine") << "a relative value counts as unset";
}

TEST(PathsTest, WritableFolderMustExistAndBeAFolder) {
    testing::TempFolder folder;
    std::ofstream(folder.path() / "file") << "x";
    EXPECT_TRUE(isWritableFolder(folder.path()));
    EXPECT_FALSE(isWritableFolder(folder.path() / "absent"));
    EXPECT_FALSE(isWritableFolder(folder.path() / "file"));
}

TEST(PathsTest, PrettyNameOfOsRelease) {
    EXPECT_EQ(prettyNameIn("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(prettyNameIn("PRETTY_NAME=Arch\r\n"), "Arch");
    EXPECT_EQ(prettyNameIn("PRETTY_NAME='A \"B\"'"), "A \"B\"");
    EXPECT_EQ(prettyNameIn("PRETTY_NAME=\"Say \\\"hi\\\"\""), "Say \"hi\"");
    EXPECT_EQ(prettyNameIn("NAME=x\n"), "");
}

}  // namespace
}  // namespace corvaline
