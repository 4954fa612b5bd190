// The read queue: one read at a time, in order, from the read-ahead buffer and the descriptor.
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "sockets/tcp/AsyncTcpSocket.h"
#include "sockets/tcp/TcpInternal.h"

namespace corvaline {

namespace {

std::size_t bufferLength(const std::shared_ptr<Data>& buffer) {
    return buffer ? buffer->size() : 0;
}

}  // namespace

void AsyncTcpSocket::readDataWithTimeout(double timeout, long tag) {
    readDataWithTimeout(timeout, nullptr, 0, 0, tag);
}

void AsyncTcpSocket::readDataWithTimeout(double timeout, std::shared_ptr<Data> buffer,
                                         std::uint64_t offset, long tag) {
    readDataWithTimeout(timeout, std::move(buffer), offset, 0, tag);
}

void AsyncTcpSocket::readDataWithTimeout(double timeout, std::shared_ptr<Data> buffer,
                                         std::uint64_t offset, std::uint64_t maxLength, long tag) {
    if (offset > bufferLength(buffer)) {
        return;
    }
    enqueueRead(std::move(buffer), offset, maxLength, timeout, 0, std::nullopt, tag);
}

void AsyncTcpSocket::readDataToLength(std::uint64_t length, double timeout, long tag) {
    readDataToLength(length, timeout, nullptr, 0, tag);
}

void AsyncTcpSocket::readDataToLength(std::uint64_t length, double timeout,
                                      std::shared_ptr<Data> buffer, std::uint64_t offset,
                                      long tag) {
    if (length == 0 || offset > bufferLength(buffer)) {
        return;
    }
    enqueueRead(std::move(buffer), offset, 0, timeout, length, std::nullopt, tag);
}

void AsyncTcpSocket::readDataToData(const Data& term, double timeout, long tag) {
    readDataToData(term, timeout, nullptr, 0, 0, tag);
}

void AsyncTcpSocket::readDataToData(const Data& term, double timeout, std::shared_ptr<Data> buffer,
                                    std::uint64_t offset, long tag) {
    readDataToData(term, timeout, std::move(buffer), offset, 0, tag);
}

void AsyncTcpSocket::readDataToData(const Data& term, double timeout, std::uint64_t maxLength,
                                    long tag) {
    readDataToData(term, timeout, nullptr, 0, maxLength, tag);
}

void AsyncTcpSocket::readDataToData(const Data& term, double timeout, std::shared_ptr<Data> buffer,
                                    std::uint64_t offset, std::uint64_t maxLength, long tag) {
    if (term.empty() || offset > bufferLength(buffer) ||
        (maxLength > 0 && maxLength < term.size())) {
        return;
    }
    enqueueRead(std::move(buffer), offset, maxLength, timeout, 0, term, tag);
}

void AsyncTcpSocket::enqueueRead(std::shared_ptr<Data> buffer, std::uint64_t offset,
                                 std::uint64_t maxLength, double timeout, std::uint64_t readLength,
                                 std::optional<Data> term, long tag) {
    postAsync([this, buffer = std::move(buffer), offset, maxLength, timeout, readLength,
               term = std::move(term), tag] {
        if ((flags_ & kSocketStarted) && !(flags_ & kForbidReadsWrites)) {
            readQueue_.push_back(std::make_unique<AsyncReadPacket>(
                buffer, offset, maxLength, timeout, readLength, term, tag, nextSerial_++));
            maybeDequeueRead();
        }
    });
}

float AsyncTcpSocket::progressOfReadReturningTag(long* tag, std::uint64_t* done,
                                                 std::uint64_t* total) const {
    float progress = NAN;
    runSync([&] {
        long currentTag = 0;
        std::uint64_t currentDone = 0;
        std::uint64_t currentTotal = 0;
        if (currentRead_) {
            currentTag = currentRead_->tag;
            currentDone = currentRead_->bytesDone;
            currentTotal = currentRead_->readLength;
            progress = currentTotal > 0 ? static_cast<float>(static_cast<double>(currentDone) /
                                                             static_cast<double>(currentTotal))
                                        : 1.0f;
        }
        detail::storeProgress(tag, done, total, currentTag, currentDone, currentTotal);
    });
    return progress;
}

bool AsyncTcpSocket::autoDisconnectOnClosedReadStream() const {
    bool result = false;
    runSync([&] { result = (config_ & kAllowHalfDuplexConnection) == 0; });
    return result;
}

void AsyncTcpSocket::setAutoDisconnectOnClosedReadStream(bool autoDisconnect) {
    runAsync([this, autoDisconnect] {
        config_ = autoDisconnect ? (config_ & ~kAllowHalfDuplexConnection)
                                 : (config_ | kAllowHalfDuplexConnection);
    });
}

void AsyncTcpSocket::maybeDequeueRead() {
    if (currentRead_ || (flags_ & kStartingReadTLS) || !(flags_ & kSocketConnected)) {
        return;
    }
    if (dequeueRead()) {
        if (socketFDBytesAvailable_ == 0 && !(flags_ & kSocketHasReadEOF)) {
            // Bytes that came before the read was asked for may not be reported yet: asked
            // of the descriptor, they are read now rather than after a readiness report.
            int counted = 0;
            if (::ioctl(connectedFD(), FIONREAD, &counted) == 0 && counted > 0) {
                socketFDBytesAvailable_ = static_cast<std::uint64_t>(counted);
            }
        }
        doReadData();
        return;
    }
    if (flags_ & kStartingReadTLS) {
        return;  // the TLS start has taken over
    }
    if (flags_ & kDisconnectAfterReads) {
        maybeClose();
    }
    if (flags_ & kSocketSecure) {
        flushSSLBuffers();
        if (preBuffer_.availableBytes() == 0) {
            resumeReadSource();
        }
    }
}

bool AsyncTcpSocket::dequeueRead() {
    if (readQueue_.empty()) {
        return false;
    }
    auto next = std::move(readQueue_.front());
    readQueue_.pop_front();
    if (auto* barrier = std::get_if<Barrier>(&next)) {
        tlsBarrier_ = std::move(*barrier);
        flags_ |= kStartingReadTLS;
        maybeStartTLS();
        return false;
    }
    currentRead_ = std::move(std::get<std::unique_ptr<AsyncReadPacket>>(next));
    return true;
}

void AsyncTcpSocket::doReadData() {
    readAvailableData();
    // The time-out runs only once a read waits: a read that the bytes at hand complete
    // neither sets up a timer nor cancels one.
    if (currentRead_ && !readTimer_) {
        setupReadTimerWithTimeout(currentRead_->timeout);
    }
}

void AsyncTcpSocket::readAvailableData() {
    bool barrier = (flags_ & kStartingReadTLS) != 0;
    if ((!currentRead_ && !barrier) || (flags_ & kReadsPaused)) {
        flushSSLBuffers();
        if (socketFDBytesAvailable_ > 0) {
            suspendReadSource();  // a readable idle socket must not keep firing
        }
        return;
    }
    if (barrier) {
        // Bytes that come now belong to the handshake, which runs once both queues are there.
        if (readEstimate() == 0 && preBuffer_.availableBytes() == 0) {
            resumeReadSource();
        } else if ((flags_ & kStartingWriteTLS) && lastSSLHandshakeError_ == errSSLWouldBlock) {
            ssl_continueSSLHandshake();
        } else {
            suspendReadSource();
        }
        return;
    }
    bool socketEOF = (flags_ & kSocketHasReadEOF) != 0;
    bool resume = false;
    // One round per read served: reads that the bytes at hand complete are served in this
    // pass, one after the other.
    for (;;) {
        if (readEstimate() == 0 && preBuffer_.availableBytes() == 0) {
            if (socketEOF) {
                doReadEOF();
            } else {
                resumeReadSource();
            }
            return;
        }
        PassResult pass = readPass(socketEOF);
        resume = resume || pass.waiting;
        if (pass.done) {
            completeCurrentRead();
            if (pass.error) {
                closeWithError(std::move(pass.error));
                return;
            }
            if (socketEOF && preBuffer_.availableBytes() == 0) {
                doReadEOF();
                return;
            }
            if (dequeueRead()) {
                continue;
            }
            if (!(flags_ & kSocketStarted) || (flags_ & kStartingReadTLS)) {
                return;  // closed, or the TLS start has taken over
            }
            if (flags_ & kDisconnectAfterReads) {
                maybeClose();
                if (!(flags_ & kSocketStarted)) {
                    return;  // closed: nothing of this pass is left to do
                }
            }
            break;
        }
        if (pass.total > 0) {
            notify(Callback::DidReadPartialData,
                   [total = pass.total, tag = currentRead_->tag](Delegate& d, auto& socket) {
                       d.socketDidReadPartialDataOfLength(socket, total, tag);
                   });
            resume = true;
        }
        if (pass.error) {
            closeWithError(std::move(pass.error));
            return;
        }
        break;
    }
    if (socketEOF) {
        doReadEOF();
    } else if (resume) {
        resumeReadSource();
    }
}

AsyncTcpSocket::PassResult AsyncTcpSocket::readPass(bool& socketEOF) {
    AsyncReadPacket& packet = *currentRead_;
    PassResult pass;
    const std::uint64_t estimate = readEstimate();
    const bool secure = (flags_ & kSocketSecure) != 0;
    auto takeFromPreBuffer = [&](std::size_t length) {
        packet.ensureCapacityForAdditionalDataOfLength(length);
        std::memcpy(packet.writePosition(), preBuffer_.readBuffer(), length);
        preBuffer_.didRead(length);
        packet.bytesDone += length;
        pass.total += length;
    };
    auto terminatorMissedLimit = [&] {
        return packet.term && !pass.done && packet.maxLength > 0 &&
               packet.bytesDone >= packet.maxLength;
    };

    // First what was read ahead.
    if (preBuffer_.availableBytes() > 0) {
        std::size_t length = packet.term
                                 ? packet.readLengthForTermWithPreBuffer(preBuffer_, &pass.done)
                                 : packet.readLengthForNonTermWithHint(preBuffer_.availableBytes());
        takeFromPreBuffer(length);
        if (packet.readLength > 0) {
            pass.done = packet.bytesDone == packet.readLength;
        } else if (packet.term) {
            if (terminatorMissedLimit()) {
                pass.error = readMaxedOutError();
            }
        } else {
            pass.done = packet.maxLength > 0 && packet.bytesDone == packet.maxLength;
        }
    }

    // Then the descriptor.
    if (!pass.done && !pass.error && !socketEOF) {
        if (estimate == 0) {
            pass.waiting = true;
        } else {
            bool intoPreBuffer = false;
            std::size_t length;
            if (secure) {
                std::size_t fallback = estimate <= 32768 ? 32768 : estimate + 16384;
                length = packet.optimalReadLengthWithDefault(fallback, &intoPreBuffer);
            } else {
                length = packet.term ? packet.readLengthForTermWithHint(estimate, &intoPreBuffer)
                                     : packet.readLengthForNonTermWithHint(estimate);
            }
            std::uint8_t* target;
            if (intoPreBuffer) {
                preBuffer_.ensureCapacityForWrite(length);
                target = preBuffer_.writeBuffer();
            } else {
                packet.ensureCapacityForAdditionalDataOfLength(length);
                target = packet.writePosition();
            }
            std::size_t got = secure ? sslReadPass(target, length, pass, socketEOF)
                                     : plainReadPass(target, length, pass, socketEOF);
            if (got > 0) {
                if (packet.readLength > 0) {
                    packet.bytesDone += got;
                    pass.total += got;
                    pass.done = packet.bytesDone == packet.readLength;
                } else if (packet.term) {
                    if (intoPreBuffer) {
                        preBuffer_.didWrite(got);
                        takeFromPreBuffer(
                            packet.readLengthForTermWithPreBuffer(preBuffer_, &pass.done));
                    } else {
                        long after = packet.searchForTermAfterPreBuffering(got);
                        std::size_t kept = got;
                        if (after >= 0) {
                            // Bytes past the terminator belong to later reads.
                            auto extra = static_cast<std::size_t>(after);
                            preBuffer_.ensureCapacityForWrite(extra);
                            std::memcpy(preBuffer_.writeBuffer(),
                                        packet.writePosition() + got - extra, extra);
                            preBuffer_.didWrite(extra);
                            kept = got - extra;
                            pass.done = true;
                        }
                        packet.bytesDone += kept;
                        pass.total += kept;
                    }
                    if (terminatorMissedLimit()) {
                        pass.error = readMaxedOutError();
                    }
                } else {
                    if (intoPreBuffer) {
                        preBuffer_.didWrite(got);
                        takeFromPreBuffer(got);
                    } else {
                        packet.bytesDone += got;
                        pass.total += got;
                    }
                    pass.done = true;
                }
            }
        }
    }

    if (!pass.done && !packet.term && packet.readLength == 0) {
        pass.done = pass.total > 0;  // whatever is available: any byte completes it
    }
    return pass;
}

std::size_t AsyncTcpSocket::plainReadPass(std::uint8_t* target, std::size_t length,
                                          PassResult& pass, bool& socketEOF) {
    ssize_t result = ::read(connectedFD(), target, length);
    if (result < 0) {
        if (errno == EWOULDBLOCK || errno == EAGAIN || errno == EINTR) {
            pass.waiting = true;
        } else {
            pass.error = errorWithErrno(errno, "Error in read() function");
        }
        socketFDBytesAvailable_ = 0;
        return 0;
    }
    if (result == 0) {
        socketEOF = true;
        socketFDBytesAvailable_ = 0;
        return 0;
    }
    auto got = static_cast<std::size_t>(result);
    socketFDBytesAvailable_ =
        got < length
            ? 0
            : socketFDBytesAvailable_ - std::min<std::uint64_t>(got, socketFDBytesAvailable_);
    pass.waiting = socketFDBytesAvailable_ == 0;
    return got;
}

void AsyncTcpSocket::doReadEOF() {
    flags_ |= kSocketHasReadEOF;
    flushSSLBuffers();
    if (flags_ & (kStartingReadTLS | kStartingWriteTLS)) {
        closeWithError(sslError(errSSLClosedAbort));  // the peer left during the handshake
        return;
    }
    if ((flags_ & kReadStreamClosed) || preBuffer_.availableBytes() > 0) {
        // Reads still queued are served from what was read ahead; the pass that empties it
        // comes back here.
        suspendReadSource();
        return;
    }
    if (config_ & kAllowHalfDuplexConnection) {
        pollfd probe{connectedFD(), POLLOUT, 0};
        if (::poll(&probe, 1, 0) == 1 && (probe.revents & POLLOUT)) {
            flags_ |= kReadStreamClosed;
            notify(Callback::DidCloseReadStream,
                   [](Delegate& d, auto& socket) { d.socketDidCloseReadStream(socket); });
            suspendReadSource();
            return;
        }
    }
    closeWithError(sslErrCode_ != 0 && sslErrCode_ != errSSLClosedGraceful
                       ? sslError(sslErrCode_)
                       : connectionClosedError());
}

void AsyncTcpSocket::completeCurrentRead() {
    AsyncReadPacket& packet = *currentRead_;
    DataSlice result;
    if (packet.bufferOwner) {
        packet.buffer->resize(packet.bytesDone);
        result = DataSlice(packet.buffer, 0, packet.bytesDone);
    } else {
        if (packet.buffer->size() > packet.originalBufferLength) {
            packet.buffer->resize(
                std::max(packet.startOffset + packet.bytesDone, packet.originalBufferLength));
        }
        result = DataSlice(packet.buffer, packet.startOffset, packet.bytesDone);
    }
    notify(Callback::DidReadData,
           [result = std::move(result), tag = packet.tag](Delegate& d, auto& socket) {
               d.socketDidReadData(socket, result, tag);
           });
    endCurrentRead();
}

void AsyncTcpSocket::endCurrentRead() {
    stopTimer(readTimer_);
    currentRead_.reset();
    tlsBarrier_.reset();
}

void AsyncTcpSocket::setupReadTimerWithTimeout(double timeout) {
    readTimer_ = startTimer(timeout, &AsyncTcpSocket::doReadTimeout);
}

void AsyncTcpSocket::doReadTimeout() {
    flags_ |= kReadsPaused;
    const AsyncReadPacket& packet = *currentRead_;
    askToExtend(Callback::ShouldTimeoutRead, &Delegate::socketShouldTimeoutReadWithTag, packet.tag,
                packet.timeout, packet.bytesDone, packet.serial,
                &AsyncTcpSocket::doReadTimeoutWithExtension);
}

void AsyncTcpSocket::doReadTimeoutWithExtension(std::uint64_t serial, double extension) {
    if (!currentRead_ || currentRead_->serial != serial) {
        return;
    }
    if (extension > 0) {
        currentRead_->timeout += extension;
        readTimer_->setTimer(dispatch::TimerSource::Seconds(extension));
        flags_ &= ~kReadsPaused;
        doReadData();
    } else {
        closeWithError(readTimeoutError());
    }
}

}  // namespace corvaline
