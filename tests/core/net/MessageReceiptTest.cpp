// An incoming message is on disk before its receipt leaves: a sender that has read "TMR"
// drops its copy, so a crash between the two must not lose the message.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "core/codec/PacketCodec.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/support/ModelTest.h"
#include "core/model/support/StoreFile.h"
#include "core/net/TCPserver.h"

namespace corvaline::testing {
namespace {

// Sockets report on real time: on the virtual clock an idle loop would jump past its
// deadline while the peer still waits for the reply.
class MessageReceiptTest : public ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        CoreServices::shared().mainQueue = &realLoop_;
    }
    MainLoop realLoop_;
};

TEST_F(MessageReceiptTest, TheMessageIsStoredBeforeItsReceiptIsWritten) {
    userList_->updateMe();
    auto bob = userList_->getUserById("A200000002", "127.0.0.1");
    bob->setStatus("0");
    saveIfChanged(*context_);
    MessageHooks hooks;
    hooks.gotMessage = [](const Packet& packet, const std::string& ip) -> MessageHooks::Reply {
        return Message::gotMessage(packet, ip);
    };
    auto tcp = TCPserver::create(std::shared_ptr<Executor>(std::shared_ptr<void>(), &realLoop_),
                                 std::move(hooks));
    const std::string store =
        (AppStore::shared().applicationFilesDirectory() / AppStore::kStoreFile).string();
    const auto bytes = PacketCodec::shared()
                           .PlainPacket(Packet{"TSM", "31337", "bobs-pc", bob->userId(), "*",
                                               userList_->me()->userId(), "kept", "*"})
                           .value();
    const std::string request = std::string(bytes.begin(), bytes.end()) + "\r\n";

    std::string reply;
    int storedWhenReplied = -1;
    std::atomic<bool> done = false;
    std::thread peer([&] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const timeval limit{20, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(19771);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
            char c = 0;
            while (!reply.ends_with("\r\n") && ::read(fd, &c, 1) == 1) {
                reply += c;
            }
            storedWhenReplied = storedMessages(store, "31337");
        }
        ::close(fd);
        done = true;
        realLoop_.post([] {});  // the loop sleeps until it has work
    });
    realLoop_.runUntil([&] { return done.load(); }, Duration(30));
    peer.join();

    const auto receipt =
        PacketCodec::shared().ArrayFromBase64AESdata(Bytes(reply.begin(), reply.end()));
    ASSERT_TRUE(receipt);
    EXPECT_EQ(receipt->text(0), "TMR");
    EXPECT_EQ(receipt->text(5), bob->userId());
    EXPECT_EQ(storedWhenReplied, 1);
    tcp.reset();
}

// The copy talks to itself: its service sends Bob's message to its own listener, whose store
// cannot take it.
TEST_F(MessageReceiptTest, AMessageTheStoreCannotHoldGetsNoReceiptAndTheSenderRelaysIt) {
    userList_->updateMe();
    auto bob = userList_->getUserById("A200000002", "127.0.0.1");
    auto pending = context_->insert<Message>();
    saveIfChanged(*context_);
    std::vector<std::string> relayed;
    MessageHooks hooks;
    hooks.gotMessage = [](const Packet& packet, const std::string& ip) -> MessageHooks::Reply {
        return Message::gotMessage(packet, ip);
    };
    hooks.SendOfflineMessageIfNeeded = [&](User& user, const std::shared_ptr<Message>& message) {
        EXPECT_EQ(message, pending);
        relayed.push_back(user.userId());
    };
    auto tcp = TCPserver::create(std::shared_ptr<Executor>(std::shared_ptr<void>(), &realLoop_),
                                 std::move(hooks));
    const std::string store =
        (AppStore::shared().applicationFilesDirectory() / AppStore::kStoreFile).string();
    {
        StoreWriteLock full(store);
        ASSERT_TRUE(full.held());
        for (const std::string id : {"41", "42"}) {
            bob->setStatus("0");
            const auto bytes = PacketCodec::shared().PlainPacket(Packet{
                "TSM", id, "bobs-pc", bob->userId(), "*", userList_->me()->userId(), "lost?", "*"});
            const std::size_t before = relayed.size();
            tcp->SendTCPpacket(bytes.value(), *bob, pending);
            realLoop_.runUntil([&] { return relayed.size() > before; }, Duration(30));
            EXPECT_TRUE(bob->userOffline());
        }
        realLoop_.runPending();
    }
    EXPECT_EQ(relayed, (std::vector<std::string>{bob->userId(), bob->userId()}));
    EXPECT_EQ(windows_.errors.size(), 1u) << "one report for a store that stays full";
    for (const auto& call : windows_.calls) {
        EXPECT_FALSE(call.starts_with("open") || call.starts_with("play"))
            << call << ": nothing is shown of a message that is not kept";
    }
    EXPECT_EQ(storedMessages(store, "41"), 0);
    EXPECT_TRUE(bob->lastLogEnties(0).empty()) << "not even in memory";
    tcp.reset();
}

}  // namespace
}  // namespace corvaline::testing
