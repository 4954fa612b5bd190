#include "core/model/transfer/ChunkPipeline.h"

#include <algorithm>

#include "core/codec/ProgramKey.h"
#include "core/model/transfer/SingleFile.h"

namespace corvaline {

namespace {

// How often bytes that moved within chunks are worth a turn of the main thread.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

}  // namespace

// The socket's delegate while a file's data moves. Its pipeline's queue only.
class ChunkPipeline::SocketReports : public AsyncTcpSocketDelegate {
  public:
    SocketReports(ChunkPipeline& pipeline, std::shared_ptr<Executor> main)
        : AsyncTcpSocketDelegate({Callback::DidReadData, Callback::DidReadPartialData,
                                  Callback::ShouldTimeoutRead, Callback::DidDisconnect}),
          pipeline_(pipeline),
          main_(std::move(main)) {}

    void socketDidReadData(const AsyncTcpSocketPtr&, const DataSlice&, long tag) override {
        if (tag == pipeline_.tag_) {
            pipeline_.chunkRead();
        }
    }
    void socketDidReadPartialDataOfLength(const AsyncTcpSocketPtr&, std::size_t length,
                                          long tag) override {
        if (tag == pipeline_.tag_) {
            pipeline_.bytesRead(length);
        }
    }
    double socketShouldTimeoutReadWithTag(const AsyncTcpSocketPtr&, long tag, double,
                                          std::uint64_t) override {
        return tag == pipeline_.tag_ ? pipeline_.extendWhileBytesMove() : 0;
    }
    // The close ends the transfer, which is the owner's to decide; the owner is told on its
    // own queue, after what this queue told it before.
    void socketDidDisconnect(const AsyncTcpSocketPtr& socket,
                             const std::optional<Error>& error) override {
        main_->post([owner = pipeline_.owner_, socket, error] {
            if (auto alive = owner.lock()) {
                alive->socketDidDisconnect(socket, error);
            }
        });
    }

  private:
    // Reports reach this object only while the pipeline holds the socket: the pipeline
    // takes it back before it goes, and waits for the reports already on its queue.
    ChunkPipeline& pipeline_;
    const std::shared_ptr<Executor> main_;
};

ChunkPipeline::ChunkPipeline(AesCbcStream::Direction direction, bool encrypt,
                             AsyncTcpSocketPtr socket, std::shared_ptr<Executor> main,
                             std::weak_ptr<AsyncTcpSocketDelegate> owner,
                             std::function<void()> wake)
    : direction_(direction),
      encrypt_(encrypt),
      socket_(std::move(socket)),
      main_(std::move(main)),
      owner_(std::move(owner)),
      wake_(std::move(wake)),
      queue_(dispatch::SerialQueue::create("transfer")),
      reader_(dispatch::SerialQueue::create("transfer reads")),
      reports_(std::make_shared<SocketReports>(*this, main_)) {}

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

void ChunkPipeline::receiveFile(std::shared_ptr<SingleFile> file, std::int64_t size, double stall,
                                long tag) {
    // At once, so that whatever the socket reports from now on comes here. Nothing of the
    // file does before the first read is asked for on the queue.
    socket_->synchronouslySetDelegate(std::weak_ptr<AsyncTcpSocketDelegate>(reports_), queue_);
    post([this, file = std::move(file), size, stall, tag] {
        file_ = file;
        toRead_ = size;
        toStore_ = size;
        stall_ = stall;
        tag_ = tag;
        bytesReadInFile_ = 0;
        bytesAtStallCheck_ = 0;
        readChunks();
    });
}

void ChunkPipeline::readChunks() {
    while (reading_.size() < kChunksInFlight && toRead_ > 0) {
        const auto size = static_cast<std::size_t>(std::min<std::int64_t>(toRead_, kChunkSize));
        toRead_ -= static_cast<std::int64_t>(size);
        auto buffer = nextBuffer(wireLength(size));
        reading_.emplace_back(buffer, size);
        socket_->readDataToLength(buffer->size(), stall_, buffer, 0, tag_);
    }
}

void ChunkPipeline::chunkRead() {
    if (stopped_ || reading_.empty()) {
        return;
    }
    const auto [buffer, size] = std::move(reading_.front());
    reading_.pop_front();
    if (!transform(*buffer) ||
        !file_->write(std::span(buffer->data(), std::min(size, buffer->size())))) {
        tell(std::nullopt);
        return;
    }
    toStore_ -= static_cast<std::int64_t>(size);
    if (toStore_ > 0) {
        readChunks();
    } else {
        file_.reset();
        giveSocketBack();
    }
    tell(size);
}

void ChunkPipeline::bytesRead(std::size_t length) {
    bytesReadInFile_ += length;
    bytesMoved_ += length;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastProgress_ >= kProgressInterval) {
        lastProgress_ = now;
        wakeMain();
    }
}

double ChunkPipeline::extendWhileBytesMove() {
    // The socket's time-out covers a whole chunk; what counts is whether bytes still move.
    if (bytesReadInFile_ == bytesAtStallCheck_) {
        return 0;
    }
    bytesAtStallCheck_ = bytesReadInFile_;
    return stall_;
}

void ChunkPipeline::giveSocketBack() {
    std::shared_ptr<AsyncTcpSocketDelegate> delegate;
    socket_->getDelegate(&delegate, nullptr);
    if (delegate == reports_) {
        socket_->synchronouslySetDelegate(owner_, main_);
    }
}

std::vector<ChunkPipeline::Result> ChunkPipeline::takeResults() {
    wakePosted_ = false;  // what comes after the take wakes the main thread again
    std::lock_guard lock(resultsMutex_);
    return std::exchange(results_, {});
}

std::size_t ChunkPipeline::takeBytesMoved() {
    return bytesMoved_.exchange(0);
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
    // Nothing on the queue hands the socket on any more; reports that came meanwhile are
    // drained with the second wait, and none come after it.
    giveSocketBack();
    queue_->sync([] {});
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
    {
        std::lock_guard lock(resultsMutex_);
        results_.push_back(result);
    }
    wakeMain();
}

void ChunkPipeline::wakeMain() {
    if (!wakePosted_.exchange(true)) {
        main_->post(wake_);
    }
}

}  // namespace corvaline
