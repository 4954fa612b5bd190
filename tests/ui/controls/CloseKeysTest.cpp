// Escape and Ctrl+W close every secondary window; About has a Close button besides.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <functional>

#include "ui/about/About.h"
#include "ui/history/HistoryViewer.h"
#include "ui/info/UserInformationWindow.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/support/ConversationTest.h"

namespace corvaline::testing {
namespace {

class CloseKeysTest : public ConversationTest {
  protected:
    void TearDown() override {
        settings_.reset();
        ConversationTest::TearDown();
    }

    std::unique_ptr<ui::SettingsWindow> settings_;
};

TEST_F(CloseKeysTest, EscapeAndCtrlWCloseEachSecondaryWindow) {
    const struct {
        const char* name;
        std::function<QWidget*()> open;
    } windows[] = {
        {"settings",
         [this]() -> QWidget* {
             if (!settings_) {
                 settings_ = std::make_unique<ui::SettingsWindow>();
             }
             settings_->show();
             return settings_.get();
         }},
        {"history", [] { return ui::HistoryViewer::initAndShow(nullptr); }},
        {"user information", [this] { return ui::UserInformationWindow::GetInfo(*ann_); }},
        {"about", [] { return ui::About::show(); }},
    };
    const QKeyCombination keys[] = {QKeyCombination(Qt::Key_Escape),
                                    QKeyCombination(Qt::ControlModifier, Qt::Key_W)};
    for (const auto& window : windows) {
        for (const QKeyCombination key : keys) {
            QPointer<QWidget> opened = window.open();
            ASSERT_TRUE(opened) << window.name;
            QApplication::setActiveWindow(opened);
            ASSERT_TRUE(opened->isVisible()) << window.name;
            QWidget* focused = opened->focusWidget() ? opened->focusWidget() : opened.data();
            QTest::keyClick(focused, key.key(), key.keyboardModifiers());
            processEvents();
            EXPECT_TRUE(!opened || !opened->isVisible())
                << window.name << " stayed open after "
                << QKeySequence(key).toString().toStdString();
        }
    }
}

TEST_F(CloseKeysTest, AboutHasACloseButtonThatHasTheFocus) {
    ui::About* about = ui::About::show();
    QApplication::setActiveWindow(about);
    ASSERT_NE(about->closeButton(), nullptr);
    EXPECT_EQ(about->closeButton()->text(), QStringLiteral("Close"));
    EXPECT_EQ(about->focusWidget(), about->closeButton());  // Return and Space close it too
    about->closeButton()->click();
    EXPECT_FALSE(about->isVisible());
}

}  // namespace
}  // namespace corvaline::testing
