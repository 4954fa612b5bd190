#pragma once

#include <fcntl.h>

#include <cstdint>

#include "sockets/Data.h"
#include "sockets/SocketError.h"

// Small helpers the TCP socket's files share. Any thread.
namespace corvaline::detail {

// Stores the error where the caller asked for one.
inline void fail(Error* slot, Error error) {
    if (slot) {
        *slot = std::move(error);
    }
}

// The bytes of a socket-address structure.
template <class Address>
Data bytesOf(const Address& address) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    return Data(bytes, bytes + sizeof address);
}

// Answers a progress query through the out-slots the caller gave.
inline void storeProgress(long* tag, std::uint64_t* done, std::uint64_t* total, long tagValue,
                          std::uint64_t doneValue, std::uint64_t totalValue) {
    if (tag) {
        *tag = tagValue;
    }
    if (done) {
        *done = doneValue;
    }
    if (total) {
        *total = totalValue;
    }
}

inline bool setNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    return flags != -1 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != -1;
}

}  // namespace corvaline::detail
