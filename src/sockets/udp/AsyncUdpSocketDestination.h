#pragma once

#include <optional>
#include <vector>

#include "sockets/Data.h"
#include "sockets/SocketError.h"

namespace corvaline {

// What decides which of a host's addresses a UDP datagram or connect goes to. A family is
// usable only when it is enabled, not deactivated by a bind or connect, and its system socket
// exists. Plain values, usable on any thread.
struct AsyncUdpDestinationRules {
    bool ipv4Disabled = false;
    bool ipv6Disabled = false;
    bool ipv4Deactivated = false;
    bool ipv6Deactivated = false;
    bool ipv4SocketExists = true;
    bool ipv6SocketExists = true;
    bool preferIPv4 = false;
    bool preferIPv6 = false;
};

// The choice: a family and its address, or the refusal. A plain value.
struct AsyncUdpDestination {
    int family = 0;  // AF_INET or AF_INET6; 0 with an error
    Data address;
    std::optional<Error> error;
};

// The refusal when no family that the addresses need can be used.
Error noUsableSocketError();

// With a preference the preferred family wins when it is there and usable; without one the
// family of the first address does. Never picks an unusable family. A pure function.
AsyncUdpDestination chooseUdpDestination(const std::vector<Data>& addresses,
                                         const AsyncUdpDestinationRules& rules);

}  // namespace corvaline
