#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include "core/model/defaults/DefaultsKeys.h"
#include "ui/settings/HotKeyField.h"
#include "ui/settings/SettingsTest.h"
#include "ui/settings/UserInfoPage.h"

namespace corvaline::testing {
namespace {

using SettingsWindowTest = SettingsTest;

TEST_F(SettingsWindowTest, EverySettingAPersonChangesHasAControl) {
    const std::string_view keys[] = {
        defaults::kFontSize,
        defaults::kDisplayRecent,
        defaults::kDisplayTime,
        defaults::kSendMessageKey,
        defaults::kEnableHotKey,
        defaults::kMinimizeMessages,
        defaults::kKeepFocus,
        defaults::kFileTransferPath,
        defaults::kFileTransferAutoAccept,
        defaults::kHideOfflineUsers,
        defaults::kAwayMessage,
        defaults::kBusyMessage,
        defaults::kAutoAwayEnabled,
        defaults::kAutoAwayMinutes,
        defaults::kScreensaverAwayEnabled,
        defaults::kContinuousSpellCheckingEnabled,
        defaults::kSoundsEnabled,
        defaults::kSoundsOnIncoming,
        defaults::kSoundsOnBroadcast,
        defaults::kSoundsAnyTime,
        defaults::kSoundsOnUserOnline,
        defaults::kSoundsOnIncomingFile,
        defaults::kEncoding,
    };
    for (const auto key : keys) {
        EXPECT_NE(window_->control(key), nullptr) << key;
    }
    EXPECT_NE(window_->hotKeyField(), nullptr);
    EXPECT_NE(window_->startAtLogin(), nullptr);
}

TEST_F(SettingsWindowTest, SwitchesWriteTheirDefaultAtOnceAndFollowIt) {
    auto& settings = UserDefaults::standard();
    for (const auto key : {defaults::kHideOfflineUsers, defaults::kKeepFocus,
                           defaults::kSoundsEnabled, defaults::kEnableHotKey}) {
        auto* box = control<QCheckBox>(key);
        ASSERT_NE(box, nullptr) << key;
        const bool before = settings.boolForKey(key);
        EXPECT_EQ(box->isChecked(), before) << key;
        box->click();
        EXPECT_EQ(settings.boolForKey(key), !before) << key;
        settings.setBool(key, before);
        EXPECT_EQ(box->isChecked(), before) << key;
    }
    // Integer defaults behind check boxes are 1 and 0.
    auto* minimise = control<QCheckBox>(defaults::kMinimizeMessages);
    minimise->click();
    EXPECT_EQ(settings.integerForKey(defaults::kMinimizeMessages), 1);
    minimise->click();
    EXPECT_EQ(settings.integerForKey(defaults::kMinimizeMessages), 0);
}

TEST_F(SettingsWindowTest, NumbersAndChoicesWriteTheirDefaults) {
    auto& settings = UserDefaults::standard();
    auto* fontSize = control<QSpinBox>(defaults::kFontSize);
    EXPECT_EQ(fontSize->value(), 18);
    fontSize->setValue(12);
    EXPECT_EQ(settings.integerForKey(defaults::kFontSize), 12);

    auto* sendKey = control<QComboBox>(defaults::kSendMessageKey);
    EXPECT_EQ(sendKey->currentData().toLongLong(), 1);
    sendKey->setCurrentIndex(1);
    emit sendKey->activated(1);
    EXPECT_EQ(settings.integerForKey(defaults::kSendMessageKey), 0);

    settings.setInteger(defaults::kEncoding, 11);
    auto* encoding = control<QComboBox>(defaults::kEncoding);
    EXPECT_EQ(encoding->currentData().toLongLong(), 11);
}

TEST_F(SettingsWindowTest, ReturnInTheAwayTextStartsANewLine) {
    auto* away = control<QPlainTextEdit>(defaults::kAwayMessage);
    window_->setTabName(ui::SettingsWindow::kMessaging);
    away->setPlainText(QStringLiteral("Out"));
    away->moveCursor(QTextCursor::End);
    QTest::keyClick(away, Qt::Key_Return);
    QTest::keyClicks(away, QStringLiteral("Back at 3"));
    EXPECT_EQ(UserDefaults::standard().stringForKey(defaults::kAwayMessage), "Out\nBack at 3");
}

TEST_F(SettingsWindowTest, PageChoiceFitsTheWindowToThePage) {
    EXPECT_EQ(window_->currentTabName(), ui::SettingsWindow::kGeneral);
    std::map<QString, int> heights;
    for (const QString& name : window_->tabNames()) {
        window_->setTabName(name);
        EXPECT_EQ(window_->currentTabName(), name);
        heights[name] = window_->height();
        EXPECT_EQ(window_->height(), window_->sizeHint().height()) << name.toStdString();
    }
    EXPECT_NE(heights[QStringLiteral("Sounds")], heights[ui::SettingsWindow::kMessaging]);
    window_->setTabName(QStringLiteral("Sounds"));
    EXPECT_EQ(window_->height(), heights[QStringLiteral("Sounds")]);
    window_->setTabName(QStringLiteral("No such page"));
    EXPECT_EQ(window_->currentTabName(), QStringLiteral("Sounds"));
}

// The controls of `page` that Tab reaches, in the order it reaches them.
std::vector<QWidget*> tabOrder(QWidget& page) {
    std::vector<QWidget*> order;
    for (QWidget* next = page.nextInFocusChain(); next != &page; next = next->nextInFocusChain()) {
        if (page.isAncestorOf(next) && next->isVisible() && (next->focusPolicy() & Qt::TabFocus) &&
            !next->focusProxy()) {
            order.push_back(next);
        }
    }
    return order;
}

// The same controls as the eye reads them: rows from the top, each row from the left.
std::vector<QWidget*> readingOrder(QWidget& page, std::vector<QWidget*> controls) {
    const auto place = [&page](const QWidget* control) {
        return QRect(control->mapTo(&page, QPoint(0, 0)), control->size());
    };
    std::stable_sort(controls.begin(), controls.end(), [&](const QWidget* a, const QWidget* b) {
        const QRect first = place(a);
        const QRect second = place(b);
        const bool oneRow = std::abs(first.center().y() - second.center().y()) <
                            std::min(first.height(), second.height()) / 2;
        return oneRow ? first.x() < second.x() : first.center().y() < second.center().y();
    });
    return controls;
}

std::vector<std::string> names(const std::vector<QWidget*>& controls) {
    std::vector<std::string> named;
    for (const QWidget* control : controls) {
        const QString name = control->objectName();
        named.push_back(name.isEmpty() ? control->metaObject()->className() : name.toStdString());
    }
    return named;
}

TEST_F(SettingsWindowTest, TabFollowsTheReadingOrderOnEveryPage) {
    for (const QString& name : window_->tabNames()) {
        // Alt shows the user id too, so that it is in the order as well.
        QTest::mouseClick(window_->tabButton(name), Qt::LeftButton, Qt::AltModifier);
        QApplication::processEvents();
        auto* page = window_->findChild<QWidget*>(name);
        ASSERT_NE(page, nullptr) << name.toStdString();
        const auto order = tabOrder(*page);
        EXPECT_GE(order.size(), 1u) << name.toStdString();
        EXPECT_EQ(names(order), names(readingOrder(*page, order))) << name.toStdString();
    }
}

TEST_F(SettingsWindowTest, UserIdShowsOnlyWhenAltIsHeldAsTheUserInfoPageIsChosen) {
    auto* userId = window_->userInfo()->userId();
    QTest::mouseClick(window_->tabButton(ui::SettingsWindow::kUserInfo), Qt::LeftButton);
    EXPECT_EQ(window_->currentTabName(), ui::SettingsWindow::kUserInfo);
    EXPECT_FALSE(userId->isVisible());
    QTest::mouseClick(window_->tabButton(ui::SettingsWindow::kUserInfo), Qt::LeftButton,
                      Qt::AltModifier);
    EXPECT_TRUE(userId->isVisible());
    EXPECT_EQ(userId->text().toStdString(), userList_->me()->userId());
    QTest::mouseClick(window_->tabButton(ui::SettingsWindow::kGeneral), Qt::LeftButton,
                      Qt::AltModifier);
    QTest::mouseClick(window_->tabButton(ui::SettingsWindow::kUserInfo), Qt::LeftButton);
    EXPECT_FALSE(userId->isVisible());
}

TEST_F(SettingsWindowTest, SoundsEvenInFrontApplyOnlyWithASoundOnMessages) {
    auto& settings = UserDefaults::standard();
    const struct {
        bool incoming;
        bool broadcast;
        bool anyMessages;
    } cases[] = {
        {false, false, false}, {true, false, true}, {false, true, true}, {true, true, true}};
    for (const auto& c : cases) {
        settings.setBool(defaults::kSoundsOnIncoming, c.incoming);
        settings.setBool(defaults::kSoundsOnBroadcast, c.broadcast);
        EXPECT_EQ(window_->playSoundsOnAnyMessages(), c.anyMessages);
        EXPECT_EQ(window_->soundsAnyTime()->isEnabled(), c.anyMessages);
    }
}

TEST_F(SettingsWindowTest, ChosenFolderBecomesTheDownloadFolder) {
    window_->setTabName(QStringLiteral("Files"));
    EXPECT_EQ(window_->fileTransferPath()->text(), QStringLiteral("~/Downloads/Corvaline"));
    QFileDialog* chooser = window_->BrowseFileTransferPath();
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->fileMode(), QFileDialog::Directory);
    const QString folder = QString::fromStdString(home_.path().string()) + QStringLiteral("/in");
    emit chooser->fileSelected(folder);
    EXPECT_EQ(UserDefaults::standard().stringForKey(defaults::kFileTransferPath),
              folder.toStdString());
    EXPECT_EQ(window_->fileTransferPath()->text(), folder);
    chooser->reject();
}

TEST_F(SettingsWindowTest, UserInfoReachesTheLocalUserAndTheNameIsAnnounced) {
    window_->setTabName(ui::SettingsWindow::kUserInfo);
    auto* page = window_->userInfo();
    const std::string oldName = userList_->me()->name();
    page->fullName()->setText(QStringLiteral("Zoe Quill"));
    emit page->fullName()->editingFinished();
    EXPECT_EQ(userList_->me()->name(), "Zoe Quill");
    ASSERT_FALSE(presence_.broadcasts.empty());
    const auto& notice = presence_.broadcasts.back();
    EXPECT_EQ(notice.text(0), "UC");
    EXPECT_EQ(notice.text(7), "Zoe Quill");

    page->field("department")->setText(QStringLiteral("Sales"));
    emit page->field("department")->editingFinished();
    page->additionalInformation()->setPlainText(QStringLiteral("Room 4"));
    const auto info = userList_->me()->userInfo();
    EXPECT_EQ(info.department, "Sales");
    EXPECT_EQ(info.additionalInformation, "Room 4");
    EXPECT_FALSE(context_->hasChanges());  // saved
}

TEST_F(SettingsWindowTest, TabReachesTheShortcutFieldAndEscapeCancelsBeforeItCloses) {
    QApplication::setActiveWindow(window_.get());
    auto* enable = control<QCheckBox>(defaults::kEnableHotKey);
    auto* field = window_->hotKeyField();
    enable->setFocus();
    QTest::keyClick(enable, Qt::Key_Tab);
    ASSERT_TRUE(field->hasFocus());
    EXPECT_FALSE(field->isRecording());
    QTest::keyClick(field, Qt::Key_Space);
    EXPECT_TRUE(field->isRecording());
    QTest::keyClick(field, Qt::Key_Escape);  // the recording's, not the window's
    EXPECT_FALSE(field->isRecording());
    EXPECT_TRUE(window_->isVisible());
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(SettingsWindowTest, TheShortcutWarningIsInsideTheWindowAndMovesWithIt) {
    QMenuBar menus;
    menus.addMenu(QStringLiteral("File"))
        ->addAction(QStringLiteral("Find"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    auto* field = window_->hotKeyField();
    field->setMenus(&menus);
    QApplication::setActiveWindow(window_.get());
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier);
    QWidget* warning = field->warning();
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->window(), window_.get());
    EXPECT_FALSE(warning->isWindow());
    QApplication::processEvents();
    const QRect inWindow(warning->mapTo(window_.get(), QPoint()), warning->size());
    EXPECT_TRUE(window_->rect().contains(inWindow));  // laid out, never cut off
    EXPECT_GE(inWindow.top(), field->mapTo(window_.get(), QPoint(0, field->height())).y());

    const QPoint before = warning->mapToGlobal(QPoint());
    const QPoint fieldBefore = field->mapToGlobal(QPoint());
    window_->move(window_->pos() + QPoint(70, 45));
    QApplication::processEvents();
    EXPECT_EQ(warning->mapToGlobal(QPoint()), before + QPoint(70, 45));
    EXPECT_EQ(field->mapToGlobal(QPoint()), fieldBefore + QPoint(70, 45));
    EXPECT_TRUE(warning->isVisible());

    control<QCheckBox>(defaults::kEnableHotKey)->setFocus();
    EXPECT_EQ(field->warning(), nullptr);  // hidden once the field loses the focus
}

}  // namespace
}  // namespace corvaline::testing
