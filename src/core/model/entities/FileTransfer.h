#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/codec/TransferHeader.h"
#include "core/model/entities/LogEntry.h"
#include "core/model/transfer/ChunkPipeline.h"
#include "core/model/transfer/SingleFile.h"
#include "platform/runloop/Executor.h"
#include "sockets/tcp/AsyncTcpSocket.h"

namespace corvaline {

class User;

// A file transfer: a line of a history and, while it runs, the owner of its connection and
// of the file being sent or received. A running transfer keeps itself alive until its
// connection closes. Main thread only (the socket reports on the main queue); the data
// itself moves through a ChunkPipeline on a queue of its own, which takes the socket's
// reports while a received file's data moves.
class FileTransfer : public LogEntry, public AsyncTcpSocketDelegate {
  public:
    static constexpr std::string_view kEntityName = "FileTransfer";
    static constexpr std::uint16_t kPort = 19880;
    static constexpr std::size_t kChunkSize = ChunkPipeline::kChunkSize;
    // How long the transfer waits for its peer, in seconds.
    struct Waits {
        // A peer writes each header line at once: the offer and every file header must come
        // within this. The wait for a person's decision has no bound of its own (keepalive
        // still ends it when the peer's machine goes).
        double line = 30.0;
        // The data stream may stand still this long (once more after the last bytes moved)
        // before the transfer fails; even a very slow link moves some bytes in that time.
        double stall = 30.0;
    };

    // The states of `transferState`.
    enum State : std::int64_t {
        kCancelled = 0,
        kRunning = 1,
        kNoFolder = 4,
        kWaiting = 5,
        kComplete = 6,
        kFailed = 7,
    };

    explicit FileTransfer(const EntityDescription& entity);
    ~FileTransfer() override;

    void awakeFromInsert() override;
    // A transfer that was running or waiting when the program ended has failed; a complete
    // one shows its progress as complete.
    void awakeFromFetch() override;

    // Starts sending `paths` (files and folders) to the user: the record in state 5 with the
    // offer on its way. None when there is no file to send.
    static std::shared_ptr<FileTransfer> newOutgoingFiles(
        const std::vector<std::filesystem::path>& paths, User& to, std::shared_ptr<Executor> main,
        bool encrypt = true);
    // Before receiveOffer, or at once after newOutgoingFiles.
    void setWaits(Waits waits) { waits_ = waits; }
    // Takes a connection accepted on the transfer port and reads the offer.
    void receiveOffer(const AsyncTcpSocketPtr& socket, std::shared_ptr<Executor> main);
    // The user's or the system's decision (1 accept, 0 refuse or cancel, 4 no folder). A
    // transfer that is over, or an incoming one decided already, ignores it.
    void ContinueTransfer(std::int64_t state);
    // The core is going for good: the connection closes now and the transfer ends as if the
    // peer had gone, so that it no longer holds itself (no later report of the socket comes).
    void endConnection();

    std::int64_t filesNumber() const { return integer("filesNumber").value_or(0); }
    void setFilesNumber(std::int64_t count) { setValue("filesNumber", count); }
    std::int64_t filesTransferred() const { return integer("filesTransferred").value_or(0); }
    void setFilesTransferred(std::int64_t count) { setValue("filesTransferred", count); }
    std::int64_t filesTotalSize() const { return integer("filesTotalSize").value_or(0); }
    void setFilesTotalSize(std::int64_t bytes) { setValue("filesTotalSize", bytes); }
    State transferState() const {
        return static_cast<State>(integer("transferState").value_or(kCancelled));
    }
    void setTransferState(std::int64_t state) { setValue("transferState", state); }
    // The folder that receives an incoming transfer, as a path.
    std::string folderPath() const { return text("folderPath"); }
    void setFolderPath(std::string path) { setValue("folderPath", std::move(path)); }

    // Bytes sent or received so far; observers of "bytesReceived" hear of it at most every
    // 50 ms while chunks move, and when the last byte has moved.
    std::int64_t bytesReceived() const { return bytesReceived_; }
    bool encrypt() const { return encrypt_; }
    bool isRunning() const { return socket_ != nullptr; }
    const std::vector<std::shared_ptr<SingleFile>>& outgoingFilesList() const {
        return outgoingFilesList_;
    }
    // The values of the offer, as read or sent.
    struct Offer {
        std::string content_type, sessid, sessaes, from_id, from_usernamedisplay, to_user,
            files_number, files_totalsize;
    };
    const Offer& offer() const { return offer_; }

    void socketDidReadData(const AsyncTcpSocketPtr& socket, const DataSlice& data,
                           long tag) override;
    void socketDidWriteDataWithTag(const AsyncTcpSocketPtr& socket, long tag) override;
    void socketDidWritePartialDataOfLength(const AsyncTcpSocketPtr& socket, std::size_t length,
                                           long tag) override;
    void socketDidCloseReadStream(const AsyncTcpSocketPtr& socket) override;
    void socketDidDisconnect(const AsyncTcpSocketPtr& socket,
                             const std::optional<Error>& error) override;
    void socketDidConnectToHost(const AsyncTcpSocketPtr& socket, const std::string& host,
                                std::uint16_t port) override;
    double socketShouldTimeoutWriteWithTag(const AsyncTcpSocketPtr& socket, long tag,
                                           double elapsed, std::uint64_t bytesDone) override;

  protected:
    void valueDidChange(std::string_view key) override;

  private:
    // The sender's read while it waits for the receiver to close.
    static constexpr long kCloseTag = 6;

    std::shared_ptr<FileTransfer> self();
    void write(const HeaderFields& header, double timeout, long tag);
    void readLine(double timeout, long tag);
    // Stops the transfer in `state` and closes the connection. A receiver failing a running
    // transfer resets it, so that a sender that has written everything does not take the
    // close for the receiver's "all stored".
    void fail(std::int64_t state);
    // Reports of a connection this transfer still listens to.
    bool live(const AsyncTcpSocketPtr& socket) const {
        return socket && socket == socket_ && !closing_;
    }
    void closeAfterWriting();
    // The data stream, made at the first chunk and kept for the whole transfer (one cipher
    // chain runs through all its files).
    ChunkPipeline& pipeline();
    // What the data stream reports: chunks stored and bytes read (receiving) or a failed
    // chunk.
    void pipelineReported();
    void chunkStored(ChunkPipeline::Result stored);
    void chunkDone(std::size_t size);
    void someBytesTransferred(std::size_t count);
    // Tells observers of the progress unless they heard of it within the last 50 ms.
    void noticeProgress(bool always);
    void progressChanged();
    // A dead peer's machine is noticed even while nothing is sent.
    void enableKeepAlive();
    // The extension a chunk's time-out gets: none when no byte moved since the last one.
    double extendWhileDataMoves();

    // Sending.
    void sendOffer();
    void decisionRead(const HeaderFields& fields);
    void writeFileHeader();
    void sendChunks();
    void fileSent();
    // After the last chunk: complete only when the receiver closes in order.
    void awaitReceiversClose();

    // Receiving.
    void offerRead(const HeaderFields& fields);
    bool updateFolderPath(const User& sender);
    // Names (or, with `make`, makes) the first free folder "NAME", "NAME (2)", ... in the
    // receiving folder.
    bool placeFolder(bool make);
    void fileHeaderRead(const HeaderFields& fields);
    void fileReceived();

    std::shared_ptr<Executor> main_;
    std::shared_ptr<FileTransfer> keepAlive_;  // while the connection is open
    AsyncTcpSocketPtr socket_;
    bool closing_ = false;
    std::shared_ptr<SingleFile> file_;
    std::int64_t lastFixedBytesReceivedValue_ = 0;
    std::unique_ptr<ChunkPipeline> pipeline_;
    bool encrypt_ = true;
    std::vector<std::shared_ptr<SingleFile>> outgoingFilesList_;
    std::int64_t bytesReceived_ = 0;
    std::int64_t bytesAtLastStallCheck_ = 0;
    Waits waits_;
    std::filesystem::path folderBase_;
    std::string folderName_;
    bool folderMade_ = false;
    Offer offer_;
    // Sending: the file bytes of each chunk under way, oldest first.
    std::deque<std::size_t> chunks_;
    std::int64_t bytesQueued_ = 0;  // of the current file
    std::int64_t sizesDeclaredLeft_ = 0;
    bool everythingSent_ = false;  // outgoing: the last chunk is with the kernel
};

}  // namespace corvaline
