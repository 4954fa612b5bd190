// The error values of AsyncUdpSocketErrorDomain.
#include "sockets/udp/AsyncUdpSocket.h"

namespace corvaline {

Error AsyncUdpSocket::badConfigError(std::string text) {
    return Error{AsyncUdpSocketErrorDomain, AsyncUdpSocketBadConfigError, std::move(text), {}, {}};
}

Error AsyncUdpSocket::badParamError(std::string text) {
    return Error{AsyncUdpSocketErrorDomain, AsyncUdpSocketBadParamError, std::move(text), {}, {}};
}

Error AsyncUdpSocket::sendTimeoutError() {
    return Error{AsyncUdpSocketErrorDomain,
                 AsyncUdpSocketSendTimeoutError,
                 "Send operation timed out",
                 {},
                 {}};
}

Error AsyncUdpSocket::socketClosedError() {
    return Error{AsyncUdpSocketErrorDomain, AsyncUdpSocketClosedError, "Socket closed", {}, {}};
}

Error AsyncUdpSocket::otherError(std::string text) {
    return Error{AsyncUdpSocketErrorDomain, AsyncUdpSocketOtherError, std::move(text), {}, {}};
}

}  // namespace corvaline
