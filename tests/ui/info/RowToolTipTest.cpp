#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QHelpEvent>
#include <QMouseEvent>

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

}  // namespace
}  // namespace corvaline::testing
