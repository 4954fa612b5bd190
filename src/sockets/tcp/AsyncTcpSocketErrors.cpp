// The error values of the TCP socket.
#include <cerrno>

#include "sockets/tcp/AsyncTcpSocket.h"

namespace corvaline {
namespace {

Error tcpError(AsyncTcpSocketError code, std::string text) {
    return Error{AsyncTcpSocketErrorDomain, code, std::move(text), {}, {}};
}

}  // namespace

Error AsyncTcpSocket::badConfigError(std::string text) {
    return tcpError(AsyncTcpSocketBadConfigError, std::move(text));
}

Error AsyncTcpSocket::badParamError(std::string text) {
    return tcpError(AsyncTcpSocketBadParamError, std::move(text));
}

Error AsyncTcpSocket::connectTimeoutError() {
    return tcpError(AsyncTcpSocketConnectTimeoutError, "Attempt to connect to host timed out");
}

Error AsyncTcpSocket::readTimeoutError() {
    return tcpError(AsyncTcpSocketReadTimeoutError, "Read operation timed out");
}

Error AsyncTcpSocket::writeTimeoutError() {
    return tcpError(AsyncTcpSocketWriteTimeoutError, "Write operation timed out");
}

Error AsyncTcpSocket::readMaxedOutError() {
    return tcpError(AsyncTcpSocketReadMaxedOutError, "Read operation reached set maximum length");
}

Error AsyncTcpSocket::connectionClosedError() {
    return tcpError(AsyncTcpSocketClosedError, "Socket closed by remote peer");
}

Error AsyncTcpSocket::otherError(std::string text) {
    return tcpError(AsyncTcpSocketOtherError, std::move(text));
}

Error AsyncTcpSocket::errnoError() {
    return corvaline::errnoError(errno);
}

Error AsyncTcpSocket::errorWithErrno(int code, std::string reason) {
    return corvaline::errnoError(code, std::move(reason));
}

Error AsyncTcpSocket::gaiError(int code) {
    return resolverError(code);
}

Error AsyncTcpSocket::sslError(long status, std::string text) {
    if (text.empty()) {
        text = "The operation couldn't be completed. (" + std::string(kSslErrorDomain) + " error " +
               std::to_string(status) + ".)";
    }
    return Error{kSslErrorDomain,
                 status,
                 std::move(text),
                 {},
                 "Error code definition can be found in Apple's SecureTransport.h"};
}

}  // namespace corvaline
