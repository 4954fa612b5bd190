#include "ui/conversation/ButtonForList.h"

#include "ui/support/ConversationTest.h"

namespace corvaline::testing {
namespace {

TEST_F(ConversationTest, ButtonForListShowsTheNameAfterASpaceInTheRowColour) {
    ui::ButtonForList button;
    button.setTitle(QStringLiteral("Ann"), ann_.get());
    EXPECT_EQ(button.text(), QStringLiteral(" Ann"));
    EXPECT_EQ(button.palette().color(QPalette::ButtonText), QPalette().color(QPalette::ButtonText));

    button.setTitle(QStringLiteral("Me"), userList_->me().get());  // the local user is grey
    EXPECT_EQ(button.palette().color(QPalette::ButtonText), QColor::fromString("gray"));

    button.setTitle(QStringLiteral("R&D"), ann_.get());  // drawn as typed, no Alt shortcut
    EXPECT_EQ(button.text(), QStringLiteral(" R&&D"));
    EXPECT_TRUE(button.shortcut().isEmpty());

    button.setTitle(std::nullopt);
    EXPECT_TRUE(button.text().isEmpty());
}

}  // namespace
}  // namespace corvaline::testing
