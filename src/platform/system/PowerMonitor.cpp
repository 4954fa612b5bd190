#include "platform/system/PowerMonitor.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace corvaline {
namespace {

constexpr const char* kLogin = "org.freedesktop.login1";
constexpr const char* kLoginPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";

}  // namespace

std::unique_ptr<PowerMonitor> PowerMonitor::start(Executor& main, Handler handler) {
    auto bus = BusConnection::open(BusConnection::Bus::System, "power");
    if (!bus) {
        return nullptr;
    }
    auto monitor =
        std::make_unique<PowerMonitor>(Private{}, main, std::move(handler), std::move(bus));
    bool subscribed = monitor->bus_->matchSignal(
        kLogin, kLoginPath, kManager, "PrepareForSleep", [raw = monitor.get()](sd_bus_message* m) {
            int sleeping = 0;
            if (sd_bus_message_read(m, "b", &sleeping) < 0) {
                return;
            }
            if (!sleeping) {
                raw->takeDelayLock();  // for the next sleep
            }
            raw->notice_.fire(sleeping != 0);
        });
    if (!subscribed) {
        return nullptr;
    }
    monitor->takeDelayLock();
    return monitor;
}

PowerMonitor::PowerMonitor(Private, Executor& main, Handler handler,
                           std::unique_ptr<BusConnection> bus)
    : notice_(main, std::move(handler)), bus_(std::move(bus)) {}

PowerMonitor::~PowerMonitor() {
    allowSleep();
    bus_.reset();  // no signal callback runs after this
}

void PowerMonitor::takeDelayLock() {
    if (delayLock_ >= 0) {
        return;
    }
    bus_->withBus([this](sd_bus* bus) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        if (sd_bus_call_method(bus, kLogin, kLoginPath, kManager, "Inhibit", &error, &reply, "ssss",
                               "sleep", "Corvaline", "Telling the network that you are leaving",
                               "delay") >= 0) {
            int fd = -1;
            if (sd_bus_message_read(reply, "h", &fd) >= 0 && fd >= 0) {
                delayLock_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);  // the reply owns fd
            }
        }
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
    });
}

void PowerMonitor::allowSleep() {
    if (!bus_) {
        return;
    }
    bus_->withBus([this](sd_bus*) {
        if (delayLock_ >= 0) {
            ::close(delayLock_);
            delayLock_ = -1;
        }
    });
}

}  // namespace corvaline
