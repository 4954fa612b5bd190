// The readiness sources of a connected descriptor.
#include <unistd.h>

#include <cerrno>

#include "sockets/tcp/AsyncTcpSocket.h"

namespace corvaline {

int AsyncTcpSocket::connectedFD() const {
    return socket4FD_ != -1 ? socket4FD_ : socket6FD_ != -1 ? socket6FD_ : socketUN_;
}

void AsyncTcpSocket::setupReadAndWriteSourcesForNewlyConnectedSocket(int fd) {
    using Kind = dispatch::ReadinessSource::Kind;
    readSource_ = dispatch::ReadinessSource::create(Kind::Read, fd, socketQueue_);
    writeSource_ = dispatch::ReadinessSource::create(Kind::Write, fd, socketQueue_);
    if (!readSource_ || !writeSource_) {
        Error error = errorWithErrno(errno, "Error in dup() function");
        readSource_.reset();
        writeSource_.reset();
        closeWithError(std::move(error));
        return;
    }
    readSource_->setEventHandler([weak = weak_from_this()](std::size_t available) {
        if (auto self = weak.lock()) {
            self->socketFDBytesAvailable_ = available;
            self->doReadData();
        }
    });
    writeSource_->setEventHandler([weak = weak_from_this()](std::size_t) {
        if (auto self = weak.lock()) {
            self->flags_ |= kSocketCanAcceptBytes;
            self->doWriteData();
        }
    });
    // The descriptor closes once both sources are cancelled.
    auto sourcesLeft = std::make_shared<int>(2);
    auto closeWhenLast = [fd, sourcesLeft] {
        if (--*sourcesLeft == 0) {
            ::close(fd);
        }
    };
    readSource_->setCancelHandler(closeWhenLast);
    writeSource_->setCancelHandler(closeWhenLast);

    socketFDBytesAvailable_ = 0;
    flags_ &= ~kReadSourceSuspended;
    readSource_->resume();
    flags_ |= kWriteSourceSuspended | kSocketCanAcceptBytes;
}

void AsyncTcpSocket::suspendReadSource() {
    if (readSource_ && !(flags_ & kReadSourceSuspended)) {
        readSource_->suspend();
        flags_ |= kReadSourceSuspended;
    }
}

void AsyncTcpSocket::resumeReadSource() {
    if (readSource_ && (flags_ & kReadSourceSuspended)) {
        readSource_->resume();
        flags_ &= ~kReadSourceSuspended;
    }
}

void AsyncTcpSocket::suspendWriteSource() {
    if (writeSource_ && !(flags_ & kWriteSourceSuspended)) {
        writeSource_->suspend();
        flags_ |= kWriteSourceSuspended;
    }
}

void AsyncTcpSocket::resumeWriteSource() {
    if (writeSource_ && (flags_ & kWriteSourceSuspended)) {
        writeSource_->resume();
        flags_ &= ~kWriteSourceSuspended;
    }
}

void AsyncTcpSocket::maybeDequeueRead() {}

void AsyncTcpSocket::doReadData() {
    suspendReadSource();  // nothing reads yet: keep an idle readable socket quiet
}

}  // namespace corvaline
