#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/net/TCPserver.h"
#include "platform/trace/DebugTracer.h"

// The reactions to the platform's network, sleep and wake notices.
namespace corvaline {

namespace {

constexpr Duration kNetworkSettleDelay{5.0};
constexpr Duration kSleepFallback{120.0};

}  // namespace

void TCPserver::NetworkChangeCallback() {
    assertCurrent(*main_);
    DebugTracer::addLogItem("Network change received", 0);
    if (networkChangeTimer_.isScheduled()) {
        networkChangeTimer_.reschedule(kNetworkSettleDelay);
        return;
    }
    networkChangeTimer_ = main_->postAfter(kNetworkSettleDelay, [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->adaptersChanged();
        }
    });
}

void TCPserver::TCPserverPowerHandler(bool sleeping) {
    assertCurrent(*main_);
    if (!sleeping) {
        DebugTracer::addLogItem("WAKEUP", 0);
        turnONserver();
        return;
    }
    DebugTracer::addLogItem("SLEEP", 0);
    if (auto* list = CoreServices::shared().userList) {
        list->goOffline();
    }
    turnOffserver();
    // An earlier sleep timer still fires, but only the latest counts as this sleep's.
    const std::uint64_t id = ++sleepTimerId_;
    sleepTimer_ = main_->postAfter(kSleepFallback, [weak = weak_from_this(), id] {
        if (auto self = weak.lock()) {
            self->startServers(id == self->sleepTimerId_);
        }
    });
}

}  // namespace corvaline
