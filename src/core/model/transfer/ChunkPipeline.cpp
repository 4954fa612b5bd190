#include "core/model/transfer/ChunkPipeline.h"

#include <algorithm>

#include "core/codec/ProgramKey.h"
#include "core/model/transfer/SingleFile.h"

namespace corvaline {

ChunkPipeline::ChunkPipeline(AesCbcStream::Direction direction, bool encrypt,
                             AsyncTcpSocketPtr socket, std::shared_ptr<Executor> main,
                             std::function<void()> wake)
    : direction_(direction),
      encrypt_(encrypt),
      socket_(std::move(socket)),
      main_(std::move(main)),
      wake_(std::move(wake)),
      queue_(dispatch::SerialQueue::create("transfer")),
      reader_(dispatch::SerialQueue::create("transfer reads")) {}

ChunkPipeline::~ChunkPipeline() {
    stop();
}

std::size_t ChunkPipeline::wireLength(std::size_t size) const {
    return encrypt_ ? (size + kAesBlockSize - 1) / kAesBlockSize * kAesBlockSize : size;
}

void ChunkPipeline::send(std::shared_ptr<SingleFile> file, std::int64_t offset, std::size_t size,
                         double timeout, long tag) {
    reader_->async([this, file = std::move(file), offset, size, timeout, tag] {
        if (stopped_) {
            return;
        }
        auto buffer = nextBuffer(wireLength(size));
        if (!file->read(std::span(buffer->data(), size), offset)) {
            tell(std::nullopt);
            return;
        }
        post([this, buffer, timeout, tag] {
            if (!transform(*buffer)) {
                tell(std::nullopt);
                return;
            }
            socket_->writeData(std::shared_ptr<const Data>(buffer), timeout, tag);
        });
    });
}

void ChunkPipeline::receive(std::size_t size, double timeout, long tag) {
    post([this, size, timeout, tag] {
        auto buffer = nextBuffer(wireLength(size));
        reading_.emplace_back(buffer, size);
        socket_->readDataToLength(buffer->size(), timeout, buffer, 0, tag);
    });
}

void ChunkPipeline::store(std::shared_ptr<SingleFile> file) {
    post([this, file = std::move(file)] {
        if (reading_.empty()) {
            return;
        }
        const auto [buffer, size] = std::move(reading_.front());
        reading_.pop_front();
        if (!transform(*buffer) ||
            !file->write(std::span(buffer->data(), std::min(size, buffer->size())))) {
            tell(std::nullopt);
            return;
        }
        tell(size);
    });
}

std::vector<ChunkPipeline::Result> ChunkPipeline::takeResults() {
    std::lock_guard lock(resultsMutex_);
    return std::exchange(results_, {});
}

void ChunkPipeline::finish() {
    // Each queue runs in order and the reader hands a chunk on before its block ends: every
    // block before these two is over.
    reader_->sync([] {});
    queue_->sync([] {});
}

void ChunkPipeline::stop() {
    stopped_ = true;
    finish();
}

std::shared_ptr<Data> ChunkPipeline::nextBuffer(std::size_t length) {
    // Chunks complete in the order they were handed over and no more than kChunksInFlight
    // are under way, so the buffer used that many chunks ago is free again.
    if (buffers_.size() < kChunksInFlight) {
        buffers_.push_back(std::make_shared<Data>(length));
        return buffers_.back();
    }
    auto& buffer = buffers_[next_];
    next_ = (next_ + 1) % kChunksInFlight;
    buffer->resize(length);
    return buffer;
}

bool ChunkPipeline::transform(std::span<std::uint8_t> bytes) {
    if (!encrypt_) {
        return true;
    }
    if (!cipher_) {
        cipher_.emplace(direction_, kProgramKey, kZeroIv);
    }
    return cipher_->transform(bytes);
}

void ChunkPipeline::post(std::function<void()> block) {
    queue_->async([this, block = std::move(block)] {
        if (!stopped_) {
            block();
        }
    });
}

void ChunkPipeline::tell(Result result) {
    if (!result) {
        stopped_ = true;  // nothing after a failed chunk may reach the peer or the disk
    }
    bool first = false;
    {
        std::lock_guard lock(resultsMutex_);
        first = results_.empty();
        results_.push_back(result);
    }
    if (first) {
        main_->post(wake_);
    }
}

}  // namespace corvaline
