// Draws the conversation windows offscreen on a small store and writes them as PNG files into
// the folder given: a one-user conversation with every kind of line and a typing notice, a
// group chat with its members, and the invite sheet with a partly chosen group. Runs in a
// temporary HOME and opens no port.
#include <QApplication>
#include <QLabel>
#include <QTreeView>
#include <cstdio>
#include <filesystem>

#include "app/defaults/RegisteredDefaults.h"
#include "core/model/entities/Chat.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/SystemMessage.h"
#include "core/model/entities/User.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/runloop/MainLoop.h"
#include "support/qt/OffscreenHome.h"
#include "ui/conversation/Conversation.h"
#include "ui/conversation/InviteSheet.h"
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: conversation_screenshots FOLDER\n");
        return 2;
    }
    const std::filesystem::path out = std::filesystem::absolute(argv[1]);
    std::filesystem::create_directories(out);
    testing::OffscreenHome home("corvaline-shots");
    if (!home.made()) {
        return 1;
    }
    QApplication application(argc, argv);
    registerApplicationDefaults(UserDefaults::standard(), {});
    MainLoop loop;
    {
        auto& context = *AppManagedObjectContext();
        UserList list(&context);
        auto& services = CoreServices::shared();
        services.userList = &list;
        services.mainQueue = &loop;
        list.updateMe();
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
        ann->setTypingReceived(services.now());
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
        delete one;
        services = CoreServices{};
    }
    AppStore::shared().close();
    return 0;
}
