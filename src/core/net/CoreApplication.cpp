#include "core/net/CoreApplication.h"

#include "core/model/relay/MessageRelay.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/net/FILEserver.h"
#include "core/net/TCPserver.h"
#include "core/net/UDPserver.h"
#include "platform/system/DescriptorLimit.h"
#include "platform/system/NetworkChangeMonitor.h"
#include "platform/system/PowerMonitor.h"

namespace corvaline {

CoreApplication::CoreApplication(std::shared_ptr<Executor> main, MessageHooks hooks)
    : CoreApplication(std::move(main), std::move(hooks), Options{}) {}

CoreApplication::CoreApplication(std::shared_ptr<Executor> main, MessageHooks hooks,
                                 Options options)
    : main_(std::move(main)), hooks_(std::move(hooks)), options_(options) {}

CoreApplication::~CoreApplication() {
    stop();
    auto& services = CoreServices::shared();
    if (services.userList == userList_.get()) {
        services.userList = nullptr;
    }
    if (services.messages == tcp_.get()) {
        services.messages = nullptr;
    }
    if (services.presence == udp_.get()) {
        services.presence = nullptr;
    }
    if (services.relay == relay_.get()) {
        services.relay = nullptr;
    }
}

void CoreApplication::start() {
    if (running_) {
        return;
    }
    raiseDescriptorLimit();
    auto& services = CoreServices::shared();
    services.mainQueue = main_.get();
    if (!relay_) {
        relay_ = std::make_unique<MessageRelay>(*main_);
        services.relay = relay_.get();
    }
    if (!userList_) {
        userList_ = std::make_unique<UserList>(AppManagedObjectContext());
        userList_->updateMe();
        services.userList = userList_.get();
    }
    if (!tcp_) {
        tcp_ = TCPserver::create(main_, hooks_);
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
    }
    running_ = true;
}

void CoreApplication::stop() {
    if (!running_) {
        return;
    }
    running_ = false;
    networkMonitor_.reset();
    powerMonitor_.reset();
    userList_->goOffline();
    tcp_->turnOffserver();
    SaveAppContextIfChanged();
}

}  // namespace corvaline
