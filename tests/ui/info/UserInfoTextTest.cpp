#include <gtest/gtest.h>

#include <QTextDocument>
#include <QWidget>

#include "platform/locale/DurationFormat.h"
#include "ui/info/IntervalText.h"
#include "ui/info/UserInfoText.h"
#include "ui/support/ConversationTest.h"

namespace corvaline::testing {
namespace {

using ui::IntervalText;
using ui::UserInfoText;
using Line = UserInfoText::Line;
using Tab = UserInfoText::Tab;

class UserInfoTextTest : public ConversationTest {
  protected:
    // A user with nothing but an id.
    std::shared_ptr<User> bare() {
        auto user = context_->insert<User>();
        user->setUserId("A200000009");
        return user;
    }

    std::vector<Line> lines(const User& user, Tab tab) {
        return UserInfoText::lines(user, tab, now());
    }

    // The line of the label, or an empty value when there is none.
    QString valueOf(const User& user, Tab tab, const QString& label) {
        for (const auto& line : lines(user, tab)) {
            if (line.label == label) {
                return line.value;
            }
        }
        return {};
    }
};

TEST_F(UserInfoTextTest, AUserWithOnlyAnIdHasTheIdLineAlone) {
    auto user = bare();
    EXPECT_EQ(lines(*user, Tab::Personal), (std::vector<Line>{{"ID", "A200000009"}}));
    EXPECT_TRUE(lines(*user, Tab::System).empty());

    user->setValue("firstName", std::string("*"));
    user->setValue("department", std::string());
    EXPECT_EQ(lines(*user, Tab::Personal).size(), 1u);
}

TEST_F(UserInfoTextTest, StatusIsNamedAndOfflineShowsHowLongAgo) {
    EXPECT_EQ(valueOf(*ann_, Tab::Personal, "Status"), "Available");
    ann_->setStatus("2");
    EXPECT_EQ(valueOf(*ann_, Tab::Personal, "Status"), "Away");
    ann_->setValue("status", std::string("7"));  // a code of no status is shown as it is
    EXPECT_EQ(valueOf(*ann_, Tab::Personal, "Status"), "7");

    eve_->setSeenLastTime(now() - std::chrono::seconds(90));
    EXPECT_EQ(valueOf(*eve_, Tab::Personal, "Status"),
              QStringLiteral("Offline (%1)").arg(IntervalText::ParceInterval(90)));
    eve_->setSeenLastTime(now() - std::chrono::seconds(30));
    EXPECT_EQ(valueOf(*eve_, Tab::Personal, "Status"), "Offline (less than 1 minute)");
}

TEST_F(UserInfoTextTest, IdleTimeIsReadAsMillisecondsOf64Bits) {
    const struct {
        const char* idle;
        double seconds;
    } cases[] = {
        {"59999", 59},
        {"3600000", 3600},
        {"5000000000", 5000000},  // past 32 bits
        {"-5", 0},
    };
    for (const auto& c : cases) {
        ann_->setValue("idleTime", std::string(c.idle));
        EXPECT_EQ(valueOf(*ann_, Tab::Personal, "Idle time"),
                  IntervalText::ParceInterval(c.seconds))
            << c.idle;
    }
    ann_->setValue("idleTime", std::string("30000"));
    EXPECT_EQ(valueOf(*ann_, Tab::Personal, "Idle time"), "less than 1 minute");
}

TEST_F(UserInfoTextTest, TerminalServerLines) {
    auto user = bare();
    user->setValue("isOnTS", std::string("0"));
    EXPECT_EQ(valueOf(*user, Tab::System, "Connection type"), "Stand-alone client");
    user->setValue("isOnTS", std::string("1"));
    EXPECT_EQ(valueOf(*user, Tab::System, "Connection type"), "Terminal client");

    user->setValue("tsClientIP", std::string("10.0.0.5"));
    user->setValue("tsClientPCname", std::string("WS7"));
    user->setValue("tsServerIP", std::string("10.0.0.1"));
    EXPECT_EQ(valueOf(*user, Tab::System, "Terminal server client IP address"),
              "10.0.0.5 (WS7) connected via 10.0.0.1");

    const struct {
        const char* state;
        const char* shown;  // empty: no line
    } states[] = {
        {"4", "Disconnected"}, {"1", "Connected"}, {"9", "Initializing"}, {"0", ""},
        {"abc", ""},           {"12", "12"},       {"-3", "-3"},
    };
    for (const auto& s : states) {
        user->setValue("tsConnectionState", std::string(s.state));
        EXPECT_EQ(valueOf(*user, Tab::System, "Terminal server client status"), s.shown) << s.state;
    }
}

TEST_F(UserInfoTextTest, DocumentHasBoldLabelsAndNoBreakAtEitherEnd) {
    auto user = bare();
    user->setValue("isOnTS", std::string("1"));
    user->setValue("tsConnectionState", std::string("0"));  // last key, adds no line
    user->setValue("pc", std::string("ws-7"));
    QTextDocument document;
    UserInfoText::write(document, lines(*user, Tab::System));
    EXPECT_EQ(document.toPlainText(), "Computer name: ws-7\nConnection type: Terminal client");
    QTextCursor cursor(document.firstBlock());
    cursor.movePosition(QTextCursor::NextCharacter);
    EXPECT_EQ(cursor.charFormat().fontWeight(), QFont::Bold);
    cursor.movePosition(QTextCursor::EndOfBlock);
    EXPECT_NE(cursor.charFormat().fontWeight(), QFont::Bold);

    UserInfoText::write(document, {});
    EXPECT_TRUE(document.isEmpty());
}

TEST(IntervalTextTest, FallbacksAndLocaleWords) {
    const struct {
        std::int64_t seconds;
        const char* english;
        const char* other;
    } cases[] = {
        {86400 + 3600 + 60 + 1, "1 day, 1 hour, 1 minute", "1 day(s), 1 hour(s), 1 minute(s)"},
        {2 * 3600 + 60, "2 hours, 1 minute", "2 hour(s), 1 minute(s)"},
        {2 * 86400, "2 days", "2 day(s), 0 hour(s), 0 minute(s)"},
        {3660, "1 hour, 1 minute", "1 hour(s), 1 minute(s)"},
        {600, "10 minutes", "10 minutes"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IntervalText::englishInterval(c.seconds), c.english) << c.seconds;
        EXPECT_EQ(IntervalText::otherLanguageInterval(c.seconds), c.other) << c.seconds;
    }
    EXPECT_EQ(IntervalText::ParceInterval(59.9), "less than 1 minute");
    EXPECT_EQ(DurationFormat::format(1, 1, 1, "en"), "1 day, 1 hour, 1 minute");
    EXPECT_EQ(DurationFormat::format(0, 2, 0, "en"), "2 hours");
    EXPECT_EQ(DurationFormat::format(0, 0, 0, "en"), "0 minutes");
    EXPECT_EQ(DurationFormat::format(0, 1, 0, "de"), "1 Stunde");
}

}  // namespace
}  // namespace corvaline::testing
