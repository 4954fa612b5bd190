#include "ui/conversation/Conversation.h"

#include <QFocusEvent>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTreeView>
#include "ui/roster/RosterModel.h"

#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/Chat.h"
#include "platform/notifications/NotificationCenter.h"
#include "ui/conversation/InviteSheet.h"
#include "ui/conversation/TextViewForReading.h"
#include "ui/selection/CheckBoxSubClass.h"
#include "ui/support/ConversationTest.h"
#include "ui/support/Mnemonics.h"

namespace corvaline::testing {
namespace {

using ui::Conversation;

class ConversationWindowTest : public ConversationTest {
  protected:
    // A one-user window as the core opens it: held by the user.
    Conversation* openWith(User& user, bool incoming = false) {
        auto held = Conversation::open({&user}, nullptr, incoming, {});
        user.setConversationWindow(held);
        return Conversation::from(held);
    }
    Conversation* openChat(std::vector<User*> users) {
        auto held = Conversation::open(users, nullptr, false, {});
        return Conversation::from(held);
    }

    static QStringList historyLines(const Conversation& window) {
        return lines(*window.conversationTextView()->document());
    }
    // The message texts shown, in order ("m1", "m2", ...).
    static QStringList shownMessages(const Conversation& window) {
        return historyLines(window).filter(QRegularExpression(QStringLiteral("^m\\d+$")));
    }
    std::size_t sentOf(const std::string& command) const {
        return std::count_if(messages_.sent.begin(), messages_.sent.end(),
                             [&](const auto& sent) { return sent.packet.text(0) == command; });
    }
};

TEST_F(ConversationWindowTest, ShowsTheRecentEntries) {
    const struct {
        int entries;
        bool displayRecent;
        bool incoming;
        int shown;
        const char* first;
    } cases[] = {
        {5, true, false, 5, "m1"},      {30, true, false, 20, "m11"}, {30, true, true, 21, "m10"},
        {30, false, false, 0, nullptr}, {30, false, true, 1, "m30"},
    };
    for (const auto& c : cases) {
        auto user = makeUser("B" + std::to_string(c.entries) + std::to_string(c.incoming) +
                                 std::to_string(c.displayRecent),
                             "Zoe", "0");
        for (int at = 1; at <= c.entries; ++at) {
            addMessage(*user, "m" + std::to_string(at), true, c.entries - at);
        }
        setDefault(std::string(defaults::kDisplayRecent), c.displayRecent);
        auto* window = openWith(*user, c.incoming);
        const auto shown = shownMessages(*window);
        EXPECT_EQ(shown.size(), c.shown) << c.entries << c.incoming << c.displayRecent;
        if (c.first) {
            EXPECT_EQ(shown.value(0).toStdString(), c.first);
            EXPECT_EQ(shown.last().toStdString(), "m" + std::to_string(c.entries));
        }
        // The status line ends the text.
        EXPECT_EQ(historyLines(*window).last(), QStringLiteral("Zoe is available"));
        delete window;
    }
}

TEST_F(ConversationWindowTest, AWindowOpenedMinimisedForAnIncomingMessageIsFilled) {
    setDefault(std::string(defaults::kMinimizeMessages), 1);
    addMessage(*ann_, "m1");
    auto* window = openWith(*ann_, true);
    EXPECT_TRUE(window->isMinimized());
    EXPECT_EQ(shownMessages(*window), QStringList{"m1"});
}

TEST_F(ConversationWindowTest, NewEntriesAppearOnceAndRemovedOnesNeverFetchANegativeCount) {
    for (int at = 1; at <= 5; ++at) {
        addMessage(*ann_, "m" + std::to_string(at), true, 10 - at);
    }
    auto* window = openWith(*ann_);
    auto entries = ann_->lastLogEnties(3);
    for (const auto& entry : entries) {
        context_->deleteObject(*entry);
    }
    context_->save();
    NotificationCenter::defaultCenter().post("logUpdated", ann_.get());
    EXPECT_EQ(shownMessages(*window).size(), 5);

    addMessage(*ann_, "m6");
    NotificationCenter::defaultCenter().post("logUpdated", ann_.get());
    NotificationCenter::defaultCenter().post("logUpdated", ann_.get());
    EXPECT_EQ(shownMessages(*window), (QStringList{"m1", "m2", "m3", "m4", "m5", "m6"}));
}

TEST_F(ConversationWindowTest, StatusChangesReplaceTheStatusLine) {
    auto* window = openWith(*ann_);
    ann_->setStatusString("lunch");
    ann_->setStatus("2");
    ann_->setStatus("1");
    EXPECT_EQ(historyLines(*window), (QStringList{"Ann is busy (lunch)"}));
    addMessage(*ann_, "m1");
    NotificationCenter::defaultCenter().post("logUpdated", ann_.get());
    ann_->setStatus("10");
    EXPECT_EQ(historyLines(*window).last(),
              QStringLiteral("Ann is offline. However, you can leave them a message."));
    EXPECT_EQ(historyLines(*window).filter(QStringLiteral("Ann is")).size(), 2);
}

TEST_F(ConversationWindowTest, TypingLabelHidesSomeSecondsAfterTheLastNoticeOrAtAMessage) {
    auto* window = openWith(*ann_);
    const QLabel* label = window->typingLabel();
    EXPECT_TRUE(label->isHidden());
    EXPECT_EQ(label->text(), QStringLiteral("Ann is typing a message."));
    for (int notice = 0; notice < 4; ++notice) {
        ann_->setTypingReceived(now());
        EXPECT_FALSE(label->isHidden());
        run(2);
    }
    EXPECT_FALSE(label->isHidden());
    run(0.9);
    EXPECT_FALSE(label->isHidden());  // 2.9 s after the last notice
    run(3.2);
    EXPECT_TRUE(label->isHidden());  // 6.1 s after it

    ann_->setTypingReceived(now());
    EXPECT_FALSE(label->isHidden());
    addMessage(*ann_, "m1");
    ann_->MessageReceived();
    EXPECT_TRUE(label->isHidden());
}

TEST_F(ConversationWindowTest, OneUserWindowHidesThePaneAtOnceAndAChatShowsIt) {
    auto* one = openWith(*ann_);
    EXPECT_TRUE(one->rightPane()->isHidden());
    EXPECT_EQ(one->size(), QSize(640, 480));
    EXPECT_EQ(one->windowTitle(), QStringLiteral("Ann - Conversation"));

    auto* chat = openChat({bob_.get(), eve_.get()});
    ASSERT_NE(chat->chat(), nullptr);
    EXPECT_EQ(chat->chat()->conversationWindow().get(), chat->adapter().get());
    EXPECT_FALSE(chat->rightPane()->isHidden());
    EXPECT_EQ(chat->membersList()->count(), 2);
    EXPECT_EQ(chat->windowTitle(), QStringLiteral("Bob, Eve - Conversation"));
    EXPECT_EQ(sentOf("CRJR"), 2u);
}

TEST_F(ConversationWindowTest, TextIsAsManyPixelsAsFontSizeSays) {
    // "fontSize" counts screen pixels, Qt's points are larger (18 points are 24 pixels at 96 dpi).
    addMessage(*ann_, "m1");
    auto* window = openWith(*ann_);
    const auto messageFont = [window] {
        auto* document = window->conversationTextView()->document();
        const QTextBlock line = document->find(QStringLiteral("m1")).block();
        return QTextCursor(line).charFormat().font();
    };
    for (const int fontSize : {18, 13, 30}) {
        if (fontSize != 18) {  // the default first
            setDefault(std::string(defaults::kFontSize), fontSize);
            window->clearConversation();
            addMessage(*ann_, "m1");
            NotificationCenter::defaultCenter().post("logUpdated", ann_.get());
        }
        EXPECT_EQ(QFontInfo(messageFont()).pixelSize(), fontSize);
        EXPECT_EQ(QFontInfo(window->messageTextView()->font()).pixelSize(), fontSize);
    }
}

TEST_F(ConversationWindowTest, InvitingTurnsAOneUserWindowIntoAChat) {
    const struct {
        std::vector<User*> invited;
        QString line;
    } cases[] = {
        {{bob_.get()}, QStringLiteral("Bob has been added to the conversation.")},
        {{bob_.get(), eve_.get()}, QStringLiteral("Bob, Eve have been added to the conversation.")},
    };
    for (const auto& c : cases) {
        auto* window = openWith(*ann_);
        window->show();
        const int narrow = window->width();
        window->usersJoined(c.invited);
        ASSERT_NE(window->chat(), nullptr);
        EXPECT_TRUE(historyLines(*window).last().endsWith(c.line)) << c.line.toStdString();
        EXPECT_FALSE(window->rightPane()->isHidden());
        EXPECT_GT(window->width(), narrow);
        EXPECT_EQ(ann_->conversationWindow(), nullptr);  // the next private one is new
        EXPECT_EQ(window->chat()->conversationWindow().get(), window->adapter().get());
        EXPECT_EQ(window->users().size(), 1 + c.invited.size());
        delete window;
    }
}

TEST_F(ConversationWindowTest, InviteSheetOffersOnlineOutsidersAndInvitesTheTicked) {
    auto dan = makeUser("A100000004", "Dan", "0");
    auto* window = openWith(*ann_);
    auto* sheet = window->openInviteSheet();
    // Ann is in the window, Eve offline, the local user never offered.
    auto* model = sheet->inviteDataSource();
    const QModelIndex group = model->indexOf(friends_.get());
    ASSERT_EQ(model->rowCount(group), 2);
    auto box = [&](const QModelIndex& row) {
        return static_cast<ui::CheckBoxSubClass*>(sheet->outlineView()->indexWidget(row));
    };
    EXPECT_EQ(box(model->index(0, 0, group))->text(), QStringLiteral("Bob"));
    box(model->index(1, 0, group))->click();
    EXPECT_EQ(box(group)->checkState(), Qt::PartiallyChecked);

    sheet->inviteButton()->click();
    processEvents();
    ASSERT_NE(window->chat(), nullptr);
    EXPECT_EQ(window->users(), (std::vector<User*>{ann_.get(), dan.get()}));
    EXPECT_TRUE(historyLines(*window).last().endsWith(
        QStringLiteral("Dan has been added to the conversation.")));
    EXPECT_GE(sentOf("CRJR"), 2u);
}

// Under ASan this also shows that neither the sheet nor the deleted user's box reads the
// freed user.
TEST_F(ConversationWindowTest, AUserDeletedWhileTickedInTheInviteSheetIsNotInvited) {
    User* gus = makeUnheldUser("A100000009", "Gus");
    auto* window = openWith(*ann_);
    auto* sheet = window->openInviteSheet();
    auto* model = sheet->inviteDataSource();
    for (auto* user : std::vector<TreeItem*>{bob_.get(), gus}) {
        static_cast<ui::CheckBoxSubClass*>(sheet->outlineView()->indexWidget(model->indexOf(user)))
            ->click();
    }
    ASSERT_EQ(sheet->selection().size(), 2u);
    ASSERT_TRUE(deleteAndSave(gus));
    EXPECT_EQ(sheet->selection(), (std::set<TreeItem*>{bob_.get()}));

    sheet->inviteButton()->click();
    processEvents();
    EXPECT_EQ(window->users(), (std::vector<User*>{ann_.get(), bob_.get()}));
}

TEST_F(ConversationWindowTest, InviteSheetOpensWithNoRowCurrent) {
    auto* window = openWith(*ann_);
    auto* sheet = window->openInviteSheet();
    QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(sheet->outlineView(), &focus);
    EXPECT_FALSE(sheet->outlineView()->currentIndex().isValid());
    delete window;
}

TEST_F(ConversationWindowTest, LeavesShrinkTheChatAndTheLastTurnsItIntoAPrivateWindow) {
    auto* window = openChat({ann_.get(), bob_.get()});
    window->show();
    const auto chatLines = [&] { return historyLines(*window); };
    window->userLeft(*eve_);  // not a member: nothing
    window->userLeft(*bob_);
    EXPECT_TRUE(chatLines().last().endsWith(QStringLiteral("Bob has left the conversation.")));
    EXPECT_TRUE(window->rightPane()->isHidden());
    EXPECT_EQ(window->user(), ann_.get());
    ASSERT_NE(window->chat(), nullptr);

    const auto before = chatLines();
    const auto chat = std::static_pointer_cast<Chat>(window->chat()->shared_from_this());
    window->userLeft(*ann_);
    EXPECT_EQ(window->chat(), nullptr);
    EXPECT_EQ(window->user(), ann_.get());
    EXPECT_EQ(chatLines(), before);  // no line for it
    EXPECT_EQ(ann_->conversationWindow().get(), window->adapter().get());
    EXPECT_EQ(chat->conversationWindow(), nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Ann - Conversation"));

    // From now on the window shows Ann's private history.
    addMessage(*ann_, "m1");
    NotificationCenter::defaultCenter().post("logUpdated", ann_.get());
    EXPECT_EQ(chatLines().last(), QStringLiteral("m1"));
}

TEST_F(ConversationWindowTest, ClosingAChatAsksAndLeavesIt) {
    auto* window = openChat({ann_.get(), bob_.get()});
    window->show();
    QPointer<Conversation> alive(window);
    const auto chat = std::static_pointer_cast<Chat>(window->chat()->shared_from_this());

    window->close();
    processEvents();
    ASSERT_TRUE(alive);
    auto* sheet = window->findChild<QMessageBox*>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sentOf("CRLR"), 0u);
    sheet->button(QMessageBox::No) ? sheet->button(QMessageBox::No)->click()
                                   : sheet->buttons().last()->click();
    processEvents();
    ASSERT_TRUE(alive);

    setDefault(std::string(defaults::kLeaveConversationConfirmation), true);
    window->close();
    processEvents();
    EXPECT_FALSE(alive);
    EXPECT_EQ(sentOf("CRLR"), 2u);
    EXPECT_EQ(chat->conversationWindow(), nullptr);
}

TEST_F(ConversationWindowTest, ClosingAOneUserWindowAsksNothing) {
    QPointer<Conversation> window = openWith(*ann_);
    window->show();
    window->close();
    processEvents();
    EXPECT_FALSE(window);
    EXPECT_EQ(ann_->conversationWindow(), nullptr);
}

TEST_F(ConversationWindowTest, TheWindowsOwnMenuBarHoldsItsMenuAndCtrlWCloses) {
    QPointer<Conversation> one = openWith(*ann_);
    auto* bar = one->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->actions(), QList<QAction*>{one->conversationMenu()->menuAction()});
    EXPECT_EQ(one->conversationMenu()->title(), QStringLiteral("Con&versation"));
    QAction* close = one->conversationMenu()->actions().last();
    EXPECT_EQ(close->text(), QStringLiteral("Cl&ose"));
    EXPECT_EQ(close->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));

    QApplication::setActiveWindow(one);
    QTest::keyClick(one->messageTextView(), Qt::Key_W, Qt::ControlModifier);
    processEvents();
    EXPECT_FALSE(one);
    EXPECT_EQ(ann_->conversationWindow(), nullptr);

    // A chat asks first, as closing it by its title bar does.
    QPointer<Conversation> chat = openChat({ann_.get(), bob_.get()});
    chat->show();
    QApplication::setActiveWindow(chat);
    QTest::keyClick(chat->messageTextView(), Qt::Key_W, Qt::ControlModifier);
    processEvents();
    ASSERT_TRUE(chat);
    EXPECT_NE(chat->findChild<QMessageBox*>(), nullptr);
    EXPECT_EQ(sentOf("CRLR"), 0u);
}

TEST_F(ConversationWindowTest, ClearingShowsOnlyLaterEntries) {
    addMessage(*ann_, "m1");
    auto* window = openWith(*ann_);
    window->clearConversation();
    EXPECT_TRUE(window->conversationTextView()->document()->isEmpty());
    addMessage(*ann_, "m2");
    NotificationCenter::defaultCenter().post("logUpdated", ann_.get());
    EXPECT_EQ(shownMessages(*window), QStringList{"m2"});
}

TEST_F(ConversationWindowTest, RenamesAndPeerTextStayPlain) {
    auto* window = openWith(*ann_);
    ann_->setName("<b>Anna</b>");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("<b>Anna</b> - Conversation"));
    EXPECT_TRUE(historyLines(*window).join('\n').contains(
        QStringLiteral("Ann has changed the name to <b>Anna</b>.")));
}

TEST_F(ConversationWindowTest, FrameIsSavedOnceWhenItSettlesOrAtCloseAndRestored) {
    const std::string key = std::string(defaults::kWindowFramePrefix) + ann_->userId();
    int saves = 0;
    auto counting = UserDefaults::standard().observe(key, [&] { ++saves; });
    QPointer<Conversation> window = openWith(*ann_);
    window->show();
    processEvents();
    run(1);
    saves = 0;
    // Dragged across the screen and resized: one save when it stops, none on the way.
    for (int step = 1; step <= 40; ++step) {
        window->setGeometry(40 + step, 50 + step, 460 + step, 400);
        processEvents();
    }
    EXPECT_EQ(saves, 0);
    run(1);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(UserDefaults::standard().stringForKey(key), "80 90 500 400");

    // Closed before it settled: saved as it closes, once.
    window->setGeometry(30, 40, 520, 410);
    processEvents();
    window->close();
    processEvents();
    EXPECT_FALSE(window);
    EXPECT_EQ(saves, 2);
    run(1);
    EXPECT_EQ(saves, 2);

    auto* again = openWith(*ann_);
    EXPECT_EQ(again->geometry(), QRect(30, 40, 520, 410));
    UserDefaults::standard().removeObject(key);
}

TEST_F(ConversationWindowTest, AChatSaysOnceThatAMemberWentOffline) {
    auto* window = openChat({ann_.get(), bob_.get()});
    const auto offlineLines = [&] {
        return historyLines(*window).filter(QStringLiteral("Bob is now offline")).size();
    };
    bob_->setStatus("10");
    // Each failed exchange with Bob marks him offline again.
    bob_->setStatus("10");
    bob_->setStatus("10");
    EXPECT_EQ(offlineLines(), 1);
    bob_->setStatus("0");
    bob_->setStatus("10");
    EXPECT_EQ(offlineLines(), 2);

    // Eve is offline as she joins: no news either.
    window->usersJoined({eve_.get()});
    eve_->setStatus("10");
    EXPECT_EQ(historyLines(*window).filter(QStringLiteral("Eve is now offline")).size(), 0);
}

TEST_F(ConversationWindowTest, SendFilesActsOnlyWithoutAChatAsDropsDo) {
    auto* window = openWith(*ann_);
    EXPECT_TRUE(window->sendFilesAction()->isEnabled());
    window->usersJoined({bob_.get()});
    ASSERT_NE(window->chat(), nullptr);
    EXPECT_FALSE(window->sendFilesAction()->isEnabled());
    window->sendFiles();
    processEvents();
    EXPECT_EQ(window->findChild<QMessageBox*>(), nullptr) << "nothing asked in a chat";
    window->userLeft(*bob_);
    window->userLeft(*ann_);  // a private conversation with Ann again
    ASSERT_EQ(window->chat(), nullptr);
    EXPECT_TRUE(window->sendFilesAction()->isEnabled());
    EXPECT_FALSE(openChat({bob_.get(), eve_.get()})->sendFilesAction()->isEnabled());
}

TEST_F(ConversationWindowTest, ItsMenuAnswersAltAndALetter) {
    auto* window = openWith(*ann_);
    auto* bar = window->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(mnemonicFaults(*bar), std::vector<std::string>{});
}

TEST_F(ConversationWindowTest, AMessageForAnotherWindowLeavesTheKeyboardWhereItIs) {
    QPointer<Conversation> typing = openWith(*ann_);
    QPointer<Conversation> other = openWith(*bob_);
    for (auto* window : {other.data(), typing.data()}) {
        window->show();
        window->activateWindow();
        processEvents();
    }
    ASSERT_EQ(QApplication::activeWindow(), typing.data());
    for (const bool front : {false, true}) {
        setDefault(std::string(defaults::kKeepFocus), front);
        for (const bool minimised : {false, true}) {
            if (minimised) {
                other->showMinimized();
                processEvents();
            }
            auto message = addMessage(*bob_, "m1");
            bob_->MessageReceived();
            message->playSoundAndPopupWindow();
            processEvents();
            EXPECT_EQ(QApplication::activeWindow(), typing.data()) << front << minimised;
            EXPECT_TRUE(typing->messageTextView()->hasFocus()) << front << minimised;
            EXPECT_FALSE(other->isMinimized()) << front << minimised;
        }
    }
}

}  // namespace
}  // namespace corvaline::testing
