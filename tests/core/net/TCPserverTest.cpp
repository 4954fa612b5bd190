#include "core/net/TCPserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "core/codec/PacketCodec.h"
#include "core/codec/UserInfoRecord.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/MessageForForwarding.h"
#include "core/net/NetTest.h"
#include "core/net/UDPserver.h"

namespace corvaline::testing {
namespace {

sockaddr_in loopback() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(19771);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A blocking socket whose connects, reads, writes and accepts give up after 20 s.
int peerSocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval limit{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    return fd;
}

// Reads up to CR LF (included) or the end of the stream; the peer of the service's sockets.
std::string readLine(int fd) {
    std::string line;
    char c = 0;
    while (!line.ends_with("\r\n") && ::read(fd, &c, 1) == 1) {
        line += c;
    }
    return line;
}

void writeAll(int fd, const std::string& text) {
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

std::string wire(const Packet& packet) {
    const auto bytes = PacketCodec::shared().PlainPacket(packet).value();
    return std::string(bytes.begin(), bytes.end()) + "\r\n";
}

Packet unwire(const std::string& line) {
    return PacketCodec::shared()
        .ArrayFromBase64AESdata(Bytes(line.begin(), line.end()))
        .value_or(Packet{});
}

class TCPserverTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        MessageHooks hooks;
        hooks.SendOfflineMessageIfNeeded = [this](User& user, const std::shared_ptr<Message>& m) {
            relayed_.push_back({user.userId(), m});
        };
        tcp_ = TCPserver::create(main(), std::move(hooks));
        udp_ = UDPserver::create(main());
        tcp_->setUDPserver(udp_);
        CoreServices::shared().messages = tcp_.get();
        CoreServices::shared().presence = udp_.get();
    }
    void TearDown() override {
        tcp_.reset();
        udp_.reset();
        NetTest::TearDown();
    }

    // Runs `peer` on a thread of its own while the loop runs, until it is done.
    void withPeer(const std::function<void()>& peer) {
        std::atomic<bool> done = false;
        std::thread thread([&] {
            peer();
            done = true;
        });
        runUntilDone([&] { return done.load(); });
        thread.join();
    }

    // Takes the service port in place of the listener: each connection gets the next answer,
    // and the requests it read come back in order.
    std::vector<std::string> answerRequests(const std::vector<std::string>& answers,
                                            const std::function<void()>& send) {
        tcp_->turnOffserver();
        const int listener = peerSocket();
        const int on = 1;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const sockaddr_in address = loopback();
        EXPECT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener, SOMAXCONN), 0);
        std::vector<std::string> requests;
        send();
        withPeer([&] {
            for (const auto& answer : answers) {
                const int fd = ::accept(listener, nullptr, nullptr);
                if (fd < 0) {
                    return;
                }
                requests.push_back(readLine(fd));
                writeAll(fd, answer);
                ::close(fd);
            }
        });
        ::close(listener);
        runUntilDone([&] { return tcp_->connectedClientSocketCount() == 0; });
        return requests;
    }

    std::shared_ptr<TCPserver> tcp_;
    std::shared_ptr<UDPserver> udp_;
    std::vector<std::pair<std::string, std::shared_ptr<Message>>> relayed_;
};

TEST_F(TCPserverTest, TenNetworkNoticesWithinFourSecondsRestartOnceFiveSecondsAfterTheLast) {
    startTrace();
    for (int notice = 0; notice < 10; ++notice) {
        tcp_->NetworkChangeCallback();
        runFor(0.4);
    }
    runFor(4.5);  // 4.9 s after the last
    EXPECT_EQ(traced("TCP (re)start"), 0);
    runFor(0.2);
    EXPECT_EQ(traced("TCP (re)start"), 1);
    runFor(60);
    EXPECT_EQ(traced("TCP (re)start"), 1);
    EXPECT_EQ(traced("Network change received"), 10);
}

TEST_F(TCPserverTest, SleepThenWakeStartsAtWakeAndAgainWhenTheSleepTimerFires) {
    const auto peer = addUser("A5", "0");
    startTrace();
    tcp_->TCPserverPowerHandler(true);
    EXPECT_TRUE(peer->userOffline());
    EXPECT_TRUE(udp_->recvSocket()->isClosed());
    runFor(30);
    tcp_->TCPserverPowerHandler(false);
    EXPECT_EQ(traced("turn on servers"), 1);
    EXPECT_EQ(traced("SERVER TCP PORT IS NOT BINDABLE"), 0);
    EXPECT_FALSE(udp_->recvSocket()->isClosed());
    const auto socketsAfterWake = udp_->recvSocket();
    runFor(100);  // 130 s after the sleep notice
    EXPECT_EQ(traced("turn on servers"), 2);
    EXPECT_EQ(traced("SLEEP WAS FAKE"), 1);
    EXPECT_EQ(traced("SERVER TCP PORT IS NOT BINDABLE"), 1);
    EXPECT_EQ(udp_->recvSocket(), socketsAfterWake);
}

TEST_F(TCPserverTest, AConnectRefusedAtOnceIsAFailedExchange) {
    const auto peer = addUser("A5", "0");  // known, but with no address
    auto message = context_->insert<Message>();
    tcp_->SendTCPpacket(PacketCodec::shared()
                            .PlainPacket(Packet{"TSM", "1", "h", "A0", "*", "A5", "text", "*"})
                            .value(),
                        *peer, message);
    EXPECT_TRUE(peer->userOffline());
    ASSERT_EQ(relayed_.size(), 1u);
    EXPECT_EQ(relayed_.front().first, "A5");
    EXPECT_EQ(relayed_.front().second, message);
    EXPECT_EQ(tcp_->connectedClientSocketCount(), 0u);
}

TEST_F(TCPserverTest, AnswersAnInformationRequestForTheLocalUserOnly) {
    const auto& me = *userList_->me();
    const std::string forMe = wire(Packet{"TRI", "*", "peer", "A5", "*", me.userId(), "*", "*"});
    const std::string forOther = wire(Packet{"TRI", "*", "peer", "A5", "*", "A6", "*", "*"});
    std::string reply;
    std::string noReply = "unset";
    withPeer([&] {
        for (auto* exchange : {&forMe, &forOther}) {
            const int fd = peerSocket();
            const sockaddr_in address = loopback();
            ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address),
                      0);
            writeAll(fd, *exchange);
            (exchange == &forMe ? reply : noReply) = readLine(fd);
            ::close(fd);
        }
    });
    const Packet tsi = unwire(reply);
    EXPECT_EQ(tsi.text(0), "TSI");
    EXPECT_EQ(tsi.text(3), me.userId());
    EXPECT_EQ(tsi.text(5), "A5");
    EXPECT_EQ(tsi.text(6), UserInfoPacketFromUser(me.userInfo()));
    EXPECT_EQ(noReply, "");
    runUntilDone([&] { return tcp_->connectedServerSocketCount() == 0; });
    EXPECT_EQ(tcp_->connectedServerSocketCount(), 0u);
}

TEST_F(TCPserverTest, ALineOverTheLimitClosesThatConnectionAndOthersAreStillServed) {
    const auto& me = *userList_->me();
    const std::string forMe = wire(Packet{"TRI", "*", "peer", "A5", "*", me.userId(), "*", "*"});
    // Far more than the limit and the socket buffers hold: only a service that stops reading
    // makes the sending fail before the end.
    constexpr std::uint64_t kFlood = 16 * TCPserver::kMaxLineLength;
    std::uint64_t sent = 0;
    bool cutOff = false;
    std::string reply;
    withPeer([&] {
        const sockaddr_in address = loopback();
        const int hostile = peerSocket();
        ASSERT_EQ(::connect(hostile, reinterpret_cast<const sockaddr*>(&address), sizeof address),
                  0);
        const std::string chunk(256 * 1024, 'A');  // no terminator, ever
        while (sent < kFlood) {
            const ssize_t n = ::send(hostile, chunk.data(), chunk.size(), MSG_NOSIGNAL);
            if (n <= 0) {
                break;
            }
            sent += static_cast<std::uint64_t>(n);
        }
        char c = 0;
        const ssize_t n = ::read(hostile, &c, 1);
        cutOff = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
        ::close(hostile);

        const int fd = peerSocket();
        ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        writeAll(fd, forMe);
        reply = readLine(fd);
        ::close(fd);
    });
    EXPECT_LT(sent, kFlood);
    EXPECT_TRUE(cutOff);
    EXPECT_EQ(unwire(reply).text(0), "TSI");
    runUntilDone([&] { return tcp_->connectedServerSocketCount() == 0; });
    EXPECT_EQ(tcp_->connectedServerSocketCount(), 0u);
}

// A connection to the service from `source` (a loopback address); -1 when it fails.
int connectFrom(const char* source) {
    const int fd = peerSocket();
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &from.sin_addr);
    const sockaddr_in to = loopback();
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool closedByTheService(int fd) {
    char byte;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

// Hostile connections (many idle ones from one address, or many long unended lines) are
// held within their bounds by closing the newest, and the service answers again. Idle ones
// from one address leave the others served meanwhile; lines over the byte bound close even a
// new request until they go.
TEST_F(TCPserverTest, ConnectionsOverTheirShareAreClosedNewestFirstAndOthersAreServed) {
    const auto& me = *userList_->me();
    constexpr std::size_t kLinesInBound = RequestBudget::kBufferedBytes / TCPserver::kMaxLineLength;
    struct Case {
        const char* what;
        std::size_t connections;
        std::string sent;  // by each connection, never ended
        std::size_t leastClosed;
        std::size_t mostClosed;
        bool servedMeanwhile;
    };
    const Case cases[] = {
        {"idle from one address", RequestBudget::kConnectionsPerAddress + 3, "", 3, 3, true},
        {"long lines", kLinesInBound + 4, std::string(TCPserver::kMaxLineLength - 2, 'A'), 4, 6,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int> hostile;
        std::size_t closed = 0;
        std::string reply;
        const auto exchange = [&] {
            const int fd = connectFrom("127.0.0.1");
            // A packet of its own: the same one twice is dropped as a duplicate.
            writeAll(fd, wire(Packet{"TRI", "*", c.what, "A5", "*", me.userId(), "*", "*"}));
            reply = readLine(fd);
            ::close(fd);
        };
        withPeer([&] {
            for (std::size_t i = 0; i < c.connections; ++i) {
                hostile.push_back(connectFrom("127.0.0.2"));
                if (!c.sent.empty()) {
                    ::send(hostile.back(), c.sent.data(), c.sent.size(), MSG_NOSIGNAL);
                }
            }
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            do {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                closed = static_cast<std::size_t>(
                    std::count_if(hostile.begin(), hostile.end(), closedByTheService));
            } while (closed < c.leastClosed && std::chrono::steady_clock::now() < limit);
            if (c.servedMeanwhile) {
                exchange();
            }
            for (const int fd : hostile) {
                ::close(fd);
            }
        });
        runUntilDone([&] { return tcp_->connectedServerSocketCount() == 0; });
        if (!c.servedMeanwhile) {
            withPeer(exchange);
        }
        EXPECT_GE(closed, c.leastClosed);
        EXPECT_LE(closed, c.mostClosed);
        EXPECT_EQ(unwire(reply).text(0), "TSI");
    }
}

TEST_F(TCPserverTest, AppliesTheInformationThatAnsweredItsRequest) {
    const auto peer = addUser("A5", "10");
    peer->setIp("127.0.0.1");
    UserInfo info;
    info.firstName = "Ada";
    info.status = "2";
    const std::string answer = wire(Packet{"TSI", "*", "peer", "A5", "*", userList_->me()->userId(),
                                           UserInfoPacketFromUser(info), "*"});
    const auto requests = answerRequests({answer}, [&] { peer->RequestUserInfo(); });

    ASSERT_EQ(requests.size(), 1u);
    const Packet tri = unwire(requests.front());
    EXPECT_EQ(tri.text(0), "TRI");
    EXPECT_EQ(tri.text(5), "A5");
    EXPECT_EQ(peer->userInfo().firstName, "Ada");
    EXPECT_EQ(peer->status(), "2");
    EXPECT_FALSE(peer->userOffline());
    EXPECT_EQ(tcp_->connectedClientSocketCount(), 0u);
    loop_.runPending();
    EXPECT_FALSE(context_->hasChanges());  // saved with the presence changes at hand
}

TEST_F(TCPserverTest, ARequestReportsItsEndOnceWhateverTheOutcome) {
    const auto peer = addUser("A5", "0");
    peer->setIp("127.0.0.1");
    const std::string reply = wire(Packet{"TSI", "*", "peer", "A5", "*", userList_->me()->userId(),
                                          UserInfoPacketFromUser(UserInfo{}), "*"});
    const auto tri =
        PacketCodec::shared().PlainPacket(Packet{"TRI", "*", "h", "A0", "*", "A5", "*", "*"});
    int ended = 0;
    const auto send = [&] { tcp_->SendTCPrequest(tri.value(), *peer, [&] { ++ended; }); };
    const auto endedOnce = [&] {
        runUntilDone([&] { return ended > 0; });
        runFor(0.1);
        return std::exchange(ended, 0) == 1;
    };
    for (const std::string& answer : {reply, std::string("garbled\r\n"), std::string()}) {
        answerRequests({answer}, send);
        EXPECT_TRUE(endedOnce()) << answer;
    }
    send();  // nobody listens: refused
    EXPECT_TRUE(endedOnce());
}

TEST_F(TCPserverTest, RequestsBeyondTheirSlotsWaitTheirTurnAndEveryOneEndsOnce) {
    const auto peer = addUser("A5", "0");
    peer->setIp("127.0.0.1");
    constexpr std::size_t kSlots = OutgoingRequestLimit::kInFlight;
    constexpr std::size_t kAll = kSlots + 5;
    std::size_t ended = 0;
    const auto requests = answerRequests(std::vector<std::string>(kAll, ""), [&] {
        for (std::size_t i = 0; i < kAll; ++i) {
            const Packet tri{"TRI", std::to_string(i), "h", "A0", "*", "A5", "*", "*"};
            tcp_->SendTCPrequest(PacketCodec::shared().PlainPacket(tri).value(), *peer,
                                 [&ended] { ++ended; });
        }
        EXPECT_EQ(tcp_->connectedClientSocketCount(), kSlots);
        EXPECT_EQ(tcp_->outgoingRequests().waiting(), kAll - kSlots);
    });

    // Each waiting one went out once a slot was free, in the order it was asked for.
    ASSERT_EQ(requests.size(), kAll);
    for (std::size_t i = kSlots; i < kAll; ++i) {
        EXPECT_EQ(unwire(requests[i]).text(1), std::to_string(i));
    }
    runUntilDone([&] { return ended == kAll; });
    runFor(0.1);
    EXPECT_EQ(ended, kAll);
    EXPECT_EQ(tcp_->outgoingRequests().inFlight(), 0u);
}

TEST_F(TCPserverTest, AReceiptClearsTheRelayRecordAndAGarbledReplyMarksNobodyOffline) {
    const auto peer = addUser("A5", "0");
    peer->setIp("127.0.0.1");
    auto record = context_->insert<MessageForForwarding>();
    record->setMessageId(77);
    record->addRecipientsObject(*peer);
    SaveAppContextIfChanged();
    const auto packet =
        PacketCodec::shared().PlainPacket(Packet{"TSOM", "A5", "77", "A0", "1", "A5", "x", "*"});
    const std::string receipt = wire(Packet{"TMR", "*", "peer", "A5", "*", "A0", "*", "*"});
    answerRequests({receipt}, [&] { tcp_->SendTCPpacket(packet.value(), *peer, record); });
    EXPECT_TRUE(record->isDeleted() || !record->context());
    answerRequests({"garbled\r\n"}, [&] { tcp_->SendTCPpacket(packet.value(), *peer, nullptr); });
    EXPECT_FALSE(peer->userOffline());
    EXPECT_TRUE(relayed_.empty());
}

TEST_F(TCPserverTest, AReceiptFromAnotherUserThanTheRecipientIsAFailedExchange) {
    const auto peer = addUser("A5", "0");
    peer->setIp("127.0.0.1");
    auto message = context_->insert<Message>();
    auto record = context_->insert<MessageForForwarding>();
    record->setMessageId(77);
    record->addRecipientsObject(*peer);
    SaveAppContextIfChanged();
    // The address now belongs to A6's copy, which answers every message (each answer a packet
    // of its own, which the duplicate filter lets through).
    const auto strangers = [] {
        return wire(Packet{"TMR", "*", "peer", "A6", "*", "A0", "*", "*"});
    };
    const auto tsm =
        PacketCodec::shared().PlainPacket(Packet{"TSM", "9", "h", "A0", "*", "A5", "x", "*"});
    answerRequests({strangers()}, [&] { tcp_->SendTCPpacket(tsm.value(), *peer, message); });
    EXPECT_TRUE(peer->userOffline());
    ASSERT_EQ(relayed_.size(), 1u);
    EXPECT_EQ(relayed_.front().first, "A5");
    EXPECT_EQ(relayed_.front().second, message);

    peer->setStatus("0");
    const auto tsfm =
        PacketCodec::shared().PlainPacket(Packet{"TSFM", "77", "1", "A0", "n", "A5", "x", "A0"});
    answerRequests({strangers()}, [&] { tcp_->SendTCPpacket(tsfm.value(), *peer, record); });
    EXPECT_TRUE(peer->userOffline());
    ASSERT_FALSE(record->isDeleted());
    EXPECT_EQ(record->recipients(), std::vector<User*>{peer.get()});
    EXPECT_EQ(relayed_.size(), 1u);
}

}  // namespace
}  // namespace corvaline::testing
