#include "core/net/FILEserver.h"

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
    return FileTransfer::newOutgoingFiles(paths, to, main_, encrypt);
}

void FILEserver::socketDidAcceptNewSocket(const AsyncTcpSocketPtr&,
                                          const AsyncTcpSocketPtr& newSocket) {
    auto* context = AppManagedObjectContext();
    if (!context) {
        return;  // the connection closes
    }
    context->insert<FileTransfer>()->receiveOffer(newSocket, main_);
}

}  // namespace corvaline
