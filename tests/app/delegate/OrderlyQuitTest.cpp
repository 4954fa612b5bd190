// Every way of quitting ends the event loop without asking the windows, so a group chat's
// confirmation cannot keep the program from its shut-down.
#include "app/delegate/OrderlyQuit.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

#include "app/support/AppTest.h"
#include "ui/conversation/Conversation.h"

namespace corvaline::testing {
namespace {

class OrderlyQuitTest : public AppTest {
  protected:
    // A group chat's window, open as the core opens one; deleted (never closed) afterwards.
    ui::Conversation* openChat() {
        chatWindow_ = ui::Conversation::open({user("A100000001").get(), user("A100000004").get()},
                                             nullptr, false, {});
        auto* window = ui::Conversation::from(chatWindow_);
        window->show();
        return window;
    }

    void TearDown() override {
        delete ui::Conversation::from(chatWindow_);
        chatWindow_.reset();
        AppTest::TearDown();
    }

    // The application's event loop, with `how` run once it turns: its exit code, or -1 when
    // the loop was still running after five seconds.
    static int runQuitting(const std::function<void()>& how) {
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
        giveUp.start(5000);
        QTimer::singleShot(0, how);
        return QApplication::exec();
    }

    std::shared_ptr<ConversationWindow> chatWindow_;
};

TEST_F(OrderlyQuitTest, EveryWayOfQuittingEndsTheLoopWithoutAskingAGroupChat) {
    const struct {
        const char* way;
        std::function<void()> quit;
    } ways[] = {
        {"the Quit command", [this] { delegate_->quitAction()->trigger(); }},
        {"QCoreApplication::quit", [] { QCoreApplication::quit(); }},
        {"the session manager's end of the session",
         [] {
             QEvent quit(QEvent::Quit);
             QApplication::sendEvent(qApp, &quit);
         }},
        {"a newer copy or a signal", [] { app::OrderlyQuit::quit(); }},
    };
    auto* chat = openChat();
    ASSERT_NE(chat->chat(), nullptr);
    QPointer<ui::Conversation> alive(chat);
    for (const auto& [way, quit] : ways) {
        EXPECT_EQ(runQuitting(quit), 0) << way;
        ASSERT_TRUE(alive) << way;
        EXPECT_TRUE(chat->isVisible()) << way;
        EXPECT_TRUE(window().isVisible()) << way << ": the main window was closed";
        EXPECT_EQ(chat->findChild<QMessageBox*>(), nullptr) << way << ": the chat was asked";
    }

    // Closed by hand, the chat still asks before it is left.
    chat->close();
    QApplication::processEvents();
    ASSERT_TRUE(alive);
    EXPECT_NE(chat->findChild<QMessageBox*>(), nullptr);
}

}  // namespace
}  // namespace corvaline::testing
