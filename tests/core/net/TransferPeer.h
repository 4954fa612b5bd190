#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corvaline::testing {

// The other end of a transfer connection as plain blocking socket calls, run on a thread of
// its own: a script of writes and reads, whose reads come back in order. Every wait gives up
// after 20 s. The codec is left to the main thread: lines are made before and read after.
class TransferPeer {
  public:
    // One step of a script: write bytes, read a line (CR LF), read so many bytes, or do
    // something to the world at that point.
    struct Step {
        enum class Kind { write, readLine, readLength, act } kind;
        std::string bytes;
        std::size_t length = 0;
        std::function<void()> action;
    };
    static Step Write(std::string bytes) { return {Step::Kind::write, std::move(bytes), 0, {}}; }
    static Step ReadLine() { return {Step::Kind::readLine, {}, 0, {}}; }
    static Step ReadLength(std::size_t length) { return {Step::Kind::readLength, {}, length, {}}; }
    static Step Act(std::function<void()> action) {
        return {Step::Kind::act, {}, 0, std::move(action)};
    }

    // A listener on the port of 127.0.0.1 (made before the other end connects), -1 when the
    // port is taken.
    static int listen(std::uint16_t port) {
        const int listener = socketWithLimit();
        const int on = 1;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const sockaddr_in address = loopback(port);
        if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener, 1) != 0) {
            ::close(listener);
            return -1;
        }
        return listener;
    }

    // Accepts one connection on the listener, runs the script and closes both.
    static std::vector<std::string> serve(int listener, const std::vector<Step>& script) {
        std::vector<std::string> reads;
        const int fd = listener < 0 ? -1 : ::accept(listener, nullptr, nullptr);
        if (fd >= 0) {
            reads = run(fd, script);
        }
        if (listener >= 0) {
            ::close(listener);
        }
        return reads;
    }

    // Runs the script on a new connection (on `fd` when one is given), and closes it.
    static std::vector<std::string> connect(std::uint16_t port, const std::vector<Step>& script,
                                            int fd = socketWithLimit()) {
        const sockaddr_in address = loopback(port);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return {};
        }
        return run(fd, script);
    }

    // A connection that sends nothing; the caller closes it. -1 when it cannot connect.
    static int connectIdle(std::uint16_t port) { return connectIdle(socketWithLimit(), port); }
    // The same on a socket made before, from `source` (a loopback address); -1 (and the socket
    // closed) when it cannot connect.
    static int connectIdle(int fd, std::uint16_t port, const char* source = "127.0.0.1") {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        ::inet_pton(AF_INET, source, &from.sin_addr);
        const sockaddr_in address = loopback(port);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    // True once the other end has closed (or reset) the connection.
    static bool closedByTheOtherEnd(int fd) {
        char byte;
        const ssize_t result = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return result == 0 || (result < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }

    // A blocking socket whose waits give up after 20 s.
    static int socketWithLimit() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const timeval limit{20, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        return fd;
    }

  private:
    static sockaddr_in loopback(std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    // Stops at the first failure (the other end closed, or a wait ran out).
    static std::vector<std::string> run(int fd, const std::vector<Step>& script) {
        std::vector<std::string> reads;
        for (const auto& step : script) {
            if (step.kind == Step::Kind::write) {
                if (::send(fd, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL) !=
                    static_cast<ssize_t>(step.bytes.size())) {
                    break;
                }
                continue;
            }
            if (step.kind == Step::Kind::act) {
                step.action();
                continue;
            }
            std::string data;
            const auto* length = step.kind == Step::Kind::readLength ? &step.length : nullptr;
            char buffer[65536];
            while (length ? data.size() < *length : !data.ends_with("\r\n")) {
                const std::size_t want =
                    length ? std::min(sizeof buffer, *length - data.size()) : 1;
                const ssize_t got = ::recv(fd, buffer, want, 0);
                if (got <= 0) {
                    break;
                }
                data.append(buffer, static_cast<std::size_t>(got));
            }
            reads.push_back(data);
            if (length ? data.size() < *length : !data.ends_with("\r\n")) {
                break;
            }
        }
        ::close(fd);
        return reads;
    }
};

}  // namespace corvaline::testing
