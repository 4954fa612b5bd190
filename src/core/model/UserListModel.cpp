#include "core/model/UserListModel.h"

#include "core/model/entities/Chat.h"
#include "core/model/entities/FileTransfer.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/LogEntry.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/MessageForForwarding.h"
#include "core/model/entities/SystemMessage.h"
#include "core/model/entities/TreeItem.h"
#include "core/model/entities/User.h"

namespace corvaline {

namespace {

// Raised whenever the entities change; older stores are brought forward when opened.
constexpr int kSchemaVersion = 4;

template <class T>
EntityDescription::Factory factory() {
    return [](const EntityDescription& entity) { return std::make_shared<T>(entity); };
}

void addTexts(ManagedObjectModel& model, EntityDescription& entity,
              std::initializer_list<const char*> names) {
    for (const char* name : names) {
        model.addAttribute(entity, name, AttributeType::Text);
    }
}

std::unique_ptr<ManagedObjectModel> build() {
    auto model = std::make_unique<ManagedObjectModel>(kSchemaVersion);
    auto& treeItem = model->addEntity("TreeItem", nullptr, factory<TreeItem>(), true);
    auto& user = model->addEntity("User", &treeItem, factory<User>());
    auto& group = model->addEntity("Group", &treeItem, factory<Group>());
    auto& me = model->addEntity("Me", &user, factory<Me>());
    auto& chat = model->addEntity("Chat", nullptr, factory<Chat>());
    auto& logEntry = model->addEntity("LogEntry", nullptr, factory<LogEntry>(), true);
    auto& message = model->addEntity("Message", &logEntry, factory<Message>());
    auto& systemMessage = model->addEntity("SystemMessage", &logEntry, factory<SystemMessage>());
    auto& fileTransfer = model->addEntity("FileTransfer", &logEntry, factory<FileTransfer>());
    auto& forwarding =
        model->addEntity("MessageForForwarding", nullptr, factory<MessageForForwarding>());
    model->loadOnDemand(logEntry);

    model->addAttribute(treeItem, "isUser", AttributeType::Boolean);
    addTexts(*model, treeItem, {"name", "icon"});

    addTexts(
        *model, user,
        {"userId", "status", "statusString", "idleTime", "pc", "ip", "logonUser", "version",
         "oSversion", "firstName", "lastName", "department", "jobTitle", "additionalInformation",
         "isOnTS", "tsClientIP", "tsServerIP", "tsClientPCname", "tsConnectionState"});
    // Every presence packet looks its sender up by id.
    model->indexInMemory(user, "userId");
    model->addAttribute(user, "sessionId", AttributeType::Integer64);
    model->addAttribute(user, "seenLastTime", AttributeType::Date);
    model->addAttribute(user, "userOffline", AttributeType::Boolean);
    model->addAttribute(user, "removed", AttributeType::Boolean);
    model->addToOne(user, "group", group, "users");

    model->addAttribute(group, "expanded", AttributeType::Boolean);

    model->addAttribute(me, "inIdleAway", AttributeType::Boolean);
    model->addAttribute(me, "statusBeforeIdle", AttributeType::Text);

    model->addAttribute(chat, "roomId", AttributeType::Integer64);

    model->addAttribute(logEntry, "incoming", AttributeType::Boolean);
    model->addAttribute(logEntry, "time", AttributeType::Date);
    model->addAttribute(logEntry, "timeReceived", AttributeType::Date);
    model->addAttribute(logEntry, "originalSenderName", AttributeType::Text);
    model->addToOne(logEntry, "chat", chat, "log");
    // A user's history is read newest first and without the chat lines: the join rows carry
    // the receipt time and the chat, so that counting and fetching it read one index.
    model->addManyToMany(logEntry, "user", user, "log",
                         {"LogEntryUser", "entry", "user", {"timeReceived"}, {"chat"}});

    model->addAttribute(message, "message", AttributeType::Text);
    model->addAttribute(message, "messageId", AttributeType::Integer64);
    model->addAttribute(message, "mass", AttributeType::Boolean);
    model->addAttribute(message, "offline", AttributeType::Boolean);

    model->addAttribute(systemMessage, "text", AttributeType::Text);
    model->addAttribute(systemMessage, "error", AttributeType::Boolean);

    model->addAttribute(fileTransfer, "filesNumber", AttributeType::Integer64);
    model->addAttribute(fileTransfer, "filesTransferred", AttributeType::Integer64);
    model->addAttribute(fileTransfer, "filesTotalSize", AttributeType::Integer64);
    model->addAttribute(fileTransfer, "transferState", AttributeType::Integer64);
    model->addAttribute(fileTransfer, "folderPath", AttributeType::Text);

    model->addAttribute(forwarding, "mass", AttributeType::Boolean);
    model->addAttribute(forwarding, "message", AttributeType::Data);
    model->addAttribute(forwarding, "messageId", AttributeType::Integer64);
    model->addAttribute(forwarding, "time", AttributeType::Date);
    model->addManyToMany(forwarding, "recipients", user, "offlineMessages",
                         {"ForwardingRecipient", "message", "user", {}, {}});
    model->addToOne(forwarding, "sender", user, "offlineMessagesSent");

    // Only a chat's lines are looked up by chat: the far more frequent lines between two
    // people, which have none, stay out of these two indexes and cost nothing there on save.
    model->addIndex("LogEntry", {"chat", "timeReceived"}, true);
    model->addIndex("LogEntry", {"chat", "time"}, true);
    model->addIndex("LogEntry", {"messageId"});
    model->finish();
    return model;
}

}  // namespace

const ManagedObjectModel& userListModel() {
    static const std::unique_ptr<ManagedObjectModel> model = build();
    return *model;
}

}  // namespace corvaline
