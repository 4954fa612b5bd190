#include "core/net/FILEserver.h"

#include <utility>

#include "core/model/entities/FileTransfer.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/trace/DebugTracer.h"

namespace corvaline {

std::shared_ptr<FILEserver> FILEserver::create(std::shared_ptr<Executor> main) {
    auto server = std::make_shared<FILEserver>(Private{}, std::move(main));
    server->adapterChanged();
    return server;
}

FILEserver::FILEserver(Private, std::shared_ptr<Executor> main)
    : AsyncTcpSocketDelegate({Callback::DidAcceptNewSocket}), main_(std::move(main)) {}

FILEserver::~FILEserver() {
    if (serverTCPsocket_) {
        serverTCPsocket_->disconnect();
    }
}

void FILEserver::adapterChanged() {
    assertCurrent(*main_);
    if (!serverTCPsocket_) {
        serverTCPsocket_ = AsyncTcpSocket::create(weak_from_this(), main_);
        serverTCPsocket_->setIPv6Enabled(false);
    } else {
        serverTCPsocket_->disconnect();
    }
    if (!serverTCPsocket_->acceptOnPort(FileTransfer::kPort)) {
        DebugTracer::addLogItem("FILE SERVER PORT IS NOT BINDABLE", 0);
    }
}

std::shared_ptr<FileTransfer> FILEserver::outgoingFiles(
    const std::vector<std::filesystem::path>& paths, User& to, bool encrypt) {
    assertCurrent(*main_);
    auto transfer = FileTransfer::newOutgoingFiles(paths, to, main_, encrypt);
    if (transfer) {
        transfer->setWaits(waits_);
        remember(transfer);
    }
    return transfer;
}

void FILEserver::endTransfers() {
    assertCurrent(*main_);
    for (const auto& weak : std::exchange(transfers_, {})) {
        if (const auto transfer = weak.lock()) {
            transfer->endConnection();
        }
    }
}

void FILEserver::remember(const std::shared_ptr<FileTransfer>& transfer) {
    std::erase_if(transfers_, [](const std::weak_ptr<FileTransfer>& weak) {
        const auto kept = weak.lock();
        return !kept || !kept->isRunning();
    });
    transfers_.push_back(transfer);
}

void FILEserver::socketDidAcceptNewSocket(const AsyncTcpSocketPtr&,
                                          const AsyncTcpSocketPtr& newSocket) {
    auto* context = AppManagedObjectContext();
    if (!context) {
        return;  // the connection closes
    }
    std::string host = newSocket->connectedHost().value_or("");
    if (!incoming_.admits(host)) {
        newSocket->disconnect();
        return;
    }
    auto transfer = context->insert<FileTransfer>();
    transfer->setWaits(waits_);
    transfer->receiveOffer(newSocket, main_);
    incoming_.add(transfer, std::move(host));
    remember(transfer);
}

}  // namespace corvaline
