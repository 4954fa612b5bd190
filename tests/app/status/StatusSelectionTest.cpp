#include "app/status/StatusSelection.h"

#include <QAbstractButton>
#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "app/support/AppTest.h"
#include "core/model/services/UserInterface.h"
#include "ui/status/StatusSheet.h"

namespace corvaline::testing {
namespace {

class StatusSelectionTest : public AppTest {
  protected:
    app::StatusSelection& status() { return *delegate_->status(); }
    ui::StatusSheet& sheet() { return *status().sheet(); }
    QString title() { return sheet().buttonTitle(); }
    // Both menus share these actions; their ticks are the menus' ticks.
    int tickedAction() {
        for (auto* action : status().actions()) {
            if (action->isChecked()) {
                return action->data().toInt();
            }
        }
        return -1;
    }
};

TEST_F(StatusSelectionTest, AwayCountsDownAndAppliesTheStoredTextAtElevenSeconds) {
    setDefault("awayMessage", "Back at three");
    ASSERT_EQ(me().status(), "0");
    window().statusButton(2)->click();
    EXPECT_TRUE(sheet().isVisible());
    EXPECT_EQ(sheet().text(), "Back at three");
    EXPECT_EQ(title(), "Set Status");
    EXPECT_EQ(me().status(), "0");  // nothing changes while the sheet counts

    const std::vector<std::pair<double, QString>> table = {
        {1, "Set Status [9]"},
        {2, "Set Status [8]"},
        {9, "Set Status [1]"},
        {10, "Set Status [0]"},
    };
    double elapsed = 0;
    for (const auto& [at, expected] : table) {
        runFor(at - elapsed);
        elapsed = at;
        EXPECT_EQ(title(), expected) << "after " << at << " s";
        EXPECT_EQ(me().status(), "0");
    }
    runFor(1);
    EXPECT_EQ(me().status(), "2");
    EXPECT_EQ(me().statusString(), "Back at three");
    EXPECT_EQ(UserDefaults::standard().stringForKey("awayMessage"), "Back at three");
    EXPECT_FALSE(sheet().isVisible());
    EXPECT_EQ(tickedAction(), 2);
    runFor(1);
    EXPECT_FALSE(status().isCounting());
    EXPECT_EQ(title(), "Set Status");
}

TEST_F(StatusSelectionTest, TypingStopsTheCountdownAndOnlyTheButtonApplies) {
    setDefault("busyMessage", "In a meeting");
    window().statusButton(1)->click();
    runFor(3);
    EXPECT_EQ(title(), "Set Status [7]");
    sheet().textEdit()->setFocus();
    QTest::keyClicks(sheet().textEdit(), " until 4");
    runFor(1);
    EXPECT_EQ(title(), "Set Status");
    EXPECT_FALSE(status().isCounting());
    runFor(30);
    EXPECT_EQ(me().status(), "0");
    EXPECT_TRUE(sheet().isVisible());

    QTest::keyClick(sheet().textEdit(), Qt::Key_Return);  // as the button does
    EXPECT_EQ(me().status(), "1");
    EXPECT_EQ(UserDefaults::standard().stringForKey("busyMessage"), "In a meeting until 4");
    EXPECT_EQ(me().statusString(), "In a meeting until 4");
    EXPECT_FALSE(sheet().isVisible());
}

TEST_F(StatusSelectionTest, CancelLeavesTheStatusAndPutsButtonsAndTicksBack) {
    window().statusButton(1)->click();
    runFor(2);
    sheet().cancelButton()->click();
    EXPECT_FALSE(sheet().isVisible());
    EXPECT_EQ(me().status(), "0");
    EXPECT_TRUE(window().statusButton(0)->isChecked());
    EXPECT_EQ(tickedAction(), 0);
    runFor(20);
    EXPECT_EQ(me().status(), "0");
}

TEST_F(StatusSelectionTest, EveryOpeningCountsFromNineWithOneTimer) {
    window().statusButton(2)->click();
    runFor(4);
    sheet().cancelButton()->click();
    // Opened again before the old timer saw the stop flag.
    status().actions()[2]->trigger();
    EXPECT_TRUE(window().statusButton(2)->isChecked());
    runFor(1);
    EXPECT_EQ(title(), "Set Status [9]");
    runFor(10);
    EXPECT_EQ(me().status(), "2");
}

TEST_F(StatusSelectionTest, AvailableNeverShowsTheSheet) {
    me().setStatus("2");
    window().statusButton(0)->click();
    EXPECT_EQ(me().status(), "0");
    EXPECT_FALSE(sheet().isVisible());
    EXPECT_FALSE(status().isCounting());
    status().actions()[0]->trigger();
    EXPECT_FALSE(sheet().isVisible());
}

TEST_F(StatusSelectionTest, TheCoreMovesButtonsAndTicksWithoutASheet) {
    me().setStatus("2");  // as auto-away does, followed by its call to the windows
    CoreServices::shared().windows->statusMatrixSelectionChanged();
    EXPECT_TRUE(window().statusButton(2)->isChecked());
    EXPECT_EQ(tickedAction(), 2);
    EXPECT_FALSE(sheet().isVisible());
}

}  // namespace
}  // namespace corvaline::testing
