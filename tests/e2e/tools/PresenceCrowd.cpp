// corvaline-presence-crowd: many users behind one address, for the scale benchmark.
//
//   corvaline-presence-crowd COUNT BROADCAST-ADDRESS SECONDS
//
// Announces COUNT users with "UI" to the broadcast address all at once, as copies do when a
// network comes up; then answers every "RL" and "UI" of another copy with an "AL" for each
// user, and every "TRI" with the "TSI" of the user asked for. Prints "ready" before the burst,
// "announced N" after it and, when its input closes or SECONDS have passed, what it answered.
// One thread for datagrams, one for connections; each owns its codec.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "core/codec/PacketCodec.h"
#include "core/codec/UserInfoRecord.h"

namespace {

using namespace corvaline;

constexpr std::uint16_t kPort = 19771;
constexpr int kPollMilliseconds = 200;
constexpr char kIdPrefix[] = "B5";
constexpr char kPc[] = "crowd";

// The code page stays Windows-1252. Used by the thread that owns its codec.
class FixedEncoding final : public EncodingSetting {
  public:
    long long read() const override { return PacketTextEncoding::kWindows1252; }
    void write(long long) override {}
};

// Closes the descriptor it owns. One owner thread.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

std::string userId(int index) {
    char id[16];
    std::snprintf(id, sizeof id, "%s%08d", kIdPrefix, index);
    return id;
}

bool isOurs(std::string_view id) {
    return id.starts_with(kIdPrefix);
}

sockaddr_in addressOf(const char* host) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kPort);
    ::inet_pton(AF_INET, host, &address.sin_addr);
    return address;
}

int boundSocket(int type) {
    const int fd = ::socket(AF_INET, type, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(kPort);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        std::perror("bind");
        std::exit(1);
    }
    return fd;
}

bool readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, kPollMilliseconds) > 0;
}

Packet announcement(const std::string& type, int index, const std::string& toIp,
                    const std::string& toUserId) {
    return Packet{type,
                  "0",
                  kPc,
                  userId(index),
                  toIp,
                  toUserId,
                  "*",
                  "Crowd " + userId(index),
                  std::to_string(1000 + index)};
}

void sendPacket(int fd, PacketCodec& codec, const Packet& packet, const sockaddr_in& to) {
    if (const auto bytes = codec.PlainPacket(packet)) {
        ::sendto(fd, bytes->data(), bytes->size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    }
}

// What the crowd answered; any thread.
struct Counts {
    std::atomic<long> alSent{0};
    std::atomic<long> tsiSent{0};
    std::atomic<long> connections{0};
};

void serveDatagrams(int fd, int count, const std::atomic<bool>& stop, Counts& counts) {
    PacketCodec codec(std::make_unique<FixedEncoding>());
    std::uint8_t buffer[65536];
    while (!stop) {
        if (!readable(fd)) {
            continue;
        }
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t size =
            ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (size <= 0) {
            continue;
        }
        const auto packet =
            codec.ArrayFromBase64AESdata(ByteView(buffer, static_cast<std::size_t>(size)));
        if (!packet || isOurs(packet->text(3)) ||
            (packet->text(0) != "RL" && packet->text(0) != "UI")) {
            continue;
        }
        char ip[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip);
        from.sin_port = htons(kPort);
        for (int i = 0; i < count; ++i) {
            sendPacket(fd, codec, announcement("AL", i, ip, std::string(packet->text(3))), from);
        }
        counts.alSent += count;
    }
}

// The request line up to CR LF; empty when it does not come in time.
Bytes readLine(int fd) {
    Bytes line;
    std::uint8_t chunk[4096];
    while (line.size() < 2 || line[line.size() - 2] != '\r' || line.back() != '\n') {
        if (!readable(fd)) {
            return {};
        }
        const ssize_t size = ::recv(fd, chunk, sizeof chunk, 0);
        if (size <= 0) {
            return {};
        }
        line.insert(line.end(), chunk, chunk + static_cast<std::size_t>(size));
    }
    return line;
}

void answerRequest(int fd, PacketCodec& codec, Counts& counts) {
    const auto request = codec.ArrayFromBase64AESdata(readLine(fd));
    if (!request || request->text(0) != "TRI" || !isOurs(request->text(5))) {
        return;
    }
    UserInfo info;
    info.pc = kPc;
    info.logonUser = "crowd";
    info.version = "1";
    info.status = "0";
    info.oSversion = "Linux";
    const Packet reply{"TSI",
                       "*",
                       kPc,
                       std::string(request->text(5)),
                       "*",
                       std::string(request->text(3)),
                       UserInfoPacketFromUser(info),
                       "*"};
    if (auto bytes = codec.PlainPacket(reply)) {
        bytes->push_back('\r');
        bytes->push_back('\n');
        ::send(fd, bytes->data(), bytes->size(), MSG_NOSIGNAL);
        ++counts.tsiSent;
    }
}

void serveConnections(int listener, const std::atomic<bool>& stop, Counts& counts) {
    PacketCodec codec(std::make_unique<FixedEncoding>());
    while (!stop) {
        if (!readable(listener)) {
            continue;
        }
        const Descriptor connection(::accept(listener, nullptr, nullptr));
        if (connection.get() < 0) {
            continue;
        }
        ++counts.connections;
        answerRequest(connection.get(), codec, counts);
    }
}

void waitForEndOfInput(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[256];
    while (std::chrono::steady_clock::now() < deadline) {
        if (readable(STDIN_FILENO) && ::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            return;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: corvaline-presence-crowd COUNT BROADCAST-ADDRESS SECONDS\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    const sockaddr_in broadcast = addressOf(argv[2]);
    const Descriptor datagrams(boundSocket(SOCK_DGRAM));
    const Descriptor listener(boundSocket(SOCK_STREAM));
    if (::listen(listener.get(), SOMAXCONN) != 0) {
        std::perror("listen");
        return 1;
    }
    std::atomic<bool> stop{false};
    Counts counts;
    std::thread connections(serveConnections, listener.get(), std::cref(stop), std::ref(counts));
    std::printf("ready\n");
    std::fflush(stdout);
    {
        PacketCodec codec(std::make_unique<FixedEncoding>());
        for (int i = 0; i < count; ++i) {
            sendPacket(datagrams.get(), codec, announcement("UI", i, "*", "*"), broadcast);
        }
    }
    std::printf("announced %d\n", count);
    std::fflush(stdout);
    std::thread datagramsThread(serveDatagrams, datagrams.get(), count, std::cref(stop),
                                std::ref(counts));
    waitForEndOfInput(std::chrono::seconds(std::atoi(argv[3])));
    stop = true;
    datagramsThread.join();
    connections.join();
    std::printf("answered connections %ld, TSI %ld, AL %ld\n", counts.connections.load(),
                counts.tsiSent.load(), counts.alSent.load());
    return 0;
}
