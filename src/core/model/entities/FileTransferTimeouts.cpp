#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "core/model/entities/FileTransfer.h"

// How long a transfer waits for its peer: a peer that stops sending (or vanishes without a
// FIN or RST) must not hold a descriptor and a partial file for ever.
namespace corvaline {

namespace {

// The tag of the data chunks the sender writes (the receiver's are its pipeline's).
constexpr long kOutgoingChunkTag = 5;

// A silent peer is probed after a minute and given up a minute later.
constexpr int kKeepAliveIdleSeconds = 60;
constexpr int kKeepAliveIntervalSeconds = 10;
constexpr int kKeepAliveProbes = 6;

}  // namespace

void FileTransfer::enableKeepAlive() {
    socket_->performBlock([socket = socket_.get()] {
        const int fd = socket->socketFD();
        if (fd == -1) {
            return;
        }
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepAliveIdleSeconds,
                     sizeof kKeepAliveIdleSeconds);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepAliveIntervalSeconds,
                     sizeof kKeepAliveIntervalSeconds);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepAliveProbes, sizeof kKeepAliveProbes);
    });
}

double FileTransfer::extendWhileDataMoves() {
    // The socket's time-out covers a whole chunk; what counts is whether bytes still move.
    if (bytesReceived_ == bytesAtLastStallCheck_) {
        return 0;
    }
    bytesAtLastStallCheck_ = bytesReceived_;
    return waits_.stall;
}

void FileTransfer::socketDidConnectToHost(const AsyncTcpSocketPtr& socket, const std::string&,
                                          std::uint16_t) {
    if (live(socket)) {
        enableKeepAlive();
    }
}

double FileTransfer::socketShouldTimeoutWriteWithTag(const AsyncTcpSocketPtr& socket, long tag,
                                                     double, std::uint64_t) {
    return live(socket) && !incoming() && tag == kOutgoingChunkTag ? extendWhileDataMoves() : 0;
}

}  // namespace corvaline
