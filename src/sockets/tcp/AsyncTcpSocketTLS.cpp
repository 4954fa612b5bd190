// The TLS layer: the barrier through both queues, the handshake with its trust decision, and
// the I/O hooks that feed the session from the descriptor and the TLS read-ahead buffer.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sockets/tcp/AsyncTcpSocket.h"
#include "sockets/tcp/TlsSession.h"

namespace corvaline {
namespace {

bool wouldBlock(int error) {
    return error == EWOULDBLOCK || error == EAGAIN || error == EINTR;
}

}  // namespace

void AsyncTcpSocket::startTLS(TlsSettings settings) {
    auto barrier =
        std::make_shared<const AsyncSpecialPacket>(AsyncSpecialPacket{std::move(settings)});
    postAsync([this, barrier = std::move(barrier)] {
        if ((flags_ & kSocketStarted) && !(flags_ & (kForbidReadsWrites | kQueuedTLS))) {
            readQueue_.push_back(barrier);
            writeQueue_.push_back(barrier);
            flags_ |= kQueuedTLS;
            maybeDequeueRead();
            maybeDequeueWrite();
        }
    });
}

ssl_st* AsyncTcpSocket::sslContext() const {
    return socketQueue_->isCurrent() && sslContext_ ? sslContext_->ssl() : nullptr;
}

void AsyncTcpSocket::maybeStartTLS() {
    if ((flags_ & kStartingReadTLS) && (flags_ & kStartingWriteTLS)) {
        ssl_startTLS();
    }
}

void AsyncTcpSocket::ssl_startTLS() {
    if (!tlsBarrier_) {
        closeWithError(otherError("Logic error"));
        return;
    }
    const TlsSettings& settings = tlsBarrier_->tlsSettings;
    auto server = settings.find(kCFStreamSSLIsServer);
    const auto* isServer =
        server != settings.end() ? std::get_if<std::int64_t>(&server->second) : nullptr;
    std::string failure;
    sslContext_ = detail::TlsSession::create(
        isServer && *isServer != 0,
        [this](std::uint8_t* buffer, std::size_t length, std::size_t* got) {
            return sslReadWithBuffer(buffer, length, got);
        },
        [this](const std::uint8_t* buffer, std::size_t length, std::size_t* put) {
            return sslWriteWithBuffer(buffer, length, put);
        },
        &failure);
    if (!sslContext_) {
        closeWithError(otherError(failure));
        return;
    }
    if (auto refused = sslContext_->applySettings(settings)) {
        closeWithError(otherError(*refused));
        return;
    }
    // Bytes read ahead of the barrier are the peer's first TLS records.
    sslPreBuffer_ = std::make_unique<AsyncTcpSocketPreBuffer>(4096);
    if (std::size_t waiting = preBuffer_.availableBytes(); waiting > 0) {
        sslPreBuffer_->ensureCapacityForWrite(waiting);
        std::memcpy(sslPreBuffer_->writeBuffer(), preBuffer_.readBuffer(), waiting);
        sslPreBuffer_->didWrite(waiting);
        preBuffer_.didRead(waiting);
    }
    sslErrCode_ = 0;
    lastSSLHandshakeError_ = 0;
    ssl_continueSSLHandshake();
}

void AsyncTcpSocket::ssl_continueSSLHandshake() {
    long status = sslContext_->handshake();
    lastSSLHandshakeError_ = status;
    if (status == noErr) {
        flags_ &= ~(kStartingReadTLS | kStartingWriteTLS);
        flags_ |= kSocketSecure;
        notify(Callback::DidSecure, [](Delegate& d, auto& socket) { d.socketDidSecure(socket); });
        endCurrentRead();
        endCurrentWrite();
        maybeDequeueRead();
        maybeDequeueWrite();
    } else if (status == errSSLPeerAuthCompleted) {
        if (!delegateResponds(Callback::DidReceiveTrust)) {
            closeWithError(otherError(
                "AsyncTcpSocketManuallyEvaluateTrust specified in tlsSettings, but delegate "
                "doesn't implement socket:shouldTrustPeer:"));
            return;
        }
        // The answer names the pause it belongs to: one that comes after the socket moved on
        // (closed, reconnected, answered already) changes nothing.
        notify(Callback::DidReceiveTrust,
               [trust = sslContext_->peerTrust(), weak = weak_from_this(), queue = socketQueue_,
                index = stateIndex_](Delegate& d, const AsyncTcpSocketPtr& socket) {
                   d.socketDidReceiveTrust(socket, trust, [weak, queue, index](bool answer) {
                       queue->async([weak, index, answer] {
                           if (auto self = weak.lock()) {
                               self->ssl_shouldTrustPeer(answer, index);
                           }
                       });
                   });
               });
    } else if (status != errSSLWouldBlock) {
        closeWithError(sslError(status, sslContext_->failureText()));
    }
}

void AsyncTcpSocket::ssl_shouldTrustPeer(bool shouldTrust, long index) {
    if (index != stateIndex_ || !sslContext_ || lastSSLHandshakeError_ != errSSLPeerAuthCompleted) {
        return;
    }
    ++stateIndex_;
    if (!shouldTrust) {
        closeWithError(sslError(errSSLPeerBadCert));
        return;
    }
    sslContext_->trustPeer();
    ssl_continueSSLHandshake();
}

long AsyncTcpSocket::sslReadWithBuffer(std::uint8_t* buffer, std::size_t length, std::size_t* got) {
    AsyncTcpSocketPreBuffer& ahead = *sslPreBuffer_;
    *got = 0;
    if (socketFDBytesAvailable_ == 0 && ahead.availableBytes() == 0) {
        resumeReadSource();
        return errSSLWouldBlock;
    }
    if (std::size_t taken = std::min(ahead.availableBytes(), length); taken > 0) {
        std::memcpy(buffer, ahead.readBuffer(), taken);
        ahead.didRead(taken);
        *got = taken;
        if (taken == length) {
            return noErr;
        }
    }
    if (socketFDBytesAvailable_ == 0) {
        return errSSLWouldBlock;
    }
    std::size_t remaining = length - *got;
    // A small request reads all that is pending, so the next ones need no system call.
    bool viaAhead = remaining < socketFDBytesAvailable_;
    std::size_t wanted = viaAhead ? static_cast<std::size_t>(socketFDBytesAvailable_) : remaining;
    std::uint8_t* target = buffer + *got;
    if (viaAhead) {
        ahead.ensureCapacityForWrite(wanted);
        target = ahead.writeBuffer();
    }
    ssize_t result = ::read(connectedFD(), target, wanted);
    if (result <= 0) {
        socketFDBytesAvailable_ = 0;
        if (result < 0 && wouldBlock(errno)) {
            resumeReadSource();
            return errSSLWouldBlock;
        }
        return errSSLClosedAbort;
    }
    auto count = static_cast<std::size_t>(result);
    socketFDBytesAvailable_ -= std::min<std::uint64_t>(count, socketFDBytesAvailable_);
    if (viaAhead) {
        ahead.didWrite(count);
        std::size_t taken = std::min(count, remaining);
        std::memcpy(buffer + *got, ahead.readBuffer(), taken);
        ahead.didRead(taken);
        *got += taken;
    } else {
        *got += count;
    }
    return *got == length ? noErr : errSSLWouldBlock;
}

long AsyncTcpSocket::sslWriteWithBuffer(const std::uint8_t* buffer, std::size_t length,
                                        std::size_t* put) {
    *put = 0;
    if (!(flags_ & kSocketCanAcceptBytes)) {
        resumeWriteSource();
        return errSSLWouldBlock;
    }
    // MSG_NOSIGNAL: a peer that went away must not raise SIGPIPE in the process.
    ssize_t result = ::send(connectedFD(), buffer, length, MSG_NOSIGNAL);
    if (result <= 0) {
        flags_ &= ~kSocketCanAcceptBytes;
        if (result < 0 && !wouldBlock(errno)) {
            return errSSLClosedAbort;
        }
        // The handshake may be the only writer: it must hear when the descriptor drains.
        resumeWriteSource();
        return errSSLWouldBlock;
    }
    *put = static_cast<std::size_t>(result);
    return *put == length ? noErr : errSSLWouldBlock;
}

std::uint64_t AsyncTcpSocket::readEstimate() const {
    std::uint64_t estimate = socketFDBytesAvailable_;
    if ((flags_ & kSocketSecure) && sslContext_) {
        estimate += sslPreBuffer_->availableBytes() + sslContext_->pending();
    }
    return estimate;
}

std::size_t AsyncTcpSocket::sslReadPass(std::uint8_t* target, std::size_t length, PassResult& pass,
                                        bool& socketEOF) {
    std::size_t total = 0;
    while (total < length) {
        std::size_t got = 0;
        long status = sslContext_->read(target + total, length - total, &got);
        total += got;
        if (status == noErr) {
            continue;
        }
        if (status == errSSLWouldBlock) {
            pass.waiting = true;
        } else if (status == errSSLClosedGraceful || status == errSSLClosedAbort) {
            socketEOF = true;
            sslErrCode_ = status;
        } else {
            pass.error = sslError(status, sslContext_->failureText());
        }
        break;
    }
    return total;
}

void AsyncTcpSocket::flushSSLBuffers() {
    if (!(flags_ & kSocketSecure) || !sslContext_ || preBuffer_.availableBytes() > 0) {
        return;
    }
    // Decrypted bytes then wait in the plain read-ahead buffer like plain bytes do.
    for (std::uint64_t estimate = readEstimate(); estimate > 0; estimate = readEstimate()) {
        auto wanted = static_cast<std::size_t>(estimate);
        preBuffer_.ensureCapacityForWrite(wanted);
        std::size_t got = 0;
        long status = sslContext_->read(preBuffer_.writeBuffer(), wanted, &got);
        preBuffer_.didWrite(got);
        if (status != noErr) {
            break;
        }
    }
}

void AsyncTcpSocket::closeTLS() {
    if (sslContext_) {
        sslContext_->close();
        sslContext_.reset();
    }
    sslPreBuffer_.reset();
    sslErrCode_ = 0;
    lastSSLHandshakeError_ = 0;
    sslWriteCachedLength_ = 0;
}

}  // namespace corvaline
