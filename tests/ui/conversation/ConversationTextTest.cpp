#include "ui/conversation/ConversationText.h"

#include <QTextBlock>
#include <QTextEdit>

#include "core/model/defaults/DefaultsKeys.h"
#include "ui/format/DateText.h"
#include "ui/format/ScreenPoints.h"
#include "ui/support/ConversationTest.h"

namespace corvaline::testing {
namespace {

using ui::ConversationText;
using ui::LineKind;

class ConversationTextTest : public ConversationTest {
  protected:
    void SetUp() override {
        ConversationTest::SetUp();
        text_.updateParagraphs(ui::withScreenPoints(view_.font(), 18));
    }

    QString plain() const { return view_.toPlainText(); }
    // The format of the first character of the line that starts with `start`.
    QTextCharFormat formatOfLine(const QString& start) const {
        for (auto block = view_.document()->begin(); block.isValid(); block = block.next()) {
            if (block.text().startsWith(start)) {
                QTextCursor cursor(block);
                cursor.movePosition(QTextCursor::NextCharacter);
                return cursor.charFormat();
            }
        }
        ADD_FAILURE() << start.toStdString();
        return {};
    }
    QTextBlockFormat paragraphOfLine(const QString& start) const {
        for (auto block = view_.document()->begin(); block.isValid(); block = block.next()) {
            if (block.text().startsWith(start)) {
                return block.blockFormat();
            }
        }
        ADD_FAILURE() << start.toStdString();
        return {};
    }
    static QString stamp(Date when, bool forceDay) {
        return ui::DateText::format(QDateTime::fromMSecsSinceEpoch(
                                        std::chrono::duration_cast<std::chrono::milliseconds>(
                                            when.time_since_epoch())
                                            .count()),
                                    forceDay) +
               QStringLiteral(" - ");
    }

    QTextEdit view_;
    ConversationText text_{view_};
};

TEST_F(ConversationTextTest, FirstLineHasNoBreakAndLaterLinesStartWithOne) {
    text_.addText(QStringLiteral("one"), LineKind::MessageText);
    text_.addText(QStringLiteral("two"), LineKind::MessageText);
    EXPECT_EQ(plain(), QStringLiteral("one\ntwo"));
}

TEST_F(ConversationTextTest, StatusLineIsReplacedWhileItIsTheLastLine) {
    // First line: replaced without a leading break.
    text_.addText(QStringLiteral("Ann is away"), LineKind::Status);
    text_.addText(QStringLiteral("Ann is available"), LineKind::Status);
    EXPECT_EQ(plain(), QStringLiteral("Ann is available"));
    EXPECT_EQ(text_.statusLinePosition(), 0);

    text_.addText(QStringLiteral("hello"), LineKind::MessageText);
    EXPECT_EQ(text_.statusLinePosition(), -1);
    text_.addText(QStringLiteral("Ann is busy"), LineKind::Status);
    text_.addText(QStringLiteral("Ann is away"), LineKind::Status);
    EXPECT_EQ(plain(), QStringLiteral("Ann is available\nhello\nAnn is away"));
}

TEST_F(ConversationTextTest, MessageHeadersCarryTheLabelOfTheirFlags) {
    const struct {
        bool offline;
        bool mass;
        QString header;
    } cases[] = {
        {true, true, QStringLiteral("Ann (Broadcast offline message):")},
        {true, false, QStringLiteral("Ann (Offline message):")},
        {false, true, QStringLiteral("Ann (Broadcast message):")},
        {false, false, QStringLiteral("Ann:")},
    };
    for (const auto& c : cases) {
        auto message = addMessage(*ann_, "hi");
        message->setOffline(c.offline);
        message->setMass(c.mass);
        text_.clear();
        text_.addMessage(*message);
        EXPECT_EQ(plain(), stamp(*message->time(), true) + c.header + QStringLiteral("\nhi"));
    }
    // An outgoing message names the local user.
    auto mine = addMessage(*ann_, "yo", false);
    text_.clear();
    text_.addMessage(*mine);
    EXPECT_TRUE(plain().contains(QString::fromStdString(userList_->me()->name()) + ":\nyo"));
}

TEST_F(ConversationTextTest, MessageTextIsIndentedBlackAndWithoutStamp) {
    auto message = addMessage(*ann_, "first line\nsecond line");
    text_.addMessage(*message);
    EXPECT_EQ(paragraphOfLine(QStringLiteral("first")).leftMargin(), 18.0);
    EXPECT_EQ(paragraphOfLine(QStringLiteral("second")).leftMargin(), 18.0);
    EXPECT_EQ(formatOfLine(QStringLiteral("first")).foreground().color(),
              view_.palette().color(QPalette::Text));
    EXPECT_TRUE(plain().endsWith(QStringLiteral(":\nfirst line\nsecond line")));
    EXPECT_EQ(paragraphOfLine(stamp(*message->time(), true)).leftMargin(), 0.0);
}

TEST_F(ConversationTextTest, SystemLinesAreGreyOrRed) {
    auto context = AppManagedObjectContext();
    auto grey = SystemMessage::addText(*context, "plain line", nullptr, ann_.get(), false);
    auto red = SystemMessage::addText(*context, "error line", nullptr, ann_.get(), true);
    text_.addSystemMessage(*grey);
    text_.addSystemMessage(*red);
    const QString greyStamp = stamp(*grey->time(), true);
    EXPECT_EQ(plain(), greyStamp + "plain line\n" + stamp(*red->time(), true) + "error line");
    EXPECT_EQ(formatOfLine(greyStamp + "plain").foreground().color(), QColor(Qt::gray));
    EXPECT_EQ(formatOfLine(stamp(*red->time(), true) + "error").foreground().color(),
              QColor(Qt::red));
}

TEST_F(ConversationTextTest, WithoutDisplayTimeTodayShowsTheTimeOnly) {
    setDefault(std::string(defaults::kDisplayTime), false);
    auto today = addMessage(*ann_, "now");
    auto yesterday = addMessage(*ann_, "then", true, 24 * 3600);
    text_.addMessage(*yesterday);
    text_.addMessage(*today);
    // Yesterday's stamp has the date as well; today's only the time.
    const QString todayStamp = stamp(*today->time(), false);
    EXPECT_EQ(stamp(*yesterday->time(), false), stamp(*yesterday->time(), true));
    EXPECT_LT(todayStamp.size(), stamp(*today->time(), true).size());
    EXPECT_TRUE(plain().startsWith(stamp(*yesterday->time(), true) + "Ann:"));
    EXPECT_TRUE(plain().contains("\n" + todayStamp + "Ann:"));
}

TEST_F(ConversationTextTest, PeerTextIsPlainWithLinksOnlyForWebAndMail) {
    auto message = addMessage(*ann_,
                              "<b>bold</b> see https://example.org/a?b=1. or mailto:x@y.org, "
                              "not javascript:alert(1) nor ftp://host/f");
    text_.addMessage(*message);
    EXPECT_TRUE(plain().contains(QStringLiteral("<b>bold</b> see https://example.org/a?b=1.")));
    QStringList links;
    for (auto block = view_.document()->begin(); block.isValid(); block = block.next()) {
        for (auto part = block.begin(); !part.atEnd(); ++part) {
            if (part.fragment().charFormat().isAnchor()) {
                links.append(part.fragment().charFormat().anchorHref());
            }
        }
    }
    EXPECT_EQ(links, (QStringList{QStringLiteral("https://example.org/a?b=1"),
                                  QStringLiteral("mailto:x@y.org")}));
}

}  // namespace
}  // namespace corvaline::testing
