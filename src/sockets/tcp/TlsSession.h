#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "sockets/tcp/TlsSettings.h"

struct ssl_st;
struct ssl_ctx_st;
struct bio_st;
struct bio_method_st;
struct x509_store_ctx_st;

namespace corvaline::detail {

// One OpenSSL session whose records travel through the socket's own read and write path
// (a BIO that calls back into the socket). Results are SslStatus values; the text of the
// last failure is kept for the error report. Used on the socket queue only.
class TlsSession {
  public:
    // Moves up to `length` bytes and stores how many moved; answers noErr, errSSLWouldBlock or
    // errSSLClosedAbort.
    using ReadIo = std::function<long(std::uint8_t* buffer, std::size_t length, std::size_t* got)>;
    using WriteIo =
        std::function<long(const std::uint8_t* buffer, std::size_t length, std::size_t* put)>;

    // Null, with the failure text, when a part of the session could not be made.
    static std::unique_ptr<TlsSession> create(bool server, ReadIo read, WriteIo write,
                                              std::string* failure);
    struct Private {};
    TlsSession(Private, bool server, ReadIo read, WriteIo write);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    ssl_st* ssl() const { return ssl_.get(); }
    bool isServer() const { return server_; }

    // The settings dictionary in the order its keys are read; the failure text, if any.
    std::optional<std::string> applySettings(const TlsSettings& settings);

    // One handshake step.
    long handshake();
    // Decrypted bytes, at most `length`.
    long read(std::uint8_t* buffer, std::size_t length, std::size_t* got);
    // Sends `length` bytes as a whole. After errSSLWouldBlock the same bytes must be offered
    // again: the session has taken them and reports them sent only on that later call.
    long write(const std::uint8_t* buffer, std::size_t length);
    // Decrypted bytes the session holds.
    std::size_t pending() const;
    // Tells the peer that this side closes, if the transport takes it now.
    void close();

    // Manual trust: the handshake pauses (errSSLPeerAuthCompleted) once the peer's chain is in.
    const PeerTrust& peerTrust() const { return trust_; }
    // The delegate trusts the peer: the next handshake step accepts the chain.
    void trustPeer() { trusted_ = true; }

    const std::string& failureText() const { return failureText_; }

  private:
    struct SslFree {
        void operator()(ssl_st* ssl) const;
    };
    struct SslCtxFree {
        void operator()(ssl_ctx_st* ctx) const;
    };
    long statusOf(int result);
    std::optional<std::string> applyCertificates(const TlsArray& chain);
    std::optional<std::string> applyCipherSuites(const TlsArray& suites);
    std::optional<std::string> applyDiffieHellman(const Data& parameters);
    std::optional<std::string> applyAlpn(const TlsArray& protocols);

    // The BIO's hooks and the verification hook of manual trust (C callbacks).
    static int bioRead(::bio_st* bio, char* buffer, int length);
    static int bioWrite(::bio_st* bio, const char* buffer, int length);
    static long bioCtrl(::bio_st* bio, int command, long number, void* pointer);
    static const ::bio_method_st* bioMethod();
    static int verifyPeer(::x509_store_ctx_st* store, void* session);
    static int selectAlpn(ssl_st* ssl, const unsigned char** out, unsigned char* outLength,
                          const unsigned char* in, unsigned int inLength, void* session);

    bool server_;
    ReadIo read_;
    WriteIo write_;
    std::unique_ptr<ssl_ctx_st, SslCtxFree> ctx_;
    std::unique_ptr<ssl_st, SslFree> ssl_;
    bool transportClosed_ = false;  // the transport ended: failures read as errSSLClosedAbort
    bool trusted_ = false;
    PeerTrust trust_;
    std::string alpn_;  // the protocols in wire form, for the server's choice
    std::string failureText_;
};

}  // namespace corvaline::detail
