#include "app/delegate/CVLAppDelegate.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/support/AppTest.h"
#include "core/model/services/UserInterface.h"
#include "core/net/TCPserver.h"
#include "core/net/UDPserver.h"
#include "platform/trace/DebugTracer.h"
#include "ui/conversation/Conversation.h"
#include "ui/roster/RosterModel.h"
#include "ui/roster/RosterView.h"
#include "ui/support/Mnemonics.h"

namespace corvaline::testing {
namespace {

using CVLAppDelegateTest = AppTest;

TEST_F(CVLAppDelegateTest, StartsTheCoreBehindTheWindowAndFollowsTheStoredStatus) {
    auto& services = CoreServices::shared();
    auto* core = delegate_->core();
    ASSERT_NE(core, nullptr);
    EXPECT_TRUE(core->isRunning());
    EXPECT_EQ(services.userList, core->userList());
    EXPECT_EQ(services.messages, core->tcpServer());
    EXPECT_EQ(services.presence, core->udpServer());
    EXPECT_NE(services.windows, nullptr);
    EXPECT_NE(services.activity, nullptr);
    EXPECT_EQ(services.mainQueue, loop_.get());
    EXPECT_TRUE(window().isVisible());
    EXPECT_FALSE(window().servicesStopped());
    EXPECT_TRUE(window().rosterView()->isVisible());
    EXPECT_TRUE(window().statusButton(0)->isChecked());
    EXPECT_EQ(delegate_->trayIcon(), nullptr);  // offscreen there is no tray, and no complaint
    EXPECT_EQ(window().menuBar()->actions().front()->text(), "&Corvaline");

    me().setStatus("1");
    delegate_.reset();  // a new start of the program
    delegate_ = std::make_unique<app::CVLAppDelegate>(loop_);
    delegate_->applicationDidFinishLaunching();
    EXPECT_EQ(me().status(), "1");
    EXPECT_TRUE(window().statusButton(1)->isChecked());
}

TEST_F(CVLAppDelegateTest, EveryMenuItemAnswersAltAndALetterOfItsOwn) {
    EXPECT_EQ(mnemonicFaults(*window().menuBar()), std::vector<std::string>{});
    // The context menus of the empty area, of a group row and of a user row.
    auto* view = qobject_cast<ui::RosterView*>(window().rosterView());
    ASSERT_NE(view, nullptr);
    view->expandAll();
    const QModelIndex group = view->model()->index(0, 0);
    const QPoint places[] = {
        QPoint(5, view->viewport()->height() - 2),
        view->visualRect(group).center(),
        view->visualRect(view->model()->index(0, 0, group)).center(),
    };
    std::set<QMenu*> menus;
    for (const QPoint& place : places) {
        QMenu* menu = view->menuForPosition(place);
        ASSERT_NE(menu, nullptr);
        menus.insert(menu);
        EXPECT_EQ(mnemonicFaults(menu->actions()), std::vector<std::string>{})
            << menu->title().toStdString();
    }
    EXPECT_EQ(menus.size(), 3u);
}

TEST_F(CVLAppDelegateTest, TerminatingSavesTheStoreAndTakesEverybodyOffline) {
    auto ann = user("A100000001");
    ASSERT_FALSE(ann->userOffline());
    me().setName("Renamed here");  // an unsaved change
    DebugTracer::setEnabled(true);
    ::testing::internal::CaptureStderr();
    delegate_->applicationWillTerminate();
    delegate_->applicationWillTerminate();  // once only
    const std::string trace = ::testing::internal::GetCapturedStderr();
    DebugTracer::setEnabled(false);
    EXPECT_FALSE(delegate_->core()->isRunning());
    EXPECT_TRUE(ann->userOffline());
    EXPECT_FALSE(context().hasChanges());
    EXPECT_NE(trace.find("is offline on goOffline"), std::string::npos);
    const auto off = trace.find("turn off servers");
    EXPECT_NE(off, std::string::npos);
    EXPECT_EQ(trace.find("turn off servers", off + 1), std::string::npos);
    EXPECT_LT(trace.find("is offline on goOffline"), off);
}

TEST_F(CVLAppDelegateTest, StoppedServicesShowTheReasonUntilSignIn) {
    delegate_->core()->userList()->stopEverything();
    EXPECT_TRUE(window().servicesStopped());
    EXPECT_TRUE(window().errorMessage()->isVisible());
    EXPECT_EQ(window().errorMessage()->textFormat(), Qt::PlainText);
    window().signInButton()->click();
    EXPECT_FALSE(window().servicesStopped());
    EXPECT_TRUE(delegate_->core()->tcpServer() != nullptr);
}

TEST_F(CVLAppDelegateTest, ErrorsFromTheCoreAreShownAsPlainText) {
    CoreServices::shared().windows->presentError("<b>disk</b> full");
    QMessageBox* box = window().findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "<b>disk</b> full");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_TRUE(box->isVisible());
    box->close();
}

TEST_F(CVLAppDelegateTest, FilesDroppedOntoAnOnlineUserStartATransfer) {
    auto* list = delegate_->userListDataSource();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(window().rosterView(), delegate_->outlineView());
    const auto file = home_.path() / "notes.txt";
    std::ofstream(file) << "some notes";
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
    auto ann = user("A100000001");
    const auto before = ann->logEntriesNumber();
    EXPECT_TRUE(list->dropMimeData(&files, Qt::CopyAction, -1, 0, list->indexOf(ann.get())));
    EXPECT_EQ(ann->logEntriesNumber(), before + 1);  // the transfer is in her history
    EXPECT_FALSE(
        list->dropMimeData(&files, Qt::CopyAction, -1, 0, list->indexOf(user("A100000002").get())));
}

TEST_F(CVLAppDelegateTest, CommandsAreEnabledOnlyWhenTheyWouldAct) {
    QMenu* contacts = nullptr;
    for (auto* menu : window().menuBar()->findChildren<QMenu*>()) {
        if (menu->title().remove(QChar('&')) == "Contacts") {  // with or without mnemonics
            contacts = menu;
        }
    }
    ASSERT_NE(contacts, nullptr);
    const auto enabled = [contacts] {
        QStringList names;
        for (const char* name : {"Start Conversation", "Start Group Conversation", "Send Files...",
                                 "Get Info", "Delete User"}) {
            for (auto* action : contacts->actions()) {
                if (action->text().remove(QChar('&')) == name && action->isEnabled()) {
                    names << name;
                }
            }
        }
        return names;
    };
    auto* list = delegate_->userListDataSource();
    auto* view = delegate_->outlineView();
    const auto select = [&](const TreeItem* item) {
        view->selectionModel()->select(list->indexOf(item), QItemSelectionModel::ClearAndSelect);
    };
    auto ann = user("A100000001");
    const QStringList forUsers{"Start Conversation", "Get Info", "Delete User"};
    EXPECT_EQ(enabled(), QStringList{});
    select(ann.get());
    EXPECT_EQ(enabled(),
              (QStringList{"Start Conversation", "Send Files...", "Get Info", "Delete User"}));
    select(user("A100000002").get());  // offline: no files
    EXPECT_EQ(enabled(), forUsers);
    ASSERT_TRUE(list->indexOf(&me()).isValid());
    select(&me());  // never deleted
    EXPECT_EQ(enabled(), (QStringList{"Start Conversation", "Send Files...", "Get Info"}));
    select(group("Work").get());  // Dan is offline: nobody to talk to
    EXPECT_EQ(enabled(), QStringList{});
    select(group("Friends").get());
    EXPECT_EQ(enabled(), QStringList{"Start Group Conversation"});
    ann->setStatus("10");  // the last one online goes
    loop_->runPending();   // the list applies a turn's changes in the next
    EXPECT_EQ(enabled(), QStringList{});
    view->clearSelection();
    EXPECT_EQ(enabled(), QStringList{});
}

TEST_F(CVLAppDelegateTest, ClassSetUpChoosesTheEncodingAndResetsAMissingReceivedFilesFolder) {
    const auto language = qEnvironmentVariable("LANGUAGE");
    const struct {
        const char* languages;
        unsigned encoding;
    } table[] = {
        {"ru_RU:en_US", 11}, {"en_GB:de_DE", 12}, {"pl_PL:ru_RU", 11},
        {"ru_RU:de_DE", 11}, {"tr_TR", 14},       {"el", 13},
    };
    for (const auto& [languages, encoding] : table) {
        setenv("LANGUAGE", languages, 1);
        const auto gone = home_.path() / "gone";
        std::filesystem::create_directories(gone);
        setDefault("fileTransferPath", "~/gone");
        std::filesystem::remove(gone);
        app::CVLAppDelegate::initialize();
        EXPECT_EQ(UserDefaults::standard().integerForKey("encoding"), encoding) << languages;
        EXPECT_EQ(UserDefaults::standard().stringForKey("fileTransferPath"),
                  "~/Downloads/Corvaline")
            << languages;
    }
    setenv("LANGUAGE", language.toUtf8().constData(), 1);
    app::CVLAppDelegate::initialize();
}

TEST_F(CVLAppDelegateTest, BringingTheWindowForwardClearsOnlyTheMinimisedState) {
    const struct {
        Qt::WindowStates before;
        bool hidden;  // closed into the tray
        Qt::WindowStates after;
    } cases[] = {
        {Qt::WindowMaximized, false, Qt::WindowMaximized},
        {Qt::WindowMaximized | Qt::WindowMinimized, false, Qt::WindowMaximized},
        {Qt::WindowMaximized, true, Qt::WindowMaximized},
        {Qt::WindowFullScreen | Qt::WindowMinimized, false, Qt::WindowFullScreen},
        {Qt::WindowMinimized, false, Qt::WindowNoState},
        {Qt::WindowNoState, true, Qt::WindowNoState},
    };
    for (const auto& c : cases) {
        window().setWindowState(c.before);
        window().setVisible(!c.hidden);
        delegate_->restoreWindow();
        EXPECT_EQ(window().windowState(), c.after) << c.before << " hidden " << c.hidden;
        EXPECT_TRUE(window().isVisible());
    }
}

TEST_F(CVLAppDelegateTest, AConversationWindowLeftOpenOutlivesTheDelegateSafely) {
    user("A100000001")->StartConversation(false);
    QPointer<QWidget> conversation;
    for (auto* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<ui::Conversation*>(widget)) {
            conversation = widget;
        }
    }
    ASSERT_FALSE(conversation.isNull());
    delegate_.reset();
    QEvent activation(QEvent::ActivationChange);
    QApplication::sendEvent(conversation, &activation);  // its menu leaves a menu bar now gone
    delete conversation.data();
}

}  // namespace
}  // namespace corvaline::testing
