#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "platform/paths/Folders.h"
#include "platform/paths/OsRelease.h"
#include "platform/paths/Tilde.h"
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
