#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sockets/tcp/AsyncTcpSocket.h"

namespace corvaline {

// What requests on accepted connections of the message service may hold together: a bound
// on the bytes buffered for lines not yet ended, and on the connections one address keeps
// open at once. Many peers each sending long lines would otherwise grow memory by the
// per-line limit times the connections. Main thread only.
class RequestBudget {
  public:
    // A real request is a few kilobytes and done within milliseconds; these are far above
    // what a busy network sends at once.
    static constexpr std::size_t kConnectionsPerAddress = 32;
    static constexpr std::uint64_t kBufferedBytes = 32 * 1024 * 1024;

    // False when the address already has its share of connections: the caller closes it.
    bool admit(const AsyncTcpSocketPtr& socket, std::string host);
    // A request has read `bytes` more. Answers the connections to close, newest first, so
    // that the total stays within the bound; they are no longer counted.
    std::vector<AsyncTcpSocketPtr> grew(const AsyncTcpSocket& socket, std::uint64_t bytes);
    // The request line is complete and handed on.
    void settled(const AsyncTcpSocket& socket);
    void forget(const AsyncTcpSocket& socket);

    std::uint64_t bufferedBytes() const { return total_; }

  private:
    struct Entry {
        std::weak_ptr<AsyncTcpSocket> socket;
        const AsyncTcpSocket* key;
        std::string host;
        std::uint64_t bytes = 0;
    };
    Entry* find(const AsyncTcpSocket& socket);

    std::vector<Entry> entries_;  // oldest first
    std::uint64_t total_ = 0;
};

}  // namespace corvaline
