#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "sockets/Data.h"

// The settings a caller hands to startTLS, and what a manual trust decision is shown. Plain
// values, usable on any thread.
namespace corvaline {

// Keys of the settings dictionary.
inline constexpr const char* kCFStreamSSLIsServer = "kCFStreamSSLIsServer";
inline constexpr const char* kCFStreamSSLPeerName = "kCFStreamSSLPeerName";
inline constexpr const char* kCFStreamSSLCertificates = "kCFStreamSSLCertificates";
inline constexpr const char* AsyncTcpSocketManuallyEvaluateTrust =
    "AsyncTcpSocketManuallyEvaluateTrust";
inline constexpr const char* AsyncTcpSocketSSLPeerID = "AsyncTcpSocketSSLPeerID";
// Wire version numbers (0x0301 TLS 1.0 ... 0x0304 TLS 1.3); 0 keeps the default.
inline constexpr const char* AsyncTcpSocketSSLProtocolVersionMin =
    "AsyncTcpSocketSSLProtocolVersionMin";
inline constexpr const char* AsyncTcpSocketSSLProtocolVersionMax =
    "AsyncTcpSocketSSLProtocolVersionMax";
// Accepted for compatibility; OpenSSL has nothing that corresponds, so they change nothing.
inline constexpr const char* AsyncTcpSocketSSLSessionOptionFalseStart =
    "AsyncTcpSocketSSLSessionOptionFalseStart";
inline constexpr const char* AsyncTcpSocketSSLSessionOptionSendOneByteRecord =
    "AsyncTcpSocketSSLSessionOptionSendOneByteRecord";
// IANA cipher-suite numbers.
inline constexpr const char* AsyncTcpSocketSSLCipherSuites = "AsyncTcpSocketSSLCipherSuites";
// PKCS#3 parameters, DER or PEM.
inline constexpr const char* AsyncTcpSocketSSLDiffieHellmanParameters =
    "AsyncTcpSocketSSLDiffieHellmanParameters";
inline constexpr const char* AsyncTcpSocketSSLALPN = "AsyncTcpSocketSSLALPN";
// Keys this layer refuses: the socket closes when one is present.
inline constexpr const char* kCFStreamSSLAllowsAnyRoot = "kCFStreamSSLAllowsAnyRoot";
inline constexpr const char* kCFStreamSSLAllowsExpiredRoots = "kCFStreamSSLAllowsExpiredRoots";
inline constexpr const char* kCFStreamSSLValidatesCertificateChain =
    "kCFStreamSSLValidatesCertificateChain";
inline constexpr const char* kCFStreamSSLAllowsExpiredCertificates =
    "kCFStreamSSLAllowsExpiredCertificates";
inline constexpr const char* kCFStreamSSLLevel = "kCFStreamSSLLevel";

// A certificate in PEM form; together with its private key (PEM) it is the socket's own
// identity, which must come first in kCFStreamSSLCertificates.
struct TlsCertificate {
    Data certificate;
    Data privateKey;

    bool operator==(const TlsCertificate&) const = default;
};

// One settings value: a number (booleans are numbers), a text, bytes, a certificate or an
// array of values.
struct TlsValue;
using TlsArray = std::vector<TlsValue>;
struct TlsValue : std::variant<std::int64_t, std::string, Data, TlsCertificate, TlsArray> {
    using variant::variant;
};
using TlsSettings = std::map<std::string, TlsValue>;

// The peer's certificate chain offered for a manual trust decision, with what the system's
// trust store makes of it.
struct PeerTrust {
    std::vector<Data> certificates;  // DER, the peer's own certificate first
    long verifyResult = 0;           // 0 when the chain verifies, else the X509_V_ERR code
    std::string verifyText;
};

// TLS failures: the status as the code.
inline constexpr const char* kSslErrorDomain = "kCFStreamErrorDomainSSL";
enum SslStatus : long {
    noErr = 0,
    errSSLProtocol = -9800,  // every failure without a code of its own; OpenSSL's text says more
    errSSLWouldBlock = -9803,
    errSSLClosedGraceful = -9805,
    errSSLClosedAbort = -9806,
    errSSLPeerBadCert = -9825,
    errSSLPeerAuthCompleted = -9841,
};

}  // namespace corvaline
