#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>

#include "core/model/entities/FileTransfer.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Random.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "core/model/transfer/OutgoingWalk.h"
#include "core/model/transfer/WireNumber.h"
#include "platform/notifications/NotificationCenter.h"

// The sending side of a transfer.
namespace corvaline {

namespace {

constexpr double kTimeout = 10.0;
// How long a receiver may take to store what is still under way and close.
constexpr double kCloseWait = 60.0;
constexpr long kOfferTag = 3;
constexpr long kFileHeaderTag = 4;
constexpr long kChunkTag = 5;

}  // namespace

std::shared_ptr<FileTransfer> FileTransfer::newOutgoingFiles(
    const std::vector<std::filesystem::path>& paths, User& to, std::shared_ptr<Executor> main,
    bool encrypt) {
    auto* context = to.context();
    auto* list = CoreServices::shared().userList;
    if (!context || !list || !list->me()) {
        return nullptr;
    }
    auto files = walkOutgoingFiles(paths);
    if (files.empty()) {
        return nullptr;
    }
    auto transfer = context->insert<FileTransfer>();
    transfer->setIncoming(false);
    transfer->setOriginalSenderName(list->me()->name());
    transfer->setTransferState(kWaiting);
    transfer->addUserObject(to);
    std::int64_t total = 0;
    for (const auto& file : files) {
        total += file->bytesTotal;
    }
    transfer->outgoingFilesList_ = std::move(files);
    transfer->setFilesTotalSize(total);
    transfer->setFilesNumber(static_cast<std::int64_t>(transfer->outgoingFilesList_.size()));
    transfer->offer_.files_number = std::to_string(transfer->filesNumber());
    transfer->offer_.files_totalsize = std::to_string(total);
    transfer->offer_.to_user = to.userId();
    transfer->offer_.from_id = list->me()->userId();
    transfer->offer_.from_usernamedisplay = list->me()->name();
    transfer->encrypt_ = encrypt;
    transfer->main_ = std::move(main);
    transfer->sendOffer();
    SaveAppContextIfChanged();
    NotificationCenter::defaultCenter().post("logUpdated", &to);
    ModelEvents::shared().userHistoryAppended(to, *transfer);
    to.StartConversation(false);
    return transfer;
}

void FileTransfer::sendOffer() {
    offer_.content_type = "FILESENDREQUEST";
    offer_.sessid = std::to_string(uniformRandomBelow(999999999));
    offer_.sessaes = encrypt_ ? "1" : "0";
    const auto users = user();
    keepAlive_ = self();
    socket_ = AsyncTcpSocket::create(std::weak_ptr<AsyncTcpSocketDelegate>(keepAlive_), main_);
    socket_->setIPv6Enabled(false);
    // The end of the receiver's stream is looked at before the connection goes (see
    // socketDidCloseReadStream).
    socket_->setAutoDisconnectOnClosedReadStream(false);
    if (users.empty() || !socket_->connectToHost(users.front()->ip(), kPort, kTimeout)) {
        // Nothing will ever report on this socket.
        socketDidDisconnect(nullptr, std::nullopt);
        return;
    }
    write({{"CONTENT-TYPE", offer_.content_type},
           {"SESSID", offer_.sessid},
           {"SESSAES", offer_.sessaes},
           {"FROM-ID", offer_.from_id},
           {"FROM-USERNAMEDISPLAY", offer_.from_usernamedisplay},
           {"TO-USER", offer_.to_user},
           {"FILES-NUMBER", offer_.files_number},
           {"FILES-TOTALSIZE", offer_.files_totalsize}},
          kTimeout, kOfferTag);
    readLine(-1, kOfferTag);
}

void FileTransfer::decisionRead(const HeaderFields& fields) {
    std::string acceptAes;
    std::string acceptFiles;
    for (const auto& [name, value] : fields) {
        if (name == "accept_aes") {
            acceptAes = value;
        } else if (name == "accept_files") {
            acceptFiles = value;
        }
    }
    encrypt_ = wireNumber(acceptAes).value_or(0) != 0;
    std::int64_t state = wireNumber(acceptFiles).value_or(kCancelled);
    if (state != kRunning && state != kNoFolder) {
        state = kCancelled;  // a receiver cannot make a transfer complete that never ran
    }
    setTransferState(state);
    if (state != kRunning) {
        fail(state);
        return;
    }
    writeFileHeader();
}

void FileTransfer::writeFileHeader() {
    file_ = outgoingFilesList_.at(static_cast<std::size_t>(filesTransferred()));
    bytesQueued_ = 0;
    write({{"CONTENT-TYPE", "SENDFILESTREAM"},
           {"FILE-PATH", file_->file_path},
           {"FILE-NAME", file_->file_name},
           {"FILE-SIZE", std::to_string(file_->bytesTotal)},
           {"FILE-PERMISSIONS", std::to_string(file_->permissions)}},
          kTimeout, kFileHeaderTag);
    readLine(kTimeout, kFileHeaderTag);
}

void FileTransfer::sendChunks() {
    while (chunks_.size() < ChunkPipeline::kChunksInFlight && bytesQueued_ < file_->bytesTotal) {
        const auto size = static_cast<std::size_t>(
            std::min<std::int64_t>(file_->bytesTotal - bytesQueued_, kChunkSize));
        pipeline().send(file_, bytesQueued_, size, waits_.stall, kChunkTag);
        bytesQueued_ += static_cast<std::int64_t>(size);
        chunks_.push_back(size);
    }
    if (chunks_.empty()) {
        fileSent();  // an empty file has no chunk
    }
}

void FileTransfer::fileSent() {
    file_->releaseStream();
    setFilesTransferred(filesTransferred() + 1);
    if (filesTransferred() < static_cast<std::int64_t>(outgoingFilesList_.size())) {
        writeFileHeader();
        return;
    }
    awaitReceiversClose();
}

void FileTransfer::awaitReceiversClose() {
    // The last chunk handed to the kernel is not the last chunk stored: the receiver closes
    // in order once it has everything, and resets when it fails.
    everythingSent_ = true;
    socket_->readDataWithTimeout(kCloseWait, kCloseTag);
}

void FileTransfer::socketDidCloseReadStream(const AsyncTcpSocketPtr& socket) {
    if (!live(socket) || incoming()) {
        return;
    }
    if (!everythingSent_) {
        // Gone too early: like any lost connection (a waiting transfer is cancelled, a
        // running one has failed).
        closing_ = true;
        socket_->disconnect();
        return;
    }
    // The completion of the last chunk is reported before the end of the stream, which only
    // the receiver's close after reading it can bring. That end reads the same either way;
    // the connection's state tells: an orderly close leaves it waiting for our own, a reset
    // has closed it.
    tcp_info info{};
    socklen_t length = sizeof info;
    socket->performBlock([&] {
        if (::getsockopt(socket->socketFD(), IPPROTO_TCP, TCP_INFO, &info, &length) != 0) {
            info.tcpi_state = TCP_CLOSE;
        }
    });
    fail(info.tcpi_state == TCP_CLOSE_WAIT ? kComplete : kFailed);  // ends the transfer
}

void FileTransfer::socketDidWriteDataWithTag(const AsyncTcpSocketPtr& socket, long tag) {
    if (!live(socket) || incoming()) {
        return;
    }
    if (tag == kFileHeaderTag) {
        if (!file_->prepareStream()) {
            fail(kFailed);
            return;
        }
        sendChunks();
    } else if (tag == kChunkTag && !chunks_.empty()) {
        const std::size_t size = chunks_.front();
        chunks_.pop_front();
        chunkDone(size);
        if (file_->bytesReceived < file_->bytesTotal) {
            sendChunks();
        } else {
            fileSent();
        }
    }
}

}  // namespace corvaline
