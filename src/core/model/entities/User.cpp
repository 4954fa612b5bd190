#include "core/model/entities/User.h"

#include <chrono>
#include <utility>

#include "core/codec/PacketCodec.h"
#include "core/codec/UnicodeField.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/Random.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/MessageService.h"
#include "core/model/services/PresenceService.h"
#include "core/model/services/RelayService.h"
#include "core/model/services/UserInterface.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/notifications/NotificationCenter.h"
#include "platform/trace/DebugTracer.h"

namespace corvaline {

namespace {

using namespace std::chrono_literals;

// The user-information attributes by their record names, for reading and applying.
struct InfoField {
    std::string_view key;
    std::optional<std::string> UserInfo::*member;
};

constexpr InfoField kInfoFields[] = {
    {"pc", &UserInfo::pc},
    {"logonUser", &UserInfo::logonUser},
    {"version", &UserInfo::version},
    {"statusString", &UserInfo::statusString},
    {"firstName", &UserInfo::firstName},
    {"lastName", &UserInfo::lastName},
    {"jobTitle", &UserInfo::jobTitle},
    {"additionalInformation", &UserInfo::additionalInformation},
    {"department", &UserInfo::department},
    {"status", &UserInfo::status},
    {"idleTime", &UserInfo::idleTime},
    {"isOnTS", &UserInfo::isOnTS},
    {"oSversion", &UserInfo::oSversion},
    {"tsClientIP", &UserInfo::tsClientIP},
    {"tsServerIP", &UserInfo::tsServerIP},
    {"tsClientPCname", &UserInfo::tsClientPCname},
    {"tsConnectionState", &UserInfo::tsConnectionState},
};

}  // namespace

void User::awakeFromInsert() {
    setPrimitiveValue("isUser", true);
    setSeenLastTime(CoreServices::shared().now());
    updateIcon();
}

void User::awakeFromFetch() {
    listedIn_ = removed() || !group() ? std::weak_ptr<ManagedObject>() : group()->weak_from_this();
    if (!removed() && !group() && context()) {
        setGroup(Group::general(*context()).get());
    }
    const auto seen = seenLastTime();
    if (!seen || CoreServices::shared().now() - *seen > 500ms) {
        DebugTracer::addLogItem("User " + userId() + " is offline on awakeFromFetch", 0);
        setStatus("10");
    } else {
        updateIcon();
    }
}

UserStatus User::userStatus() const {
    if (userOffline()) {
        return UserStatus::Offline;
    }
    return statusFromCode(status()).value_or(UserStatus::Busy);
}

void User::valueDidChange(std::string_view key) {
    if (key == "group" || key == "removed") {
        updateListing();
    } else if (key != "seenLastTime" && entity().attributeIndex(key) >= 0) {
        ModelEvents::shared().userChanged(*this, key);
    }
}

void User::updateListing() {
    Group* now = removed() || isDeleted() ? nullptr : group();
    // A group that is gone took its users out of the list with it.
    const auto held = listedIn_.lock();
    auto* before = static_cast<Group*>(held.get());
    listedIn_ = now ? now->weak_from_this() : std::weak_ptr<ManagedObject>();
    if (before == now) {
        return;
    }
    auto& events = ModelEvents::shared();
    if (!before) {
        events.userInserted(*this, *now);
    } else if (!now) {
        events.userRemoved(*this, *before);
    } else {
        events.userMoved(*this, *before, *now);
    }
}

void User::updateIcon() {
    if (userOffline()) {
        setIcon("Offline");
    } else if (status() == "0") {
        setIcon("Normal");
    } else if (status() == "2") {
        setIcon("Away");
    } else {
        setIcon("Dnd");
    }
}

void User::setName(std::string name) {
    setValue("name", std::move(name));
    NotificationCenter::defaultCenter().post("userChangedHisName", this);
}

void User::setStatusString(std::optional<std::string> text) {
    setValue("statusString", text ? Value{std::move(*text)} : Value{});
}

void User::setStatus(const std::string& code) {
    if (code == "0") {
        setStatusString(std::nullopt);
    } else if (code != "2") {
        setValue("idleTime", Value{});
    }
    const bool offline = code == "10";
    const bool wasOffline = userOffline();
    if (offline != wasOffline) {
        if (removed()) {
            setRemoved(false);
            if (!group() && context()) {
                setGroup(Group::general(*context()).get());
            }
        }
        setValue("userOffline", offline);
        NotificationCenter::defaultCenter().post("userChangedHisOfflineStatus", this);
    }
    setValue("status", code.empty() ? Value{} : Value{code});
    updateIcon();
    if (!offline) {
        // Only coming online delivers what is held: a change between online statuses would
        // start another pass and send every held message again.
        if (auto* relay = CoreServices::shared().relay; relay && wasOffline) {
            relay->sendOnUserIn(*this);
        }
        setSeenLastTime(CoreServices::shared().now());
    }
}

void User::RequestUserInfo() {
    if (infoRequested_) {
        infoWanted_ = true;  // the answer to the one in flight is as new as another would be
        return;
    }
    DebugTracer::addLogItem("sending TCP packet TRI to: " + userId(), 0);
    auto& services = CoreServices::shared();
    if (!services.userList || !services.userList->me() || !services.messages) {
        return;
    }
    const auto& me = *services.userList->me();
    const Packet packet{"TRI", "*", me.pc(), me.userId(), "*", userId(), "*", "*"};
    if (auto bytes = PacketCodec::shared().PlainPacket(packet)) {
        infoRequested_ = true;
        infoWanted_ = false;
        services.messages->SendTCPrequest(*bytes, *this, [weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                auto& user = static_cast<User&>(*self);
                user.infoRequested_ = false;
                // Unanswered while another was asked for: that one goes now, once.
                if (std::exchange(user.infoWanted_, false) && user.userOffline()) {
                    user.RequestUserInfo();
                }
            }
        });
    }
}

void User::StartConversation(bool incoming) {
    if (conversationWindow_) {
        // An incoming entry is followed by its pop-up, which brings the window forward as
        // the settings say, without the keyboard.
        if (!incoming) {
            conversationWindow_->makeKeyAndFront();
        }
        return;
    }
    if (auto* windows = CoreServices::shared().windows) {
        setConversationWindow(windows->openConversation({this}, nullptr, incoming));
    }
}

void User::sendIsTyping() {
    const Date now = CoreServices::shared().now();
    if (typingSent_ && now - *typingSent_ <= 2s) {
        return;
    }
    if (auto* presence = CoreServices::shared().presence) {
        presence->SendTyping(*this);
    }
    typingSent_ = now;
}

void User::SendMessage(const std::string& text,
                       const std::optional<std::vector<User*>>& recipients) {
    auto& services = CoreServices::shared();
    const Me* me = services.userList ? services.userList->me().get() : nullptr;
    if (!context() || !me) {
        return;
    }
    const bool mass = recipients.has_value();
    auto message = context()->insert<Message>();
    message->setMessage(text);
    message->setIncoming(false);
    message->setMass(mass);
    message->setMessageId(genInt64random());
    message->setOriginalSenderName(me->name());
    for (User* user : recipients ? *recipients : std::vector<User*>{this}) {
        message->addUserObject(*user);
    }
    SendOfflineMessageIfNeeded(*message);
    const std::string type = mass ? "TMM" : "TSM";
    Packet packet{type,
                  std::to_string(message->messageId()),
                  me->pc(),
                  me->userId(),
                  "*",
                  "",
                  EncodeUnicodeField(text),
                  "*"};
    // The connections are opened before the save so that they are made while the store
    // writes; their receipts are handled on this thread, after the save.
    for (User* user : message->user()) {
        if (user->userOffline() || !services.messages) {
            continue;
        }
        packet[5] = user->userId();
        DebugTracer::addLogItem("sending TCP packet " + type + " to: " + userId(), 0);
        if (auto bytes = PacketCodec::shared().PlainPacket(packet)) {
            services.messages->SendTCPpacket(*bytes, *user, message);
        }
    }
    saveIfChanged(*context());

    bool toMe = false;
    for (User* user : message->user()) {
        NotificationCenter::defaultCenter().post("logUpdated", user);
        ModelEvents::shared().userHistoryAppended(*user, *message);
        toMe = toMe || user == me;
    }
    if (toMe) {
        services.userList->me()->MessageReceived();
        message->playSoundAndPopupWindow();
    }
}

void User::MessageReceived() {
    StartConversation(true);
    setTypingReceived(std::nullopt);
    NotificationCenter::defaultCenter().post("logUpdated", this);
}

void User::SendOfflineMessageIfNeeded(Message& message) {
    if (auto* relay = CoreServices::shared().relay) {
        relay->SendOfflineMessageIfNeeded(message);
    }
}

std::int64_t User::genInt64random() {
    const auto first = uniformRandomBelow(9999999);
    const auto second = uniformRandomBelow(9999999);
    return std::stoll(std::to_string(first) + std::to_string(second));
}

UserInfo User::userInfo() const {
    UserInfo info;
    for (const auto& field : kInfoFields) {
        info.*field.member = optionalText(field.key);
    }
    return info;
}

void User::applyUserInfo(const UserInfo& info) {
    for (const auto& field : kInfoFields) {
        std::optional<std::string> value = info.*field.member;
        if (value && (*value == "*" || value->empty())) {
            value.reset();
        }
        if (optionalText(field.key) == value) {
            continue;
        }
        if (field.key == "status") {
            setStatus(value.value_or(std::string()));
        } else if (field.key == "statusString") {
            setStatusString(value);
        } else {
            setValue(field.key, value ? Value{*value} : Value{});
        }
    }
}

Group* User::group() const {
    return static_cast<Group*>(toOne("group"));
}

void User::setGroup(Group* group) {
    setToOne("group", group);
}

void User::setTypingReceived(std::optional<Date> when) {
    const bool changed = typingReceived_ != when;
    typingReceived_ = when;
    if (changed) {
        ModelEvents::shared().userChanged(*this, "typingReceived");
    }
    didChangeValue("typingReceived");
}

void User::setConversationWindow(std::shared_ptr<ConversationWindow> window) {
    conversationWindow_ = std::move(window);
    didChangeValue("conversationWindow");
}

}  // namespace corvaline
