#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "core/codec/PacketCodec.h"
#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/FileTransfer.h"
#include "core/model/entities/User.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/UserInterface.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "core/model/transfer/SafeNames.h"
#include "core/model/transfer/WireNumber.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/locale/DateTimeFormat.h"
#include "platform/paths/Tilde.h"

// The receiving side of a transfer, and the dispatch of every line read.
namespace corvaline {

namespace {

constexpr double kTimeout = 10.0;
constexpr long kOfferTag = 0;
constexpr long kFileHeaderTag = 1;
constexpr long kChunkTag = 2;
constexpr long kDecisionTag = 3;
constexpr long kFileAnswerTag = 4;
constexpr std::size_t kChunksInFlight = 2;
// More files than anyone sends at once, and the most names tried for a folder.
constexpr std::int64_t kMaximumFiles = 10'000'000;
constexpr int kMaximumFolderNumber = 10'000;

}  // namespace

void FileTransfer::receiveOffer(const AsyncTcpSocketPtr& socket, std::shared_ptr<Executor> main) {
    main_ = std::move(main);
    setIncoming(true);
    keepAlive_ = self();
    socket_ = socket;
    socket_->synchronouslySetDelegate(std::weak_ptr<AsyncTcpSocketDelegate>(keepAlive_));
    readLine(-1, kOfferTag);
}

void FileTransfer::socketDidReadData(const AsyncTcpSocketPtr& socket, const DataSlice& data,
                                     long tag) {
    if (!live(socket)) {
        return;
    }
    if (tag == kChunkTag && incoming()) {
        chunkRead(data);
        return;
    }
    if (tag == kCloseTag && !incoming()) {
        awaitReceiversClose();  // bytes nobody sends are no answer
        return;
    }
    const HeaderFields fields = ParseTransferHeader(PacketCodec::shared(), data.span());
    if (incoming() && tag == kOfferTag) {
        offerRead(fields);
    } else if (incoming() && tag == kFileHeaderTag) {
        fileHeaderRead(fields);
    } else if (!incoming() && tag == kDecisionTag) {
        decisionRead(fields);
    } else if (!incoming() && tag == kFileAnswerTag) {
        const auto accept = std::find_if(fields.begin(), fields.end(),
                                         [](const auto& field) { return field.first == "accept"; });
        if (accept == fields.end() || wireNumber(accept->second) != 1) {
            fail(kFailed);
        }
    }
}

void FileTransfer::offerRead(const HeaderFields& fields) {
    std::string* const targets[] = {&offer_.content_type,
                                    &offer_.sessid,
                                    &offer_.sessaes,
                                    &offer_.from_id,
                                    &offer_.from_usernamedisplay,
                                    &offer_.to_user,
                                    &offer_.files_number,
                                    &offer_.files_totalsize};
    static constexpr std::string_view kNames[] = {
        "content_type",         "sessid",  "sessaes",      "from_id",
        "from_usernamedisplay", "to_user", "files_number", "files_totalsize"};
    for (const auto& [name, value] : fields) {
        const auto found = std::find(std::begin(kNames), std::end(kNames), name);
        if (found != std::end(kNames)) {
            *targets[found - std::begin(kNames)] = value;
        }
    }
    // Counts that are not plain numbers within reason cannot be a real offer: refused.
    const auto count = wireNumber(offer_.files_number);
    const auto total = wireNumber(offer_.files_totalsize);
    const bool sane = count && *count >= 1 && *count <= kMaximumFiles && total;
    setFilesNumber(sane ? *count : 0);
    setFilesTotalSize(sane ? *total : 0);
    sizesDeclaredLeft_ = filesTotalSize();
    encrypt_ = wireNumber(offer_.sessaes).value_or(0) != 0;
    cryptor_.reset();

    auto* list = CoreServices::shared().userList;
    auto sender = list ? list->getUserById(offer_.from_id, socket_->connectedHost())
                       : std::shared_ptr<User>();
    if (!sender) {
        fail(kCancelled);  // a record nobody's history holds goes with the connection
        return;
    }
    addUserObject(*sender);
    setOriginalSenderName(sender->name());
    if (!sane) {
        setTransferState(kWaiting);
        ContinueTransfer(kCancelled);
    } else if (updateFolderPath(*sender)) {
        setTransferState(kWaiting);
    } else {
        setTransferState(kWaiting);  // the decision "4" goes out at once
        ContinueTransfer(kNoFolder);
    }
    main_->post([sender, transfer = self()] {
        sender->MessageReceived();
        SaveAppContextIfChanged();
        ModelEvents::shared().userHistoryAppended(*sender, *transfer);
        auto& defaults = UserDefaults::standard();
        auto* windows = CoreServices::shared().windows;
        if (windows && defaults.boolForKey(defaults::kSoundsEnabled) &&
            defaults.boolForKey(defaults::kSoundsOnIncomingFile)) {
            windows->Play("File");
        }
        transfer->popupWindow(nullptr);
    });
}

bool FileTransfer::updateFolderPath(const User& sender) {
    const std::filesystem::path base =
        expandTilde(UserDefaults::standard().stringForKey(defaults::kFileTransferPath));
    DateTimeFormat longDate(DateTimeFormat::Style::longStyle, DateTimeFormat::Style::none);
    const std::string name =
        safeFolderName(sender.name()) + " - " + longDate.format(CoreServices::shared().now());
    std::error_code error;
    std::filesystem::create_directories(base, error);
    for (int number = 1; number <= kMaximumFolderNumber; ++number) {
        const std::filesystem::path folder =
            base / (number == 1 ? name : name + " (" + std::to_string(number) + ")");
        if (::mkdir(folder.c_str(), 0777) == 0) {
            setFolderPath(folder.string());
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

void FileTransfer::fileHeaderRead(const HeaderFields& fields) {
    file_ = std::make_shared<SingleFile>();
    for (const auto& [name, value] : fields) {
        file_->setHeaderValue(name, value);
    }
    bytesQueued_ = 0;
    // No file may take more of the disk than the offer the user accepted announced.
    const bool ready =
        file_->prepareFolderAndStream(folderPath()) && file_->bytesTotal <= sizesDeclaredLeft_;
    write({{"CONTENT-TYPE", "FILESENDREQUESTRESPONSE"}, {"ACCEPT", ready ? "1" : "4"}}, kTimeout,
          kFileHeaderTag);
    if (!ready) {
        file_->discardStream();
        setTransferState(kNoFolder);
        if (!closing_) {
            closeAfterWriting();
        }
        return;
    }
    sizesDeclaredLeft_ -= file_->bytesTotal;
    readChunks();
}

void FileTransfer::readChunks() {
    while (chunks_.size() < kChunksInFlight && bytesQueued_ < file_->bytesTotal) {
        const auto size = static_cast<std::size_t>(
            std::min<std::int64_t>(file_->bytesTotal - bytesQueued_, kChunkSize));
        auto buffer = freeBuffer(wireLength(size));
        bytesQueued_ += static_cast<std::int64_t>(size);
        chunks_.push_back({size, buffer});
        socket_->readDataToLength(buffer->size(), -1, buffer, 0, kChunkTag);
    }
    if (chunks_.empty()) {
        fileReceived();  // an empty file has no chunk
    }
}

void FileTransfer::chunkRead(const DataSlice& data) {
    if (chunks_.empty()) {
        return;
    }
    const Chunk chunk = chunks_.front();
    chunks_.pop_front();
    std::span<std::uint8_t> bytes(chunk.buffer->data(), data.size());
    if ((encrypt_ && !cipher().transform(bytes)) ||
        !file_->write(bytes.first(std::min(chunk.size, bytes.size())))) {
        fail(kFailed);
        return;
    }
    chunkDone(chunk.size);
    if (file_->bytesReceived < file_->bytesTotal) {
        readChunks();
    } else {
        fileReceived();
    }
}

void FileTransfer::fileReceived() {
    if (!file_->releaseStream()) {
        fail(kFailed);
        return;
    }
    setFilesTransferred(filesTransferred() + 1);
    if (filesTransferred() < filesNumber()) {
        readLine(-1, kFileHeaderTag);
        return;
    }
    setTransferState(kComplete);
    SaveAppContextIfChanged();
    closeAfterWriting();
}

}  // namespace corvaline
