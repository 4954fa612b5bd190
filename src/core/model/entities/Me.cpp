#include "core/model/entities/Me.h"

#include <unistd.h>

#include "core/codec/PacketCodec.h"
#include "core/format/GroupAndUserNameFormatter.h"
#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/LocalIdentity.h"
#include "core/model/entities/Random.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/PresenceService.h"
#include "core/model/services/UserActivity.h"
#include "core/model/services/UserInterface.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/paths/Account.h"
#include "platform/paths/OsRelease.h"

namespace corvaline {

Me::~Me() {
    idleTimer_.cancel();
}

std::shared_ptr<Me> Me::getMe(ObjectContext& context) {
    auto records = context.fetch<Me>();
    if (!records.empty()) {
        auto me = records.front();
        me->fillUserInfo();
        saveIfChanged(context);
        return me;
    }
    auto me = context.insert<Me>();
    me->setGroup(Group::general(context).get());
    me->setUserId(defaultUserId());
    me->setValue("name", defaultName());
    me->fillUserInfo();
    saveIfChanged(context);
    return me;
}

std::string Me::defaultUserId() {
    if (auto machineId = readMachineId()) {
        if (auto id = userIdForMachine(*machineId, static_cast<unsigned>(getuid()))) {
            return *id;
        }
    }
    return "A" + std::to_string(uniformRandomBelow(899999999) + 100000000);
}

std::string Me::defaultName() {
    const GroupAndUserNameFormatter formatter(true);
    auto name = formatter.stringForObjectValue(fullName()).value_or(std::string());
    if (name.empty()) {
        name = formatter.stringForObjectValue(accountName()).value_or(std::string());
    }
    return name;
}

void Me::fillUserInfo() {
    const std::string stored = status();
    setStatus(!stored.empty() && stored != "10" ? stored : "0");
    if (!sessionId()) {
        setSessionId(uniformRandomBelow(999999999));
    }
    setPc(hostName());
    setValue("version", std::string(CORVALINE_VERSION));
    setValue("isOnTS", std::string("0"));
    setValue("oSversion", operatingSystemText());
    setValue("logonUser", accountName());
    setValue("userOffline", false);
    setColor("gray");
    setIp("127.0.0.1");
    auto& defaults = UserDefaults::standard();
    autoAwayBinding_ = defaults.observe(defaults::kAutoAwayEnabled, [this] {
        setAutoAwayEnabled(UserDefaults::standard().boolForKey(defaults::kAutoAwayEnabled));
    });
    setAutoAwayEnabled(defaults.boolForKey(defaults::kAutoAwayEnabled));
}

void Me::setUserId(std::string userId) {
    goOffline();
    User::setUserId(std::move(userId));
    if (auto* presence = CoreServices::shared().presence) {
        presence->RefreshUserList();
    }
    if (context()) {
        saveIfChanged(*context());
    }
}

void Me::setName(std::string name) {
    const auto stored = optionalText("name");
    if (stored == name) {
        return;
    }
    if (CoreServices::shared().presence) {
        sendUDPnotification("UC", stored, name);
    }
    User::setName(std::move(name));
}

void Me::setStatus(const std::string& code) {
    auto& services = CoreServices::shared();
    if (services.userList && services.userList->me() && services.userList->me().get() != this) {
        User::setStatus(code);  // an old local-user record is an ordinary user
        return;
    }
    if (code == "10") {
        return;
    }
    if (code != "0") {
        setStatusString(UserDefaults::standard().stringForKey(
            code == "2" ? defaults::kAwayMessage : defaults::kBusyMessage));
    }
    User::setStatus(code);
    if (services.windows) {
        services.windows->setDockIcon(icon());
        services.windows->setTrayIcon("AppIcon");
    }
    if (services.presence) {
        sendUDPnotification("SS", std::nullopt, std::nullopt);
    }
}

void Me::goOffline() {
    if (CoreServices::shared().presence) {
        sendUDPnotification("UO", std::nullopt, std::nullopt);
    }
}

void Me::sendUDPnotification(std::string_view type, const std::optional<std::string>& oldName,
                             const std::optional<std::string>& newName) {
    auto* presence = CoreServices::shared().presence;
    if (!presence) {
        return;
    }
    const std::string old = oldName ? *oldName : "*";
    const std::string fresh = oldName ? newName.value_or(std::string()) : "*";
    const Packet packet{std::string(type),
                        status(),
                        pc(),
                        userId(),
                        "*",
                        "*",
                        old,
                        fresh,
                        std::to_string(sessionId().value_or(0))};
    if (auto bytes = PacketCodec::shared().PlainPacket(packet)) {
        presence->SendPacketToEveryone(*bytes);
    }
}

void Me::setAutoAwayEnabled(bool enabled) {
    autoAwayEnabled_ = enabled;
    if (enabled) {
        auto* main = CoreServices::shared().mainQueue;
        if (!idleTimer_.isScheduled() && main) {
            idleTimer_ = main->repeating(Duration(1.0), [this] { idleCheckTimer(); });
        }
        return;
    }
    setValue("inIdleAway", false);
    idleTimer_.cancel();
    idleTimer_ = TimerHandle();
}

std::optional<std::string> Me::idleTime() {
    std::optional<std::string> value;
    auto* activity = CoreServices::shared().activity;
    if (auto seconds = activity ? activity->secondsSinceLastInput() : std::nullopt) {
        const auto minutes = UserDefaults::standard().integerForKey(defaults::kAutoAwayMinutes);
        if (*seconds / 60.0 > static_cast<double>(minutes)) {
            value = std::to_string(static_cast<long>(*seconds * 1000.0));
        }
    }
    setPrimitiveValue("idleTime", value ? Value{*value} : Value{});
    return value;
}

void Me::idleCheckTimer() {
    const bool idle = inScreensaverAway_ || idleTime().has_value();
    if (idle == inIdleAway()) {
        return;
    }
    setValue("inIdleAway", idle);
    if (idle) {
        setValue("statusBeforeIdle", status());
        setStatus("2");
    } else {
        setStatus(statusBeforeIdle());
    }
    if (auto* windows = CoreServices::shared().windows) {
        windows->statusMatrixSelectionChanged();
    }
}

void Me::screensaverDid(bool started) {
    if (!UserDefaults::standard().boolForKey(defaults::kScreensaverAwayEnabled)) {
        return;
    }
    inScreensaverAway_ = started;
    if (!autoAwayEnabled_) {
        idleCheckTimer();
    }
}

}  // namespace corvaline
