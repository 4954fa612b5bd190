#include "ui/confirm/MessageBoxSheet.h"

#include <gtest/gtest.h>

#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QMainWindow>
#include <QPointer>

#include "platform/defaults/UserDefaults.h"

namespace corvaline::ui {
namespace {

class MessageBoxSheetTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (int type = 0; type < 4; ++type) {
            UserDefaults::standard().removeObject(ConfirmationKeyForType(type));
        }
    }
    QAbstractButton* button(MessageBoxSheet* sheet, const QString& title) {
        for (auto* candidate : sheet->buttons()) {
            if (candidate->text() == title) {
                return candidate;
            }
        }
        return nullptr;
    }

    QMainWindow window_;
    int ran_ = 0;
};

TEST_F(MessageBoxSheetTest, EachTypeHasItsKeyAsStoredAndItsTexts) {
    const struct {
        int type;
        const char* key;
        const char* text;
        const char* confirm;
        const char* refuse;
    } table[] = {
        {0, "leaveConversationConfirmation", "Are you sure you want to leave the conversation?",
         "Yes", "No"},
        {1, "deleteUserConfirmation", "Are you sure you want to remove this user from the list?",
         "Yes", "No"},
        {2, "deteleGroupConfirmation", "Are you sure you want to delete this group?", "Yes", "No"},
        {3, "showFileTransferPanelRequest", "Try Drag and Drop Option", "Browse files",
         "Use drag and drop"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(ConfirmationKeyForType(row.type), row.key);
        auto* sheet = MessageBoxSheet::requestConfirmation(row.type, &window_, [] {});
        ASSERT_NE(sheet, nullptr);
        EXPECT_EQ(sheet->text(), row.text);
        EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
        EXPECT_EQ(sheet->checkBox()->text(), "Do not ask again");
        EXPECT_EQ(sheet->confirmButton()->text(), row.confirm);
        EXPECT_NE(button(sheet, row.refuse), nullptr) << row.refuse;
        EXPECT_EQ(sheet->informativeText().isEmpty(), row.type != 3);
        if (row.type == 3) {  // in this desktop's words
            EXPECT_EQ(sheet->informativeText(),
                      "You can send files and folders by either selecting them in the file "
                      "chooser or simply dragging and dropping them into the conversation.");
        }
        sheet->close();
    }
    EXPECT_EQ(ConfirmationKeyForType(7), "leaveConversationConfirmation");
    EXPECT_EQ(ConfirmationKeyForType(-1), "leaveConversationConfirmation");
}

TEST_F(MessageBoxSheetTest, TickedAndNoStoresTheKeySoLaterRequestsRunAtOnce) {
    auto* sheet = MessageBoxSheet::requestConfirmation(1, &window_, [this] { ++ran_; });
    ASSERT_NE(sheet, nullptr);
    sheet->checkBox()->setChecked(true);
    button(sheet, "No")->click();
    EXPECT_EQ(ran_, 0);
    EXPECT_TRUE(UserDefaults::standard().boolForKey("deleteUserConfirmation"));

    // Synchronously, inside the call, and without a sheet.
    EXPECT_EQ(MessageBoxSheet::requestConfirmation(1, &window_, [this] { ++ran_; }), nullptr);
    EXPECT_EQ(ran_, 1);
    // Other types still ask.
    auto* other = MessageBoxSheet::requestConfirmation(2, &window_, [this] { ++ran_; });
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(ran_, 1);
    other->close();
}

TEST_F(MessageBoxSheetTest, OnlyTheFirstButtonRunsTheActionAndUntickedStoresNothing) {
    auto* yes = MessageBoxSheet::requestConfirmation(2, &window_, [this] { ++ran_; });
    yes->confirmButton()->click();
    EXPECT_EQ(ran_, 1);
    EXPECT_FALSE(UserDefaults::standard().boolForKey("deteleGroupConfirmation"));

    QPointer<MessageBoxSheet> drag =
        MessageBoxSheet::requestConfirmation(3, &window_, [this] { ran_ += 10; });
    button(drag, "Use drag and drop")->click();
    EXPECT_EQ(ran_, 1);
    auto* browse = MessageBoxSheet::requestConfirmation(3, &window_, [this] { ran_ += 10; });
    button(browse, "Browse files")->click();
    EXPECT_EQ(ran_, 11);
}

TEST_F(MessageBoxSheetTest, ClosingWithoutAButtonRefusesAndKeepsTheTick) {
    const struct {
        const char* how;
        std::function<void(MessageBoxSheet&)> end;
    } endings[] = {
        {"title bar", [](MessageBoxSheet& sheet) { sheet.close(); }},
        {"Escape",
         [](MessageBoxSheet& sheet) {
             QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(&sheet, &escape);
         }},
    };
    for (const auto& c : endings) {
        SCOPED_TRACE(c.how);
        for (const bool ticked : {false, true}) {
            QPointer<MessageBoxSheet> sheet =
                MessageBoxSheet::requestConfirmation(0, &window_, [this] { ++ran_; });
            ASSERT_NE(sheet, nullptr);
            sheet->checkBox()->setChecked(ticked);
            c.end(*sheet);
            QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_FALSE(sheet) << "the sheet is gone";
            EXPECT_EQ(ran_, 0);
            EXPECT_EQ(UserDefaults::standard().boolForKey("leaveConversationConfirmation"), ticked);
        }
        UserDefaults::standard().removeObject("leaveConversationConfirmation");
    }
}

}  // namespace
}  // namespace corvaline::ui
