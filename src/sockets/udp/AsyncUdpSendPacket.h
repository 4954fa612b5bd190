#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "sockets/Data.h"
#include "sockets/SocketError.h"

namespace corvaline {

// One queued datagram. Built on the caller's thread, then touched only on the socket queue.
struct AsyncUdpSendPacket {
    AsyncUdpSendPacket(std::shared_ptr<const Data> data, double timeout, long tag)
        : buffer(std::move(data)), timeout(timeout), tag(tag) {}

    std::shared_ptr<const Data> buffer;  // held, not copied
    double timeout;                      // seconds; negative for none
    long tag;
    bool resolveInProgress = false;
    bool filterInProgress = false;
    bool hostGiven = false;     // handed over with a host text
    bool addressGiven = false;  // handed over with address data
    std::vector<Data> resolvedAddresses;
    std::optional<Error> resolveError;
    Data address;  // the chosen destination
    int addressFamily = 0;
};

// A connect request waiting in the send queue like a datagram. Touched only on the socket queue.
struct AsyncUdpSpecialPacket {
    bool resolveInProgress = false;
    std::vector<Data> addresses;
    std::optional<Error> error;
};

}  // namespace corvaline
