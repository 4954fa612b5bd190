// The checks and local addresses that accepting and connecting share.
#include "sockets/tcp/AsyncTcpSocket.h"
#include "sockets/tcp/TcpInternal.h"

namespace corvaline {

using detail::fail;

const char* const AsyncTcpSocket::kUnknownInterfaceText =
    "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address.";

bool AsyncTcpSocket::checkDelegate(const std::string& verb, Error* error) const {
    if (delegate_.expired()) {
        fail(error, badConfigError("Attempting to " + verb +
                                   " without a delegate. Set a delegate first."));
        return false;
    }
    if (!delegateQueue_) {
        fail(error, badConfigError("Attempting to " + verb +
                                   " without a delegate queue. Set a delegate queue first."));
        return false;
    }
    return true;
}

bool AsyncTcpSocket::checkIdle(const std::string& verb, Error* error) const {
    if (flags_ & kSocketStarted) {
        fail(error, badConfigError("Attempting to " + verb +
                                   " while connected or accepting connections. Disconnect "
                                   "first."));
        return false;
    }
    return true;
}

bool AsyncTcpSocket::checkFamilies(Error* error) const {
    if ((config_ & kIPv4Disabled) && (config_ & kIPv6Disabled)) {
        fail(error, badConfigError("Both IPv4 and IPv6 have been disabled. Must enable at least "
                                   "one protocol first."));
        return false;
    }
    return true;
}

bool AsyncTcpSocket::interfaceAddresses(const std::string& interface, std::uint16_t port,
                                        std::optional<Data>* address4,
                                        std::optional<Data>* address6, Error* error) const {
    getInterfaceAddress4(address4, address6, interface, port);
    if (!*address4 && !*address6) {
        fail(error, badParamError(kUnknownInterfaceText));
        return false;
    }
    if ((config_ & kIPv4Disabled) && !*address6) {
        fail(error, badParamError("IPv4 has been disabled and specified interface doesn't "
                                  "support IPv6."));
        return false;
    }
    if ((config_ & kIPv6Disabled) && !*address4) {
        fail(error, badParamError("IPv6 has been disabled and specified interface doesn't "
                                  "support IPv4."));
        return false;
    }
    return true;
}

}  // namespace corvaline
