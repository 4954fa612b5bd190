#pragma once

#include <string>

namespace corvaline {

// A failure of a socket operation: a domain, a code and the texts shown with it. Both socket
// classes use it. A plain value, usable on any thread.
struct Error {
    std::string domain;
    long code = 0;
    std::string message;             // the localised description
    std::string failureReason;       // empty when none
    std::string recoverySuggestion;  // empty when none

    bool operator==(const Error&) const = default;
};

// errno values.
inline constexpr const char* kPosixErrorDomain = "NSPOSIXErrorDomain";
// getaddrinfo results (negative numbers on glibc).
inline constexpr const char* kResolverErrorDomain = "kCFStreamErrorDomainNetDB";

// The errno `code` with the system's text; `reason` (may be empty) says which call failed.
Error errnoError(int code, std::string reason = {});
// The resolver result `code` with the resolver's text.
Error resolverError(int code);

}  // namespace corvaline
