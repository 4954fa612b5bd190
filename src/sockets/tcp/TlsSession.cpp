// The OpenSSL session of a TCP socket: its BIO over the socket's own I/O, the handshake, the
// record layer and the mapping of OpenSSL's results onto the status codes of the class.
#include "sockets/tcp/TlsSession.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <climits>

namespace corvaline::detail {

void TlsSession::SslFree::operator()(ssl_st* ssl) const {
    SSL_free(ssl);
}

void TlsSession::SslCtxFree::operator()(ssl_ctx_st* ctx) const {
    SSL_CTX_free(ctx);
}

TlsSession::TlsSession(Private, bool server, ReadIo read, WriteIo write)
    : server_(server), read_(std::move(read)), write_(std::move(write)) {}

TlsSession::~TlsSession() = default;

std::unique_ptr<TlsSession> TlsSession::create(bool server, ReadIo read, WriteIo write,
                                               std::string* failure) {
    auto session =
        std::make_unique<TlsSession>(Private{}, server, std::move(read), std::move(write));
    session->ctx_.reset(SSL_CTX_new(server ? TLS_server_method() : TLS_client_method()));
    if (session->ctx_) {
        session->ssl_.reset(SSL_new(session->ctx_.get()));
    }
    if (!session->ssl_) {
        *failure = "Error in SSLCreateContext";
        return nullptr;
    }
    SSL* ssl = session->ssl_.get();
    BIO* bio = bioMethod() ? BIO_new(bioMethod()) : nullptr;
    if (!bio) {
        *failure = "Error in SSLSetIOFuncs";
        return nullptr;
    }
    BIO_set_data(bio, session.get());
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);
    // A write that would block is offered again from where the caller's bytes now are.
    SSL_set_mode(ssl, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // A renegotiation would let a write wait for bytes only the read side can bring in, and the
    // write path would spin on it; refusing it keeps every wait on one side.
    SSL_set_options(ssl, SSL_OP_NO_RENEGOTIATION);
    if (server) {
        SSL_set_accept_state(ssl);
    } else {
        // A client checks the server against the system's trust store unless told otherwise.
        SSL_CTX_set_default_verify_paths(session->ctx_.get());
        SSL_set_verify(ssl, SSL_VERIFY_PEER, nullptr);
        SSL_set_connect_state(ssl);
    }
    return session;
}

// The BIO.

const BIO_METHOD* TlsSession::bioMethod() {
    static const std::unique_ptr<BIO_METHOD, decltype(&BIO_meth_free)> method = [] {
        std::unique_ptr<BIO_METHOD, decltype(&BIO_meth_free)> made(
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "AsyncTcpSocket"),
            &BIO_meth_free);
        if (made) {
            BIO_meth_set_read(made.get(), &TlsSession::bioRead);
            BIO_meth_set_write(made.get(), &TlsSession::bioWrite);
            BIO_meth_set_ctrl(made.get(), &TlsSession::bioCtrl);
        }
        return made;
    }();
    return method.get();
}

int TlsSession::bioRead(BIO* bio, char* buffer, int length) {
    auto* session = static_cast<TlsSession*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    std::size_t got = 0;
    long status = session->read_(reinterpret_cast<std::uint8_t*>(buffer),
                                 static_cast<std::size_t>(length), &got);
    if (got > 0) {
        return static_cast<int>(got);
    }
    if (status == errSSLWouldBlock) {
        BIO_set_retry_read(bio);
        return -1;
    }
    session->transportClosed_ = true;
    return 0;
}

int TlsSession::bioWrite(BIO* bio, const char* buffer, int length) {
    auto* session = static_cast<TlsSession*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    std::size_t put = 0;
    long status = session->write_(reinterpret_cast<const std::uint8_t*>(buffer),
                                  static_cast<std::size_t>(length), &put);
    if (put > 0) {
        return static_cast<int>(put);
    }
    if (status == errSSLWouldBlock) {
        BIO_set_retry_write(bio);
        return -1;
    }
    session->transportClosed_ = true;
    return -1;
}

long TlsSession::bioCtrl(BIO*, int command, long, void*) {
    // Every write goes straight to the descriptor: there is nothing to flush.
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

// Results.

long TlsSession::statusOf(int result) {
    failureText_.clear();
    if (result > 0) {
        return noErr;
    }
    switch (SSL_get_error(ssl_.get(), result)) {
        case SSL_ERROR_WANT_READ:
        case SSL_ERROR_WANT_WRITE:
            return errSSLWouldBlock;
        case SSL_ERROR_WANT_RETRY_VERIFY:
            return errSSLPeerAuthCompleted;
        case SSL_ERROR_ZERO_RETURN:
            return errSSLClosedGraceful;
        case SSL_ERROR_SYSCALL:
            return errSSLClosedAbort;
        default:
            break;
    }
    if (transportClosed_) {
        return errSSLClosedAbort;
    }
    long verify = SSL_get_verify_result(ssl_.get());
    if (!trusted_ && verify != X509_V_OK) {
        failureText_ = X509_verify_cert_error_string(verify);
        return errSSLPeerBadCert;
    }
    if (unsigned long code = ERR_peek_last_error()) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        failureText_ = text;
    }
    return errSSLProtocol;
}

long TlsSession::handshake() {
    ERR_clear_error();
    return statusOf(SSL_do_handshake(ssl_.get()));
}

long TlsSession::read(std::uint8_t* buffer, std::size_t length, std::size_t* got) {
    ERR_clear_error();
    *got = 0;
    int result = SSL_read_ex(ssl_.get(), buffer, length, got);
    return statusOf(result);
}

long TlsSession::write(const std::uint8_t* buffer, std::size_t length) {
    ERR_clear_error();
    std::size_t written = 0;
    return statusOf(SSL_write_ex(ssl_.get(), buffer, length, &written));
}

std::size_t TlsSession::pending() const {
    return static_cast<std::size_t>(SSL_pending(ssl_.get()));
}

void TlsSession::close() {
    ERR_clear_error();
    if (SSL_is_init_finished(ssl_.get()) && !transportClosed_) {
        SSL_shutdown(ssl_.get());
    }
    ERR_clear_error();
}

// Manual trust.

int TlsSession::verifyPeer(X509_STORE_CTX* store, void* arg) {
    auto* session = static_cast<TlsSession*>(arg);
    // Also run when trusted, so that the session keeps the chain the store builds.
    bool verified = X509_verify_cert(store) == 1;
    if (session->trusted_) {
        return 1;
    }
    PeerTrust trust;
    STACK_OF(X509)* chain = X509_STORE_CTX_get0_untrusted(store);
    for (int i = 0; chain && i < sk_X509_num(chain); ++i) {
        X509* certificate = sk_X509_value(chain, i);
        int length = i2d_X509(certificate, nullptr);
        if (length > 0) {
            Data der(static_cast<std::size_t>(length));
            unsigned char* out = der.data();
            i2d_X509(certificate, &out);
            trust.certificates.push_back(std::move(der));
        }
    }
    trust.verifyResult = verified ? X509_V_OK : X509_STORE_CTX_get_error(store);
    trust.verifyText = X509_verify_cert_error_string(trust.verifyResult);
    session->trust_ = std::move(trust);
    // Pauses the handshake; the next step calls this again.
    return SSL_set_retry_verify(session->ssl_.get());
}

}  // namespace corvaline::detail
