// Two sockets talking the way the message service and the file transfer use them, on the
// headless main loop.
#include "sockets/tcp/TcpTestSupport.h"

namespace corvaline::testing {
namespace {

using C = AsyncTcpSocketDelegate::Callback;
const Data kCRLF = AsyncTcpSocket::CRLFData();

// Answers every request line with a reply line, then closes; the requester closes once the
// reply is read. Called on the main loop.
class LineService : public AsyncTcpSocketDelegate {
  public:
    LineService()
        : AsyncTcpSocketDelegate(
              {C::DidAcceptNewSocket, C::DidReadData, C::DidWriteData, C::DidDisconnect}) {}

    void socketDidAcceptNewSocket(const AsyncTcpSocketPtr&,
                                  const AsyncTcpSocketPtr& newSocket) override {
        accepted.push_back(newSocket);
        newSocket->readDataToData(kCRLF, 10, 0);
    }
    void socketDidReadData(const AsyncTcpSocketPtr& socket, const DataSlice& data, long) override {
        if (socket == requester) {
            reply = text(data);
            socket->disconnect();
            return;
        }
        request = text(data);
        socket->writeData(bytes("TMR " + request.substr(0, request.size() - 2)), 10, 0);
        socket->writeData(kCRLF, 10, 256);
    }
    void socketDidWriteDataWithTag(const AsyncTcpSocketPtr& socket, long tag) override {
        if (tag == 256) {
            socket->disconnect();
        }
    }
    void socketDidDisconnect(const AsyncTcpSocketPtr& socket,
                             const std::optional<Error>& error) override {
        if (error) {
            errors.push_back(*error);
        }
        std::erase(accepted, socket);
        if (socket == requester) {
            requesterClosed = true;
        }
    }

    AsyncTcpSocketPtr requester;
    std::vector<AsyncTcpSocketPtr> accepted;
    std::string request, reply;
    std::vector<Error> errors;
    bool requesterClosed = false;
};

TEST(TcpExchange, ARequestLineAndItsReply) {
    auto loop = std::make_shared<MainLoop>();
    auto service = std::make_shared<LineService>();
    auto listener = AsyncTcpSocket::create(service, loop);
    listener->setIPv6Enabled(false);
    ASSERT_TRUE(listener->acceptOnPort(0));

    auto requester = AsyncTcpSocket::create(service, loop);
    requester->setIPv6Enabled(false);
    service->requester = requester;
    ASSERT_TRUE(requester->connectToHost("127.0.0.1", listener->localPort(), 10));
    Data line = bytes("TSM packet");
    line.insert(line.end(), kCRLF.begin(), kCRLF.end());
    requester->writeData(line, 10, 255);
    requester->readDataToData(kCRLF, 10, 0);

    ASSERT_TRUE(
        loop->runUntil([&] { return service->requesterClosed && service->accepted.empty(); },
                       std::chrono::seconds(10)));
    EXPECT_EQ(service->request, "TSM packet\r\n");
    EXPECT_EQ(service->reply, "TMR TSM packet\r\n");
    // Closing after the reply is orderly on both sides (at worst the peer's close wins).
    for (const Error& error : service->errors) {
        EXPECT_EQ(error.code, AsyncTcpSocketClosedError);
    }
    listener->disconnect();
    service->requester.reset();
    loop->runPending();
}

constexpr std::size_t kChunk = 786432;

// Sends `chunks` chunks one write at a time, each after the last completed, then closes once
// written; the receiver reads each chunk exactly into one reused buffer. Called on the main loop.
class ChunkTransfer : public AsyncTcpSocketDelegate {
  public:
    explicit ChunkTransfer(int chunks)
        : AsyncTcpSocketDelegate({C::DidAcceptNewSocket, C::DidReadData, C::DidReadPartialData,
                                  C::DidWriteData, C::DidWritePartialData, C::DidDisconnect}),
          buffer(std::make_shared<Data>(kChunk)),
          chunks_(chunks) {}

    static Data chunk(int index) {
        Data data(kChunk);
        for (std::size_t i = 0; i < kChunk; ++i) {
            data[i] = static_cast<std::uint8_t>(i * 13 + index * 101 + i / 4099);
        }
        return data;
    }
    void receiveNext() { receiver->readDataToLength(kChunk, -1, buffer, 0, 2); }
    void sendNext() {
        sender->writeData(chunk(sent_), -1, 5);
        if (++sent_ == chunks_) {
            sender->disconnectAfterWriting();
        }
    }

    void socketDidAcceptNewSocket(const AsyncTcpSocketPtr&,
                                  const AsyncTcpSocketPtr& newSocket) override {
        sender = newSocket;
        sendNext();
    }
    void socketDidReadData(const AsyncTcpSocketPtr&, const DataSlice& data, long tag) override {
        EXPECT_EQ(tag, 2);
        EXPECT_EQ(data.data(), buffer->data());  // straight into the reused buffer
        EXPECT_EQ(data.toData(), chunk(received_)) << "chunk " << received_;
        EXPECT_LT(partialReadThisChunk_, kChunk);
        partialReadThisChunk_ = 0;
        if (++received_ < chunks_) {
            receiveNext();
        }
    }
    void socketDidReadPartialDataOfLength(const AsyncTcpSocketPtr&, std::size_t length,
                                          long tag) override {
        EXPECT_EQ(tag, 2);
        partialReadThisChunk_ += length;
        ++partialReads;
    }
    void socketDidWriteDataWithTag(const AsyncTcpSocketPtr&, long tag) override {
        EXPECT_EQ(tag, 5);
        if (sent_ < chunks_) {
            sendNext();
        }
    }
    void socketDidWritePartialDataOfLength(const AsyncTcpSocketPtr&, std::size_t,
                                           long tag) override {
        EXPECT_EQ(tag, 5);
    }
    void socketDidDisconnect(const AsyncTcpSocketPtr& socket,
                             const std::optional<Error>& error) override {
        if (socket == sender) {
            EXPECT_FALSE(error);
            senderClosed = true;
        } else if (socket == receiver) {
            ASSERT_TRUE(error);  // the sender's close after the last chunk
            EXPECT_EQ(error->code, AsyncTcpSocketClosedError);
            receiverClosed = true;
        }
    }
    bool finished() const { return received_ == chunks_ && senderClosed && receiverClosed; }

    AsyncTcpSocketPtr sender, receiver;
    std::shared_ptr<Data> buffer;
    int partialReads = 0;
    bool senderClosed = false, receiverClosed = false;

  private:
    int chunks_;
    int sent_ = 0;
    int received_ = 0;
    std::size_t partialReadThisChunk_ = 0;
};

TEST(TcpExchange, ExactChunksIntoOneReusedBuffer) {
    auto loop = std::make_shared<MainLoop>();
    auto transfer = std::make_shared<ChunkTransfer>(4);
    auto listener = AsyncTcpSocket::create(transfer, loop);
    listener->setIPv6Enabled(false);
    ASSERT_TRUE(listener->acceptOnPort(0));
    transfer->receiver = AsyncTcpSocket::create(transfer, loop);
    transfer->receiver->setIPv6Enabled(false);
    ASSERT_TRUE(transfer->receiver->connectToHost("127.0.0.1", listener->localPort(), 10));
    transfer->receiveNext();

    ASSERT_TRUE(loop->runUntil([&] { return transfer->finished(); }, std::chrono::seconds(20)));
    EXPECT_GT(transfer->partialReads, 0);
    listener->disconnect();
    transfer->sender.reset();
    transfer->receiver.reset();
    loop->runPending();
}

}  // namespace
}  // namespace corvaline::testing
