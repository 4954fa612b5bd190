#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/codec/Packet.h"
#include "core/model/services/PresenceService.h"
#include "platform/runloop/Executor.h"
#include "sockets/udp/AsyncUdpSocket.h"

namespace corvaline {

// The presence service: announces the local user over UDP, answers the announcements of
// others, hands every presence packet to the roster and recreates its two sockets 2 s after
// a failure. Owned through shared_ptr (the sockets hold it weakly as their delegate).
// Main thread only.
class UDPserver : public AsyncUdpSocketDelegate,
                  public PresenceService,
                  public std::enable_shared_from_this<UDPserver> {
  public:
    // Makes the service and its sockets; `main` is the queue every callback and timer runs on.
    static std::shared_ptr<UDPserver> create(std::shared_ptr<Executor> main);
    struct Private {};
    UDPserver(Private, std::shared_ptr<Executor> main);
    ~UDPserver() override;
    UDPserver(const UDPserver&) = delete;
    UDPserver& operator=(const UDPserver&) = delete;

    // Replaces both sockets: broadcast on the sending one, port bound and receiving on the
    // other; a failed step schedules a reset.
    void adaptersChanged();
    bool enableBroadcasts();
    // Recreates the sockets 2 s from now; requests while one is pending are dropped.
    void resetSocketsWithDelay();
    void closeBothUDPsockets();
    // Starts the refresh cycle ("UI" now, "RL" every 360 s), recreating closed sockets.
    void beginWork();
    // Closes the sockets and stops the cycle.
    void endWork();
    // "UI" (called on demand) or "RL" (called by the refresh timer), then the 6 s follow-up.
    void RefreshUserList() override { RefreshUserList(false); }
    void RefreshUserList(bool byTimer);
    // Asks the online users for their information and removes users unseen for 30 days.
    void ContinueRefreshUserList();
    void SendPacketToEveryone(const std::vector<std::uint8_t>& packet) override;
    void SendTyping(User& user) override;

    const AsyncUdpSocketPtr& recvSocket() const { return recvSocket_; }
    const AsyncUdpSocketPtr& sendSocket() const { return sendSocket_; }
    bool hasRefreshTimer() const { return static_cast<bool>(refreshTimer_); }

    void udpSocketDidReceiveData(const AsyncUdpSocketPtr& socket, const Data& data,
                                 const Data& address, const std::any& context) override;
    void udpSocketDidNotSendDataWithTag(const AsyncUdpSocketPtr& socket, long tag,
                                        const Error& error) override;
    void udpSocketDidClose(const AsyncUdpSocketPtr& socket,
                           const std::optional<Error>& error) override;

  private:
    AsyncUdpSocketPtr createAndInitUDPsocket();
    void resetNow();
    void sendTo(const std::vector<std::uint8_t>& bytes, const std::string& host, long tag);
    void handlePacket(Packet packet, const std::string& ip);
    // Runs `method` on the main queue after `delay` while the service lives.
    TimerHandle later(Duration delay, void (UDPserver::*method)());

    std::shared_ptr<Executor> main_;
    AsyncUdpSocketPtr recvSocket_;
    AsyncUdpSocketPtr sendSocket_;
    TimerHandle refreshTimer_;
    TimerHandle SixSecTimer_;
    TimerHandle resetTimer_;
    bool resetPending_ = false;
};

}  // namespace corvaline
