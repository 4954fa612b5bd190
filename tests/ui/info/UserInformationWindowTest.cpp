#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTabBar>
#include <QTextBrowser>
#include <QToolButton>

#include "ui/info/UserInformationWindow.h"
#include "ui/support/ConversationTest.h"

namespace corvaline::testing {
namespace {

using ui::UserInformationWindow;

class UserInformationWindowTest : public ConversationTest {
  protected:
    void TearDown() override {
        UserInformationWindow::closeToolTip();
        ConversationTest::TearDown();
    }

    int infoRequestsTo(const std::string& userId) const {
        int count = 0;
        for (const auto& sent : messages_.sent) {
            count += sent.packet[0] == Packet::Field(std::string("TRI")) && sent.to == userId;
        }
        return count;
    }

    static QString personalText(UserInformationWindow& window) {
        return window.personalTextView()->toPlainText();
    }
};

TEST_F(UserInformationWindowTest, EveryViewAsksAndAnArrivingAnswerRedraws) {
    auto* window = UserInformationWindow::GetInfo(*ann_);
    EXPECT_EQ(infoRequestsTo("A100000001"), 1);
    EXPECT_EQ(window->windowTitle(), "User Info: Ann");
    EXPECT_FALSE(personalText(*window).contains("First name"));
    const int before = window->height();

    UserInfo answer = ann_->userInfo();
    answer.firstName = "Ann";
    answer.lastName = "Lee";
    answer.department = "Sales";
    answer.jobTitle = "Buyer";
    answer.pc = "ws-ann";
    ann_->applyUserInfo(answer);
    messages_.endRequests();
    EXPECT_TRUE(personalText(*window).startsWith("First name: Ann\nLast name: Lee\n"));
    EXPECT_TRUE(window->systemTextView()->toPlainText().contains("Computer name: ws-ann"));
    EXPECT_GT(window->height(), before);  // the height follows the selected tab

    // The user keeps one pinned window; showing it again asks again.
    EXPECT_EQ(UserInformationWindow::GetInfo(*ann_), window);
    EXPECT_EQ(UserInformationWindow::userInfoWindow(*ann_), window);
    EXPECT_EQ(infoRequestsTo("A100000001"), 2);
    window->close();
    processEvents();
    EXPECT_EQ(UserInformationWindow::userInfoWindow(*ann_), nullptr);
}

TEST_F(UserInformationWindowTest, HeightFitsTheSelectedTab) {
    UserInfo answer = ann_->userInfo();
    answer.pc = "ws-ann";
    answer.logonUser = "ann";
    answer.oSversion = "Debian GNU/Linux 12";
    answer.version = "1.0";
    answer.isOnTS = "1";
    answer.tsClientIP = "10.0.0.5";
    answer.tsConnectionState = "4";
    ann_->applyUserInfo(answer);
    auto* window = UserInformationWindow::GetInfo(*ann_);
    const auto fits = [&](QTextBrowser* view) {
        const int text = static_cast<int>(view->document()->size().height());
        return view->viewport()->height() >= text && view->viewport()->height() <= text + 2;
    };
    EXPECT_TRUE(fits(window->personalTextView()));
    const int personal = window->height();
    window->tabView()->setCurrentIndex(1);
    EXPECT_TRUE(fits(window->systemTextView()));
    EXPECT_GT(window->height(), personal);
}

TEST_F(UserInformationWindowTest, MovedBackOntoTheScreenBeforeShowing) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    auto* window = UserInformationWindow::GetInfo(*ann_);
    window->move(screen.right() - 50, screen.bottom() - 20);
    window->hide();
    window->showWindow();
    EXPECT_LE(window->frameGeometry().right(), screen.right());
    EXPECT_LE(window->frameGeometry().bottom(), screen.bottom());
    EXPECT_TRUE(screen.contains(window->frameGeometry().topLeft()));
}

TEST_F(UserInformationWindowTest, ToolTipHangsBelowThePointerAndClosesAfterLeaving) {
    const QPoint at(100, 120);
    auto* tip = UserInformationWindow::showToolTip(*ann_, at);
    ASSERT_EQ(UserInformationWindow::CurrentToolTipInfoWindow(), tip);
    EXPECT_TRUE(tip->isToolTip());
    EXPECT_TRUE(tip->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(tip->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(tip->isVisible());
    EXPECT_TRUE(tip->pinButton()->isVisible());
    EXPECT_FALSE(tip->tabView()->isVisible());
    EXPECT_EQ(tip->pos(), at + QPoint(0, 3));
    EXPECT_TRUE(personalText(*tip).contains("ID: A100000001"));

    // The same user's row keeps it; the pointer inside keeps it past the half second.
    EXPECT_EQ(UserInformationWindow::showToolTip(*ann_, at), tip);
    QCursor::setPos(tip->geometry().center());
    tip->shouldCloseToolTip();
    run(0.6);
    EXPECT_EQ(UserInformationWindow::CurrentToolTipInfoWindow(), tip);

    QCursor::setPos(tip->geometry().bottomRight() + QPoint(40, 40));
    tip->shouldCloseToolTip();
    run(0.4);
    EXPECT_EQ(UserInformationWindow::CurrentToolTipInfoWindow(), tip);
    run(0.2);
    EXPECT_EQ(UserInformationWindow::CurrentToolTipInfoWindow(), nullptr);
}

TEST_F(UserInformationWindowTest, AnotherUsersRowReplacesTheToolTip) {
    QPointer<UserInformationWindow> ann = UserInformationWindow::showToolTip(*ann_, {10, 10});
    auto* bob = UserInformationWindow::showToolTip(*bob_, {10, 40});
    processEvents();
    EXPECT_TRUE(ann.isNull());
    EXPECT_EQ(UserInformationWindow::CurrentToolTipInfoWindow(), bob);
}

TEST_F(UserInformationWindowTest, PinningMakesTheUsersTitledWindow) {
    auto* tip = UserInformationWindow::showToolTip(*ann_, {200, 200});
    const int tipCentre = tip->geometry().center().x();
    const int tipWidth = tip->width();
    QCursor::setPos(QPoint(0, 0));
    tip->shouldCloseToolTip();
    tip->pinButton()->click();
    run(0.6);  // the pending close check finds no tool tip any more

    EXPECT_EQ(UserInformationWindow::CurrentToolTipInfoWindow(), nullptr);
    EXPECT_EQ(UserInformationWindow::userInfoWindow(*ann_), tip);
    EXPECT_TRUE(tip->isVisible());
    EXPECT_FALSE(tip->isToolTip());
    EXPECT_FALSE(tip->pinButton()->isVisible());
    EXPECT_TRUE(tip->tabView()->isVisible());
    EXPECT_FALSE(tip->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(tip->windowTitle(), "User Info: Ann");
    EXPECT_GT(tip->width(), tipWidth);
    EXPECT_NEAR(tip->geometry().center().x(), tipCentre, 2);
}

TEST_F(UserInformationWindowTest, DeletingOrRemovingTheUserClosesItsWindowsAndLetsItGo) {
    User* gus = makeUnheldUser("A100000009", "Gus");
    const std::weak_ptr<ManagedObject> held = gus->weak_from_this();
    QPointer<UserInformationWindow> pinned = UserInformationWindow::GetInfo(*gus);
    QPointer<UserInformationWindow> tip = UserInformationWindow::showToolTip(*gus, QPoint(10, 10));
    QPointer<UserInformationWindow> bobs = UserInformationWindow::GetInfo(*bob_);
    deleteAndSave(gus);
    processEvents();
    EXPECT_TRUE(pinned.isNull());
    EXPECT_TRUE(tip.isNull());
    EXPECT_EQ(UserInformationWindow::CurrentToolTipInfoWindow(), nullptr);
    EXPECT_TRUE(held.expired());
    ASSERT_FALSE(bobs.isNull());  // another user's stays

    bob_->setRemoved(true);  // Delete User on a user with history
    processEvents();
    EXPECT_TRUE(bobs.isNull());
}

}  // namespace
}  // namespace corvaline::testing
