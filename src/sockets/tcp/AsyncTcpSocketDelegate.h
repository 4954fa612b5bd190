#pragma once

#include <bitset>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/SerialQueue.h"
#include "sockets/Data.h"
#include "sockets/SocketError.h"

namespace corvaline {

class AsyncTcpSocket;
using AsyncTcpSocketPtr = std::shared_ptr<AsyncTcpSocket>;
// The peer's certificate chain offered for a manual trust decision (defined with the TLS layer).
struct PeerTrust;

// Receives the reports of TCP sockets. A delegate declares at construction which callbacks it
// implements: a socket posts only those, and decides time-outs itself when their queries are
// not implemented. The socket holds its delegate weakly. Called on the socket's delegate queue.
class AsyncTcpSocketDelegate {
  public:
    enum class Callback {
        NewSocketQueueForConnection,
        DidAcceptNewSocket,
        DidConnectToHost,
        DidConnectToUrl,
        DidReadData,
        DidReadPartialData,
        DidWriteData,
        DidWritePartialData,
        ShouldTimeoutRead,
        ShouldTimeoutWrite,
        DidCloseReadStream,
        DidDisconnect,
        DidSecure,
        DidReceiveTrust,
    };
    static constexpr std::size_t kCallbackCount = 14;

    explicit AsyncTcpSocketDelegate(std::initializer_list<Callback> implemented) {
        for (Callback callback : implemented) {
            implemented_.set(static_cast<std::size_t>(callback));
        }
    }
    virtual ~AsyncTcpSocketDelegate() = default;

    bool respondsTo(Callback callback) const {
        return implemented_.test(static_cast<std::size_t>(callback));
    }

    // Before an accepted child is made: the queue the child should run on, or null for a new one.
    virtual std::shared_ptr<dispatch::SerialQueue> newSocketQueueForConnectionFromAddress(
        const Data& /*address*/, const AsyncTcpSocketPtr& /*listener*/) {
        return nullptr;
    }
    // The listener accepted a connection; keep the child, or it closes when this returns.
    virtual void socketDidAcceptNewSocket(const AsyncTcpSocketPtr& /*listener*/,
                                          const AsyncTcpSocketPtr& /*newSocket*/) {}
    virtual void socketDidConnectToHost(const AsyncTcpSocketPtr& /*socket*/,
                                        const std::string& /*host*/, std::uint16_t /*port*/) {}
    virtual void socketDidConnectToUrl(const AsyncTcpSocketPtr& /*socket*/,
                                       const std::filesystem::path& /*url*/) {}
    virtual void socketDidReadData(const AsyncTcpSocketPtr& /*socket*/, const DataSlice& /*data*/,
                                   long /*tag*/) {}
    // `length` counts the bytes added to the current read since the last report.
    virtual void socketDidReadPartialDataOfLength(const AsyncTcpSocketPtr& /*socket*/,
                                                  std::size_t /*length*/, long /*tag*/) {}
    virtual void socketDidWriteDataWithTag(const AsyncTcpSocketPtr& /*socket*/, long /*tag*/) {}
    virtual void socketDidWritePartialDataOfLength(const AsyncTcpSocketPtr& /*socket*/,
                                                   std::size_t /*length*/, long /*tag*/) {}
    // A read or write timer fired: answer the seconds to extend it by (<= 0 times out now).
    virtual double socketShouldTimeoutReadWithTag(const AsyncTcpSocketPtr& /*socket*/, long /*tag*/,
                                                  double /*elapsed*/, std::uint64_t /*bytesDone*/) {
        return 0;
    }
    virtual double socketShouldTimeoutWriteWithTag(const AsyncTcpSocketPtr& /*socket*/,
                                                   long /*tag*/, double /*elapsed*/,
                                                   std::uint64_t /*bytesDone*/) {
        return 0;
    }
    // The peer ended its side while half-duplex is allowed; writing still works.
    virtual void socketDidCloseReadStream(const AsyncTcpSocketPtr& /*socket*/) {}
    // Sent once per close of a started socket. `socket` is null when the close came from its
    // destruction; `error` is empty for a local close.
    virtual void socketDidDisconnect(const AsyncTcpSocketPtr& /*socket*/,
                                     const std::optional<Error>& /*error*/) {}
    virtual void socketDidSecure(const AsyncTcpSocketPtr& /*socket*/) {}
    virtual void socketDidReceiveTrust(const AsyncTcpSocketPtr& /*socket*/,
                                       const PeerTrust& /*trust*/,
                                       std::function<void(bool)> /*completionHandler*/) {}

  private:
    std::bitset<kCallbackCount> implemented_;
};

}  // namespace corvaline
