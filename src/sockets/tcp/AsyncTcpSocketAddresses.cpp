// Class operations: name resolution and socket-address conversion.
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>

#include "sockets/SocketAddress.h"
#include "sockets/tcp/AsyncTcpSocket.h"
#include "sockets/tcp/TcpInternal.h"

namespace corvaline {
namespace {

using detail::bytesOf;

// The family field at the start of every socket address; 0 when the buffer is too short.
sa_family_t familyOf(const Data& address) {
    sa_family_t family = 0;
    if (address.size() >= sizeof(sockaddr_in)) {
        std::memcpy(&family, address.data(), sizeof family);
    }
    return family;
}

}  // namespace

std::vector<Data> AsyncTcpSocket::lookupHost(const std::string& host, std::uint16_t port,
                                             std::optional<Error>* error) {
    std::vector<Data> addresses;
    std::optional<Error> failure;
    if (host == "localhost" || host == "loopback") {
        sockaddr_in address4{};
        address4.sin_family = AF_INET;
        address4.sin_port = htons(port);
        address4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sockaddr_in6 address6{};
        address6.sin6_family = AF_INET6;
        address6.sin6_port = htons(port);
        address6.sin6_addr = in6addr_loopback;
        addresses = {bytesOf(address4), bytesOf(address6)};
    } else {
        char service[8];
        std::snprintf(service, sizeof service, "%hu", port);
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* results = nullptr;
        int status = ::getaddrinfo(host.c_str(), service, &hints, &results);
        if (status != 0) {
            failure = gaiError(status);
        } else {
            for (addrinfo* result = results; result; result = result->ai_next) {
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(result->ai_addr);
                if (result->ai_family == AF_INET) {
                    addresses.emplace_back(bytes, bytes + result->ai_addrlen);
                } else if (result->ai_family == AF_INET6) {
                    sockaddr_in6 address6{};
                    std::memcpy(&address6, result->ai_addr, sizeof address6);
                    if (address6.sin6_port == 0) {
                        address6.sin6_port = htons(port);
                    }
                    addresses.push_back(bytesOf(address6));
                }
            }
            ::freeaddrinfo(results);
            if (addresses.empty()) {
                failure = gaiError(EAI_FAIL);
            }
        }
    }
    if (error) {
        *error = failure;
    }
    return addresses;
}

std::string AsyncTcpSocket::hostFromSockaddr4(const sockaddr_in& address) {
    return corvaline::hostFromSockaddr4(address);
}

std::string AsyncTcpSocket::hostFromSockaddr6(const sockaddr_in6& address) {
    return corvaline::hostFromSockaddr6(address);
}

std::uint16_t AsyncTcpSocket::portFromSockaddr4(const sockaddr_in& address) {
    return corvaline::portFromSockaddr4(address);
}

std::uint16_t AsyncTcpSocket::portFromSockaddr6(const sockaddr_in6& address) {
    return corvaline::portFromSockaddr6(address);
}

AsyncTcpSocket::Path AsyncTcpSocket::urlFromSockaddrUN(const sockaddr_un& address) {
    return std::string(address.sun_path, ::strnlen(address.sun_path, sizeof address.sun_path));
}

// Decoding needs the whole structure of the family, while isIPv6Address looks at the family
// field only.
bool AsyncTcpSocket::getHost(std::string* host, std::uint16_t* port, int* family,
                             const Data& address) {
    return corvaline::getHost(host, port, family, address);
}

bool AsyncTcpSocket::getHost(std::string* host, std::uint16_t* port, const Data& address) {
    return getHost(host, port, nullptr, address);
}

std::optional<std::string> AsyncTcpSocket::hostFromAddress(const Data& address) {
    std::string host;
    if (!getHost(&host, nullptr, address)) {
        return std::nullopt;
    }
    return host;
}

std::uint16_t AsyncTcpSocket::portFromAddress(const Data& address) {
    std::uint16_t port = 0;
    getHost(nullptr, &port, address);
    return port;
}

bool AsyncTcpSocket::isIPv4Address(const Data& address) {
    return familyOf(address) == AF_INET;
}

bool AsyncTcpSocket::isIPv6Address(const Data& address) {
    return familyOf(address) == AF_INET6;
}

Data AsyncTcpSocket::CRLFData() {
    return {0x0D, 0x0A};
}

Data AsyncTcpSocket::CRData() {
    return {0x0D};
}

Data AsyncTcpSocket::LFData() {
    return {0x0A};
}

Data AsyncTcpSocket::ZeroData() {
    return {0x00};
}

}  // namespace corvaline
