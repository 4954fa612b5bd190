// Draws the conversation windows offscreen on a small store and writes them as PNG files into
// the folder given: a one-user conversation with every kind of line and a typing notice, a
// group chat with its members, the invite sheet with a partly chosen group, the mass-message
// window with a partly chosen group and with a user named "R&D" chosen, and a conversation with
// file-transfer items in their states, one of them a real transfer to 127.0.0.1 caught midway,
// also after a narrowing. Runs in a temporary HOME; the transfer port is opened only inside the
// network namespace it is run in.
#include <stdlib.h>

#include <QApplication>
#include <QLabel>
#include <QTreeView>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ShotFolders.h"
#include "core/model/entities/Chat.h"
#include "core/model/entities/FileTransfer.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/SystemMessage.h"
#include "core/model/entities/User.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/ObjectContext.h"
#include "core/net/FILEserver.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/runloop/MainLoop.h"
#include "support/qt/OffscreenCore.h"
#include "support/qt/OffscreenHome.h"
#include "ui/conversation/Conversation.h"
#include "ui/conversation/InviteSheet.h"
#include "ui/conversation/TextViewForSending.h"
#include "ui/mass/MassMessage.h"
#include "ui/roster/RosterModel.h"
#include "ui/selection/CheckBoxSubClass.h"

using namespace corvaline;

namespace {

std::shared_ptr<User> makeUser(ObjectContext& context, Group& group, const char* id,
                               const char* name, const char* status) {
    auto user = context.insert<User>();
    user->setUserId(id);
    user->setName(name);
    user->setStatus(status);
    user->setIp("10.9.0.1");
    user->setGroup(&group);
    return user;
}

void addMessage(ObjectContext& context, User& user, const char* text, bool incoming, bool offline,
                bool mass, int minutesAgo) {
    auto message = context.insert<Message>();
    message->setMessage(text);
    message->setIncoming(incoming);
    message->setOffline(offline);
    message->setMass(mass);
    message->addUserObject(user);
    const Date when = std::chrono::system_clock::now() - std::chrono::minutes(minutesAgo);
    message->setTime(when);
    message->setTimeReceived(when);
}

void save(QWidget& widget, const std::filesystem::path& file) {
    widget.grab().save(QString::fromStdString(file.string()));
    std::printf("%s\n", file.c_str());
}

std::shared_ptr<FileTransfer> addTransfer(ObjectContext& context, User& user, bool incoming,
                                          std::int64_t state, std::int64_t files,
                                          std::int64_t transferred, std::int64_t bytes,
                                          int minutesAgo) {
    auto transfer = context.insert<FileTransfer>();
    transfer->setIncoming(incoming);
    transfer->setFilesNumber(files);
    transfer->setFilesTransferred(transferred);
    transfer->setFilesTotalSize(bytes);
    transfer->setTransferState(state);
    transfer->addUserObject(user);
    transfer->setTime(std::chrono::system_clock::now() - std::chrono::minutes(minutesAgo));
    return transfer;
}

// Runs the loop and the windows until `done` holds, for at most 30 s.
bool pump(QApplication& application, MainLoop& loop, const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done() && std::chrono::steady_clock::now() < limit) {
        loop.runUntil(done, Duration(0.02));
        application.processEvents();
    }
    return done();
}

// Dan's conversation with a transfer in every state the item shows, the running one real.
void saveTransfers(QApplication& application, MainLoop& loop, ObjectContext& context, User& dan,
                   const std::filesystem::path& home, const std::filesystem::path& out) {
    UserDefaults::standard().setBool("fileTransferAutoAccept", false);
    // Held, as running transfers are: a record read back from the store that was waiting
    // reads as failed.
    const std::vector<std::shared_ptr<FileTransfer>> records = {
        addTransfer(context, dan, true, FileTransfer::kWaiting, 3, 0, 4'200'000, 30),
        addTransfer(context, dan, false, FileTransfer::kWaiting, 1, 0, 850'000, 25),
        addTransfer(context, dan, true, FileTransfer::kComplete, 3, 3, 12'500'000, 20),
        addTransfer(context, dan, false, FileTransfer::kCancelled, 2, 0, 96'000, 15),
        addTransfer(context, dan, true, FileTransfer::kFailed, 4, 1, 70'000'000, 10),
    };
    context.save();

    auto files = FILEserver::create(std::shared_ptr<Executor>(std::shared_ptr<void>(), &loop));
    std::shared_ptr<FileTransfer> incoming;
    auto offers = ModelEvents::shared().observeUserHistoryAppended([&](User&, LogEntry& entry) {
        if (auto* transfer = dynamic_cast<FileTransfer*>(&entry);
            transfer && transfer->incoming()) {
            incoming = std::static_pointer_cast<FileTransfer>(transfer->shared_from_this());
        }
    });
    const auto big = home / "report-archive.tar";
    std::ofstream(big, std::ios::binary).close();
    std::filesystem::resize_file(big, std::uintmax_t(256) << 20);  // sparse
    dan.setIp("127.0.0.1");
    auto sent = files->outgoingFiles({big, big}, dan);
    auto window = ui::Conversation::from(ui::Conversation::open({&dan}, nullptr, false, {}));
    window->resize(560, 900);
    if (sent && pump(application, loop, [&] { return incoming != nullptr; })) {
        incoming->ContinueTransfer(FileTransfer::kRunning);
        pump(application, loop,
             [&] { return sent->bytesReceived() > sent->filesTotalSize() * 3 / 5; });
    }
    application.processEvents();
    save(*window, out / "transfers.png");
    // Narrower and lower: the lines wrap again and the items follow their lines or leave.
    window->resize(340, 600);
    application.processEvents();
    save(*window, out / "transfers-narrowed.png");
    if (sent) {
        sent->ContinueTransfer(FileTransfer::kCancelled);
        pump(application, loop, [&] { return !sent->isRunning() && !incoming->isRunning(); });
    }
    delete window;
}

}  // namespace

int main(int argc, char** argv) {
    const auto folder = shots::shotOutputFolder(argc, argv);
    if (!folder) {
        return 2;
    }
    const std::filesystem::path& out = *folder;
    testing::OffscreenHome offscreenHome("corvaline-shots");
    if (!offscreenHome.made()) {
        return 1;
    }
    const std::filesystem::path& home = offscreenHome.path();
    QApplication application(argc, argv);
    testing::OffscreenCore core;
    if (!core.made()) {
        return 1;
    }
    {  // the windows and records go before the store closes
        auto& context = core.context();
        auto friends = context.insert<Group>();
        friends->setName("Friends");
        auto work = context.insert<Group>();
        work->setName("Work");
        auto ann = makeUser(context, *friends, "A100000001", "Ann Archer", "1");
        ann->setStatusString("in a meeting until noon");
        auto bob = makeUser(context, *friends, "A100000002", "Bob Baker", "0");
        auto cid = makeUser(context, *friends, "A100000003", "Cid Cole", "0");
        auto dan = makeUser(context, *work, "A100000004", "Dan Drake", "0");
        makeUser(context, *work, "A100000005", "Eve Ellis", "10");
        auto rnd = makeUser(context, *work, "A100000006", "R&D", "0");

        addMessage(context, *ann, "Good morning! Are we still on for the review?", true, false,
                   false, 50);
        addMessage(context, *ann, "Yes, at ten. The notes are at https://example.org/notes", false,
                   false, false, 48);
        addMessage(context, *ann, "I left this while you were away.", true, true, false, 40);
        addMessage(context, *ann, "The office closes early on Friday.", true, false, true, 30);
        addMessage(context, *ann, "Reminder for everyone: backups tonight.", true, true, true, 20);
        SystemMessage::addText(context, "Ann has changed the name to Ann Archer.", nullptr,
                               ann.get(), false);
        SystemMessage::addText(context,
                               "Ann Archer is now offline and will not receive messages from "
                               "this conversation until after coming back online.",
                               nullptr, ann.get(), true);
        context.save();

        auto one = ui::Conversation::from(ui::Conversation::open({ann.get()}, nullptr, false, {}));
        ann->setTypingReceived(CoreServices::shared().now());
        application.processEvents();
        save(*one, out / "conversation.png");

        auto* sheet = one->openInviteSheet();
        auto* model = sheet->inviteDataSource();
        const QModelIndex group = model->indexOf(friends.get());
        static_cast<ui::CheckBoxSubClass*>(
            sheet->outlineView()->indexWidget(model->index(0, 0, group)))
            ->click();
        application.processEvents();
        save(*sheet, out / "invite-sheet.png");
        sheet->close();

        auto chat = ui::Conversation::from(
            ui::Conversation::open({bob.get(), cid.get(), dan.get()}, nullptr, false, {}));
        chat->chat()->sendMessage("Lunch at one, anyone?");
        application.processEvents();
        save(*chat, out / "group-chat.png");
        delete chat;

        auto* mass = new ui::MassMessage({bob.get(), dan.get()});
        mass->messageTextView()->setPlainText("The office closes at four today.");
        mass->show();
        application.processEvents();
        save(*mass, out / "mass-message.png");
        delete mass;

        // A name with "&" is shown as typed, not as an Alt shortcut.
        auto* recipients = new ui::MassMessage({rnd.get()});
        recipients->show();
        application.processEvents();
        save(*recipients, out / "recipients-ampersand.png");
        delete recipients;

        saveTransfers(application, core.loop(), context, *dan, home, out);
        delete one;
    }
    return 0;
}
