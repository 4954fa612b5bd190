// The write queue: one write at a time, in order, straight from the caller's bytes.
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "sockets/tcp/AsyncTcpSocket.h"
#include "sockets/tcp/TcpInternal.h"
#include "sockets/tcp/TlsSession.h"

namespace corvaline {

void AsyncTcpSocket::writeData(Data data, double timeout, long tag) {
    writeData(std::make_shared<const Data>(std::move(data)), timeout, tag);
}

void AsyncTcpSocket::writeData(std::shared_ptr<const Data> data, double timeout, long tag) {
    if (!data || data->empty()) {
        return;
    }
    postAsync([this, data = std::move(data), timeout, tag] {
        if ((flags_ & kSocketStarted) && !(flags_ & kForbidReadsWrites)) {
            writeQueue_.push_back(std::make_unique<AsyncWritePacket>(
                AsyncWritePacket{data, 0, tag, timeout, nextSerial_++}));
            maybeDequeueWrite();
        }
    });
}

float AsyncTcpSocket::progressOfWriteReturningTag(long* tag, std::uint64_t* done,
                                                  std::uint64_t* total) const {
    float progress = NAN;
    runSync([&] {
        long currentTag = 0;
        std::uint64_t currentDone = 0;
        std::uint64_t currentTotal = 0;
        if (currentWrite_) {
            currentTag = currentWrite_->tag;
            currentDone = currentWrite_->bytesDone;
            currentTotal = currentWrite_->buffer->size();
            progress = static_cast<float>(static_cast<double>(currentDone) /
                                          static_cast<double>(currentTotal));
        }
        detail::storeProgress(tag, done, total, currentTag, currentDone, currentTotal);
    });
    return progress;
}

void AsyncTcpSocket::maybeDequeueWrite() {
    if (currentWrite_ || (flags_ & kStartingWriteTLS) || !(flags_ & kSocketConnected)) {
        return;
    }
    if (!writeQueue_.empty()) {
        auto next = std::move(writeQueue_.front());
        writeQueue_.pop_front();
        if (std::holds_alternative<Barrier>(next)) {
            flags_ |= kStartingWriteTLS;
            maybeStartTLS();
            return;
        }
        currentWrite_ = std::move(std::get<std::unique_ptr<AsyncWritePacket>>(next));
        doWriteData();
        // The time-out runs only once the write waits for the descriptor, as for reads.
        if (currentWrite_ && !writeTimer_) {
            setupWriteTimerWithTimeout(currentWrite_->timeout);
        }
    } else if (flags_ & kDisconnectAfterWrites) {
        maybeClose();
    }
}

void AsyncTcpSocket::doWriteData() {
    bool barrier = (flags_ & kStartingWriteTLS) != 0;
    if ((!currentWrite_ && !barrier) || (flags_ & kWritesPaused)) {
        if (flags_ & kSocketCanAcceptBytes) {
            suspendWriteSource();  // a writable idle socket must not keep firing
        }
        return;
    }
    if (!(flags_ & kSocketCanAcceptBytes)) {
        resumeWriteSource();
        return;
    }
    if (barrier) {
        if ((flags_ & kStartingReadTLS) && lastSSLHandshakeError_ == errSSLWouldBlock) {
            ssl_continueSSLHandshake();
        } else {
            suspendWriteSource();
        }
        return;
    }
    AsyncWritePacket& packet = *currentWrite_;
    bool waiting = false;
    std::optional<Error> error;
    std::size_t written = 0;
    if (flags_ & kSocketSecure) {
        sslWritePass(packet, waiting, error, written);
    } else {
        // MSG_NOSIGNAL: a peer that went away must not raise SIGPIPE in the process.
        ssize_t result = ::send(connectedFD(), packet.buffer->data() + packet.bytesDone,
                                packet.buffer->size() - packet.bytesDone, MSG_NOSIGNAL);
        if (result < 0) {
            if (errno == EWOULDBLOCK || errno == EAGAIN || errno == EINTR) {
                waiting = true;
            } else {
                error = errorWithErrno(errno, "Error in write() function");
            }
        } else {
            written = static_cast<std::size_t>(result);
        }
    }
    if (waiting) {
        flags_ &= ~kSocketCanAcceptBytes;
        resumeWriteSource();
    }
    if (written > 0) {
        packet.bytesDone += written;
        if (packet.bytesDone == packet.buffer->size()) {
            completeCurrentWrite();
            if (error) {
                closeWithError(std::move(error));
                return;
            }
            // The next write starts in a later turn, not inside this pass.
            postAsync([this] { maybeDequeueWrite(); });
            return;
        }
    }
    if (!waiting && !error) {
        // The descriptor took less than offered: wait until it can take more.
        flags_ &= ~kSocketCanAcceptBytes;
        resumeWriteSource();
    }
    if (written > 0) {
        notify(Callback::DidWritePartialData, [written, tag = packet.tag](Delegate& d, auto& s) {
            d.socketDidWritePartialDataOfLength(s, written, tag);
        });
    }
    if (error) {
        closeWithError(std::move(error));
    }
}

void AsyncTcpSocket::sslWritePass(const AsyncWritePacket& packet, bool& waiting,
                                  std::optional<Error>& error, std::size_t& written) {
    const std::size_t length = packet.buffer->size();
    const std::uint8_t* start = packet.buffer->data() + packet.bytesDone;
    if (sslWriteCachedLength_ > 0) {
        // The session holds a piece it took earlier: offering it again pushes it out.
        auto cached = static_cast<std::size_t>(sslWriteCachedLength_);
        long status = sslContext_->write(start, cached);
        if (status == errSSLWouldBlock) {
            waiting = true;
        } else if (status != noErr) {
            error = sslError(status, sslContext_->failureText());
        } else {
            written = cached;
            sslWriteCachedLength_ = 0;
        }
    }
    while (!waiting && !error && packet.bytesDone + written < length) {
        std::size_t piece = std::min<std::size_t>(32768, length - packet.bytesDone - written);
        long status = sslContext_->write(start + written, piece);
        if (status == noErr) {
            written += piece;
        } else if (status == errSSLWouldBlock) {
            waiting = true;
            sslWriteCachedLength_ = piece;
        } else {
            error = sslError(status, sslContext_->failureText());
        }
    }
}

void AsyncTcpSocket::completeCurrentWrite() {
    notify(Callback::DidWriteData, [tag = currentWrite_->tag](Delegate& d, auto& s) {
        d.socketDidWriteDataWithTag(s, tag);
    });
    endCurrentWrite();
}

void AsyncTcpSocket::endCurrentWrite() {
    stopTimer(writeTimer_);
    currentWrite_.reset();
}

void AsyncTcpSocket::setupWriteTimerWithTimeout(double timeout) {
    writeTimer_ = startTimer(timeout, &AsyncTcpSocket::doWriteTimeout);
}

void AsyncTcpSocket::doWriteTimeout() {
    flags_ |= kWritesPaused;
    const AsyncWritePacket& packet = *currentWrite_;
    askToExtend(Callback::ShouldTimeoutWrite, &Delegate::socketShouldTimeoutWriteWithTag,
                packet.tag, packet.timeout, packet.bytesDone, packet.serial,
                &AsyncTcpSocket::doWriteTimeoutWithExtension);
}

void AsyncTcpSocket::doWriteTimeoutWithExtension(std::uint64_t serial, double extension) {
    if (!currentWrite_ || currentWrite_->serial != serial) {
        return;
    }
    if (extension > 0) {
        currentWrite_->timeout += extension;
        writeTimer_->setTimer(dispatch::TimerSource::Seconds(extension));
        flags_ &= ~kWritesPaused;
        doWriteData();
    } else {
        closeWithError(writeTimeoutError());
    }
}

}  // namespace corvaline
