// The readiness sources of a connected descriptor.

#include <cerrno>

#include "sockets/tcp/AsyncTcpSocket.h"

namespace corvaline {

int AsyncTcpSocket::connectedFD() const {
    return socket4FD_ != -1 ? socket4FD_ : socket6FD_ != -1 ? socket6FD_ : socketUN_;
}

void AsyncTcpSocket::setupReadAndWriteSourcesForNewlyConnectedSocket(int fd) {
    using Source = dispatch::ReadinessSource;
    readSource_ =
        Source::create(Source::Kind::Read, fd, socketQueue_, Source::Descriptor::ConnectedStream);
    writeSource_ = Source::create(Source::Kind::Write, fd, socketQueue_);
    if (!readSource_ || !writeSource_) {
        Error error = errorWithErrno(errno, "Error watching the socket (epoll_ctl)");
        readSource_.reset();
        writeSource_.reset();
        closeWithError(std::move(error));
        return;
    }
    readSource_->setEventHandler([weak = weak_from_this()](std::size_t available) {
        if (auto self = weak.lock()) {
            self->readSourceFired(available);
        }
    });
    writeSource_->setEventHandler([weak = weak_from_this()](std::size_t) {
        if (auto self = weak.lock()) {
            self->flags_ |= kSocketCanAcceptBytes;
            self->doWriteData();
        }
    });
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

void AsyncTcpSocket::readSourceFired(std::size_t available) {
    // The source reports no bytes only once the stream has ended (or failed): nothing can
    // arrive after that, so there is nothing to peek for.
    socketFDBytesAvailable_ = available;
    if (available > 0) {
        doReadData();
    } else {
        doReadEOF();  // end of stream, or a reset that reads as one
    }
}

}  // namespace corvaline
