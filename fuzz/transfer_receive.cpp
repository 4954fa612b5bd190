// Plays the sending peer of a file transfer against the receiving side: an offer and file
// headers whose keys and values come from the bytes (names that climb out of the folder,
// sizes that are no numbers or beyond the offer), the person's decision, file data chunk by
// chunk as the receiver asks for it, and a connection that ends anywhere. Every file must
// land in the receiving folder.
#include <memory>

#include "core/codec/PacketCodec.h"
#include "core/codec/TransferHeader.h"
#include "core/model/entities/FileTransfer.h"
#include "core/model/transfer/WireNumber.h"
#include "core/net/FILEserver.h"
#include "support/FuzzCore.h"
#include "support/PacketTypes.h"

using namespace corvaline;
using namespace corvaline::fuzzing;

namespace {

constexpr long kOfferTag = 0;
constexpr long kHeaderTag = 1;
constexpr long kChunkTag = 2;
// Data one input may move, so that a run stays fast; larger files stop part way.
constexpr std::size_t kDataBudget = 2 * FileTransfer::kChunkSize;
constexpr int kMostFiles = 4;
// Far more than storing one chunk takes.
constexpr double kStoreWait = 30.0;

// Keys by index (past the table: a value of its own), each with a value.
HeaderFields header(FuzzInput& input, const std::vector<std::string_view>& keys) {
    auto& core = FuzzCore::shared();
    HeaderFields fields;
    const std::size_t count = input.byte() % 12;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t key = input.byte();
        std::string name =
            key < keys.size() ? std::string(keys[key]) : core.resolve(input.choice());
        fields.emplace_back(std::move(name), core.resolve(input.choice()));
    }
    return fields;
}

// The sending side of one connection that never touches the network: it hands the transfer
// what a socket would read. Main thread only.
class Peer {
  public:
    Peer() : socket_(AsyncTcpSocket::create()) {
        // The listener's own path: the connection becomes an incoming transfer.
        FuzzCore::shared().files().socketDidAcceptNewSocket(nullptr, socket_);
        transfer_ = std::dynamic_pointer_cast<FileTransfer>(socket_->delegate());
    }

    bool running() const { return transfer_ && transfer_->isRunning(); }
    FileTransfer& transfer() { return *transfer_; }

    // A header line as the sender writes it; the fields the receiver reads from it.
    HeaderFields send(const HeaderFields& fields, long tag) {
        auto& codec = PacketCodec::shared();
        const auto line = prepareHeader(codec, fields);
        if (!line || !running()) {
            return {};
        }
        deliver(*line, tag);
        return ParseTransferHeader(codec, *line);
    }

    // To whoever takes the socket's reports: the transfer itself, or, while a file's data
    // moves, its data stream on a queue of its own.
    void deliver(Bytes bytes, long tag) {
        const auto size = bytes.size();
        const DataSlice data(std::make_shared<const Data>(std::move(bytes)), 0, size);
        std::shared_ptr<AsyncTcpSocketDelegate> delegate;
        std::shared_ptr<dispatch::Queue> queue;
        socket_->getDelegate(&delegate, &queue);
        if (delegate.get() == static_cast<AsyncTcpSocketDelegate*>(transfer_.get())) {
            transfer_->socketDidReadData(socket_, data, tag);
        } else if (delegate && queue) {
            queue->async([delegate, socket = socket_, data, tag] {
                delegate->socketDidReadData(socket, data, tag);
            });
        }
    }

    // The peer goes, orderly or not.
    void close(bool orderly) {
        if (running()) {
            transfer_->socketDidDisconnect(
                socket_, orderly ? std::nullopt
                                 : std::optional<Error>(AsyncTcpSocket::connectionClosedError()));
        }
    }

  private:
    AsyncTcpSocketPtr socket_;
    std::shared_ptr<FileTransfer> transfer_;
};

// One file's data in the chunks the receiver asks for, while the budget lasts; false when
// the input ran out of budget.
bool sendData(Peer& peer, FuzzInput& input, std::int64_t size, std::size_t& budget) {
    const std::int64_t done = peer.transfer().filesTransferred();
    for (std::int64_t left = size; left > 0 && peer.running() &&
                                   peer.transfer().transferState() == FileTransfer::kRunning &&
                                   peer.transfer().filesTransferred() == done;) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::int64_t>(left, FileTransfer::kChunkSize));
        const std::size_t wire = peer.transfer().encrypt() ? (chunk + 15) / 16 * 16 : chunk;
        if (wire > budget) {
            return false;
        }
        budget -= wire;
        const std::string text = input.bytes(wire);
        Bytes bytes(text.begin(), text.end());
        bytes.resize(wire);
        const std::int64_t before = peer.transfer().bytesReceived();
        peer.deliver(std::move(bytes), kChunkTag);
        // The chunk is stored on the transfer's own queue, which reports back on the main
        // one: the next is sent once it is in, as a reader waiting on the socket would see.
        FuzzCore::shared().loop().runUntil(
            [&] { return !peer.running() || peer.transfer().bytesReceived() != before; },
            Duration(kStoreWait));
        left -= static_cast<std::int64_t>(chunk);
    }
    return true;
}

void checkFolder(FileTransfer& transfer) {
    const std::filesystem::path folder = transfer.folderPath();
    const auto relative =
        folder.lexically_normal().lexically_relative(FuzzCore::shared().receiving());
    if (!folder.empty() && (relative.empty() || *relative.begin() == "..")) {
        std::fprintf(stderr, "transfer folder outside the receiving folder: %s\n", folder.c_str());
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::int64_t kDecisions[] = {FileTransfer::kRunning, FileTransfer::kRunning,
                                              FileTransfer::kCancelled, FileTransfer::kNoFolder};
    auto& core = FuzzCore::shared();
    FuzzInput input(data, size);
    {
        Peer peer;
        const bool orderly = input.byte() & 1;
        peer.send(header(input, kOfferKeys), kOfferTag);
        if (peer.running() && peer.transfer().transferState() == FileTransfer::kWaiting) {
            peer.transfer().ContinueTransfer(kDecisions[input.byte() % std::size(kDecisions)]);
        }
        std::size_t budget = kDataBudget;
        for (int file = 0; file < kMostFiles && peer.running() &&
                           peer.transfer().transferState() == FileTransfer::kRunning;
             ++file) {
            std::optional<std::int64_t> fileSize;
            for (const auto& [name, value] : peer.send(header(input, kFileKeys), kHeaderTag)) {
                if (name == "file_size") {
                    fileSize = wireNumber(value);
                }
            }
            if (!fileSize || !sendData(peer, input, *fileSize, budget)) {
                break;
            }
        }
        if (peer.running()) {
            checkFolder(peer.transfer());
        }
        peer.close(orderly);
    }
    core.finishInput();
    return 0;
}
