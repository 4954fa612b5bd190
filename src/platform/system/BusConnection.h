#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/system/DescriptorWatch.h"

struct sd_bus;
struct sd_bus_message;

namespace corvaline {

// One D-Bus connection (system or session bus) served on a private queue: every call into
// the bus and every signal callback run there. Create and destroy on one thread.
class BusConnection {
  public:
    enum class Bus { System, Session };
    using SignalHandler = std::function<void(sd_bus_message*)>;

    // Null when that bus cannot be reached (no daemon, no session): callers then get no notices.
    static std::unique_ptr<BusConnection> open(Bus bus, std::string label);
    ~BusConnection();
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    // Subscribes to a signal; answers whether the bus accepted the match. Runs on the queue.
    bool matchSignal(const char* sender, const char* path, const char* interface,
                     const char* member, SignalHandler handler);
    // Runs a block on the bus queue with the raw connection and waits for it.
    void withBus(const std::function<void(sd_bus*)>& block);

    struct State;
    explicit BusConnection(std::shared_ptr<State> state);

  private:
    std::shared_ptr<State> state_;
    std::unique_ptr<DescriptorWatch> watch_;
};

}  // namespace corvaline
