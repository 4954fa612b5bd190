#include "ui/conversation/TextViewForSending.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextLayout>

#include "core/model/defaults/DefaultsKeys.h"
#include "ui/conversation/EmojiCleanup.h"
#include "ui/support/ConversationTest.h"

namespace corvaline::testing {
namespace {

using ui::TextViewForSending;

class TextViewForSendingTest : public ConversationTest {
  protected:
    void SetUp() override {
        ConversationTest::SetUp();
        view_ = std::make_unique<TextViewForSending>();
        view_->setRecipients({[this] { return recipients_; }, [this] { return chat_; }, false});
    }

    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               const QString& text = {}) {
        QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(view_.get(), &down);
    }
    void type(const QString& text) {
        for (const QChar c : text) {
            press(0, Qt::NoModifier, QString(c));
        }
    }

    // The texts of the user's history, oldest first.
    static std::vector<std::string> sentTo(const User& user) {
        std::vector<std::string> texts;
        for (const auto& entry : user.lastLogEnties(0)) {
            texts.insert(texts.begin(), static_cast<const Message&>(*entry).message());
        }
        return texts;
    }

    std::unique_ptr<TextViewForSending> view_;
    std::vector<User*> recipients_;
    Chat* chat_ = nullptr;
};

TEST_F(TextViewForSendingTest, SendKeyFollowsTheSetting) {
    const struct {
        int setting;
        int key;
        Qt::KeyboardModifiers modifiers;
        bool sends;
    } cases[] = {
        {1, Qt::Key_Return, Qt::NoModifier, true},
        {1, Qt::Key_Return, Qt::ControlModifier, false},
        {1, Qt::Key_Enter, Qt::KeypadModifier, true},
        {1, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier, false},
        {0, Qt::Key_Return, Qt::NoModifier, false},
        {0, Qt::Key_Return, Qt::ControlModifier, true},
        {0, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier, true},
        {0, Qt::Key_Enter, Qt::KeypadModifier, false},
    };
    recipients_ = {ann_.get()};
    std::size_t sent = 0;
    for (const auto& c : cases) {
        setDefault(std::string(defaults::kSendMessageKey), c.setting);
        view_->setPlainText(QStringLiteral("hi"));
        view_->moveCursor(QTextCursor::End);
        press(c.key, c.modifiers);
        sent += c.sends ? 1 : 0;
        EXPECT_EQ(sentTo(*ann_).size(), sent) << c.setting << " " << c.key;
        EXPECT_EQ(view_->toPlainText(), c.sends ? QString() : QStringLiteral("hi\n"))
            << c.setting << " " << c.key;
    }
}

TEST_F(TextViewForSendingTest, LongTextsGoInPiecesToTheUserOrTheChat) {
    recipients_ = {ann_.get()};
    const QString text = QString(10000, u'a') + QString(10000, u'b') + QString(5000, u'c');
    view_->setPlainText(text);
    view_->sendMessage();
    // Compared by their sizes and first letters: a failure should not print 25000 letters.
    std::vector<std::pair<std::size_t, char>> pieces;
    for (const auto& piece : sentTo(*ann_)) {
        pieces.emplace_back(piece.size(), piece.front());
    }
    EXPECT_EQ(pieces,
              (std::vector<std::pair<std::size_t, char>>{{10000, 'a'}, {10000, 'b'}, {5000, 'c'}}));
    EXPECT_TRUE(view_->toPlainText().isEmpty());

    auto chat = Chat::createWithUsers({ann_, bob_}, std::nullopt);
    chat_ = chat.get();
    recipients_ = {ann_.get(), bob_.get()};
    view_->setPlainText(QString(10001, u'x'));
    view_->sendMessage();
    EXPECT_EQ(chat->logEntriesNumber(), 2u);
    EXPECT_EQ(sentTo(*ann_).size(), 3u);  // nothing more in the private history
}

TEST_F(TextViewForSendingTest, TheTextGoesAsTypedNoBreakSpacesIncluded) {
    recipients_ = {ann_.get()};
    // No-break and narrow no-break spaces, a line break, a thin space and a tab pasted in.
    type(QStringLiteral("10\u00a0km \u00e0\u202f7\u00a0h"));
    press(Qt::Key_Return, Qt::ControlModifier);
    type(QStringLiteral("ok\u2009!"));
    view_->insertPlainText(QStringLiteral("\tend"));
    press(Qt::Key_Return);
    EXPECT_EQ(sentTo(*ann_),
              std::vector<std::string>{"10\u00a0km \u00e0\u202f7\u00a0h\nok\u2009!\tend"});
}

TEST_F(TextViewForSendingTest, EmptyTextSendsNothing) {
    recipients_ = {ann_.get()};
    view_->sendMessage();
    press(Qt::Key_Return);
    EXPECT_TRUE(sentTo(*ann_).empty());
}

TEST_F(TextViewForSendingTest, TypingNoticeFromTheSecondCharacterOfAOneUserConversation) {
    recipients_ = {ann_.get()};
    type(QStringLiteral("h"));
    EXPECT_TRUE(presence_.typingTo.empty());
    type(QStringLiteral("i"));
    EXPECT_EQ(presence_.typingTo, std::vector<std::string>{"A100000001"});

    view_->clear();
    presence_.typingTo.clear();
    advance(3);
    recipients_ = {ann_.get(), bob_.get()};
    type(QStringLiteral("hey"));
    EXPECT_TRUE(presence_.typingTo.empty());
}

TEST_F(TextViewForSendingTest, DroppedFilesGoOnlyToOneOnlineUser) {
    std::vector<std::string> started;
    view_->setFileSender([&](const std::vector<std::filesystem::path>& paths, User& to) {
        started.push_back(to.userId() + " " + paths.front().string());
        return true;
    });
    auto chat = Chat::createWithUsers({ann_, bob_}, std::nullopt);
    const struct {
        std::vector<User*> recipients;
        Chat* chat;
        bool starts;
    } cases[] = {
        {{ann_.get()}, nullptr, true},
        {{eve_.get()}, nullptr, false},  // offline
        {{ann_.get(), bob_.get()}, chat.get(), false},
    };
    for (const auto& c : cases) {
        recipients_ = c.recipients;
        chat_ = c.chat;
        started.clear();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.txt"))});
        EXPECT_EQ(view_->performFileDrop(&data), c.starts);
        EXPECT_EQ(started.size(), c.starts ? 1u : 0u);
    }
}

TEST_F(TextViewForSendingTest, EmojiCleanUpKeepsTheCursor) {
    const QString thumbs = QString::fromUcs4(U"\U0001F44D");
    const QString tone = QString::fromUcs4(U"\U0001F3FD");
    const QString germany = QString::fromUcs4(U"\U0001F1E9\U0001F1EA");
    const QString notInTable = QString::fromUcs4(U"\U0001F1FF\U0001F1FF");
    const QString rainbow = QString::fromUcs4(U"\U0001F3F3\uFE0F\u200D\U0001F308");
    const QString black = ui::EmojiCleanup::wavingBlackFlag();
    const struct {
        QString typed;
        QString shown;
    } cases[] = {
        {thumbs + tone, thumbs},
        {QStringLiteral("a") + germany + QStringLiteral("b"), QStringLiteral("a") + black + "b"},
        {notInTable, notInTable},
        {rainbow, black},
        {QStringLiteral("plain text"), QStringLiteral("plain text")},
    };
    for (const auto& c : cases) {
        view_->clear();
        type(QStringLiteral("xy"));
        view_->moveCursor(QTextCursor::Start);
        view_->moveCursor(QTextCursor::NextCharacter);
        view_->insertPlainText(c.typed);
        EXPECT_EQ(view_->toPlainText(), QStringLiteral("x") + c.shown + QStringLiteral("y"));
        EXPECT_EQ(view_->textCursor().position(), 1 + c.shown.size());
    }
    EXPECT_EQ(ui::EmojiCleanup::flagSequences().size(), 247);
}

TEST_F(TextViewForSendingTest, SpellingToggleIsStoredAndUnderlinesMisspeltWords) {
    view_->setContinuousSpellCheckingEnabled(true);
    view_->setPlainText(QStringLiteral("helo world"));
    const auto underlined = [this] {
        for (const auto& range : view_->document()->firstBlock().layout()->formats()) {
            if (range.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline) {
                return view_->toPlainText().mid(range.start, range.length);
            }
        }
        return QString();
    };
    EXPECT_EQ(underlined(), QStringLiteral("helo"));
    EXPECT_TRUE(UserDefaults::standard().boolForKey(defaults::kContinuousSpellCheckingEnabled));

    view_->setContinuousSpellCheckingEnabled(false);
    EXPECT_TRUE(underlined().isEmpty());
    EXPECT_FALSE(UserDefaults::standard().boolForKey(defaults::kContinuousSpellCheckingEnabled));

    view_->setGrammarCheckingEnabled(true);
    view_->setAutomaticSpellingCorrectionEnabled(true);
    EXPECT_TRUE(UserDefaults::standard().boolForKey(defaults::kGrammarCheckingEnabled));
    EXPECT_TRUE(UserDefaults::standard().boolForKey(defaults::kAutomaticSpellingCorrectionEnabled));
    for (auto key : {defaults::kContinuousSpellCheckingEnabled, defaults::kGrammarCheckingEnabled,
                     defaults::kAutomaticSpellingCorrectionEnabled}) {
        UserDefaults::standard().removeObject(key);
    }
}

}  // namespace
}  // namespace corvaline::testing
