#pragma once

#include <cstdint>
#include <vector>

namespace corvaline {

class User;

// The presence service (`UDPserver`) as the roster and the local user reach it. Main thread.
class PresenceService {
  public:
    virtual ~PresenceService() = default;
    // Sends encoded packet bytes to every broadcast target.
    virtual void SendPacketToEveryone(const std::vector<std::uint8_t>& packet) = 0;
    // The announcement made without the refresh timer: a "UI" broadcast and its follow-up.
    virtual void RefreshUserList() = 0;
    // A typing notice ("TP") to that user.
    virtual void SendTyping(User& user) = 0;
};

}  // namespace corvaline
