#include "sockets/SocketError.h"

#include <netdb.h>

#include <cstring>

namespace corvaline {

Error errnoError(int code, std::string reason) {
    char buffer[256];
    // GNU strerror_r: answers a pointer to the text, which may or may not be `buffer`.
    const char* text = ::strerror_r(code, buffer, sizeof buffer);
    return Error{kPosixErrorDomain, code, text, std::move(reason), {}};
}

Error resolverError(int code) {
    return Error{kResolverErrorDomain, code, ::gai_strerror(code), {}, {}};
}

}  // namespace corvaline
