#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <any>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/dispatch/Queue.h"
#include "platform/dispatch/ReadinessSource.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/dispatch/TimerSource.h"
#include "sockets/Data.h"
#include "sockets/SocketError.h"
#include "sockets/udp/AsyncUdpSendPacket.h"
#include "sockets/udp/AsyncUdpSocketDelegate.h"
#include "sockets/udp/ReceiveBacklog.h"

namespace corvaline {

inline constexpr const char* AsyncUdpSocketErrorDomain = "AsyncUdpSocketErrorDomain";

// The codes of AsyncUdpSocketErrorDomain.
enum AsyncUdpSocketError : long {
    AsyncUdpSocketNoError = 0,
    AsyncUdpSocketBadConfigError = 1,  // not allowed in the current state or configuration
    AsyncUdpSocketBadParamError = 2,
    AsyncUdpSocketSendTimeoutError = 3,
    AsyncUdpSocketClosedError = 4,
    AsyncUdpSocketOtherError = 5,
};

// One UDP endpoint over up to two system sockets (IPv4 and IPv6), made when first needed. Its
// state lives on its own serial socket queue; every public member may be called from any
// thread, and reports reach the delegate on the delegate queue. Owned through shared_ptr (use
// create); releasing the last reference closes it.
class AsyncUdpSocket : public std::enable_shared_from_this<AsyncUdpSocket> {
  public:
    using Delegate = AsyncUdpSocketDelegate;
    using Callback = Delegate::Callback;
    // Answers whether the datagram goes out; runs on the filter's queue.
    using SendFilter = std::function<bool(const Data& data, const Data& address, long tag)>;
    // Answers whether the datagram is delivered; may leave a context for the delegate.
    using ReceiveFilter =
        std::function<bool(const Data& data, const Data& address, std::any* context)>;

    static AsyncUdpSocketPtr create();
    static AsyncUdpSocketPtr create(std::shared_ptr<dispatch::SerialQueue> socketQueue);
    static AsyncUdpSocketPtr create(std::weak_ptr<Delegate> delegate,
                                    std::shared_ptr<dispatch::Queue> delegateQueue);
    // A null socket queue gives the socket a new queue of its own.
    static AsyncUdpSocketPtr create(std::weak_ptr<Delegate> delegate,
                                    std::shared_ptr<dispatch::Queue> delegateQueue,
                                    std::shared_ptr<dispatch::SerialQueue> socketQueue);

    struct Private {};
    AsyncUdpSocket(Private, std::weak_ptr<Delegate> delegate,
                   std::shared_ptr<dispatch::Queue> delegateQueue,
                   std::shared_ptr<dispatch::SerialQueue> socketQueue);
    ~AsyncUdpSocket();
    AsyncUdpSocket(const AsyncUdpSocket&) = delete;
    AsyncUdpSocket& operator=(const AsyncUdpSocket&) = delete;

    // Delegate and delegate queue. The plain setters take effect asynchronously, the
    // synchronous ones before they return.
    std::shared_ptr<Delegate> delegate() const;
    std::shared_ptr<dispatch::Queue> delegateQueue() const;
    // Both as one consistent pair; either pointer may be null.
    void getDelegate(std::shared_ptr<Delegate>* delegate,
                     std::shared_ptr<dispatch::Queue>* delegateQueue) const;
    void setDelegate(std::weak_ptr<Delegate> delegate);
    void synchronouslySetDelegate(std::weak_ptr<Delegate> delegate);
    void setDelegate(std::weak_ptr<Delegate> delegate, bool synchronously);
    void setDelegateQueue(std::shared_ptr<dispatch::Queue> delegateQueue);
    void synchronouslySetDelegateQueue(std::shared_ptr<dispatch::Queue> delegateQueue);
    void setDelegateQueue(std::shared_ptr<dispatch::Queue> delegateQueue, bool synchronously);
    void setDelegate(std::weak_ptr<Delegate> delegate,
                     std::shared_ptr<dispatch::Queue> delegateQueue);
    void synchronouslySetDelegate(std::weak_ptr<Delegate> delegate,
                                  std::shared_ptr<dispatch::Queue> delegateQueue);
    void setDelegate(std::weak_ptr<Delegate> delegate,
                     std::shared_ptr<dispatch::Queue> delegateQueue, bool synchronously);

    // Configuration. Existing system sockets keep what they were made with; later socket
    // creation, binding, connecting and destination choices follow the new values.
    bool isIPv4Enabled() const;
    void setIPv4Enabled(bool enabled);
    bool isIPv6Enabled() const;
    void setIPv6Enabled(bool enabled);
    bool isIPv4Preferred() const;
    bool isIPv6Preferred() const;
    bool isIPVersionNeutral() const;
    void setPreferIPv4();
    void setPreferIPv6();
    void setIPVersionNeutral();
    std::uint16_t maxReceiveIPv4BufferSize() const;
    void setMaxReceiveIPv4BufferSize(std::uint16_t size);
    std::uint32_t maxReceiveIPv6BufferSize() const;
    void setMaxReceiveIPv6BufferSize(std::uint32_t size);
    // Also the send and receive buffer sizes of system sockets made later.
    std::uint16_t maxSendBufferSize() const;
    void setMaxSendBufferSize(std::uint16_t size);
    // The owner's object, kept but never looked into.
    std::shared_ptr<void> userData() const;
    void setUserData(std::shared_ptr<void> userData);

    // Set-up. Each answers false with the error (when one is asked for) if it failed.
    // `interface`: "localhost"/"loopback", an interface name or an address text; the forms
    // without it use all interfaces.
    bool bindToPort(std::uint16_t port, Error* error = nullptr);
    bool bindToPort(std::uint16_t port, const std::string& interface, Error* error = nullptr);
    bool bindToAddress(const Data& address, Error* error = nullptr);
    bool enableReusePort(bool flag, Error* error = nullptr);
    bool enableBroadcast(bool flag, Error* error = nullptr);

    // The default peer: afterwards every datagram goes to it and datagrams from other sources
    // are dropped. True when the request was queued; the outcome comes as a delegate report.
    bool connectToHost(const std::string& host, std::uint16_t port, Error* error = nullptr);
    bool connectToAddress(const Data& address, Error* error = nullptr);

    // Multicast. `group` is a numeric address text.
    bool joinMulticastGroup(const std::string& group, Error* error = nullptr);
    bool joinMulticastGroup(const std::string& group, const std::string& interface,
                            Error* error = nullptr);
    bool leaveMulticastGroup(const std::string& group, Error* error = nullptr);
    bool leaveMulticastGroup(const std::string& group, const std::string& interface,
                             Error* error = nullptr);
    bool sendIPv4MulticastOnInterface(const std::string& interface, Error* error = nullptr);
    bool sendIPv6MulticastOnInterface(const std::string& interface, Error* error = nullptr);

    // Sending: queued in order, one datagram at a time, each reported once (sent or not sent)
    // unless the socket closes first. The bytes are held, not copied. Empty data is ignored. A
    // negative time-out means none; it covers the wait for the socket to take the datagram.
    void sendData(std::shared_ptr<const Data> data, const std::string& host, std::uint16_t port,
                  double timeout, long tag);
    void sendData(std::shared_ptr<const Data> data, const Data& address, double timeout, long tag);
    // To the default peer.
    void sendData(std::shared_ptr<const Data> data, double timeout, long tag);
    void sendData(std::shared_ptr<const Data> data, long tag);
    // A null filter removes it. An asynchronous filter leaves the socket queue free meanwhile.
    void setSendFilter(SendFilter filter, std::shared_ptr<dispatch::SerialQueue> queue,
                       bool isAsynchronous = true);

    // Receiving. Both need the system sockets (a bind, reuse-port, broadcast or a send).
    bool receiveOnce(Error* error = nullptr);
    bool beginReceiving(Error* error = nullptr);
    void pauseReceiving();
    void setReceiveFilter(ReceiveFilter filter, std::shared_ptr<dispatch::SerialQueue> queue,
                          bool isAsynchronous = true);

    // Closing drops pending sends without reports; the close is reported once.
    void close();
    void closeAfterSending();

    // Code on a marked queue may ask for the descriptors too (read in step with the socket
    // queue); everything else it asks still goes through the socket queue, since a marked
    // queue does not run in step with it.
    void markSocketQueueTargetQueue(dispatch::SerialQueue& queue);
    void unmarkSocketQueueTargetQueue(dispatch::SerialQueue& queue);
    // Runs the block on the socket queue and waits for it.
    void performBlock(const std::function<void()>& block);
    // Only on the socket queue (or a marked queue); elsewhere they answer -1.
    int socketFD() const;
    int socket4FD() const;
    int socket6FD() const;

    // Endpoints, asked of the system once and then cached.
    std::optional<Data> localAddress();
    std::optional<std::string> localHost();
    std::uint16_t localPort();
    std::optional<Data> localAddress_IPv4();
    std::optional<std::string> localHost_IPv4();
    std::uint16_t localPort_IPv4();
    std::optional<Data> localAddress_IPv6();
    std::optional<std::string> localHost_IPv6();
    std::uint16_t localPort_IPv6();
    std::optional<Data> connectedAddress();
    std::optional<std::string> connectedHost();
    std::uint16_t connectedPort();
    bool isConnected() const;
    // True while no system socket exists (never used, or closed).
    bool isClosed() const;
    bool isIPv4() const;
    bool isIPv6() const;

    // Error values of the class.
    static Error badConfigError(std::string text);
    static Error badParamError(std::string text);
    static Error sendTimeoutError();
    static Error socketClosedError();
    static Error otherError(std::string text);

    // Address conversion. Addresses are socket-address structures held as bytes.
    static std::optional<std::string> hostFromAddress(const Data& address);
    static std::uint16_t portFromAddress(const Data& address);
    static int familyFromAddress(const Data& address);
    static bool isIPv4Address(const Data& address);
    static bool isIPv6Address(const Data& address);
    static bool getHost(std::string* host, std::uint16_t* port, const Data& address);
    static bool getHost(std::string* host, std::uint16_t* port, int* family, const Data& address);
    static std::string hostFromSockaddr4(const sockaddr_in& address);
    static std::string hostFromSockaddr6(const sockaddr_in6& address);
    static std::uint16_t portFromSockaddr4(const sockaddr_in& address);
    static std::uint16_t portFromSockaddr6(const sockaddr_in6& address);

  private:
    enum Flag : std::uint32_t {
        kSocketsCreated = 0x1,
        kBound = 0x2,
        kConnecting = 0x4,
        kConnected = 0x8,
        kReceiveOnce = 0x10,
        kReceiveContinuous = 0x20,
        kIPv4Deactivated = 0x40,
        kIPv6Deactivated = 0x80,
        kCloseAfterSends = 0x8000,
        kReceiveAlternation = 0x10000,
    };
    enum Config : std::uint16_t {
        kIPv4Disabled = 0x1,
        kIPv6Disabled = 0x2,
        kPreferIPv4 = 0x4,
        kPreferIPv6 = 0x8,
    };

    // One system socket and what belongs to it.
    struct Endpoint {
        explicit Endpoint(int family) : family(family) {}
        const int family;  // AF_INET or AF_INET6
        int fd = -1;
        std::shared_ptr<dispatch::ReadinessSource> sendSource;
        std::shared_ptr<dispatch::ReadinessSource> receiveSource;
        bool sendSourceSuspended = false;
        bool receiveSourceSuspended = false;
        bool canAcceptBytes = false;  // taken to be writable
        bool readable = false;        // a datagram (perhaps an empty one) may be waiting
        std::optional<Data> cachedLocalAddress;
        std::optional<std::string> cachedLocalHost;
        std::uint16_t cachedLocalPort = 0;
    };

    using Packet =
        std::variant<std::shared_ptr<AsyncUdpSendPacket>, std::shared_ptr<AsyncUdpSpecialPacket>>;

    // Queue discipline.
    // True on the socket queue or a marked queue.
    bool onSocketQueue() const;
    // The value `read` gives on the socket queue; -1 when not called from one of those.
    int onSocketQueueRead(const std::function<int()>& read) const;
    void runSync(const std::function<void()>& body) const;
    void runAsync(std::function<void()> body);
    void notify(Callback callback, std::function<void(Delegate&, const AsyncUdpSocketPtr&)> call);
    // Common pre-check of the set-up operations.
    bool preOp(Error* error) const;
    // The pre-check, then the system sockets made if there are none yet.
    bool preOpWithSockets(Error* error);
    static bool setSocketOption(int fd, int level, int option, const void* value, socklen_t size,
                                Error* error);

    // System sockets.
    Endpoint& endpoint(int family) { return family == AF_INET ? socket4_ : socket6_; }
    bool isFamilyUsable(int family) const;
    // Makes the system sockets of the given families (when none exist yet).
    bool createSockets(bool use4, bool use6, Error* error);
    bool createEnabledSockets(Error* error);
    bool createSocket(Endpoint& endpoint, Error* error);
    bool setupSendAndReceiveSources(Endpoint& endpoint, int fd);
    void suspendSendSource(Endpoint& endpoint);
    void resumeSendSource(Endpoint& endpoint);
    void suspendReceiveSource(Endpoint& endpoint);
    void resumeReceiveSource(Endpoint& endpoint);
    void closeSocket(Endpoint& endpoint);
    void closeSockets();
    bool doBind(std::uint16_t port, const std::optional<std::string>& interface, Error* error);
    bool preBind(Error* error) const;
    bool bindSockets(const std::optional<Data>& address4, const std::optional<Data>& address6,
                     Error* error);

    // Sending.
    void queuePacket(Packet packet);
    void asyncResolveHost(const std::string& host, std::uint16_t port,
                          std::function<void(std::vector<Data>, std::optional<Error>)> completion);
    // The chosen family (0 with `error` set) and its address.
    int getAddress(Data* address, Error* error, const std::vector<Data>& addresses) const;
    AsyncUdpSendPacket* currentDatagram() const;
    AsyncUdpSpecialPacket* currentConnect() const;
    void maybeDequeueSend();
    void dequeueSendOnce();
    void doPreSend();
    void failCurrentSend(Error error);
    void completeCurrentSend();
    void doSend();
    void endCurrentSend();
    void setupSendTimerWithTimeout(double timeout);
    void doSendTimeout();
    void sendSourceFired(Endpoint& endpoint);

    // Receiving and closing.
    bool startReceiving(Flag mode, Error* error);
    void receiveSourceFired(Endpoint& endpoint);
    void doReceive();
    // Reads and hands on one datagram; false when that closed the socket.
    bool receiveOneDatagram();
    bool isConnectedToAddress(const Data& address) const;
    // `hold` keeps the datagram counted in the backlog until the delegate is done with it.
    void deliver(Data data, Data address, std::any context, std::shared_ptr<void> hold);
    void filterDidAnswer(std::uint64_t closeCount, bool accepted, Data data, Data address,
                         std::any context, std::shared_ptr<void> hold);
    void closeWithError(std::optional<Error> error);

    // Connecting and multicast.
    bool preConnect(Error* error) const;
    bool queueConnect(std::shared_ptr<AsyncUdpSpecialPacket> packet);
    void maybeConnect();
    bool preJoin(Error* error) const;
    bool performMulticastRequest(bool join, const std::string& group,
                                 const std::optional<std::string>& interface, Error* error);
    bool setMulticastInterface(int family, const std::string& interface, Error* error);

    // Cached endpoint queries.
    void maybeUpdateCachedLocalAddressInfo(Endpoint& endpoint);
    void maybeUpdateCachedConnectedAddressInfo();
    Endpoint& localEndpoint() { return socket4_.fd == -1 ? socket6_ : socket4_; }
    // One field of a local cache, refreshed first; family 0 stands for localEndpoint().
    template <class Value>
    Value localCacheField(int family, Value Endpoint::*field);

    std::weak_ptr<Delegate> delegate_;
    std::shared_ptr<dispatch::Queue> delegateQueue_;
    ReceiveFilter receiveFilterBlock_;
    std::shared_ptr<dispatch::SerialQueue> receiveFilterQueue_;
    bool receiveFilterAsync_ = false;
    SendFilter sendFilterBlock_;
    std::shared_ptr<dispatch::SerialQueue> sendFilterQueue_;
    bool sendFilterAsync_ = false;
    std::uint32_t flags_ = 0;
    std::uint16_t config_ = 0;
    std::uint16_t max4ReceiveSize_ = 65535;
    std::uint32_t max6ReceiveSize_ = 65535;
    std::uint16_t maxSendSize_ = 65535;
    Endpoint socket4_{AF_INET};
    Endpoint socket6_{AF_INET6};
    const std::shared_ptr<dispatch::SerialQueue> socketQueue_;
    std::shared_ptr<dispatch::TimerSource> sendTimer_;
    std::optional<Packet> currentSend_;
    std::deque<Packet> sendQueue_;
    bool dequeueing_ = false;  // maybeDequeueSend is on the stack
    bool dequeueAgain_ = false;
    std::uint32_t pendingFilterOperations_ = 0;
    std::uint64_t closeCount_ = 0;  // answers of receive filters from before a close are stale
    Data receiveBuffer_;            // reused for every read
    const std::shared_ptr<ReceiveBacklog> backlog_ = std::make_shared<ReceiveBacklog>();
    std::optional<Data> cachedConnectedAddress_;
    std::optional<std::string> cachedConnectedHost_;
    std::uint16_t cachedConnectedPort_ = 0;
    int cachedConnectedFamily_ = 0;
    std::shared_ptr<void> userData_;
    // Its address is the queue-specific key that marks the socket queue as this socket's.
    const void* const isOnSocketQueueOrTargetQueueKey_ = &isOnSocketQueueOrTargetQueueKey_;
};

}  // namespace corvaline
