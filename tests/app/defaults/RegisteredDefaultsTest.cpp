#include "app/defaults/RegisteredDefaults.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>

#include "platform/locale/PreferredLanguages.h"
#include "support/FakeEnvironment.h"
#include "support/TempFolder.h"

namespace corvaline {
namespace {

TEST(RegisteredDefaultsTest, EncodingFollowsThePreferredLanguagesOfTheEnvironment) {
    struct Case {
        std::map<std::string, std::string> env;
        unsigned encoding;
    };
    const std::vector<Case> cases = {
        {{{"LANGUAGE", "ru_RU:en_US"}}, 11},
        {{{"LANGUAGE", "en_GB:de_DE"}, {"LANG", "ru_RU.UTF-8"}}, 12},
        {{{"LANGUAGE", "pl_PL:ru_RU"}}, 11},
        {{{"LANGUAGE", "ru_RU.UTF-8:de_DE.UTF-8"}}, 11},
        {{{"LANG", "el.UTF-8"}}, 13},
        {{{"LC_ALL", "el_GR.UTF-8"}, {"LANG", "el"}}, 12},
        {{{"LC_MESSAGES", "sr_RS.UTF-8@latin"}}, 15},
        {{{"LANGUAGE", "sr-Cyrl-RS"}}, 12},
        {{{"LANG", "sr_RS.UTF-8"}}, 11},
        {{{"LANGUAGE", "sr"}}, 11},
        {{{"LC_ALL", "tr_TR.UTF-8"}}, 14},
        {{{"LANG", "C.UTF-8"}}, 12},
    };
    for (const auto& c : cases) {
        const auto languages = preferredLanguages(testing::fakeEnvironment(c.env));
        const auto defaults = applicationDefaults(languages);
        EXPECT_EQ(defaults.at("encoding"), c.encoding) << ::testing::PrintToString(c.env);
        EXPECT_TRUE(defaults.at("encoding").is_number_unsigned());
    }
}

TEST(RegisteredDefaultsTest, RegistersEveryKey) {
    testing::TempFolder folder;
    UserDefaults defaults(folder.path() / "defaults.json");
    registerApplicationDefaults(defaults, {});
    EXPECT_EQ(applicationDefaults({}).size(), 28u);
    EXPECT_EQ(defaults.integerForKey("fontSize"), 18);
    EXPECT_TRUE(defaults.boolForKey("sreensaverAwayEnabled"));
    EXPECT_FALSE(defaults.boolForKey("keepFocus"));
    // Super (the Command flag) + Shift + S: Control+Shift+S stays with the focused program.
    EXPECT_EQ(defaults.arrayForKey("hotKey"), nlohmann::json::array({0x120000, 1}));
    EXPECT_EQ(defaults.stringForKey("busyMessage"), "I am busy now. Please do not disturb me.");
}

TEST(RegisteredDefaultsTest, ReceivedFilesGoToTheProductFolderInTheUsersDownloadFolder) {
    testing::TempFolder home;
    std::filesystem::create_directories(home.path() / ".config");
    const struct {
        std::optional<std::string> environment;
        std::optional<std::string> userDirsFile;
        std::string path;
    } cases[] = {
        {std::nullopt, std::nullopt, "~/Downloads/Corvaline"},
        {std::nullopt, "XDG_DOWNLOAD_DIR=\"$HOME/T\u00e9l\u00e9chargements\"\n",
         "~/T\u00e9l\u00e9chargements/Corvaline"},
        {"/srv/inbox", "XDG_DOWNLOAD_DIR=\"$HOME/Files\"\n", "/srv/inbox/Corvaline"},
        {(home.path() / "Incoming").string(), std::nullopt, "~/Incoming/Corvaline"},
    };
    for (const auto& c : cases) {
        std::map<std::string, std::string> vars = {{"HOME", home.path().string()}};
        if (c.environment) {
            vars["XDG_DOWNLOAD_DIR"] = *c.environment;
        }
        std::filesystem::remove(home.path() / ".config/user-dirs.dirs");
        if (c.userDirsFile) {
            std::ofstream(home.path() / ".config/user-dirs.dirs") << *c.userDirsFile;
        }
        const auto env = testing::fakeEnvironment(vars);
        EXPECT_EQ(applicationDefaults({}, env).at("fileTransferPath"), c.path) << c.path;
    }
}

TEST(RegisteredDefaultsTest, AStoredShortcutIsKeptAsTheUserChoseIt) {
    testing::TempFolder folder;
    const auto file = folder.path() / "defaults.json";
    // The former default among them: a stored value is the user's, whatever it was.
    for (const auto& chosen :
         {nlohmann::json::array({0x60000, 1}), nlohmann::json::array({0x180000, 49})}) {
        UserDefaults(file).setObject("hotKey", chosen);
        UserDefaults defaults(file);
        registerApplicationDefaults(defaults, {});
        EXPECT_EQ(defaults.arrayForKey("hotKey"), chosen);
    }
}

TEST(RegisteredDefaultsTest, MissingReceivedFilesFolderIsResetAtTheNextStart) {
    testing::TempFolder folder;
    const auto env = testing::fakeEnvironment(
        {{"HOME", folder.path().string()}, {"XDG_DOWNLOAD_DIR", "$HOME/Incoming"}});
    const auto file = folder.path() / "defaults.json";
    const auto received = folder.path() / "Received";
    std::filesystem::create_directory(received);
    {
        UserDefaults defaults(file);
        registerApplicationDefaults(defaults, {}, env);
        defaults.setString("fileTransferPath", received.string());
    }
    {
        UserDefaults defaults(file);
        registerApplicationDefaults(defaults, {}, env);
        EXPECT_EQ(defaults.stringForKey("fileTransferPath"), received.string());
    }
    std::filesystem::remove(received);
    {
        UserDefaults defaults(file);
        registerApplicationDefaults(defaults, {}, env);
        EXPECT_EQ(defaults.stringForKey("fileTransferPath"), "~/Incoming/Corvaline");
    }
    EXPECT_EQ(UserDefaults(file).objectForKey("fileTransferPath"), "~/Incoming/Corvaline")
        << "the reset is stored";
}

}  // namespace
}  // namespace corvaline
