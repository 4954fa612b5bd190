#include "core/net/TCPserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>

#include "core/codec/PacketCodec.h"
#include "core/codec/UserInfoRecord.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/MessageForForwarding.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "core/net/FILEserver.h"
#include "core/net/ServicePort.h"
#include "core/net/UDPserver.h"
#include "platform/trace/DebugTracer.h"
#include "sockets/SocketAddress.h"

namespace corvaline {

namespace {

constexpr double kTimeout = 10.0;
constexpr long kReadTag = 0;
constexpr long kReplyTag = 0;
constexpr long kRequestTag = 255;

void trace(const std::string& text) {
    DebugTracer::addLogItem(text, 0);
}

std::shared_ptr<const Data> crlf() {
    static const auto terminator = std::make_shared<const Data>(AsyncTcpSocket::CRLFData());
    return terminator;
}

bool isMessageType(std::string_view type) {
    static constexpr std::string_view kTypes[] = {"TSM", "TMM", "TSOM", "TSFM", "TSOMM", "TSFMM"};
    return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

// The pending object when it is exactly of that entity (not a sub-entity).
template <typename T>
std::shared_ptr<T> exactly(const std::shared_ptr<ManagedObject>& object) {
    if (!object || object->entity().name() != T::kEntityName) {
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}

// Tells the requester on the main queue that its exchange is over, when the exchange goes
// (on whichever thread lets it go last). Owned by one exchange.
class EndNotice {
  public:
    EndNotice() = default;
    EndNotice(std::shared_ptr<Executor> main, std::function<void()> ended)
        : main_(std::move(main)), ended_(std::move(ended)) {}
    EndNotice(EndNotice&&) = default;
    EndNotice& operator=(EndNotice&&) = delete;
    ~EndNotice() {
        if (ended_) {
            main_->post(std::move(ended_));
        }
    }

  private:
    std::shared_ptr<Executor> main_;
    std::function<void()> ended_;
};

}  // namespace

// The user data of an outgoing socket: who the packet is for and what waits for the outcome.
struct TCPserver::Exchange {
    std::shared_ptr<User> recipient;
    std::shared_ptr<ManagedObject> message;
    EndNotice ended;
};

std::shared_ptr<TCPserver> TCPserver::create(std::shared_ptr<Executor> main, MessageHooks hooks) {
    auto server = std::make_shared<TCPserver>(Private{}, std::move(main), std::move(hooks));
    server->turnONserver();
    return server;
}

TCPserver::TCPserver(Private, std::shared_ptr<Executor> main, MessageHooks hooks)
    : AsyncTcpSocketDelegate({Callback::DidAcceptNewSocket, Callback::DidReadData,
                              Callback::DidReadPartialData, Callback::DidDisconnect}),
      main_(std::move(main)),
      hooks_(std::move(hooks)) {}

TCPserver::~TCPserver() {
    networkChangeTimer_.cancel();
    sleepTimer_.cancel();
    for (auto* list : {&connectedServerTCPSockets_, &connectedClientTCPSockets_}) {
        for (const auto& socket : *list) {
            socket->disconnect();
        }
    }
    if (serverTCPsocket_) {
        serverTCPsocket_->disconnect();
    }
}

TCPserver::Exchange* TCPserver::exchangeOf(const AsyncTcpSocket& socket) {
    return static_cast<Exchange*>(socket.userData().get());
}

void TCPserver::turnONserver() {
    assertCurrent(*main_);
    startServers(false);
}

void TCPserver::startServers(bool bySleepTimer) {
    trace("turn on servers");
    if (bySleepTimer) {
        trace("SLEEP WAS FAKE");
    }
    if (!serverTCPsocket_) {
        serverTCPsocket_ = AsyncTcpSocket::create(weak_from_this(), main_);
        serverTCPsocket_->setIPv6Enabled(false);
    }
    if (!serverTCPsocket_->acceptOnPort(kServicePort)) {
        trace("SERVER TCP PORT IS NOT BINDABLE");
    }
    if (auto presence = presence_.lock()) {
        presence->beginWork();
    }
    if (auto files = files_.lock()) {
        files->adapterChanged();
    }
}

void TCPserver::turnOffserver() {
    assertCurrent(*main_);
    trace("turn off servers");
    if (serverTCPsocket_) {
        serverTCPsocket_->disconnect();
    }
    if (auto presence = presence_.lock()) {
        presence->endWork();
    }
}

void TCPserver::adaptersChanged() {
    assertCurrent(*main_);
    networkChangeTimer_.cancel();
    trace("TCP (re)start");
    turnOffserver();
    turnONserver();
}

void TCPserver::SendTCPpacket(const std::vector<std::uint8_t>& packet, User& to,
                              std::shared_ptr<ManagedObject> pending) {
    send(packet,
         std::make_shared<Exchange>(Exchange{std::static_pointer_cast<User>(to.shared_from_this()),
                                             std::move(pending), EndNotice()}));
}

void TCPserver::SendTCPrequest(const std::vector<std::uint8_t>& packet, User& to,
                               std::function<void()> ended) {
    // The limit is this object's own: a start it runs finds this object alive.
    outgoingRequests_.start([this, packet,
                             recipient = std::static_pointer_cast<User>(to.shared_from_this()),
                             ended = std::move(ended)]() mutable {
        auto over = [weak = weak_from_this(), ended = std::move(ended)] {
            ended();
            if (auto self = weak.lock()) {
                self->outgoingRequests_.finished();
            }
        };
        send(packet, std::make_shared<Exchange>(Exchange{std::move(recipient), nullptr,
                                                         EndNotice(main_, std::move(over))}));
    });
}

void TCPserver::send(const std::vector<std::uint8_t>& packet, std::shared_ptr<Exchange> exchange) {
    assertCurrent(*main_);
    const User& to = *exchange->recipient;
    auto socket = AsyncTcpSocket::create(weak_from_this(), main_);
    connectedClientTCPSockets_.push_back(socket);
    Data line(packet.begin(), packet.end());
    line.insert(line.end(), crlf()->begin(), crlf()->end());
    Error error;
    bool started = false;
    // Set up on this thread in one turn of the new socket's queue, instead of a hand-over to
    // a worker per call; the write and the read start there once the connect is made.
    socket->performBlockAndQueuedWork([&] {
        socket->setIPv6Enabled(false);
        socket->setUserData(exchange);
        started = connect(*socket, to.ip(), &error);
        if (started) {
            socket->writeData(std::move(line), kTimeout, kRequestTag);
            socket->readDataToData(*crlf(), kTimeout, kMaxLineLength, kReadTag);
        } else {
            socket->setUserData(nullptr);
        }
    });
    if (!started) {
        // Nothing would ever report on this socket: the exchange has failed now.
        forget(socket);
        exchangeFailed(*exchange, error.code ? error.code : AsyncTcpSocketBadParamError,
                       error.message);
    }
}

bool TCPserver::connect(AsyncTcpSocket& socket, const std::string& ip, Error* error) {
    // A peer's address is a dotted quad, whose lookup would only cost two thread hand-offs.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kServicePort);
    if (::inet_pton(AF_INET, ip.c_str(), &address.sin_addr) == 1) {
        return socket.connectToAddress(addressData(address), kTimeout, error);
    }
    return socket.connectToHost(ip, kServicePort, kTimeout, error);
}

void TCPserver::socketDidAcceptNewSocket(const AsyncTcpSocketPtr&,
                                         const AsyncTcpSocketPtr& newSocket) {
    // The request is usually there already: read on this thread, no hand-over and back. One
    // turn of the socket's queue for all of it: a readiness report queued between two turns
    // would wake a worker.
    newSocket->performBlockAndQueuedWork([&] {
        if (!requests_.admit(newSocket, newSocket->connectedHost().value_or(""))) {
            trace("too many connections from one address");
            newSocket->disconnect();
            return;
        }
        connectedServerTCPSockets_.push_back(newSocket);
        newSocket->readDataToData(*crlf(), kTimeout, kMaxLineLength, kReadTag);
    });
}

void TCPserver::socketDidReadPartialDataOfLength(const AsyncTcpSocketPtr& socket,
                                                 std::size_t length, long) {
    if (!socket) {
        return;
    }
    for (const auto& closing : requests_.grew(*socket, length)) {
        trace("requests hold too many bytes: the newest connection is closed");
        closing->disconnect();
    }
}

void TCPserver::socketDidReadData(const AsyncTcpSocketPtr& socket, const DataSlice& data, long) {
    requests_.settled(*socket);
    // Asked in a turn that also takes what the socket queued meanwhile (the peer's close,
    // usually): a worker woken for it would only contend with this thread for the socket.
    std::string ip;
    socket->performBlockAndQueuedWork([&] { ip = socket->connectedHost().value_or(""); });
    const auto packet = PacketCodec::shared().ArrayFromBase64AESdata(data.span());
    if (!packet) {
        std::string sender = "unavailable";
        if (auto* context = AppManagedObjectContext()) {
            const auto users = context->fetch<User>([&](const User& u) { return u.ip() == ip; });
            if (!users.empty()) {
                sender = users.front()->userId();
            }
        }
        trace("received TCP data cannot be extracted, ip: " + sender);
        closeFinished(*socket);
        return;
    }
    auto bytes = answer(*packet, ip, socket);
    if (!bytes) {
        closeFinished(*socket);
        return;
    }
    if (auto* exchange = exchangeOf(*socket)) {
        exchange->message.reset();
    }
    // The reply and its end go out as one write, on this thread while the socket takes it,
    // and the socket closes once it is written: no report of the write comes back here.
    bytes->insert(bytes->end(), crlf()->begin(), crlf()->end());
    socket->performBlockAndQueuedWork([&] {
        socket->writeData(std::move(*bytes), kTimeout, kReplyTag);
        socket->disconnectAfterWriting();
    });
}

void TCPserver::closeFinished(AsyncTcpSocket& socket) {
    socket.performBlockAndQueuedWork([&] {
        socket.setUserData(nullptr);
        socket.disconnect();
    });
}

std::optional<Bytes> TCPserver::answer(const Packet& packet, const std::string& ip,
                                       const AsyncTcpSocketPtr& socket) {
    const auto reply = dispatch(packet, ip, socket);
    if (packet.text(0) == "TSI") {
        SaveAppContextSoon();  // user information is presence, not a message: batched like it
    } else {
        SaveAppContextIfChanged();
    }
    if (!reply) {
        return std::nullopt;
    }
    return PacketCodec::shared().PlainPacket(*reply);
}

std::optional<Packet> TCPserver::dispatch(const Packet& packet, const std::string& ip,
                                          const AsyncTcpSocketPtr& socket) {
    const auto answer = [&packet](const MessageHooks::PacketHandler& handler) {
        return handler ? handler(packet) : std::nullopt;
    };
    const std::string_view type = packet.text(0);
    if (isMessageType(type)) {
        return hooks_.gotMessage ? hooks_.gotMessage(packet, ip) : std::nullopt;
    }
    if (type == "CRJR") {
        return answer(hooks_.receivedJoinInfo);
    }
    if (type == "CRGRR") {
        answer(hooks_.receivedJoinInfo);
        return std::nullopt;
    }
    if (type == "CRGRI") {
        return answer(hooks_.receivedRoomInfoRequest);
    }
    if (type == "CRSM") {
        return answer(hooks_.receivedMessage);
    }
    if (type == "CRLR") {
        return answer(hooks_.receivedLeaveInfo);
    }
    if (type == "TRI") {
        return replyInfoRequest(packet);
    }
    if (type == "TSI") {
        userInfoReceived(packet);
    } else if (type == "TMR") {
        messageReceived(packet, socket);
    }
    return std::nullopt;
}

std::optional<Packet> TCPserver::replyInfoRequest(const Packet& packet) const {
    auto* list = CoreServices::shared().userList;
    const Me* me = list ? list->me().get() : nullptr;
    if (!me || packet.text(5) != me->userId()) {
        return std::nullopt;
    }
    return Packet{"TSI",
                  "*",
                  me->pc(),
                  me->userId(),
                  "*",
                  std::string(packet.text(3)),
                  UserInfoPacketFromUser(me->userInfo()),
                  "*"};
}

void TCPserver::userInfoReceived(const Packet& packet) {
    auto* list = CoreServices::shared().userList;
    if (!list) {
        return;
    }
    const auto user = list->getUserById(packet.text(3), std::nullopt);
    if (!user) {
        return;
    }
    if (const auto info = ParceUserInfo(packet.text(6))) {
        user->applyUserInfo(*info);
    }
}

void TCPserver::messageReceived(const Packet& packet, const AsyncTcpSocketPtr& socket) {
    auto* exchange = exchangeOf(*socket);
    if (!exchange) {
        return;
    }
    if (const std::string_view answerer = packet.text(3);
        answerer != exchange->recipient->userId()) {
        // Another user's copy now has the address: the recipient has not got the message.
        const auto failed = std::static_pointer_cast<Exchange>(socket->userData());
        socket->setUserData(nullptr);
        trace(failed->recipient->userId() + " is offline because the receipt came from " +
              std::string(answerer));
        recipientUnreachable(*failed);
        return;
    }
    const auto record = exactly<MessageForForwarding>(exchange->message);
    if (!record || record->isDeleted() || !record->context()) {
        return;
    }
    record->removeRecipientsObject(*exchange->recipient);
    if (record->recipients().empty()) {
        record->context()->deleteObject(*record);
    }
    SaveAppContextIfChanged();
}

void TCPserver::socketDidDisconnect(const AsyncTcpSocketPtr& socket,
                                    const std::optional<Error>& error) {
    const long code = error ? error->code : 0;
    if (code != 0 && code != AsyncTcpSocketClosedError) {
        trace("TCP socket did disconnect with result " + std::to_string(code));
    }
    if (!socket) {
        return;
    }
    if (auto* exchange = exchangeOf(*socket); exchange && code != 0) {
        exchangeFailed(*exchange, code, error->message);
    }
    // The exchange is over, whoever still holds the socket. Dropped on this thread: the
    // socket is closed and its queue free, a hand-over would only wake a worker.
    socket->performBlockAndQueuedWork([&] { socket->setUserData(nullptr); });
    forget(socket);
}

void TCPserver::exchangeFailed(Exchange& exchange, long code, const std::string& description) {
    trace(exchange.recipient->userId() + " is offline because of TCP socket error " +
          std::to_string(code) + ": " + description);
    recipientUnreachable(exchange);
}

void TCPserver::recipientUnreachable(Exchange& exchange) {
    exchange.recipient->setStatus("10");
    if (auto message = exactly<Message>(exchange.message);
        message && hooks_.SendOfflineMessageIfNeeded) {
        hooks_.SendOfflineMessageIfNeeded(*exchange.recipient, message);
    }
    SaveAppContextIfChanged();
}

void TCPserver::forget(const AsyncTcpSocketPtr& socket) {
    requests_.forget(*socket);
    for (auto* list : {&connectedServerTCPSockets_, &connectedClientTCPSockets_}) {
        std::erase(*list, socket);
    }
}

}  // namespace corvaline
