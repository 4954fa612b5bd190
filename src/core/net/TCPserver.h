#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/codec/Packet.h"
#include "core/model/services/MessageService.h"
#include "core/net/MessageHooks.h"
#include "core/net/OutgoingRequestLimit.h"
#include "core/net/RequestBudget.h"
#include "platform/runloop/Executor.h"
#include "sockets/tcp/AsyncTcpSocket.h"

namespace corvaline {

class FILEserver;
class UDPserver;

// The message service: one request and at most one reply per TCP connection on the service
// port, a dispatch table on the packet type, the user-information exchange and receipts, and
// the restarts after network changes, sleep and wake. Owned through shared_ptr (the sockets
// hold it weakly as their delegate). Main thread only.
class TCPserver : public AsyncTcpSocketDelegate,
                  public MessageService,
                  public std::enable_shared_from_this<TCPserver> {
  public:
    // A request or reply is one line; a peer that sends more without an end is cut off
    // rather than let it grow memory for the whole time-out.
    static constexpr std::uint64_t kMaxLineLength = 4 * 1024 * 1024;

    // Makes the service and starts its listener; `main` runs every callback and timer.
    static std::shared_ptr<TCPserver> create(std::shared_ptr<Executor> main, MessageHooks hooks);
    struct Private {};
    TCPserver(Private, std::shared_ptr<Executor> main, MessageHooks hooks);
    ~TCPserver() override;
    TCPserver(const TCPserver&) = delete;
    TCPserver& operator=(const TCPserver&) = delete;

    // The presence service that starts and stops with this one (held weakly).
    void setUDPserver(std::weak_ptr<UDPserver> presence) { presence_ = std::move(presence); }
    // The file-transfer listener, which listens again at each start (held weakly).
    void setFILEserver(std::weak_ptr<FILEserver> files) { files_ = std::move(files); }
    MessageHooks& hooks() { return hooks_; }

    // Listens (a listener already running only logs that the port is taken) and begins
    // the presence service.
    void turnONserver();
    // Closes the listener (open connections finish) and ends the presence service.
    void turnOffserver() override;
    // Stops and starts again.
    void adaptersChanged() override;
    void SendTCPpacket(const std::vector<std::uint8_t>& packet, User& to,
                       std::shared_ptr<ManagedObject> pending) override;
    void SendTCPrequest(const std::vector<std::uint8_t>& packet, User& to,
                        std::function<void()> ended) override;

    // Platform notices: a network change (restart 5 s after the last of a burst) and
    // sleep (goodbye, stop, start again after 120 s at the latest) or wake (start).
    void NetworkChangeCallback();
    void TCPserverPowerHandler(bool sleeping);

    // A decoded line through the dispatch table, the store saved: the reply's bytes, or none
    // when the connection closes without one. `socket` is the connection it came on.
    std::optional<Bytes> answer(const Packet& packet, const std::string& ip,
                                const AsyncTcpSocketPtr& socket);
    std::optional<Packet> replyInfoRequest(const Packet& packet) const;
    void userInfoReceived(const Packet& packet);
    // A receipt: from the recipient it clears a held copy; from another user (whose copy
    // answers at a stale address) the exchange has failed.
    void messageReceived(const Packet& packet, const AsyncTcpSocketPtr& socket);

    std::size_t connectedServerSocketCount() const { return connectedServerTCPSockets_.size(); }
    std::size_t connectedClientSocketCount() const { return connectedClientTCPSockets_.size(); }
    const OutgoingRequestLimit& outgoingRequests() const { return outgoingRequests_; }

    void socketDidAcceptNewSocket(const AsyncTcpSocketPtr& listener,
                                  const AsyncTcpSocketPtr& newSocket) override;
    void socketDidReadData(const AsyncTcpSocketPtr& socket, const DataSlice& data,
                           long tag) override;
    void socketDidReadPartialDataOfLength(const AsyncTcpSocketPtr& socket, std::size_t length,
                                          long tag) override;
    void socketDidDisconnect(const AsyncTcpSocketPtr& socket,
                             const std::optional<Error>& error) override;

  private:
    struct Exchange;
    void startServers(bool bySleepTimer);
    void send(const std::vector<std::uint8_t>& packet, std::shared_ptr<Exchange> exchange);
    std::optional<Packet> dispatch(const Packet& packet, const std::string& ip,
                                   const AsyncTcpSocketPtr& socket);
    // An outgoing request that did not complete: the recipient is offline and a pending
    // message goes to the relay store.
    void exchangeFailed(Exchange& exchange, long code, const std::string& description);
    void recipientUnreachable(Exchange& exchange);
    void forget(const AsyncTcpSocketPtr& socket);
    // Closes an exchange that ended in order: no failure is reported for it.
    static void closeFinished(AsyncTcpSocket& socket);
    // Starts the connect to a peer's service port; false when it could not start.
    static bool connect(AsyncTcpSocket& socket, const std::string& ip, Error* error);
    static Exchange* exchangeOf(const AsyncTcpSocket& socket);

    std::shared_ptr<Executor> main_;
    MessageHooks hooks_;
    std::weak_ptr<UDPserver> presence_;
    std::weak_ptr<FILEserver> files_;
    AsyncTcpSocketPtr serverTCPsocket_;
    std::vector<AsyncTcpSocketPtr> connectedServerTCPSockets_;
    std::vector<AsyncTcpSocketPtr> connectedClientTCPSockets_;
    RequestBudget requests_;  // of the accepted sockets
    OutgoingRequestLimit outgoingRequests_;
    TimerHandle networkChangeTimer_;
    TimerHandle sleepTimer_;
    std::uint64_t sleepTimerId_ = 0;
};

}  // namespace corvaline
