#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QTest>
#include <functional>

#include "ui/info/RowToolTip.h"
#include "ui/info/UserInformationWindow.h"
#include "ui/roster/RosterTest.h"

namespace corvaline::testing {
namespace {

using ui::UserInformationWindow;

class RowToolTipTest : public RosterTest {
  protected:
    void SetUp() override {
        RosterTest::SetUp();
        view().expandAll();
        new ui::RowToolTip(*view().viewport(), *model_);
    }
    void TearDown() override {
        UserInformationWindow::closeToolTip();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        RosterTest::TearDown();
    }

    QPoint rowOf(const TreeItem* item) { return view().visualRect(model_->indexOf(item)).center(); }
    void rest(QPoint at) {
        QHelpEvent event(QEvent::ToolTip, at, view().viewport()->mapToGlobal(at));
        QApplication::sendEvent(view().viewport(), &event);
    }
    void move(QPoint at) {
        QMouseEvent event(QEvent::MouseMove, at, view().viewport()->mapToGlobal(at), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view().viewport(), &event);
    }
};

TEST_F(RowToolTipTest, RestingOnAUserRowShowsItsToolTipAndLeavingTheRowClosesIt) {
    rest(rowOf(friends_));
    EXPECT_EQ(UserInformationWindow::CurrentToolTipInfoWindow(), nullptr);  // groups have none

    const QPoint ann = rowOf(user("A1"));
    rest(ann);
    auto* tip = UserInformationWindow::CurrentToolTipInfoWindow();
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(&tip->user(), user("A1"));
    EXPECT_EQ(tip->pos(), view().viewport()->mapToGlobal(ann + QPoint(-2, 2)) + QPoint(0, 3));

    move(ann + QPoint(1, 0));  // still the same row
    QCursor::setPos(QPoint(0, 0));
    runFor(0.6);
    EXPECT_EQ(UserInformationWindow::CurrentToolTipInfoWindow(), tip);

    move(rowOf(user("A4")));
    runFor(0.6);
    EXPECT_EQ(UserInformationWindow::CurrentToolTipInfoWindow(), nullptr);
}

TEST_F(RowToolTipTest, ClicksMenusActivationAndLosingTheFocusCloseTheToolTipAtOnce) {
    view().activateWindow();
    QApplication::processEvents();
    ASSERT_TRUE(view().isActiveWindow());
    const QPoint ann = rowOf(user("A1"));
    QWidget other;
    const struct {
        const char* what;
        std::function<void()> act;
    } cases[] = {
        {"a click on the row",
         [&] { QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, ann); }},
        {"a click on another row",
         [&] { QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, rowOf(user("A4"))); }},
        {"a right-click", [&] { QTest::mouseClick(view().viewport(), Qt::RightButton, {}, ann); }},
        {"the menu key",
         [&] {
             QContextMenuEvent menu(QContextMenuEvent::Keyboard, ann, view().mapToGlobal(ann));
             QApplication::sendEvent(&view(), &menu);
         }},
        {"a double-click",
         [&] {
             QTest::mouseDClick(view().viewport(), Qt::LeftButton, {}, ann);
             QTest::mouseRelease(view().viewport(), Qt::LeftButton, {}, ann);
         }},
        {"Return on the row",
         [&] {
             view().setCurrentIndex(model_->indexOf(user("A1")));
             QTest::keyClick(&view(), Qt::Key_Return);
         }},
        {"another window taking the focus",
         [&] {
             other.show();
             other.activateWindow();
             QApplication::processEvents();
         }},
    };
    for (const auto& c : cases) {
        view().activateWindow();
        QApplication::processEvents();
        rest(ann);
        ASSERT_NE(UserInformationWindow::CurrentToolTipInfoWindow(), nullptr) << c.what;
        c.act();
        EXPECT_EQ(UserInformationWindow::CurrentToolTipInfoWindow(), nullptr) << c.what;
        UserInformationWindow::closeToolTip();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

}  // namespace
}  // namespace corvaline::testing
