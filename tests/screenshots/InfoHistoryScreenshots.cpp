// Draws the user-information windows and the history viewer offscreen on a small store and
// writes them as PNG files into the folder given: the pinned window (both tabs) of a user with
// a full record and of a user with only an id, the tool tip over a row of the main list, the
// history viewer with messages, a mass message, a system line and a finished transfer, its
// find bar with a match, and its list after another user's status changed while the person had
// chosen a row. Runs in a temporary HOME and opens no port.
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QScreen>
#include <QTabBar>
#include <cstdio>
#include <filesystem>

#include "ShotFolders.h"
#include "core/model/entities/FileTransfer.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/SystemMessage.h"
#include "core/model/entities/User.h"
#include "core/model/store/ObjectContext.h"
#include "support/qt/OffscreenCore.h"
#include "support/qt/OffscreenHome.h"
#include "ui/history/FindBar.h"
#include "ui/history/HistoryViewer.h"
#include "ui/info/UserInformationWindow.h"
#include "ui/roster/RosterModel.h"
#include "ui/roster/RosterView.h"

using namespace corvaline;

namespace {

void addMessage(ObjectContext& context, User& user, const char* text, bool incoming, bool mass,
                int minutesAgo) {
    auto message = context.insert<Message>();
    message->setMessage(text);
    message->setIncoming(incoming);
    message->setMass(mass);
    message->addUserObject(user);
    const Date when = std::chrono::system_clock::now() - std::chrono::minutes(minutesAgo);
    message->setTime(when);
    message->setTimeReceived(when);
}

void save(const QPixmap& picture, const std::filesystem::path& file) {
    picture.save(QString::fromStdString(file.string()));
    std::printf("%s\n", file.c_str());
}

void save(QWidget& widget, const std::filesystem::path& file) {
    save(widget.grab(), file);
}

}  // namespace

int main(int argc, char** argv) {
    const auto folder = shots::shotOutputFolder(argc, argv);
    if (!folder) {
        return 2;
    }
    const std::filesystem::path& out = *folder;
    testing::OffscreenHome home("corvaline-shots");
    if (!home.made()) {
        return 1;
    }
    QApplication application(argc, argv);
    testing::OffscreenCore core;
    if (!core.made()) {
        return 1;
    }
    {  // the windows and records go before the store closes
        auto& context = core.context();
        auto friends = Group::insertNamed(context, "Friends");
        auto ann = context.insert<User>();
        ann->setUserId("A100000001");
        ann->setName("Ann Archer");
        ann->setStatus("2");
        ann->setIp("10.9.0.11");
        ann->setGroup(friends.get());
        UserInfo record = ann->userInfo();
        record.firstName = "Ann";
        record.lastName = "Archer";
        record.department = "Purchasing";
        record.jobTitle = "Senior buyer";
        record.additionalInformation = "Room 214, extension 5521";
        record.statusString = "at lunch, back at one";
        record.idleTime = "754000";
        record.pc = "ws-archer";
        record.logonUser = "aarcher";
        record.oSversion = "Debian GNU/Linux 12 (bookworm)";
        record.version = "0.1.0";
        record.isOnTS = "1";
        record.tsClientIP = "10.9.0.50";
        record.tsClientPCname = "THIN-07";
        record.tsServerIP = "10.9.0.2";
        record.tsConnectionState = "0";
        ann->applyUserInfo(record);
        auto bare = context.insert<User>();
        bare->setUserId("A100000009");
        bare->setGroup(friends.get());

        addMessage(context, *ann, "Good morning! Are we still on for the review?", true, false, 50);
        addMessage(context, *ann, "Yes, at ten. I will bring the figures.", false, false, 48);
        addMessage(context, *ann, "The office closes early on Friday.", true, true, 30);
        SystemMessage::addText(context, "Ann Archer is now offline.", nullptr, ann.get(), false);
        auto transfer = context.insert<FileTransfer>();
        transfer->setIncoming(true);
        transfer->addUserObject(*ann);
        transfer->setFilesNumber(3);
        transfer->setFilesTotalSize(5 * 1024 * 1024 + 300000);
        transfer->setFolderPath((home.path() / "Downloads" / "Ann Archer - today").string());
        transfer->setTransferState(FileTransfer::kComplete);
        addMessage(context, *ann, "Here are the figures for the review.", true, false, 5);
        auto bob = context.insert<User>();
        bob->setUserId("A100000002");
        bob->setName("Bob Baker");
        bob->setStatus("0");
        bob->setGroup(friends.get());
        addMessage(context, *bob, "The projector is booked.", true, false, 15);
        context.save();

        for (auto* user : {ann.get(), bare.get()}) {
            auto* window = ui::UserInformationWindow::GetInfo(*user);
            const std::string name = user == ann.get() ? "full" : "id-only";
            application.processEvents();
            save(*window, out / ("user-info-" + name + "-personal.png"));
            window->tabView()->setCurrentIndex(1);
            application.processEvents();
            save(*window, out / ("user-info-" + name + "-system.png"));
            window->close();
        }

        ui::RosterModel model(context, core.loop());
        ui::RosterView roster(model);
        roster.setWindowTitle("Corvaline");
        roster.resize(260, 220);
        roster.move(20, 20);
        roster.expandAll();
        roster.show();
        application.processEvents();
        const QRect row = roster.visualRect(model.indexOf(ann.get()));
        ui::UserInformationWindow::showToolTip(
            *ann, roster.viewport()->mapToGlobal(row.center() + QPoint(-2, 2)));
        application.processEvents();
        save(QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, 560, 420),
             out / "user-info-tooltip.png");
        ui::UserInformationWindow::closeToolTip();

        auto* history = ui::HistoryViewer::initAndShow(ann.get());
        application.processEvents();
        save(*history, out / "history.png");
        history->findBar()->field()->setText("review");
        application.processEvents();
        save(*history, out / "history-find.png");
        history->findBar()->field()->clear();
        // The person's own choice stays while another user's status changes; that row's
        // picture follows.
        history->selectItem(bob.get());
        application.processEvents();
        ann->setStatus("0");
        application.processEvents();
        save(*history, out / "history-after-status-change.png");
        delete history;
    }
    return 0;
}
