#include "core/net/UDPserver.h"

#include <sys/socket.h>

#include <charconv>

#include "core/codec/PacketCodec.h"
#include "core/model/broadcast/BroadcastItem.h"
#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/MessageForForwarding.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "core/net/ServicePort.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/trace/DebugTracer.h"

namespace corvaline {

namespace {

constexpr double kNoTimeout = -1;
constexpr Duration kRefreshInterval{360.0};
constexpr Duration kFollowUpDelay{6.0};
constexpr Duration kResetDelay{2.0};
constexpr auto kRemovalAge = std::chrono::seconds(2592000);  // 30 days
// Fields 0 to 8 of a presence packet are read, and a decoded packet ends with the two
// trailer fields of the writer: anything shorter is not a presence packet.
constexpr std::size_t kPresenceFields = 9 + 2;
// Every copy on a large network announces itself at once after a network change: the kernel
// holds such a burst (thousands of small datagrams) while the main thread works through it.
// The system caps the size (net.core.rmem_max); beyond the cap it stays at the cap.
constexpr int kPresenceReceiveBuffer = 4 * 1024 * 1024;

void trace(const std::string& text) {
    DebugTracer::addLogItem(text, 0);
}

std::string describe(const std::string& what, const std::optional<Error>& error) {
    return what + ": " + std::to_string(error ? error->code : 0) + " (" +
           (error ? error->message : std::string()) + ")";
}

// The wire has no empty fields: "*" says there is nothing.
std::string field(std::string text) {
    return text.empty() ? std::string("*") : text;
}

std::int64_t integerValue(std::string_view text) {
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

const Me* localUser() {
    auto* list = CoreServices::shared().userList;
    return list ? list->me().get() : nullptr;
}

// "RL", "UI" and "AL": the local user's status, host, id, name and session.
std::optional<Bytes> announcement(const std::string& type, const std::string& toIp,
                                  const std::string& toUserId) {
    const Me* me = localUser();
    if (!me) {
        return std::nullopt;
    }
    const Packet packet{type,
                        field(me->status()),
                        field(me->pc()),
                        field(me->userId()),
                        toIp,
                        toUserId,
                        "*",
                        field(me->name()),
                        std::to_string(me->sessionId().value_or(0))};
    return PacketCodec::shared().PlainPacket(packet);
}

}  // namespace

std::shared_ptr<UDPserver> UDPserver::create(std::shared_ptr<Executor> main) {
    auto server = std::make_shared<UDPserver>(Private{}, std::move(main));
    server->adaptersChanged();
    return server;
}

UDPserver::UDPserver(Private, std::shared_ptr<Executor> main)
    : AsyncUdpSocketDelegate(
          {Callback::DidReceiveData, Callback::DidNotSendData, Callback::DidClose}),
      main_(std::move(main)) {}

UDPserver::~UDPserver() {
    refreshTimer_.cancel();
    SixSecTimer_.cancel();
    resetTimer_.cancel();
    for (const auto& socket : {recvSocket_, sendSocket_}) {
        if (socket) {
            socket->close();
        }
    }
}

TimerHandle UDPserver::later(Duration delay, void (UDPserver::*method)()) {
    return main_->postAfter(delay, [weak = weak_from_this(), method] {
        if (auto self = weak.lock()) {
            ((*self).*method)();
        }
    });
}

AsyncUdpSocketPtr UDPserver::createAndInitUDPsocket() {
    auto socket = AsyncUdpSocket::create(weak_from_this(), main_);
    socket->setIPv6Enabled(false);
    Error error;
    if (!socket->enableReusePort(true, &error)) {
        trace(describe("Could not enableReusePort. Error", error));
    }
    return socket;
}

void UDPserver::adaptersChanged() {
    assertCurrent(*main_);
    trace("UDP (re)start");
    for (const auto& socket : {recvSocket_, sendSocket_}) {
        if (socket) {
            socket->close();  // replaced sockets must not keep the port
        }
    }
    recvSocket_ = createAndInitUDPsocket();
    sendSocket_ = createAndInitUDPsocket();
    if (!enableBroadcasts()) {
        return;
    }
    Error error;
    if (!recvSocket_->bindToPort(kServicePort, &error)) {
        trace(describe("Could not open UDP socket. Error", error));
        resetSocketsWithDelay();
        return;
    }
    recvSocket_->performBlock([socket = recvSocket_.get()] {
        ::setsockopt(socket->socketFD(), SOL_SOCKET, SO_RCVBUF, &kPresenceReceiveBuffer,
                     sizeof kPresenceReceiveBuffer);
    });
    if (!recvSocket_->beginReceiving(&error)) {
        trace(describe("Could not begin receiving on UDP socket. Error", error));
        resetSocketsWithDelay();
    }
}

bool UDPserver::enableBroadcasts() {
    Error error;
    if (sendSocket_ && sendSocket_->enableBroadcast(true, &error)) {
        return true;
    }
    trace(describe("Could not enable UDP broadcasts. Error", error));
    resetSocketsWithDelay();
    return false;
}

void UDPserver::resetSocketsWithDelay() {
    if (resetPending_) {
        return;
    }
    trace("resetSocketsWithDelay");
    resetPending_ = true;
    resetTimer_ = later(kResetDelay, &UDPserver::resetNow);
}

void UDPserver::resetNow() {
    adaptersChanged();
    resetPending_ = false;
}

void UDPserver::closeBothUDPsockets() {
    if (recvSocket_ && !recvSocket_->isClosed()) {
        trace("Will close UDP sockets");
        recvSocket_->close();
    }
    if (sendSocket_ && !sendSocket_->isClosed()) {
        sendSocket_->closeAfterSending();
    }
}

void UDPserver::beginWork() {
    assertCurrent(*main_);
    if (!recvSocket_ || recvSocket_->isClosed()) {
        adaptersChanged();
    }
    RefreshUserList(false);
    if (!refreshTimer_) {
        refreshTimer_ = main_->repeating(kRefreshInterval, [weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                self->RefreshUserList(true);
            }
        });
    }
}

void UDPserver::endWork() {
    assertCurrent(*main_);
    trace("UDP close RECV and SEND");
    closeBothUDPsockets();
    refreshTimer_.cancel();
    refreshTimer_ = TimerHandle();
}

void UDPserver::RefreshUserList(bool byTimer) {
    assertCurrent(*main_);
    if (auto bytes = announcement(byTimer ? "RL" : "UI", "*", "*")) {
        SendPacketToEveryone(*bytes);
    }
    // An earlier follow-up still runs: each refresh has its own.
    SixSecTimer_ = later(kFollowUpDelay, &UDPserver::ContinueRefreshUserList);
}

void UDPserver::ContinueRefreshUserList() {
    auto* list = CoreServices::shared().userList;
    if (!list) {
        return;
    }
    for (const auto& user : list->allUsersWithoutOffline(true, true)) {
        user->RequestUserInfo();
    }
    SixSecTimer_ = TimerHandle();
    const Date limit = CoreServices::shared().now() - kRemovalAge;
    for (const auto& user : list->allUsersWithoutOffline(false, false)) {
        const auto seen = user->seenLastTime();
        if (!user->removed() && user->userOffline() && seen && *seen < limit) {
            user->setRemoved(true);
        }
    }
}

void UDPserver::sendTo(const std::vector<std::uint8_t>& bytes, const std::string& host, long tag) {
    if (sendSocket_) {
        sendSocket_->sendData(std::make_shared<const Data>(bytes), host, kServicePort, kNoTimeout,
                              tag);
    }
}

void UDPserver::SendPacketToEveryone(const std::vector<std::uint8_t>& packet) {
    assertCurrent(*main_);
    long tag = 1;
    for (const auto& address : BroadcastItem::defaultBroadcasts()) {
        sendTo(packet, address, tag++);
    }
    const auto stored = UserDefaults::standard().arrayForKey(defaults::kBroadcasts);
    if (!stored) {
        return;
    }
    for (const auto& dictionary : *stored) {
        BroadcastItem item = BroadcastItem::broadcastItemFromDictionary(dictionary);
        while (auto address = item.enumerate()) {
            sendTo(packet, *address, tag++);
        }
    }
}

void UDPserver::SendTyping(User& user) {
    assertCurrent(*main_);
    const Me* me = localUser();
    if (!me) {
        return;
    }
    const Packet packet{"TP",
                        "*",
                        field(me->pc()),
                        field(me->userId()),
                        field(user.ip()),
                        field(user.userId()),
                        "*",
                        "*",
                        "*"};
    if (auto bytes = PacketCodec::shared().PlainPacket(packet)) {
        sendTo(*bytes, user.ip(), 0);
    }
}

void UDPserver::udpSocketDidReceiveData(const AsyncUdpSocketPtr&, const Data& data,
                                        const Data& address, const std::any&) {
    auto packet = PacketCodec::shared().ArrayFromBase64AESdata(data);
    if (!packet || packet->text(0) == "BL" || packet->size() < kPresenceFields) {
        return;
    }
    handlePacket(std::move(*packet), AsyncUdpSocket::hostFromAddress(address).value_or(""));
}

void UDPserver::handlePacket(Packet packet, const std::string& ip) {
    auto* list = CoreServices::shared().userList;
    if (!list) {
        return;
    }
    std::vector<Packet::Field> fields = packet.fields();
    fields.emplace_back(ip);
    const auto user = list->UpdateUserDataWithUDP(Packet(std::move(fields)));
    const std::string_view type = packet.text(0);
    if (type == "TP") {
        if (user) {
            user->setTypingReceived(CoreServices::shared().now());
        }
        return;
    }
    if ((type == "RL" || type == "UI") && user) {
        if (auto answer = announcement("AL", field(ip), field(user->userId()))) {
            sendTo(*answer, ip, 0);
        }
    }
    ObjectContext* context = AppManagedObjectContext();
    if (type == "UOMFR" && user && context) {
        const std::int64_t messageId = integerValue(packet.text(1));
        for (const auto& record : context->fetch<MessageForForwarding>(
                 [&](const MessageForForwarding& r) { return r.messageId() == messageId; })) {
            record->removeRecipientsObject(*user);
            if (record->recipients().empty()) {
                context->deleteObject(*record);
            }
        }
    }
    SaveAppContextSoon();
}

void UDPserver::udpSocketDidNotSendDataWithTag(const AsyncUdpSocketPtr&, long, const Error& error) {
    trace(describe("UDP socket did not send data due to error", error));
    resetSocketsWithDelay();
}

void UDPserver::udpSocketDidClose(const AsyncUdpSocketPtr& socket,
                                  const std::optional<Error>& error) {
    const bool isSend = socket && socket == sendSocket_;
    const bool isRecv = socket && socket == recvSocket_;
    trace(describe(
        isSend ? "UDP SEND socket closed. Error"
               : (isRecv ? "UDP RECV socket closed. Error" : "UDP OLD socket closed. Error"),
        error));
    if (!error) {
        return;
    }
    if (isSend) {
        enableBroadcasts();
    } else {
        resetSocketsWithDelay();
    }
}

}  // namespace corvaline
