#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace corvaline {

class ManagedObject;
class User;

// The TCP message service (`TCPserver`) as the roster and the users reach it. Main thread.
class MessageService {
  public:
    virtual ~MessageService() = default;
    // One request to the user's address; `pending` (a message or relay record, or none)
    // comes back with the outcome.
    virtual void SendTCPpacket(const std::vector<std::uint8_t>& packet, User& to,
                               std::shared_ptr<ManagedObject> pending) = 0;
    // One request with nothing pending; `ended` runs once on the main thread when the
    // exchange is over, however it ended (reply, failure or close). Only so many are open at
    // once; the others wait their turn, and those still waiting when the service goes are
    // dropped without a report.
    virtual void SendTCPrequest(const std::vector<std::uint8_t>& packet, User& to,
                                std::function<void()> ended) = 0;
    // Stops the listener and the presence service.
    virtual void turnOffserver() = 0;
    // Stops and starts the network services again.
    virtual void adaptersChanged() = 0;
};

}  // namespace corvaline
