#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sockets/Data.h"
#include "sockets/SocketError.h"

namespace corvaline {

// Socket addresses held as bytes: one sockaddr_in (16 bytes) or sockaddr_in6 (28 bytes), port
// and address in network byte order. Pure functions, callable from any thread, except that
// lookupHost blocks and belongs on the blocking pool.

Data addressData(const sockaddr_in& address);
Data addressData(const sockaddr_in6& address);

// The structure the bytes hold (zero-filled where they are short).
sockaddr_in sockaddr4Of(const Data& address);
sockaddr_in6 sockaddr6Of(const Data& address);

// AF_INET for at least 16 bytes of that family, AF_INET6 for at least 28 bytes of that family,
// otherwise 0.
int addressFamily(const Data& address);

// Text as inet_ntop prints it; empty when it cannot be printed.
std::string hostFromSockaddr4(const sockaddr_in& address);
std::string hostFromSockaddr6(const sockaddr_in6& address);
std::uint16_t portFromSockaddr4(const sockaddr_in& address);
std::uint16_t portFromSockaddr6(const sockaddr_in6& address);

// Decodes an address; false (and nothing filled in) when it is not a valid one. Each pointer
// may be null.
bool getHost(std::string* host, std::uint16_t* port, int* family, const Data& address);

// The addresses `host` stands for, in the resolver's order ("localhost" and "loopback" are
// 127.0.0.1 then ::1 without asking). `socketType` is SOCK_DGRAM or SOCK_STREAM. On failure the
// list is empty and `error` says why.
std::vector<Data> lookupHost(const std::string& host, std::uint16_t port, int socketType,
                             std::optional<Error>* error);

// The local addresses an interface description stands for, with `port`: none for all
// interfaces (the any-addresses), "localhost"/"loopback", or an interface name or address text
// matched against the interface list. Either result may be missing.
void interfaceAddresses(const std::optional<std::string>& description, std::uint16_t port,
                        std::optional<Data>* address4, std::optional<Data>* address6);

// The interface index of the interface that has exactly this address; 0 when none has.
unsigned interfaceIndexOfAddress(const Data& address);

// The local or peer address of a descriptor of the given family; none when the call fails.
std::optional<Data> localAddressOfSocket(int fd, int family);
std::optional<Data> peerAddressOfSocket(int fd, int family);

}  // namespace corvaline
