// Throughput of exact-length reads of file-transfer chunks through the socket, beside a plain
// blocking recv loop on the same loopback connection.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <thread>

#include "platform/runloop/MainLoop.h"
#include "sockets/tcp/AsyncTcpSocket.h"

namespace corvaline {
namespace {

constexpr std::size_t kChunk = 786432;

// A loopback connection whose far end writes without pause until the near end goes away.
// Used on the benchmark thread; the writer has a thread of its own.
class Stream {
  public:
    Stream() {
        int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener, 1);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        reader_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(reader_, reinterpret_cast<sockaddr*>(&address), length);
        int writer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ::close(listener);
        writer_ = std::thread([writer] {
            std::vector<char> block(kChunk, 'x');
            while (::send(writer, block.data(), block.size(), MSG_NOSIGNAL) > 0) {
            }
            ::close(writer);
        });
    }
    ~Stream() {
        ::shutdown(reader_, SHUT_RDWR);  // the writer's send fails and it stops
        writer_.join();
        if (!adopted_) {
            ::close(reader_);
        }
    }
    int reader() const { return reader_; }
    // From now on the descriptor belongs to a socket.
    int adopt() {
        adopted_ = true;
        return reader_;
    }

  private:
    int reader_ = -1;
    bool adopted_ = false;
    std::thread writer_;
};

Stream& stream() {
    static Stream shared;
    return shared;
}

void BM_BlockingRecv(benchmark::State& state) {
    std::vector<char> buffer(kChunk);
    for (auto _ : state) {
        std::size_t got = 0;
        while (got < kChunk) {
            ssize_t n = ::recv(stream().reader(), buffer.data() + got, kChunk - got, 0);
            if (n <= 0) {
                state.SkipWithError("recv failed");
                return;
            }
            got += static_cast<std::size_t>(n);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kChunk));
}

// Counts completed reads. Called on the main loop, which the benchmark thread runs.
class Reader : public AsyncTcpSocketDelegate {
  public:
    Reader() : AsyncTcpSocketDelegate({Callback::DidReadData, Callback::DidDisconnect}) {}
    void socketDidReadData(const AsyncTcpSocketPtr&, const DataSlice&, long) override {
        ++completed;
    }
    void socketDidDisconnect(const AsyncTcpSocketPtr&, const std::optional<Error>&) override {
        closed = true;
    }
    long completed = 0;
    bool closed = false;
};

// The socket side, made once: the benchmark function runs several times. Benchmark thread.
struct SocketSide {
    std::shared_ptr<MainLoop> loop = std::make_shared<MainLoop>();
    std::shared_ptr<Reader> reader = std::make_shared<Reader>();
    AsyncTcpSocketPtr socket =
        AsyncTcpSocket::socketFromConnectedSocketFD(stream().adopt(), reader, loop);
    std::shared_ptr<Data> buffer = std::make_shared<Data>(kChunk);
};

void BM_AsyncTcpSocketExactReads(benchmark::State& state) {
    static SocketSide side;
    if (!side.socket) {
        state.SkipWithError("the connection could not be adopted");
        return;
    }
    for (auto _ : state) {
        long target = side.reader->completed + 1;
        side.socket->readDataToLength(kChunk, -1, side.buffer, 0, 2);
        if (!side.loop->runUntil(
                [&] { return side.reader->completed == target || side.reader->closed; },
                std::chrono::seconds(10)) ||
            side.reader->closed) {
            state.SkipWithError("read did not complete");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kChunk));
}

// The blocking loop runs first: the socket takes the descriptor over for good.
BENCHMARK(BM_BlockingRecv)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_AsyncTcpSocketExactReads)->MinTime(1.0)->UseRealTime();

// Prints each run as usual, then the socket's throughput as a share of the blocking loop's.
// Called on the benchmark thread.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end()) {
                rates_[run.benchmark_name()] = rate->second.value;
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        double plain = 0, socket = 0;
        for (const auto& [name, rate] : rates_) {
            (name.find("BlockingRecv") != std::string::npos ? plain : socket) = rate;
        }
        if (plain > 0 && socket > 0) {
            std::printf("blocking recv %.1f MB/s, socket exact reads %.1f MB/s, ratio %.2f\n",
                        plain / 1e6, socket / 1e6, socket / plain);
        }
    }

  private:
    std::map<std::string, double> rates_;
};

}  // namespace
}  // namespace corvaline

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    corvaline::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
