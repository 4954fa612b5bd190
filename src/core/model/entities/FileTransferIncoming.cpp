#include <sys/stat.h>
#include <unistd.h>

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
// More files than anyone sends at once, and the most names tried for a folder.
constexpr std::int64_t kMaximumFiles = 10'000'000;
constexpr int kMaximumFolderNumber = 10'000;

// True when nothing is at the path; otherwise errno says why (EEXIST when something is).
bool isFree(const std::filesystem::path& path) {
    struct stat existing;
    if (::lstat(path.c_str(), &existing) == 0) {
        errno = EEXIST;
        return false;
    }
    return errno == ENOENT;
}

}  // namespace

void FileTransfer::receiveOffer(const AsyncTcpSocketPtr& socket, std::shared_ptr<Executor> main) {
    main_ = std::move(main);
    setIncoming(true);
    keepAlive_ = self();
    socket_ = socket;
    socket_->synchronouslySetDelegate(std::weak_ptr<AsyncTcpSocketDelegate>(keepAlive_));
    enableKeepAlive();
    readLine(waits_.line, kOfferTag);
}

void FileTransfer::socketDidReadData(const AsyncTcpSocketPtr& socket, const DataSlice& data,
                                     long tag) {
    if (!live(socket)) {
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
    folderBase_ = expandTilde(UserDefaults::standard().stringForKey(defaults::kFileTransferPath));
    DateTimeFormat longDate(DateTimeFormat::Style::longStyle, DateTimeFormat::Style::none);
    folderName_ =
        safeFolderName(sender.name()) + " - " + longDate.format(CoreServices::shared().now());
    std::error_code error;
    std::filesystem::create_directories(folderBase_, error);
    // Only named here: the folder is made when the first file is accepted, so a refused
    // offer leaves nothing behind.
    return ::access(folderBase_.c_str(), W_OK | X_OK) == 0 && placeFolder(false);
}

bool FileTransfer::placeFolder(bool make) {
    for (int number = 1; number <= kMaximumFolderNumber; ++number) {
        const std::filesystem::path folder =
            folderBase_ /
            (number == 1 ? folderName_ : folderName_ + " (" + std::to_string(number) + ")");
        if (make ? ::mkdir(folder.c_str(), 0777) == 0 : isFree(folder)) {
            setFolderPath(folder.string());
            folderMade_ = make;
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
    const bool ready = (folderMade_ || placeFolder(true)) &&
                       file_->prepareFolderAndStream(folderPath()) &&
                       file_->bytesTotal <= sizesDeclaredLeft_;
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
    if (file_->bytesTotal == 0) {
        fileReceived();  // an empty file has no chunk
        return;
    }
    // The whole file is under way at once: its chunks are read, decrypted and stored off
    // this thread, which hears of progress and of the last chunk.
    bytesQueued_ = file_->bytesTotal;
    pipeline().receiveFile(file_, file_->bytesTotal, waits_.stall, kChunkTag);
}

void FileTransfer::chunkStored(ChunkPipeline::Result stored) {
    if (!pipeline_ || !socket_ || closing_) {
        return;  // over already: the report of a chunk that was under way
    }
    if (!stored) {
        fail(kFailed);
        return;
    }
    if (!incoming() || !file_) {
        return;
    }
    chunkDone(*stored);
    if (file_->bytesReceived >= file_->bytesTotal) {
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
        readLine(waits_.line, kFileHeaderTag);
        return;
    }
    setTransferState(kComplete);
    SaveAppContextIfChanged();
    closeAfterWriting();
}

}  // namespace corvaline
