#include "core/model/entities/FileTransfer.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>

#include "core/codec/PacketCodec.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"

namespace corvaline {

namespace {

constexpr long kDecisionTag = 1;

// When observers last heard of progress, for all transfers together.
std::chrono::steady_clock::time_point& lastProgressNotice() {
    static std::chrono::steady_clock::time_point last;
    return last;
}

}  // namespace

FileTransfer::FileTransfer(const EntityDescription& entity)
    : LogEntry(entity),
      AsyncTcpSocketDelegate({Callback::DidReadData, Callback::DidWriteData,
                              Callback::DidWritePartialData, Callback::DidCloseReadStream,
                              Callback::DidDisconnect, Callback::DidConnectToHost,
                              Callback::ShouldTimeoutWrite}) {}

FileTransfer::~FileTransfer() {
    pipeline_.reset();  // before the file it reads or writes closes
    if (socket_) {
        socket_->setDelegate(std::weak_ptr<AsyncTcpSocketDelegate>());
        socket_->disconnect();
    }
}

void FileTransfer::awakeFromInsert() {
    LogEntry::awakeFromInsert();
    encrypt_ = true;
}

void FileTransfer::awakeFromFetch() {
    const std::int64_t state = transferState();
    if (state == kRunning || state == kWaiting) {
        setTransferState(kFailed);
    } else if (state == kComplete) {
        bytesReceived_ = filesTotalSize() + 16;
    }
}

std::shared_ptr<FileTransfer> FileTransfer::self() {
    return std::static_pointer_cast<FileTransfer>(shared_from_this());
}

void FileTransfer::write(const HeaderFields& header, double timeout, long tag) {
    if (auto line = prepareHeader(PacketCodec::shared(), header)) {
        socket_->writeData(std::move(*line), timeout, tag);
    } else {
        fail(kFailed);
    }
}

void FileTransfer::readLine(double timeout, long tag) {
    // A header line is a few hundred bytes; a peer that never ends one gets no more memory.
    constexpr std::uint64_t kLongestLine = 64 * 1024;
    socket_->readDataToData(AsyncTcpSocket::CRLFData(), timeout, kLongestLine, tag);
}

void FileTransfer::fail(std::int64_t state) {
    const bool wasRunning = transferState() == kRunning;
    setTransferState(state);
    if (!socket_) {
        return;
    }
    if (incoming() && wasRunning) {
        socket_->performBlock([socket = socket_.get()] {
            const linger reset{1, 0};
            ::setsockopt(socket->socketFD(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        });
    }
    closing_ = true;
    socket_->disconnect();
}

void FileTransfer::closeAfterWriting() {
    closing_ = true;
    socket_->disconnectAfterWriting();
}

void FileTransfer::ContinueTransfer(std::int64_t state) {
    const std::int64_t old = transferState();
    if (!socket_ || closing_ || (old != kRunning && old != kWaiting)) {
        return;
    }
    if (!incoming() || (state == kCancelled && old == kRunning)) {
        fail(state);
        return;
    }
    if (old != kWaiting) {
        return;
    }
    setTransferState(state);
    write({{"CONTENT-TYPE", "NEWFTSANSWER"},
           {"ACCEPT-FILES", std::to_string(state)},
           {"ACCEPT-AES", encrypt_ ? "1" : "0"}},
          -1, kDecisionTag);
    if (state == kRunning) {
        readLine(waits_.line, kDecisionTag);
    } else if (!closing_) {
        closeAfterWriting();
    }
}

ChunkPipeline& FileTransfer::pipeline() {
    if (!pipeline_) {
        const auto direction =
            incoming() ? AesCbcStream::Direction::decrypt : AesCbcStream::Direction::encrypt;
        pipeline_ =
            std::make_unique<ChunkPipeline>(direction, encrypt_, socket_, main_, self(),
                                            [transfer = std::weak_ptr<FileTransfer>(self())] {
                                                if (auto alive = transfer.lock()) {
                                                    alive->pipelineReported();
                                                }
                                            });
    }
    return *pipeline_;
}

void FileTransfer::pipelineReported() {
    if (!pipeline_) {
        return;
    }
    const std::size_t moved = pipeline_->takeBytesMoved();
    for (const auto& result : pipeline_->takeResults()) {
        chunkStored(result);
    }
    if (moved > 0 && live(socket_)) {
        someBytesTransferred(moved);
    }
}

void FileTransfer::chunkDone(std::size_t size) {
    file_->bytesReceived += static_cast<std::int64_t>(size);
    lastFixedBytesReceivedValue_ += static_cast<std::int64_t>(size);
    // The bytes the socket reported moving may run ahead of the chunks done.
    bytesReceived_ = std::max(bytesReceived_, lastFixedBytesReceivedValue_);
    noticeProgress(lastFixedBytesReceivedValue_ == filesTotalSize());
}

void FileTransfer::someBytesTransferred(std::size_t count) {
    if (!file_) {
        return;
    }
    // Padding is no file byte: the count stops at the end of the chunks under way.
    const std::int64_t underWay =
        lastFixedBytesReceivedValue_ - file_->bytesReceived + bytesQueued_;
    bytesReceived_ = std::min(bytesReceived_ + static_cast<std::int64_t>(count), underWay);
    noticeProgress(false);
}

void FileTransfer::noticeProgress(bool always) {
    constexpr auto kNoticeInterval = std::chrono::milliseconds(50);
    const auto now = std::chrono::steady_clock::now();
    if (always || now - lastProgressNotice() > kNoticeInterval) {
        lastProgressNotice() = now;
        progressChanged();
    }
}

void FileTransfer::progressChanged() {
    ModelEvents::shared().transferProgressChanged(*this, bytesReceived_);
    didChangeValue("bytesReceived");
}

void FileTransfer::valueDidChange(std::string_view key) {
    if (key == "transferState") {
        ModelEvents::shared().transferStateChanged(*this);
    }
}

void FileTransfer::socketDidWritePartialDataOfLength(const AsyncTcpSocketPtr& socket,
                                                     std::size_t length, long tag) {
    if (!incoming() && tag == 5 && live(socket)) {
        someBytesTransferred(length);
    }
}

void FileTransfer::endConnection() {
    if (!socket_) {
        return;
    }
    const auto socket = socket_;
    socket->synchronouslySetDelegate({});
    socket->disconnect();
    socketDidDisconnect(socket, std::nullopt);
}

void FileTransfer::socketDidDisconnect(const AsyncTcpSocketPtr&, const std::optional<Error>&) {
    if (!socket_) {
        return;  // a report sent before endConnection() closed the connection itself
    }
    if (pipeline_ && incoming() && !closing_) {
        // A sender closes right after its last chunk: what arrived before is still stored.
        pipeline_->finish();
        pipelineReported();
    }
    if (transferState() == kRunning) {
        setTransferState(kFailed);
    } else if (transferState() == kWaiting) {
        setTransferState(kCancelled);
    }
    pipeline_.reset();  // waits for the chunk under way before the file goes
    if (file_) {
        file_->discardStream();
    }
    chunks_.clear();
    socket_.reset();
    closing_ = false;
    if (incoming() && user().empty() && context() && !isDeleted()) {
        context()->deleteObject(*this);  // no offer came: nothing for a history
    }
    SaveAppContextIfChanged();
    keepAlive_.reset();  // the socket's report holds this object until it returns
}

}  // namespace corvaline
