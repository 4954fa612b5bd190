#include "sockets/udp/AsyncUdpSocketDestination.h"

#include <sys/socket.h>

#include "sockets/SocketAddress.h"
#include "sockets/udp/AsyncUdpSocket.h"

namespace corvaline {

Error noUsableSocketError() {
    return AsyncUdpSocket::otherError(
        "No usable IPv4 or IPv6 socket for the address(es) found by DNS lookup.");
}

AsyncUdpDestination chooseUdpDestination(const std::vector<Data>& addresses,
                                         const AsyncUdpDestinationRules& rules) {
    const Data* candidate4 = nullptr;
    const Data* candidate6 = nullptr;
    bool has4 = false;
    bool has6 = false;
    for (const Data& address : addresses) {
        int family = addressFamily(address);
        has4 = has4 || family == AF_INET;
        has6 = has6 || family == AF_INET6;
    }
    auto refuse = [](Error error) { return AsyncUdpDestination{0, {}, std::move(error)}; };
    if (!has4 && !has6) {
        return refuse(AsyncUdpSocket::badParamError("A valid IPv4 or IPv6 address was not given"));
    }
    if (!has6 && rules.ipv4Disabled) {
        return refuse(AsyncUdpSocket::otherError(
            "IPv4 has been disabled and DNS lookup found no IPv6 address(es)."));
    }
    if (!has4 && rules.ipv6Disabled) {
        return refuse(AsyncUdpSocket::otherError(
            "IPv6 has been disabled and DNS lookup found no IPv4 address(es)."));
    }
    if (!has6 && rules.ipv4Deactivated) {
        return refuse(AsyncUdpSocket::otherError(
            "IPv4 has been deactivated due to bind/connect, and DNS lookup found no IPv6 "
            "address(es)."));
    }
    if (!has4 && rules.ipv6Deactivated) {
        return refuse(AsyncUdpSocket::otherError(
            "IPv6 has been deactivated due to bind/connect, and DNS lookup found no IPv4 "
            "address(es)."));
    }
    bool usable4 = !rules.ipv4Disabled && !rules.ipv4Deactivated && rules.ipv4SocketExists;
    bool usable6 = !rules.ipv6Disabled && !rules.ipv6Deactivated && rules.ipv6SocketExists;
    for (const Data& address : addresses) {
        int family = addressFamily(address);
        if (family == AF_INET && usable4 && !candidate4) {
            candidate4 = &address;
        } else if (family == AF_INET6 && usable6 && !candidate6) {
            candidate6 = &address;
        }
    }
    bool firstIs4 = addressFamily(addresses.front()) == AF_INET;
    if (candidate6 && !(rules.preferIPv4 && candidate4) &&
        (!candidate4 || rules.preferIPv6 || !firstIs4)) {
        return {AF_INET6, *candidate6, std::nullopt};
    }
    if (candidate4) {
        return {AF_INET, *candidate4, std::nullopt};
    }
    return refuse(noUsableSocketError());
}

}  // namespace corvaline
