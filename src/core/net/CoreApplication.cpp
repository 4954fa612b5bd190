#include "core/net/CoreApplication.h"

#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/relay/MessageRelay.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/net/FILEserver.h"
#include "core/net/ModelHooks.h"
#include "core/net/TCPserver.h"
#include "core/net/UDPserver.h"
#include "platform/system/ClockChangeMonitor.h"
#include "platform/system/DescriptorLimit.h"
#include "platform/system/NetworkChangeMonitor.h"
#include "platform/system/PowerMonitor.h"
#include "platform/system/ScreensaverMonitor.h"

namespace corvaline {

namespace {

template <class T>
void clearIfSame(T*& reference, const T* mine) {
    if (reference == mine) {
        reference = nullptr;
    }
}

}  // namespace

CoreApplication::CoreApplication(std::shared_ptr<Executor> main, UserInterface* windows,
                                 UserActivity* activity)
    : CoreApplication(std::move(main), windows, activity, Options{}) {}

CoreApplication::CoreApplication(std::shared_ptr<Executor> main, UserInterface* windows,
                                 UserActivity* activity, Options options)
    : main_(std::move(main)), windows_(windows), activity_(activity), options_(options) {}

CoreApplication::~CoreApplication() {
    stop();
    if (files_) {
        // stop() leaves running transfers to finish; with the core gone nothing would end them.
        files_->endTransfers();
    }
    auto& services = CoreServices::shared();
    clearIfSame(services.userList, userList_.get());
    clearIfSame<MessageService>(services.messages, tcp_.get());
    clearIfSame<PresenceService>(services.presence, udp_.get());
    clearIfSame<RelayService>(services.relay, relay_.get());
    clearIfSame(services.windows, windows_);
    clearIfSame(services.activity, activity_);
}

void CoreApplication::start() {
    if (running_) {
        return;
    }
    raiseDescriptorLimit();
    auto& services = CoreServices::shared();
    services.mainQueue = main_.get();
    services.windows = windows_;
    services.activity = activity_;
    if (!relay_) {
        relay_ = std::make_unique<MessageRelay>(*main_);
        services.relay = relay_.get();
    }
    if (!userList_) {
        userList_ = std::make_unique<UserList>(AppManagedObjectContext());
        userList_->updateMe();
        // A stored, not removed user other than the local one.
        userList_->setSomeUsersExceptMeEverSeen(
            !userList_->allUsersWithoutOffline(false, true).empty());
        services.userList = userList_.get();
    }
    if (!tcp_) {
        tcp_ = TCPserver::create(main_, modelHooks());
        services.messages = tcp_.get();
        udp_ = UDPserver::create(main_);
        tcp_->setUDPserver(udp_);
        services.presence = udp_.get();
        udp_->beginWork();
        files_ = FILEserver::create(main_);
        tcp_->setFILEserver(files_);
    } else {
        tcp_->turnONserver();  // begins the presence service too
    }
    if (options_.watchSystemEvents) {
        watchSystemEvents();
    }
    running_ = true;
}

void CoreApplication::watchSystemEvents() {
    networkMonitor_ = NetworkChangeMonitor::start(*main_, [tcp = std::weak_ptr(tcp_)] {
        if (auto server = tcp.lock()) {
            server->NetworkChangeCallback();
        }
    });
    powerMonitor_ = PowerMonitor::start(*main_, [this](bool sleeping) {
        tcp_->TCPserverPowerHandler(sleeping);
        if (sleeping && powerMonitor_) {
            powerMonitor_->allowSleep();  // the goodbye is on its way
        }
    });
    clockMonitor_ = ClockChangeMonitor::start(*main_, [] { Message::recomputeLocalTimeOffset(); });
    screensaverMonitor_ = ScreensaverMonitor::start(*main_, [this](bool active) {
        if (userList_ && userList_->me()) {
            userList_->me()->screensaverDid(active);
        }
    });
}

void CoreApplication::stop() {
    if (!running_) {
        return;
    }
    running_ = false;
    networkMonitor_.reset();
    powerMonitor_.reset();
    clockMonitor_.reset();
    screensaverMonitor_.reset();
    userList_->goOffline();
    tcp_->turnOffserver();
    SaveAppContextIfChanged();
}

}  // namespace corvaline
