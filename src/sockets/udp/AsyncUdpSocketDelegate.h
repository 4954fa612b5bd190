#pragma once

#include <any>
#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>

#include "sockets/Data.h"
#include "sockets/SocketError.h"

namespace corvaline {

class AsyncUdpSocket;
using AsyncUdpSocketPtr = std::shared_ptr<AsyncUdpSocket>;

// Receives the reports of UDP sockets. A delegate declares at construction which callbacks it
// implements; a socket posts only those. The socket holds its delegate weakly. Called on the
// socket's delegate queue.
class AsyncUdpSocketDelegate {
  public:
    enum class Callback {
        DidConnectToAddress,
        DidNotConnect,
        DidSendData,
        DidNotSendData,
        DidReceiveData,
        DidClose,
    };
    static constexpr std::size_t kCallbackCount = 6;

    explicit AsyncUdpSocketDelegate(std::initializer_list<Callback> implemented) {
        for (Callback callback : implemented) {
            implemented_.set(static_cast<std::size_t>(callback));
        }
    }
    virtual ~AsyncUdpSocketDelegate() = default;

    bool respondsTo(Callback callback) const {
        return implemented_.test(static_cast<std::size_t>(callback));
    }

    // The default peer was set; `address` is the peer's address.
    virtual void udpSocketDidConnectToAddress(const AsyncUdpSocketPtr& /*socket*/,
                                              const Data& /*address*/) {}
    virtual void udpSocketDidNotConnect(const AsyncUdpSocketPtr& /*socket*/,
                                        const Error& /*error*/) {}
    // The datagram left, or the send filter dropped it.
    virtual void udpSocketDidSendDataWithTag(const AsyncUdpSocketPtr& /*socket*/, long /*tag*/) {}
    virtual void udpSocketDidNotSendDataWithTag(const AsyncUdpSocketPtr& /*socket*/, long /*tag*/,
                                                const Error& /*error*/) {}
    // `context` is what the receive filter left in its slot (empty without a filter).
    virtual void udpSocketDidReceiveData(const AsyncUdpSocketPtr& /*socket*/, const Data& /*data*/,
                                         const Data& /*address*/, const std::any& /*context*/) {}
    // Sent once per close of a socket that had its system sockets. `socket` is null when the
    // close came from its destruction; `error` is empty for a local close.
    virtual void udpSocketDidClose(const AsyncUdpSocketPtr& /*socket*/,
                                   const std::optional<Error>& /*error*/) {}

  private:
    std::bitset<kCallbackCount> implemented_;
};

}  // namespace corvaline
