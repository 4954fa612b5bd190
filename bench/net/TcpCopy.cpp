// A plain TCP file copy, the baseline of the transfer benchmark: read and write in 786432-byte
// pieces, no cipher, no protocol.
//
//   tcp_copy_bench receive PORT FILE     (prints "ready", then the byte count at the end)
//   tcp_copy_bench send HOST PORT FILE
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kPiece = 786432;

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done <= 0) {
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

// Copies `from` to `to` until the end; the byte count, or -1 on a failure.
long long pump(int from, int to) {
    std::vector<char> buffer(kPiece);
    long long total = 0;
    while (true) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got == 0) {
            return total;
        }
        if (got < 0 || !writeAll(to, buffer.data(), static_cast<std::size_t>(got))) {
            return -1;
        }
        total += got;
    }
}

sockaddr_in address(const char* host, const char* port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(static_cast<std::uint16_t>(std::atoi(port)));
    ::inet_pton(AF_INET, host, &result.sin_addr);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "receive" && argc == 4) {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const sockaddr_in any = address("0.0.0.0", argv[2]);
        if (::bind(listener, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0 ||
            ::listen(listener, 1) != 0) {
            std::perror("listen");
            return 1;
        }
        std::printf("ready\n");
        std::fflush(stdout);
        const int connection = ::accept(listener, nullptr, nullptr);
        const int file = ::open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::printf("%lld\n", pump(connection, file));
        ::close(file);
        return 0;
    }
    if (mode == "send" && argc == 5) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in peer = address(argv[2], argv[3]);
        const int file = ::open(argv[4], O_RDONLY);
        if (file < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
            std::perror("send");
            return 1;
        }
        return pump(file, fd) < 0 ? 1 : 0;
    }
    std::fprintf(stderr, "usage: tcp_copy_bench receive PORT FILE | send HOST PORT FILE\n");
    return 2;
}
