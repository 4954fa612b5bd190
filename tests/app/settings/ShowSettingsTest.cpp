#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <fstream>
#include <sstream>

#include "app/commands/ShowSettings.h"
#include "app/delegate/StartAtLogin.h"
#include "app/support/AppTest.h"
#include "ui/conversation/Conversation.h"
#include "ui/settings/SettingsWindow.h"

namespace corvaline::testing {
namespace {

using ShowSettingsTest = AppTest;

ui::Conversation* openConversation(User& with) {
    with.StartConversation(false);
    return ui::Conversation::from(with.conversationWindow());
}

TEST_F(ShowSettingsTest, ThePageFollowsTheSender) {
    QAction plain(QStringLiteral("Settings"));
    QAction tagged(QStringLiteral("My Information"));
    tagged.setData(99);
    QObject tagProperty;
    tagProperty.setProperty("tag", 99);
    auto* window = openConversation(*user("A100000001"));
    ASSERT_NE(window, nullptr);
    QAction inConversation(window);

    EXPECT_EQ(app::settingsPageFor(&plain), QStringLiteral("General"));
    EXPECT_EQ(app::settingsPageFor(nullptr), QStringLiteral("General"));
    EXPECT_EQ(app::settingsPageFor(&tagged), QStringLiteral("User Info"));
    EXPECT_EQ(app::settingsPageFor(&tagProperty), QStringLiteral("User Info"));
    EXPECT_EQ(app::settingsPageFor(window), QStringLiteral("Messaging"));
    EXPECT_EQ(app::settingsPageFor(&inConversation), QStringLiteral("Messaging"));

    delegate_->ShowSettings(&tagged);
    auto* settings = delegate_->settings();
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(settings->isVisible());
    EXPECT_EQ(settings->currentTabName(), QStringLiteral("User Info"));
    delegate_->ShowSettings(&plain);
    EXPECT_EQ(delegate_->settings(), settings);  // one window per process
    EXPECT_EQ(settings->currentTabName(), QStringLiteral("General"));
}

TEST_F(ShowSettingsTest, TheConversationMenuOpensTheMessagingPage) {
    auto* window = openConversation(*user("A100000001"));
    ASSERT_NE(window, nullptr);
    QAction* entry = nullptr;
    for (QAction* action : window->conversationMenu()->actions()) {
        if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Comma)) {
            entry = action;
        }
    }
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text(), QStringLiteral("Settings\u2026"));

    delegate_->ShowSettings(nullptr);  // the window exists and shows another page
    ASSERT_EQ(delegate_->settings()->currentTabName(), QStringLiteral("General"));
    entry->trigger();
    EXPECT_TRUE(delegate_->settings()->isVisible());
    EXPECT_EQ(delegate_->settings()->currentTabName(), QStringLiteral("Messaging"));
}

TEST_F(ShowSettingsTest, StartAtLoginWritesAndRemovesTheAutostartEntry) {
    delegate_->ShowSettings(nullptr);
    auto* box = delegate_->settings()->startAtLogin();
    const auto entry = app::autostartEntry();
    EXPECT_EQ(entry.parent_path().filename(), "autostart");
    EXPECT_FALSE(box->isChecked());
    box->click();
    ASSERT_TRUE(std::filesystem::exists(entry));
    std::stringstream text;
    text << std::ifstream(entry).rdbuf();
    EXPECT_NE(text.str().find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.str().find("Exec=\""), std::string::npos);
    EXPECT_TRUE(app::startsAtLogin());
    box->click();
    EXPECT_FALSE(std::filesystem::exists(entry));
    app::setStartAtLogin(false);  // removing twice is harmless
    EXPECT_FALSE(app::startsAtLogin());
}

}  // namespace
}  // namespace corvaline::testing
