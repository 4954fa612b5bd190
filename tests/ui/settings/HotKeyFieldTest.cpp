#include "ui/settings/HotKeyField.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QVBoxLayout>

#include "app/defaults/RegisteredDefaults.h"
#include "core/model/defaults/DefaultsKeys.h"
#include "platform/defaults/UserDefaults.h"
#include "ui/settings/VirtualKeys.h"

namespace corvaline::ui {
namespace {

// A field in a shown window with a menu bar, on the registered defaults; its warning laid
// out below it, as the settings window does.
class HotKeyFieldTest : public ::testing::Test {
  protected:
    void SetUp() override {
        registerApplicationDefaults(UserDefaults::standard(), {});
        auto* layout = new QVBoxLayout(&window_);
        field_ = new HotKeyField(&window_);
        other_ = new QLineEdit(&window_);
        layout->addWidget(field_);
        layout->addWidget(field_->warningView());
        layout->addWidget(other_);
        menus_ = new QMenuBar(&window_);
        field_->setMenus(menus_);
        window_.show();
        QApplication::setActiveWindow(&window_);
    }

    void TearDown() override { UserDefaults::standard().removeObject(defaults::kHotKey); }

    nlohmann::json stored() const {
        return UserDefaults::standard().arrayForKey(defaults::kHotKey).value_or(nullptr);
    }

    // Starts a recording from the keyboard, then presses the combination.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        field_->setFocus();
        if (!field_->isRecording()) {
            QTest::keyClick(field_, Qt::Key_Space);
        }
        ASSERT_TRUE(field_->isRecording());
        QTest::keyClick(field_, key, modifiers);
    }

    QWidget window_;
    HotKeyField* field_ = nullptr;
    QLineEdit* other_ = nullptr;
    QMenuBar* menus_ = nullptr;
};

TEST_F(HotKeyFieldTest, AcceptableCombinations) {
    const struct {
        std::uint32_t flags;
        std::uint16_t code;
        bool accepted;
    } cases[] = {
        {0, 96, true},           // F5 alone
        {kShiftFlag, 90, true},  // F20 with anything
        {0, 1, false},           // a plain letter
        {kShiftFlag, 1, false},  // Shift alone is not enough
        {0, 53, false},          // Escape alone
        {kControlFlag, 1, true}, {kCommandFlag | kShiftFlag, 0, true},
        {kOptionFlag, 49, true},  // Option with Space
        {kOptionFlag, 53, true},  // Option with Escape
        {kOptionFlag, 1, false}, {kOptionFlag | kShiftFlag, 1, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HotKeyField::validate(c.flags, c.code), c.accepted)
            << std::hex << c.flags << " " << std::dec << c.code;
    }
}

TEST_F(HotKeyFieldTest, ShowsTheKeyNamesOfLinuxDesktops) {
    EXPECT_EQ(field_->text(), QStringLiteral("Super+Shift+S"));  // the default [0x120000, 1]
    EXPECT_EQ(HotKeyField::modifiers(kModifierFlags), QStringLiteral("Super+Ctrl+Alt+Shift"));
    const struct {
        std::uint32_t flags;
        std::uint16_t code;
        QString text;
    } cases[] = {
        {kControlFlag | kShiftFlag, 1, QStringLiteral("Ctrl+Shift+S")},
        {kCommandFlag | kOptionFlag, 40, QStringLiteral("Super+Alt+K")},
        {kOptionFlag, 49, QStringLiteral("Alt+Space")},
        {0, 96, QStringLiteral("F5")},
        {kControlFlag, 90, QStringLiteral("Ctrl+F20")},
        {kControlFlag, 123, QStringLiteral("Ctrl+Left")},
        {kControlFlag | kShiftFlag, 116, QStringLiteral("Ctrl+Shift+PgUp")},
        {kControlFlag, 36, QStringLiteral("Ctrl+Return")},
        {kControlFlag, 48, QStringLiteral("Ctrl+Tab")},
        {kOptionFlag, 53, QStringLiteral("Alt+Esc")},
        {kControlFlag, 117, QStringLiteral("Ctrl+Del")},
        {kControlFlag, 78, QStringLiteral("Ctrl+Num -")},  // keypad minus
        {kControlFlag, 83, QStringLiteral("Ctrl+Num 1")},
        {kCommandFlag, 44, QStringLiteral("Super+/")},
        {kControlFlag, 50, QStringLiteral("Ctrl+`")},
        {kControlFlag, 10, QString()},  // no key has code 10 on the ANSI layout
    };
    for (const auto& c : cases) {
        EXPECT_EQ(field_->getRepresentation(c.flags, c.code), c.text) << c.code;
    }
    // Every key is named in plain letters: no arrows, no return or escape signs.
    for (const VirtualKey& key : virtualKeys()) {
        const QString text = field_->getRepresentation(kModifierFlags, key.code);
        EXPECT_FALSE(text.isEmpty()) << key.code;
        for (const QChar c : text) {
            EXPECT_LT(c.unicode(), 0x80) << key.code << " " << text.toStdString();
        }
    }
}

TEST_F(HotKeyFieldTest, RecordsTheNextAcceptableCombinationAndWritesItAtOnce) {
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_A, Qt::KeyboardModifiers()},
          std::pair{Qt::Key_A, Qt::KeyboardModifiers(Qt::ShiftModifier)},
          std::pair{Qt::Key_Tab, Qt::KeyboardModifiers()}}) {
        press(key, modifiers);
        EXPECT_TRUE(field_->isRecording());
        EXPECT_EQ(field_->text(), QStringLiteral("Super+Shift+S"));  // nothing typed in
        EXPECT_EQ(stored(), nlohmann::json({0x120000, 1}));
    }
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        nlohmann::json value;
        QString text;
    } cases[] = {
        {Qt::Key_F5, {}, {0, 96}, QStringLiteral("F5")},
        {Qt::Key_Space, Qt::AltModifier, {0x80000, 49}, QStringLiteral("Alt+Space")},
        {Qt::Key_K,
         Qt::ControlModifier | Qt::MetaModifier,
         {0x140000, 40},
         QStringLiteral("Super+Ctrl+K")},
        {Qt::Key_S,
         Qt::ControlModifier | Qt::ShiftModifier,
         {0x60000, 1},
         QStringLiteral("Ctrl+Shift+S")},
    };
    for (const auto& c : cases) {
        press(c.key, c.modifiers);
        EXPECT_FALSE(field_->isRecording());  // the recording ends with the combination
        EXPECT_TRUE(field_->hasFocus());      // and the keyboard stays where it was
        EXPECT_EQ(stored(), c.value);
        EXPECT_EQ(field_->text(), c.text);
        EXPECT_EQ(field_->warning(), nullptr);
    }
}

TEST_F(HotKeyFieldTest, TabReachesTheFieldReturnOrSpaceStartsAndEscapeCancels) {
    other_->setFocus();
    QTest::keyClick(other_, Qt::Key_Backtab);
    ASSERT_TRUE(field_->hasFocus());
    EXPECT_FALSE(field_->isRecording());      // the focus alone records nothing
    EXPECT_FALSE(field_->hasSelectedText());  // only a recording shows the text selected

    for (const Qt::Key start : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        QTest::keyClick(field_, start);
        EXPECT_TRUE(field_->isRecording()) << start;
        EXPECT_EQ(field_->selectedText(), field_->text());
        QTest::keyClick(field_, Qt::Key_Escape);
        EXPECT_FALSE(field_->isRecording());
        EXPECT_FALSE(field_->hasSelectedText());
        EXPECT_TRUE(field_->hasFocus());
        EXPECT_EQ(stored(), nlohmann::json({0x120000, 1}));
        EXPECT_EQ(field_->text(), QStringLiteral("Super+Shift+S"));
    }
    // Alt+Escape is a shortcut, not a cancel.
    QTest::keyClick(field_, Qt::Key_Space);
    QTest::keyClick(field_, Qt::Key_Escape, Qt::AltModifier);
    EXPECT_EQ(stored(), nlohmann::json({0x80000, 53}));
    // A click starts a recording too; leaving the field ends it.
    QTest::mouseClick(field_, Qt::LeftButton);
    EXPECT_TRUE(field_->isRecording());
    other_->setFocus();
    EXPECT_FALSE(field_->isRecording());
}

TEST_F(HotKeyFieldTest, MenuShortcutsConflictSubmenusIncluded) {
    auto* file = menus_->addMenu(QStringLiteral("File"));
    file->addAction(QStringLiteral("Find"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    auto* deeper = file->addMenu(QStringLiteral("More"));
    deeper->addAction(QStringLiteral("Help"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Question));
    const auto actions = menus_->actions();
    const struct {
        std::uint32_t flags;
        std::uint16_t code;
        bool conflict;
    } cases[] = {
        {kControlFlag, 40, true},                // Control+K
        {kControlFlag | kShiftFlag, 40, false},  // not with Shift
        {kControlFlag | kShiftFlag, 44, true},   // "?" in a submenu is Shift with "/"
        {kControlFlag, 44, false},
        {kOptionFlag | kControlFlag, 40, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HotKeyField::validateInMenu(actions, c.flags, c.code), c.conflict) << c.code;
    }

    press(Qt::Key_Slash, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(stored(), nlohmann::json({0x60000, 44}));  // recorded all the same
    ASSERT_NE(field_->warning(), nullptr);
    EXPECT_EQ(field_->warning()->window(), &window_);  // inside the window, no window of its own
    EXPECT_EQ(field_->warning()->findChild<QLabel*>(QStringLiteral("warningText"))->text(),
              QStringLiteral("Shortcut used by another action"));
    press(Qt::Key_F6);
    EXPECT_EQ(field_->warning(), nullptr);  // the next recording takes it away
    press(Qt::Key_K, Qt::ControlModifier);
    EXPECT_NE(field_->warning(), nullptr);
    other_->setFocus();
    EXPECT_EQ(field_->warning(), nullptr);  // and so does leaving the field
}

TEST_F(HotKeyFieldTest, ACombinationHeldByAnotherClientWarns) {
    std::vector<std::pair<std::uint32_t, std::uint16_t>> asked;
    HotKeyField::Platform platform;
    platform.isTaken = [&](std::uint32_t flags, std::uint16_t code) {
        asked.emplace_back(flags, code);
        return code == 97;
    };
    field_->setPlatform(platform);
    press(Qt::Key_F7);
    EXPECT_EQ(field_->warning(), nullptr);
    press(Qt::Key_F6, Qt::ControlModifier);
    EXPECT_NE(field_->warning(), nullptr);
    EXPECT_EQ(asked.back(), (std::pair<std::uint32_t, std::uint16_t>{kControlFlag, 97}));
    EXPECT_EQ(stored(), nlohmann::json({0x40000, 97}));
}

TEST_F(HotKeyFieldTest, LayoutNamesTheMainBlockAndDisablingStopsTheRecording) {
    HotKeyField::Platform platform;
    platform.keyName = [](std::uint16_t code) -> std::optional<QString> {
        return code == 1 ? std::optional<QString>(QStringLiteral("\u044B")) : std::nullopt;
    };
    field_->setPlatform(platform);
    EXPECT_EQ(field_->text(), QStringLiteral("Super+Shift+\u042B"));
    EXPECT_EQ(field_->getRepresentation(kControlFlag, 0), QString());  // the layout has no name
    EXPECT_EQ(field_->getRepresentation(kControlFlag, 96), QStringLiteral("Ctrl+F5"));
    field_->setFocus();
    QTest::keyClick(field_, Qt::Key_Return);
    EXPECT_TRUE(field_->isRecording());
    field_->setEnabled(false);
    EXPECT_FALSE(field_->isRecording());
}

}  // namespace
}  // namespace corvaline::ui
