#include "platform/system/DescriptorWatch.h"

#include <unistd.h>

namespace corvaline {

std::unique_ptr<DescriptorWatch> DescriptorWatch::start(int fd, std::string label,
                                                        std::function<void(int fd)> onReadable) {
    auto queue = dispatch::SerialQueue::create(std::move(label));
    auto source =
        dispatch::ReadinessSource::create(dispatch::ReadinessSource::Kind::Read, fd, queue);
    if (!source) {
        ::close(fd);
        return nullptr;
    }
    source->setEventHandler(
        [fd, onReadable = std::move(onReadable)](std::size_t) { onReadable(fd); });
    source->setCancelHandler([fd] { ::close(fd); });
    source->resume();
    return std::make_unique<DescriptorWatch>(Private{}, std::move(queue), std::move(source));
}

DescriptorWatch::DescriptorWatch(Private, std::shared_ptr<dispatch::SerialQueue> queue,
                                 std::shared_ptr<dispatch::ReadinessSource> source)
    : queue_(std::move(queue)), source_(std::move(source)) {}

DescriptorWatch::~DescriptorWatch() {
    source_->cancel();
    // Wait for the handler in flight (it may use state its owner is about to destroy) and for
    // the close.
    queue_->sync([] {});
}

}  // namespace corvaline
