#include "sockets/SocketAddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace corvaline {
namespace {

template <class Address>
Data bytesOf(const Address& address) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    return Data(bytes, bytes + sizeof address);
}

template <class Address>
Address structOf(const Data& address) {
    Address result{};
    std::memcpy(&result, address.data(), std::min(sizeof result, address.size()));
    return result;
}

using InterfaceList = std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)>;

InterfaceList readInterfaces() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        list = nullptr;
    }
    return InterfaceList(list, &::freeifaddrs);
}

std::optional<Data> socketAddress(int fd, int family, bool peer) {
    sockaddr_in6 storage{};  // large enough for either family
    socklen_t length = 0;
    if (family == AF_INET) {
        length = sizeof(sockaddr_in);
    } else if (family == AF_INET6) {
        length = sizeof(sockaddr_in6);
    } else {
        return std::nullopt;
    }
    auto* raw = reinterpret_cast<sockaddr*>(&storage);
    int result = peer ? ::getpeername(fd, raw, &length) : ::getsockname(fd, raw, &length);
    if (result != 0) {
        return std::nullopt;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&storage);
    return Data(bytes, bytes + std::min<std::size_t>(length, sizeof storage));
}

}  // namespace

Data addressData(const sockaddr_in& address) {
    return bytesOf(address);
}

Data addressData(const sockaddr_in6& address) {
    return bytesOf(address);
}

sockaddr_in sockaddr4Of(const Data& address) {
    return structOf<sockaddr_in>(address);
}

sockaddr_in6 sockaddr6Of(const Data& address) {
    return structOf<sockaddr_in6>(address);
}

int addressFamily(const Data& address) {
    if (address.size() < sizeof(sockaddr_in)) {
        return 0;
    }
    sa_family_t family = 0;
    std::memcpy(&family, address.data(), sizeof family);
    if (family == AF_INET) {
        return AF_INET;
    }
    if (family == AF_INET6 && address.size() >= sizeof(sockaddr_in6)) {
        return AF_INET6;
    }
    return 0;
}

std::string hostFromSockaddr4(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text)) {
        return {};
    }
    return text;
}

std::string hostFromSockaddr6(const sockaddr_in6& address) {
    char text[INET6_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET6, &address.sin6_addr, text, sizeof text)) {
        return {};
    }
    return text;
}

std::uint16_t portFromSockaddr4(const sockaddr_in& address) {
    return ntohs(address.sin_port);
}

std::uint16_t portFromSockaddr6(const sockaddr_in6& address) {
    return ntohs(address.sin6_port);
}

bool getHost(std::string* host, std::uint16_t* port, int* family, const Data& address) {
    int kind = addressFamily(address);
    if (kind == AF_INET) {
        auto address4 = sockaddr4Of(address);
        if (host) {
            *host = hostFromSockaddr4(address4);
        }
        if (port) {
            *port = portFromSockaddr4(address4);
        }
    } else if (kind == AF_INET6) {
        auto address6 = sockaddr6Of(address);
        if (host) {
            *host = hostFromSockaddr6(address6);
        }
        if (port) {
            *port = portFromSockaddr6(address6);
        }
    } else {
        return false;
    }
    if (family) {
        *family = kind;
    }
    return true;
}

std::vector<Data> lookupHost(const std::string& host, std::uint16_t port, int socketType,
                             std::optional<Error>* error) {
    *error = std::nullopt;
    if (host == "localhost" || host == "loopback") {
        sockaddr_in address4{};
        address4.sin_family = AF_INET;
        address4.sin_port = htons(port);
        address4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sockaddr_in6 address6{};
        address6.sin6_family = AF_INET6;
        address6.sin6_port = htons(port);
        address6.sin6_addr = in6addr_loopback;
        return {bytesOf(address4), bytesOf(address6)};
    }
    char service[8];
    std::snprintf(service, sizeof service, "%hu", port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = socketType;
    hints.ai_protocol = socketType == SOCK_DGRAM ? IPPROTO_UDP : IPPROTO_TCP;
    addrinfo* results = nullptr;
    int status = ::getaddrinfo(host.c_str(), service, &hints, &results);
    if (status != 0) {
        *error = resolverError(status);
        return {};
    }
    std::vector<Data> addresses;
    for (addrinfo* result = results; result; result = result->ai_next) {
        if (result->ai_family == AF_INET) {
            addresses.push_back(bytesOf(*reinterpret_cast<const sockaddr_in*>(result->ai_addr)));
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
        *error = resolverError(EAI_FAIL);
    }
    return addresses;
}

void interfaceAddresses(const std::optional<std::string>& description, std::uint16_t port,
                        std::optional<Data>* address4, std::optional<Data>* address6) {
    *address4 = std::nullopt;
    *address6 = std::nullopt;
    sockaddr_in any4{};
    any4.sin_family = AF_INET;
    any4.sin_port = htons(port);
    sockaddr_in6 any6{};
    any6.sin6_family = AF_INET6;
    any6.sin6_port = htons(port);
    if (!description) {
        any4.sin_addr.s_addr = htonl(INADDR_ANY);
        any6.sin6_addr = in6addr_any;
        *address4 = bytesOf(any4);
        *address6 = bytesOf(any6);
        return;
    }
    if (*description == "localhost" || *description == "loopback") {
        any4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        any6.sin6_addr = in6addr_loopback;
        *address4 = bytesOf(any4);
        *address6 = bytesOf(any6);
        return;
    }
    InterfaceList list = readInterfaces();
    for (const ifaddrs* entry = list.get(); entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr) {
            continue;
        }
        bool nameMatches = *description == entry->ifa_name;
        if (entry->ifa_addr->sa_family == AF_INET && !*address4) {
            auto address = *reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            if (nameMatches || *description == hostFromSockaddr4(address)) {
                address.sin_port = htons(port);
                *address4 = bytesOf(address);
            }
        } else if (entry->ifa_addr->sa_family == AF_INET6 && !*address6) {
            auto address = *reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            if (nameMatches || *description == hostFromSockaddr6(address)) {
                address.sin6_port = htons(port);
                *address6 = bytesOf(address);
            }
        }
    }
}

unsigned interfaceIndexOfAddress(const Data& address) {
    int family = address.size() == sizeof(sockaddr_in)    ? AF_INET
                 : address.size() == sizeof(sockaddr_in6) ? AF_INET6
                                                          : 0;
    if (family == 0 || addressFamily(address) != family) {
        return 0;
    }
    InterfaceList list = readInterfaces();
    for (const ifaddrs* entry = list.get(); entry; entry = entry->ifa_next) {
        if (entry->ifa_addr && entry->ifa_addr->sa_family == family &&
            std::memcmp(entry->ifa_addr, address.data(), address.size()) == 0) {
            return ::if_nametoindex(entry->ifa_name);
        }
    }
    return 0;
}

std::optional<Data> localAddressOfSocket(int fd, int family) {
    return socketAddress(fd, family, false);
}

std::optional<Data> peerAddressOfSocket(int fd, int family) {
    return socketAddress(fd, family, true);
}

}  // namespace corvaline
