#include "platform/system/BusConnection.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <list>

namespace corvaline {

struct BusConnection::State {
    sd_bus* bus = nullptr;
    std::list<SignalHandler> handlers;  // stable addresses: sd-bus holds pointers to them
    std::list<sd_bus_slot*> slots;

    ~State() {
        for (auto* slot : slots) {
            sd_bus_slot_unref(slot);
        }
        if (bus) {
            sd_bus_flush_close_unref(bus);
        }
    }
};

namespace {

int dispatchSignal(sd_bus_message* message, void* userdata, sd_bus_error*) {
    (*static_cast<BusConnection::SignalHandler*>(userdata))(message);
    return 0;
}

void processAll(sd_bus* bus) {
    while (sd_bus_process(bus, nullptr) > 0) {
    }
}

}  // namespace

std::unique_ptr<BusConnection> BusConnection::open(Bus which, std::string label) {
    auto state = std::make_shared<State>();
    int opened =
        which == Bus::System ? sd_bus_open_system(&state->bus) : sd_bus_open_user(&state->bus);
    if (opened < 0 || !state->bus) {
        state->bus = nullptr;
        return nullptr;
    }
    int fd = sd_bus_get_fd(state->bus);
    int watched = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (watched < 0) {
        return nullptr;
    }
    auto connection = std::make_unique<BusConnection>(state);
    connection->watch_ =
        DescriptorWatch::start(watched, std::move(label), [state](int) { processAll(state->bus); });
    if (!connection->watch_) {
        return nullptr;
    }
    // Messages that arrived with the connection's set-up are already buffered.
    connection->watch_->sync([&] { processAll(state->bus); });
    return connection;
}

BusConnection::BusConnection(std::shared_ptr<State> state) : state_(std::move(state)) {}

BusConnection::~BusConnection() {
    watch_.reset();
}

bool BusConnection::matchSignal(const char* sender, const char* path, const char* interface,
                                const char* member, SignalHandler handler) {
    bool matched = false;
    watch_->sync([&] {
        auto& stored = state_->handlers.emplace_back(std::move(handler));
        sd_bus_slot* slot = nullptr;
        if (sd_bus_match_signal(state_->bus, &slot, sender, path, interface, member, dispatchSignal,
                                &stored) >= 0) {
            state_->slots.push_back(slot);
            matched = true;
        } else {
            state_->handlers.pop_back();
        }
        processAll(state_->bus);
    });
    return matched;
}

void BusConnection::withBus(const std::function<void(sd_bus*)>& block) {
    watch_->sync([&] {
        block(state_->bus);
        processAll(state_->bus);
    });
}

}  // namespace corvaline
