#pragma once

#include <netinet/in.h>
#include <sys/un.h>

#include <cstdint>
#include <deque>
#include <filesystem>
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
#include "sockets/tcp/AsyncReadPacket.h"
#include "sockets/tcp/AsyncSpecialPacket.h"
#include "sockets/tcp/AsyncTcpSocketDelegate.h"
#include "sockets/tcp/AsyncTcpSocketPreBuffer.h"
#include "sockets/tcp/AsyncWritePacket.h"
#include "sockets/tcp/TlsSettings.h"

struct ssl_st;

namespace corvaline {

namespace detail {
class TlsSession;
}

inline constexpr const char* AsyncTcpSocketErrorDomain = "AsyncTcpSocketErrorDomain";

// The codes of AsyncTcpSocketErrorDomain.
enum AsyncTcpSocketError : long {
    AsyncTcpSocketNoError = 0,
    AsyncTcpSocketBadConfigError = 1,  // not allowed in the current state or configuration
    AsyncTcpSocketBadParamError = 2,
    AsyncTcpSocketConnectTimeoutError = 3,
    AsyncTcpSocketReadTimeoutError = 4,
    AsyncTcpSocketWriteTimeoutError = 5,
    AsyncTcpSocketReadMaxedOutError = 6,
    AsyncTcpSocketClosedError = 7,
    AsyncTcpSocketOtherError = 8,
};

// One TCP endpoint: a listener that hands out accepted children, or one connection. Its state
// lives on its own serial socket queue; every public member may be called from any thread, and
// reports reach the delegate on the delegate queue. Owned through shared_ptr (use create).
class AsyncTcpSocket : public std::enable_shared_from_this<AsyncTcpSocket> {
  public:
    using Delegate = AsyncTcpSocketDelegate;
    using Callback = Delegate::Callback;
    using Path = std::filesystem::path;

    static AsyncTcpSocketPtr create();
    static AsyncTcpSocketPtr create(std::shared_ptr<dispatch::SerialQueue> socketQueue);
    static AsyncTcpSocketPtr create(std::weak_ptr<Delegate> delegate,
                                    std::shared_ptr<dispatch::Queue> delegateQueue);
    // A null socket queue gives the socket a new queue of its own.
    static AsyncTcpSocketPtr create(std::weak_ptr<Delegate> delegate,
                                    std::shared_ptr<dispatch::Queue> delegateQueue,
                                    std::shared_ptr<dispatch::SerialQueue> socketQueue);

    // Adopts a descriptor that is already connected; null (and the error) when it is not a
    // connected IPv4 or IPv6 socket. Must not be called on the given socket queue.
    static AsyncTcpSocketPtr socketFromConnectedSocketFD(
        int fd, std::shared_ptr<dispatch::SerialQueue> socketQueue, Error* error = nullptr);
    static AsyncTcpSocketPtr socketFromConnectedSocketFD(
        int fd, std::weak_ptr<Delegate> delegate, std::shared_ptr<dispatch::Queue> delegateQueue,
        Error* error = nullptr);
    static AsyncTcpSocketPtr socketFromConnectedSocketFD(
        int fd, std::weak_ptr<Delegate> delegate, std::shared_ptr<dispatch::Queue> delegateQueue,
        std::shared_ptr<dispatch::SerialQueue> socketQueue, Error* error = nullptr);

    struct Private {};
    AsyncTcpSocket(Private, std::weak_ptr<Delegate> delegate,
                   std::shared_ptr<dispatch::Queue> delegateQueue,
                   std::shared_ptr<dispatch::SerialQueue> socketQueue);
    ~AsyncTcpSocket();
    AsyncTcpSocket(const AsyncTcpSocket&) = delete;
    AsyncTcpSocket& operator=(const AsyncTcpSocket&) = delete;

    // Delegate and delegate queue. The plain setters take effect asynchronously, the
    // synchronous ones before they return.
    std::shared_ptr<Delegate> delegate() const;
    void setDelegate(std::weak_ptr<Delegate> delegate);
    void synchronouslySetDelegate(std::weak_ptr<Delegate> delegate);
    std::shared_ptr<dispatch::Queue> delegateQueue() const;
    void setDelegateQueue(std::shared_ptr<dispatch::Queue> delegateQueue);
    void synchronouslySetDelegateQueue(std::shared_ptr<dispatch::Queue> delegateQueue);
    // Both as one consistent pair; either pointer may be null.
    void getDelegate(std::shared_ptr<Delegate>* delegate,
                     std::shared_ptr<dispatch::Queue>* delegateQueue) const;
    void setDelegate(std::weak_ptr<Delegate> delegate,
                     std::shared_ptr<dispatch::Queue> delegateQueue);
    void synchronouslySetDelegate(std::weak_ptr<Delegate> delegate,
                                  std::shared_ptr<dispatch::Queue> delegateQueue);

    // Configuration, read when an accept or connect needs it.
    bool isIPv4Enabled() const;
    void setIPv4Enabled(bool enabled);
    bool isIPv6Enabled() const;
    void setIPv6Enabled(bool enabled);
    bool isIPv4PreferredOverIPv6() const;
    void setIPv4PreferredOverIPv6(bool preferred);
    // Head start in seconds of the preferred family when a host resolves to both.
    double alternateAddressDelay() const;
    void setAlternateAddressDelay(double seconds);
    // The owner's object, kept but never looked into.
    std::shared_ptr<void> userData() const;
    void setUserData(std::shared_ptr<void> userData);

    // Listening. Each answers false with the error (when one is asked for) if it did not start.
    bool acceptOnPort(std::uint16_t port, Error* error = nullptr);
    // `interface`: empty for all, "localhost"/"loopback", an interface name or an address,
    // optionally followed by ":" and a port that counts when `port` is 0.
    bool acceptOnInterface(const std::string& interface, std::uint16_t port,
                           Error* error = nullptr);
    bool acceptOnUrl(const Path& url, Error* error = nullptr);

    // Connecting. A negative time-out means none. Each answers false with the error (when one
    // is asked for) if the attempt did not start; later failures come as the disconnect report.
    bool connectToHost(const std::string& host, std::uint16_t port, Error* error = nullptr);
    bool connectToHost(const std::string& host, std::uint16_t port, double timeout,
                       Error* error = nullptr);
    bool connectToHost(const std::string& host, std::uint16_t port, const std::string& interface,
                       double timeout, Error* error = nullptr);
    bool connectToAddress(const Data& address, Error* error = nullptr);
    bool connectToAddress(const Data& address, double timeout, Error* error = nullptr);
    bool connectToAddress(const Data& address, const std::string& interface, double timeout,
                          Error* error = nullptr);
    bool connectToUrl(const Path& url, double timeout, Error* error = nullptr);

    // Closing: at once, or once the named queues have drained (new requests are refused).
    void disconnect();
    void disconnectAfterReading();
    void disconnectAfterWriting();
    void disconnectAfterReadingAndWriting();

    // State and endpoints. A connection's peer is the one it had when it was made (also after
    // the peer has gone); everything else is asked of the system on each call.
    bool isDisconnected() const;
    bool isConnected() const;
    bool isIPv4() const;
    bool isIPv6() const;
    bool isSecure() const;
    std::optional<std::string> connectedHost() const;
    std::uint16_t connectedPort() const;
    std::optional<Path> connectedUrl() const;
    std::optional<std::string> localHost() const;
    std::uint16_t localPort() const;
    std::optional<Data> connectedAddress() const;
    std::optional<Data> localAddress() const;

    // Reading: in queue order, one at a time. A negative time-out means none. Reads into the
    // caller's `buffer` start at `offset` and hand out a slice of it; the caller must leave it
    // alone until the read completes. Malformed requests are ignored without a callback.
    // Whatever is available (at least one byte; at most `maxLength` when that is not 0).
    void readDataWithTimeout(double timeout, long tag);
    void readDataWithTimeout(double timeout, std::shared_ptr<Data> buffer, std::uint64_t offset,
                             long tag);
    void readDataWithTimeout(double timeout, std::shared_ptr<Data> buffer, std::uint64_t offset,
                             std::uint64_t maxLength, long tag);
    // Exactly `length` bytes.
    void readDataToLength(std::uint64_t length, double timeout, long tag);
    void readDataToLength(std::uint64_t length, double timeout, std::shared_ptr<Data> buffer,
                          std::uint64_t offset, long tag);
    // Up to and including `term`; with a `maxLength`, failing once that many arrived without it.
    void readDataToData(const Data& term, double timeout, long tag);
    void readDataToData(const Data& term, double timeout, std::shared_ptr<Data> buffer,
                        std::uint64_t offset, long tag);
    void readDataToData(const Data& term, double timeout, std::uint64_t maxLength, long tag);
    void readDataToData(const Data& term, double timeout, std::shared_ptr<Data> buffer,
                        std::uint64_t offset, std::uint64_t maxLength, long tag);
    // The current read's tag, bytes done and exact length; the fraction done (1 for reads
    // without a length, NaN when none is current).
    float progressOfReadReturningTag(long* tag, std::uint64_t* done, std::uint64_t* total) const;
    // When false, the peer's end of stream leaves the socket open for writing.
    bool autoDisconnectOnClosedReadStream() const;
    void setAutoDisconnectOnClosedReadStream(bool autoDisconnect);

    // Writing: in queue order, one at a time; the bytes are held, not copied, and must not
    // change until the write completes. Empty data is ignored.
    void writeData(std::shared_ptr<const Data> data, double timeout, long tag);
    void writeData(Data data, double timeout, long tag);
    // The current write's tag, bytes done and total; the fraction done (NaN when none).
    float progressOfWriteReturningTag(long* tag, std::uint64_t* done, std::uint64_t* total) const;

    // Switches to TLS once every read and write queued so far is done; those queued later run
    // encrypted after socketDidSecure. A second request is ignored. Failures close the socket.
    void startTLS(TlsSettings settings);
    // The OpenSSL session, only on the socket queue (elsewhere null).
    ssl_st* sslContext() const;

    // Only on the socket queue (or a queue marked as it); elsewhere they answer -1.
    int socketFD() const;
    int socket4FD() const;
    int socket6FD() const;
    // Runs the block on the socket queue and waits for it.
    void performBlock(const std::function<void()>& block);
    // As performBlock, and what the block asked of the socket (reads, writes, closing) is
    // started on the calling thread too before it returns, as far as it can go without
    // waiting, instead of on a worker. Reports still reach the delegate queue later. For a
    // caller that asks for little, so that the work needs no hand-over to another thread.
    void performBlockAndQueuedWork(const std::function<void()>& block);
    // Code on a marked queue may ask for the descriptors too (read in step with the socket
    // queue); everything else it asks still goes through the socket queue, since a marked
    // queue does not run in step with it.
    void markSocketQueueTargetQueue(dispatch::SerialQueue& queue);
    void unmarkSocketQueueTargetQueue(dispatch::SerialQueue& queue);

    // Error values of the class.
    static Error badConfigError(std::string text);
    static Error badParamError(std::string text);
    static Error connectTimeoutError();
    static Error readTimeoutError();
    static Error writeTimeoutError();
    static Error readMaxedOutError();
    static Error connectionClosedError();
    static Error otherError(std::string text);
    static Error errnoError();  // the current errno
    static Error errorWithErrno(int code, std::string reason);
    static Error gaiError(int code);
    // A TLS status; `text` (OpenSSL's, when it has one) becomes the description.
    static Error sslError(long status, std::string text = {});

    // Name resolution (blocking: call it off the socket queue). Sets `error` to the failure or
    // to none.
    static std::vector<Data> lookupHost(const std::string& host, std::uint16_t port,
                                        std::optional<Error>* error = nullptr);
    // Address conversion. Addresses are socket-address structures held as bytes.
    static std::string hostFromSockaddr4(const sockaddr_in& address);
    static std::string hostFromSockaddr6(const sockaddr_in6& address);
    static std::uint16_t portFromSockaddr4(const sockaddr_in& address);
    static std::uint16_t portFromSockaddr6(const sockaddr_in6& address);
    static Path urlFromSockaddrUN(const sockaddr_un& address);
    static bool getHost(std::string* host, std::uint16_t* port, int* family, const Data& address);
    static bool getHost(std::string* host, std::uint16_t* port, const Data& address);
    static std::optional<std::string> hostFromAddress(const Data& address);
    static std::uint16_t portFromAddress(const Data& address);
    static bool isIPv4Address(const Data& address);
    static bool isIPv6Address(const Data& address);
    static Data CRLFData();
    static Data CRData();
    static Data LFData();
    static Data ZeroData();

    // The local addresses an interface description stands for (see acceptOnInterface).
    static void getInterfaceAddress4(std::optional<Data>* address4, std::optional<Data>* address6,
                                     const std::string& description, std::uint16_t port);
    // The unix-domain address of a path; none for an empty path.
    static std::optional<Data> getInterfaceAddressFromUrl(const Path& url);

  private:
    enum Flag : std::uint32_t {
        kSocketStarted = 0x1,
        kSocketConnected = 0x2,
        kForbidReadsWrites = 0x4,
        kReadsPaused = 0x8,
        kWritesPaused = 0x10,
        kDisconnectAfterReads = 0x20,
        kDisconnectAfterWrites = 0x40,
        kSocketCanAcceptBytes = 0x80,
        kReadSourceSuspended = 0x100,
        kWriteSourceSuspended = 0x200,
        kQueuedTLS = 0x400,
        kStartingReadTLS = 0x800,
        kStartingWriteTLS = 0x1000,
        kSocketSecure = 0x2000,
        kSocketHasReadEOF = 0x4000,
        kReadStreamClosed = 0x8000,
        kSocketDeallocating = 0x10000,
    };
    enum Config : std::uint16_t {
        kIPv4Disabled = 0x1,
        kIPv6Disabled = 0x2,
        kPreferIPv6 = 0x4,
        kAllowHalfDuplexConnection = 0x8,
    };
    using DelegateCall = std::function<void(Delegate&, const AsyncTcpSocketPtr&)>;

    // Queue discipline.
    // True on the socket queue or a marked queue.
    bool onSocketQueue() const;
    // The value `read` gives on the socket queue; -1 when not called from one of those.
    int onSocketQueueRead(const std::function<int()>& read) const;
    void runSync(const std::function<void()>& body) const;
    void runAsync(std::function<void()> body);
    void postAsync(std::function<void()> body);
    bool delegateResponds(Callback callback) const;
    // Posts `call` to the delegate queue when the delegate implements `callback`.
    void notify(Callback callback, DelegateCall call);
    // A time-out that can fire: not negative, not NaN, not infinite.
    static bool isTimeout(double seconds);
    // A one-shot timer on the socket queue that runs `fired` while the socket lives; none for
    // a time-out that means none.
    std::shared_ptr<dispatch::TimerSource> startTimer(double timeout,
                                                      void (AsyncTcpSocket::*fired)());
    static void stopTimer(std::shared_ptr<dispatch::TimerSource>& timer);
    using TimeoutQuery = double (Delegate::*)(const AsyncTcpSocketPtr&, long, double,
                                              std::uint64_t);
    using TimeoutAnswer = void (AsyncTcpSocket::*)(std::uint64_t, double);
    // Asks the delegate whether a timed-out request gets more time. The answer comes back to
    // `answer` on the socket queue with the request's serial, so that it cannot extend a later
    // request; without the query the answer is 0 at once.
    void askToExtend(Callback callback, TimeoutQuery query, long tag, double elapsed,
                     std::uint64_t done, std::uint64_t serial, TimeoutAnswer answer);

    // Set-up checks shared by accepting and connecting; `verb` names the operation.
    static const char* const kUnknownInterfaceText;
    bool checkDelegate(const std::string& verb, Error* error) const;
    bool checkIdle(const std::string& verb, Error* error) const;
    bool checkFamilies(Error* error) const;
    // The local addresses of an interface description, refused when no enabled family has one.
    bool interfaceAddresses(const std::string& interface, std::uint16_t port,
                            std::optional<Data>* address4, std::optional<Data>* address6,
                            Error* error) const;

    // Listening.
    bool doAcceptOnInterface(const std::string& interface, std::uint16_t port, Error* error);
    bool doAcceptOnUrl(const Path& url, Error* error);
    static int createListeningSocket(int family, const Data& address, Error* error);
    bool watchListeningSocket(int fd, std::shared_ptr<dispatch::ReadinessSource>* source,
                              Error* error);
    bool doAccept(int fd);
    // Out of descriptors: the listeners stop for a moment instead of failing in a busy loop.
    void restAccepting();
    void endAcceptRest();
    void adoptAcceptedSocket(int fd, int family, Data peerAddress);

    // Connecting.
    bool doConnectToHost(const std::string& host, std::uint16_t port, const std::string& interface,
                         double timeout, Error* error);
    bool doConnectToAddress(const Data& address, const std::string& interface, double timeout,
                            Error* error);
    bool doConnectToUrl(const Path& url, double timeout, Error* error);
    bool preConnectWithInterface(const std::string& interface, Error* error);
    bool preConnectWithUrl(const Path& url, Error* error);
    void lookupDidSucceed(long index, std::optional<Data> address4, std::optional<Data> address6);
    void lookupDidFail(long index, Error error);
    int createSocket(int family, const std::optional<Data>& connectInterface, Error* error);
    bool connectWithAddress4(std::optional<Data> address4, std::optional<Data> address6,
                             Error* error);
    bool connectWithAddressUN(const Data& address, Error* error);
    void connectSocket(int fd, const Data& address, long index);
    void connectDidFinish(int fd, long index, int result);
    void closeSocket(int fd);
    void closeUnusedSocket(int fd);
    // `makeNonBlocking` for a descriptor the socket did not create itself.
    void didConnect(long index, bool makeNonBlocking = false);
    void didNotConnect(long index, Error error);
    void startConnectTimeout(double timeout);
    void endConnectTimeout();
    void doConnectTimeout();
    void emptyQueues();
    void closeWithError(std::optional<Error> error);
    void maybeClose();
    void disconnectAfter(std::uint32_t flags);
    bool doAdopt(int fd, Error* error);

    // The connected descriptor's readiness sources.
    int connectedFD() const;
    void setupReadAndWriteSourcesForNewlyConnectedSocket(int fd);
    void suspendReadSource();
    void resumeReadSource();
    void suspendWriteSource();
    void resumeWriteSource();
    void readSourceFired(std::size_t available);

    // Reading.
    void enqueueRead(std::shared_ptr<Data> buffer, std::uint64_t offset, std::uint64_t maxLength,
                     double timeout, std::uint64_t readLength, std::optional<Data> term, long tag);
    void maybeDequeueRead();
    // Makes the next queued read current; answers whether there is one.
    bool dequeueRead();
    // Serves the current read from what is at hand, then times it while it waits.
    void doReadData();
    void readAvailableData();
    // What one pass over the current read achieved.
    struct PassResult {
        bool done = false;
        bool waiting = false;  // the descriptor has nothing more for now
        std::optional<Error> error;
        std::size_t total = 0;  // bytes added to the read in this pass
    };
    PassResult readPass(bool& socketEOF);
    // One read(2) into `target`: the bytes it delivered.
    std::size_t plainReadPass(std::uint8_t* target, std::size_t length, PassResult& pass,
                              bool& socketEOF);
    void doReadEOF();
    void completeCurrentRead();
    void endCurrentRead();
    void setupReadTimerWithTimeout(double timeout);
    void doReadTimeout();
    void doReadTimeoutWithExtension(std::uint64_t serial, double extension);

    // The TLS layer.
    void maybeStartTLS();
    void ssl_startTLS();
    void ssl_continueSSLHandshake();
    void ssl_shouldTrustPeer(bool shouldTrust, long index);
    long sslReadWithBuffer(std::uint8_t* buffer, std::size_t length, std::size_t* got);
    long sslWriteWithBuffer(const std::uint8_t* buffer, std::size_t length, std::size_t* put);
    void flushSSLBuffers();
    // Bytes believed readable: the descriptor's, plus the TLS layer's while secure.
    std::uint64_t readEstimate() const;
    // A read pass through the TLS session into `target`: the bytes it delivered.
    std::size_t sslReadPass(std::uint8_t* target, std::size_t length, PassResult& pass,
                            bool& socketEOF);
    void closeTLS();

    // Writing.
    void maybeDequeueWrite();
    void doWriteData();
    // The TLS half of a write pass: what went out, whether to wait, or the failure.
    void sslWritePass(const AsyncWritePacket& packet, bool& waiting, std::optional<Error>& error,
                      std::size_t& written);
    void completeCurrentWrite();
    void endCurrentWrite();
    void setupWriteTimerWithTimeout(double timeout);
    void doWriteTimeout();
    void doWriteTimeoutWithExtension(std::uint64_t serial, double extension);

    // The peer address of a connected descriptor as the system reports it.
    static std::optional<Data> askPeerAddress(int fd);
    // Endpoints of one descriptor (no hop).
    std::optional<std::string> connectedHost4() const;
    std::optional<std::string> connectedHost6() const;
    std::uint16_t connectedPort4() const;
    std::uint16_t connectedPort6() const;
    std::optional<std::string> localHost4() const;
    std::optional<std::string> localHost6() const;
    std::uint16_t localPort4() const;
    std::uint16_t localPort6() const;
    static std::optional<std::string> connectedHostFromSocket4(int fd);
    static std::optional<std::string> connectedHostFromSocket6(int fd);
    static std::uint16_t connectedPortFromSocket4(int fd);
    static std::uint16_t connectedPortFromSocket6(int fd);
    static std::optional<Path> connectedUrlFromSocketUN(int fd);
    static std::optional<std::string> localHostFromSocket4(int fd);
    static std::optional<std::string> localHostFromSocket6(int fd);
    static std::uint16_t localPortFromSocket4(int fd);
    static std::uint16_t localPortFromSocket6(int fd);

    std::uint32_t flags_ = 0;
    std::uint16_t config_ = 0;
    std::weak_ptr<Delegate> delegate_;
    std::shared_ptr<dispatch::Queue> delegateQueue_;
    int socket4FD_ = -1;
    int socket6FD_ = -1;
    int socketUN_ = -1;
    std::optional<Path> socketUrl_;  // the path of a unix-domain listener
    long stateIndex_ = 0;
    std::optional<Data> connectInterface4_;
    std::optional<Data> connectInterface6_;
    std::optional<Data> connectInterfaceUN_;
    std::shared_ptr<dispatch::SerialQueue> socketQueue_;
    std::shared_ptr<dispatch::ReadinessSource> accept4Source_;
    std::shared_ptr<dispatch::ReadinessSource> accept6Source_;
    std::shared_ptr<dispatch::ReadinessSource> acceptUNSource_;
    // Watch descriptors whose connect is in progress.
    std::shared_ptr<dispatch::ReadinessSource> connect4Source_;
    std::shared_ptr<dispatch::ReadinessSource> connect6Source_;
    std::shared_ptr<dispatch::TimerSource> alternateTimer_;
    std::shared_ptr<dispatch::TimerSource> acceptRestTimer_;
    std::shared_ptr<dispatch::TimerSource> connectTimer_;
    std::shared_ptr<dispatch::ReadinessSource> readSource_;
    std::shared_ptr<dispatch::ReadinessSource> writeSource_;
    std::shared_ptr<dispatch::TimerSource> readTimer_;
    std::shared_ptr<dispatch::TimerSource> writeTimer_;
    using Barrier = std::shared_ptr<const AsyncSpecialPacket>;
    std::deque<std::variant<std::unique_ptr<AsyncReadPacket>, Barrier>> readQueue_;
    std::unique_ptr<AsyncReadPacket> currentRead_;
    std::deque<std::variant<std::unique_ptr<AsyncWritePacket>, Barrier>> writeQueue_;
    std::unique_ptr<AsyncWritePacket> currentWrite_;
    std::uint64_t nextSerial_ = 1;
    std::uint64_t socketFDBytesAvailable_ = 0;
    // The peer of an IPv4 or IPv6 connection, learnt once at accept or connect: it stays
    // known after the peer has gone, and asking costs no system call.
    std::optional<Data> peerAddress_;
    AsyncTcpSocketPreBuffer preBuffer_{4096};
    Barrier tlsBarrier_;  // the barrier once the read queue reached it
    std::unique_ptr<detail::TlsSession> sslContext_;
    std::unique_ptr<AsyncTcpSocketPreBuffer> sslPreBuffer_;
    std::uint64_t sslWriteCachedLength_ = 0;
    long sslErrCode_ = 0;
    long lastSSLHandshakeError_ = 0;
    const char isOnSocketQueueOrTargetQueueKey_ = 0;  // its address is the queue-specific key
    std::shared_ptr<void> userData_;
    double alternateAddressDelay_ = 0.3;
};

}  // namespace corvaline
