#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "core/model/entities/FileTransfer.h"
#include "core/net/IncomingTransferLimit.h"
#include "platform/runloop/Executor.h"
#include "sockets/tcp/AsyncTcpSocket.h"

namespace corvaline {

class User;

// The listener of the file-transfer port: each accepted connection becomes an incoming
// transfer, and outgoing transfers start here. Owned through shared_ptr (the listener holds
// it weakly as its delegate). Main thread only.
class FILEserver : public AsyncTcpSocketDelegate, public std::enable_shared_from_this<FILEserver> {
  public:
    // Makes the service and starts listening; `main` runs every callback.
    static std::shared_ptr<FILEserver> create(std::shared_ptr<Executor> main);
    struct Private {};
    FILEserver(Private, std::shared_ptr<Executor> main);
    ~FILEserver() override;
    FILEserver(const FILEserver&) = delete;
    FILEserver& operator=(const FILEserver&) = delete;

    // Listens again on all interfaces (after network changes and wake); running transfers go
    // on. A port that cannot be taken is left until the next call.
    void adapterChanged();
    // Starts sending files and folders to the user; none when there was nothing to send.
    std::shared_ptr<FileTransfer> outgoingFiles(const std::vector<std::filesystem::path>& paths,
                                                User& to, bool encrypt = true);

    // Ends the connection of every transfer made here that still holds one: the core is
    // going, and a transfer waiting for its connection's report would hold itself for ever.
    void endTransfers();

    // What transfers made here wait for their peers (tests shorten it).
    void setTransferWaits(FileTransfer::Waits waits) { waits_ = waits; }

    void socketDidAcceptNewSocket(const AsyncTcpSocketPtr& listener,
                                  const AsyncTcpSocketPtr& newSocket) override;

  private:
    void remember(const std::shared_ptr<FileTransfer>& transfer);

    std::shared_ptr<Executor> main_;
    AsyncTcpSocketPtr serverTCPsocket_;
    FileTransfer::Waits waits_;
    IncomingTransferLimit incoming_;
    std::vector<std::weak_ptr<FileTransfer>> transfers_;  // those that may still run
};

}  // namespace corvaline
