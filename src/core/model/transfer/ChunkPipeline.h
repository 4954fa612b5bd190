#pragma once

#include <atomic>
#include <chrono>
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
// the other takes the socket's reports for the whole of a file's data, reads its chunks,
// decrypts and writes them, so that the main thread hears only of progress and the end. The
// queues own the chunk buffers and the cipher, whose one chain runs through every chunk and
// file in order; while a file's data moves they alone use the file's stream.
//
// Usage (main thread): make one per transfer when its data starts; sending, call send for
// each chunk: chunks complete in the order they were handed over, at most kChunksInFlight at
// a time; receiving, call receiveFile for each file. Stored chunks and failures wait in
// takeResults, bytes read of chunks under way in takeBytesMoved; `wake` runs on the main
// executor when something arrives there. finish() waits for every chunk handed over, stop()
// (also the destructor) only for the block that runs and gives the socket back; after either
// the main thread may touch the file's stream again.
// Every public member: main thread only.
class ChunkPipeline {
  public:
    static constexpr std::size_t kChunkSize = 786432;
    // Enough that the cipher always has a chunk to work on while the socket moves others.
    static constexpr std::size_t kChunksInFlight = 4;

    // What the queue tells the main thread: a chunk of that many file bytes is on disk
    // (receiving), or nothing when the file or the cipher failed (either direction).
    using Result = std::optional<std::size_t>;

    // `owner`: the socket's delegate on the main executor, the transfer.
    ChunkPipeline(AesCbcStream::Direction direction, bool encrypt, AsyncTcpSocketPtr socket,
                  std::shared_ptr<Executor> main, std::weak_ptr<AsyncTcpSocketDelegate> owner,
                  std::function<void()> wake);
    ~ChunkPipeline();
    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;

    // The bytes a chunk of `size` file bytes takes on the wire.
    std::size_t wireLength(std::size_t size) const;

    // Sending: reads `size` bytes of `file` from `offset`, encrypts them when asked and writes
    // them to the socket with `tag`.
    void send(std::shared_ptr<SingleFile> file, std::int64_t offset, std::size_t size,
              double timeout, long tag);
    // Receiving: reads the `size` bytes of `file` in chunks with `tag`, decrypts them when
    // asked and appends them to it. Meanwhile the socket reports to this pipeline's queue; its
    // close still reaches the owner. The socket is the owner's again, on the main executor,
    // before the last chunk is told: the next read the owner asks for reports to it. A chunk
    // read may stand still for `stall` seconds, and again for as long while bytes still move.
    void receiveFile(std::shared_ptr<SingleFile> file, std::int64_t size, double stall, long tag);

    // The results so far, oldest first.
    std::vector<Result> takeResults();
    // Receiving: bytes the socket read since the last call, padding included.
    std::size_t takeBytesMoved();
    void finish();
    void stop();

  private:
    class SocketReports;

    // The buffer for the next chunk, `length` bytes long. The queue that fills it only (the
    // reader when sending).
    std::shared_ptr<Data> nextBuffer(std::size_t length);
    bool transform(std::span<std::uint8_t> bytes);
    void post(std::function<void()> block);
    void tell(Result result);
    void wakeMain();
    // Receiving, on the cipher's queue: the socket's reports of the file's data.
    void readChunks();
    void chunkRead();
    void bytesRead(std::size_t length);
    double extendWhileBytesMove();
    // The socket back to the owner of the transfer, unless it has gone to someone else.
    void giveSocketBack();

    const AesCbcStream::Direction direction_;
    const bool encrypt_;
    const AsyncTcpSocketPtr socket_;
    const std::shared_ptr<Executor> main_;
    const std::weak_ptr<AsyncTcpSocketDelegate> owner_;
    const std::function<void()> wake_;
    const std::shared_ptr<dispatch::SerialQueue> queue_;   // the cipher's
    const std::shared_ptr<dispatch::SerialQueue> reader_;  // the file's, when sending
    std::atomic<bool> stopped_ = false;
    std::atomic<bool> wakePosted_ = false;
    std::mutex resultsMutex_;
    std::vector<Result> results_;
    std::atomic<std::size_t> bytesMoved_ = 0;
    // The cipher's queue only.
    std::optional<AesCbcStream> cipher_;
    // Chunks asked of the socket, oldest first, with their file bytes.
    std::deque<std::pair<std::shared_ptr<Data>, std::size_t>> reading_;
    // The file being received, what is left to ask for and to store of it, and the stall
    // check's state (set by receiveFile before the socket reports here).
    std::shared_ptr<SingleFile> file_;
    std::int64_t toRead_ = 0;
    std::int64_t toStore_ = 0;
    double stall_ = 0;
    long tag_ = 0;
    std::uint64_t bytesReadInFile_ = 0;
    std::uint64_t bytesAtStallCheck_ = 0;
    std::chrono::steady_clock::time_point lastProgress_;
    // The queue that fills the buffers only.
    std::vector<std::shared_ptr<Data>> buffers_;
    std::size_t next_ = 0;
    // The socket's delegate while a file's data moves; reports to `owner_` what is not ours.
    const std::shared_ptr<SocketReports> reports_;
};

}  // namespace corvaline
