// An incoming message is on disk before its receipt leaves: a sender that has read "TMR"
// drops its copy, so a crash between the two must not lose the message.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "core/codec/PacketCodec.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/support/ModelTest.h"
#include "core/net/TCPserver.h"

namespace corvaline::testing {
namespace {

// Messages with that id in the store file, read by a connection of its own; -1 on failure.
int storedMessages(const std::string& file, const std::string& messageId) {
    sqlite3* db = nullptr;
    int count = -1;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        const std::string query =
            "SELECT COUNT(*) FROM LogEntry WHERE entity = 'Message' AND "
            "messageId = " +
            messageId;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            count = sqlite3_column_int(statement, 0);
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return count;
}

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

}  // namespace
}  // namespace corvaline::testing
