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

const QString kControl = QString(QChar(0x2303));
const QString kOption = QString(QChar(0x2325));
const QString kShift = QString(QChar(0x21E7));
const QString kCommand = QString(QChar(0x2318));

// A field in a shown window with a menu bar, on the registered defaults.
class HotKeyFieldTest : public ::testing::Test {
  protected:
    void SetUp() override {
        registerApplicationDefaults(UserDefaults::standard(), {});
        auto* layout = new QVBoxLayout(&window_);
        field_ = new HotKeyField(&window_);
        other_ = new QLineEdit(&window_);
        layout->addWidget(field_);
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

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        field_->setFocus();
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

TEST_F(HotKeyFieldTest, ShowsModifierSymbolsAndTheKeyName) {
    EXPECT_EQ(field_->text(), kControl + kShift + QStringLiteral("S"));  // the default [0x60000, 1]
    EXPECT_EQ(HotKeyField::modifiers(kModifierFlags), kControl + kOption + kShift + kCommand);
    const struct {
        std::uint32_t flags;
        std::uint16_t code;
        QString text;
    } cases[] = {
        {0, 96, QStringLiteral("F5")},
        {kOptionFlag, 49, kOption + QStringLiteral("SPACE BAR")},
        {kControlFlag, 123, kControl + QStringLiteral("\u2190")},
        {kCommandFlag, 44, kCommand + QStringLiteral("/")},
        {kControlFlag, 78, kControl + QStringLiteral("\u2013")},  // keypad minus
        {kControlFlag, 90, kControl + QStringLiteral("F20")},
        {kControlFlag, 10, QString()},  // no key has code 10 on the ANSI layout
    };
    for (const auto& c : cases) {
        EXPECT_EQ(field_->getRepresentation(c.flags, c.code), c.text) << c.code;
    }
}

TEST_F(HotKeyFieldTest, RecordsTheNextAcceptableCombinationAndWritesItAtOnce) {
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_A, Qt::KeyboardModifiers()},
          std::pair{Qt::Key_A, Qt::KeyboardModifiers(Qt::ShiftModifier)},
          std::pair{Qt::Key_Escape, Qt::KeyboardModifiers()}}) {
        press(key, modifiers);
        EXPECT_TRUE(field_->isRecording());
        EXPECT_EQ(field_->text(), kControl + kShift + QStringLiteral("S"));  // nothing typed in
        EXPECT_EQ(stored(), nlohmann::json({0x60000, 1}));
    }
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        nlohmann::json value;
        QString text;
    } cases[] = {
        {Qt::Key_F5, {}, {0, 96}, QStringLiteral("F5")},
        {Qt::Key_Space, Qt::AltModifier, {0x80000, 49}, kOption + QStringLiteral("SPACE BAR")},
        {Qt::Key_K,
         Qt::ControlModifier | Qt::MetaModifier,
         {0x140000, 40},
         kControl + kCommand + QStringLiteral("K")},
    };
    for (const auto& c : cases) {
        press(c.key, c.modifiers);
        EXPECT_FALSE(field_->isRecording());  // the recording ends with the combination
        EXPECT_EQ(stored(), c.value);
        EXPECT_EQ(field_->text(), c.text);
        EXPECT_EQ(field_->warning(), nullptr);
    }
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
    EXPECT_EQ(field_->warning()->findChild<QLabel*>(QStringLiteral("warningText"))->text(),
              QStringLiteral("Shortcut used by another action"));
    press(Qt::Key_F6);
    EXPECT_EQ(field_->warning(), nullptr);
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
    EXPECT_EQ(field_->text(), kControl + kShift + QStringLiteral("\u042B"));
    EXPECT_EQ(field_->getRepresentation(kControlFlag, 0), QString());  // the layout has no name
    EXPECT_EQ(field_->getRepresentation(kControlFlag, 96), kControl + QStringLiteral("F5"));
    field_->setFocus();
    EXPECT_TRUE(field_->isRecording());
    field_->setEnabled(false);
    EXPECT_FALSE(field_->isRecording());
}

}  // namespace
}  // namespace corvaline::ui
