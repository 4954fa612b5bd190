#include "sockets/udp/ReceiveBacklog.h"

namespace corvaline {

std::shared_ptr<void> ReceiveBacklog::hold(std::size_t bytes, std::function<void()> resume) {
    ++datagrams_;
    bytes_ += bytes;
    return std::shared_ptr<void>(
        nullptr, [self = shared_from_this(), bytes, resume = std::move(resume)](void*) {
            --self->datagrams_;
            self->bytes_ -= bytes;
            if (self->hasRoom() && self->paused_.exchange(false)) {
                resume();
            }
        });
}

bool ReceiveBacklog::pauseIfFull() {
    if (!isFull()) {
        return false;
    }
    paused_ = true;
    // The last hold may have gone between the look and the mark: then nobody would resume.
    return hasRoom() ? !paused_.exchange(false) : true;
}

}  // namespace corvaline
