#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/crypto/Aes256Cbc.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/runloop/Executor.h"
#include "sockets/tcp/AsyncTcpSocket.h"

namespace corvaline {

class SingleFile;

// The data stream of one transfer, kept off the main thread, on serial queues of its own:
// sending, one reads each chunk from the file and hands it to the other, which encrypts it
// for the socket, so that the cipher, which bounds the stream, does nothing else; receiving,
// one decrypts and writes what the socket read. The queues own the chunk buffers and the
// cipher, whose one chain runs through every chunk and file in order; while a file's data
// moves they alone use the file's stream.
//
// Usage (main thread): make one per transfer when its data starts; for each chunk call send,
// or receive and then store once the socket has read it; chunks complete in the order they
// were handed over, at most kChunksInFlight at a time. Stored chunks and failures wait in
// takeResults; `wake` runs on the main executor when the first of them arrives. finish()
// waits for every chunk handed over, stop() (also the destructor) only for the block that
// runs; after either the main thread may touch the file's stream again.
// Every public member: main thread only.
class ChunkPipeline {
  public:
    static constexpr std::size_t kChunkSize = 786432;
    // Enough that the cipher always has a chunk to work on while the socket moves others.
    static constexpr std::size_t kChunksInFlight = 4;

    // What the queue tells the main thread: a chunk of that many file bytes is on disk
    // (receiving), or nothing when the file or the cipher failed (either direction).
    using Result = std::optional<std::size_t>;

    ChunkPipeline(AesCbcStream::Direction direction, bool encrypt, AsyncTcpSocketPtr socket,
                  std::shared_ptr<Executor> main, std::function<void()> wake);
    ~ChunkPipeline();
    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;

    // The bytes a chunk of `size` file bytes takes on the wire.
    std::size_t wireLength(std::size_t size) const;

    // Sending: reads `size` bytes of `file` from `offset`, encrypts them when asked and writes
    // them to the socket with `tag`.
    void send(std::shared_ptr<SingleFile> file, std::int64_t offset, std::size_t size,
              double timeout, long tag);
    // Receiving: asks the socket for the next chunk of `size` file bytes with `tag`.
    void receive(std::size_t size, double timeout, long tag);
    // Receiving: the socket has read the oldest chunk asked for; decrypts it when asked and
    // appends its file bytes to `file`.
    void store(std::shared_ptr<SingleFile> file);

    // The results so far, oldest first.
    std::vector<Result> takeResults();
    void finish();
    void stop();

  private:
    // The buffer for the next chunk, `length` bytes long. The queue that fills it only (the
    // reader when sending).
    std::shared_ptr<Data> nextBuffer(std::size_t length);
    bool transform(std::span<std::uint8_t> bytes);
    void post(std::function<void()> block);
    void tell(Result result);

    const AesCbcStream::Direction direction_;
    const bool encrypt_;
    const AsyncTcpSocketPtr socket_;
    const std::shared_ptr<Executor> main_;
    const std::function<void()> wake_;
    const std::shared_ptr<dispatch::SerialQueue> queue_;   // the cipher's
    const std::shared_ptr<dispatch::SerialQueue> reader_;  // the file's, when sending
    std::atomic<bool> stopped_ = false;
    std::mutex resultsMutex_;
    std::vector<Result> results_;
    // The cipher's queue only.
    std::optional<AesCbcStream> cipher_;
    // Chunks asked of the socket, oldest first, with their file bytes.
    std::deque<std::pair<std::shared_ptr<Data>, std::size_t>> reading_;
    // The queue that fills the buffers only.
    std::vector<std::shared_ptr<Data>> buffers_;
    std::size_t next_ = 0;
};

}  // namespace corvaline
