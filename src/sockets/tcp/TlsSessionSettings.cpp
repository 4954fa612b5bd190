// The settings dictionary of startTLS mapped onto the OpenSSL session, key by key.
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstring>
#include <memory>

#include "sockets/tcp/TlsSession.h"

namespace corvaline::detail {
namespace {

template <class T>
const T* valueOf(const TlsSettings& settings, const char* key, bool* present) {
    auto found = settings.find(key);
    *present = found != settings.end();
    return *present ? std::get_if<T>(&found->second) : nullptr;
}

std::string invalidValue(const char* key) {
    return std::string("Invalid value for ") + key + ".";
}

using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free)>;
using X509Ptr = std::unique_ptr<X509, decltype(&X509_free)>;
using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

BioPtr memoryOf(const Data& bytes) {
    return BioPtr(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())), &BIO_free);
}

X509Ptr certificateOf(const Data& pem) {
    BioPtr bio = memoryOf(pem);
    return X509Ptr(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr,
                   &X509_free);
}

}  // namespace

std::optional<std::string> TlsSession::applySettings(const TlsSettings& settings) {
    SSL* ssl = ssl_.get();
    bool present = false;

    if (const auto* manual =
            valueOf<std::int64_t>(settings, AsyncTcpSocketManuallyEvaluateTrust, &present);
        manual && *manual) {
        if (server_) {
            return "Manual trust validation is not supported for server sockets";
        }
        SSL_CTX_set_cert_verify_callback(ctx_.get(), &TlsSession::verifyPeer, this);
    }

    if (const auto* name = valueOf<std::string>(settings, kCFStreamSSLPeerName, &present)) {
        if (SSL_set1_host(ssl, name->c_str()) != 1 ||
            (!server_ && SSL_set_tlsext_host_name(ssl, name->c_str()) != 1)) {
            return "Error in SSLSetPeerDomainName";
        }
    } else if (present) {
        return invalidValue(kCFStreamSSLPeerName);
    }

    if (const auto* chain = valueOf<TlsArray>(settings, kCFStreamSSLCertificates, &present)) {
        if (auto failure = applyCertificates(*chain)) {
            return failure;
        }
    } else if (present) {
        return invalidValue(kCFStreamSSLCertificates);
    }

    if (const auto* peerID = valueOf<Data>(settings, AsyncTcpSocketSSLPeerID, &present)) {
        if (SSL_set_session_id_context(ssl, peerID->data(),
                                       static_cast<unsigned>(peerID->size())) != 1) {
            return "Error in SSLSetPeerID";
        }
    } else if (present) {
        return invalidValue(AsyncTcpSocketSSLPeerID);
    }

    if (const auto* version =
            valueOf<std::int64_t>(settings, AsyncTcpSocketSSLProtocolVersionMin, &present)) {
        if (*version != 0 && SSL_set_min_proto_version(ssl, static_cast<int>(*version)) != 1) {
            return "Error in SSLSetProtocolVersionMin";
        }
    } else if (present) {
        return invalidValue(AsyncTcpSocketSSLProtocolVersionMin);
    }

    if (const auto* version =
            valueOf<std::int64_t>(settings, AsyncTcpSocketSSLProtocolVersionMax, &present)) {
        if (*version != 0 && SSL_set_max_proto_version(ssl, static_cast<int>(*version)) != 1) {
            return "Error in SSLSetProtocolVersionMax";
        }
    } else if (present) {
        return invalidValue(AsyncTcpSocketSSLProtocolVersionMax);
    }

    for (const char* key : {AsyncTcpSocketSSLSessionOptionFalseStart,
                            AsyncTcpSocketSSLSessionOptionSendOneByteRecord}) {
        if (!valueOf<std::int64_t>(settings, key, &present) && present) {
            return invalidValue(key);
        }
    }

    if (const auto* suites = valueOf<TlsArray>(settings, AsyncTcpSocketSSLCipherSuites, &present)) {
        if (auto failure = applyCipherSuites(*suites)) {
            return failure;
        }
    } else if (present) {
        return invalidValue(AsyncTcpSocketSSLCipherSuites);
    }

    if (const auto* parameters =
            valueOf<Data>(settings, AsyncTcpSocketSSLDiffieHellmanParameters, &present)) {
        if (auto failure = applyDiffieHellman(*parameters)) {
            return failure;
        }
    } else if (present) {
        return invalidValue(AsyncTcpSocketSSLDiffieHellmanParameters);
    }

    if (const auto* protocols = valueOf<TlsArray>(settings, AsyncTcpSocketSSLALPN, &present)) {
        if (auto failure = applyAlpn(*protocols)) {
            return failure;
        }
    } else if (present) {
        return invalidValue(AsyncTcpSocketSSLALPN);
    }

    for (const char* key : {kCFStreamSSLAllowsAnyRoot, kCFStreamSSLAllowsExpiredRoots,
                            kCFStreamSSLValidatesCertificateChain,
                            kCFStreamSSLAllowsExpiredCertificates, kCFStreamSSLLevel}) {
        if (settings.contains(key)) {
            return std::string("Security option unavailable - ") + key;
        }
    }
    return std::nullopt;
}

std::optional<std::string> TlsSession::applyCertificates(const TlsArray& chain) {
    const char* failure = "Error in SSLSetCertificate";
    const auto* identity = chain.empty() ? nullptr : std::get_if<TlsCertificate>(&chain.front());
    if (!identity) {
        return failure;
    }
    X509Ptr own = certificateOf(identity->certificate);
    BioPtr keyBio = memoryOf(identity->privateKey);
    KeyPtr key(keyBio ? PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr) : nullptr,
               &EVP_PKEY_free);
    SSL* ssl = ssl_.get();
    if (!own || !key || SSL_use_certificate(ssl, own.get()) != 1 ||
        SSL_use_PrivateKey(ssl, key.get()) != 1 || SSL_check_private_key(ssl) != 1) {
        return failure;
    }
    for (std::size_t i = 1; i < chain.size(); ++i) {
        const auto* link = std::get_if<TlsCertificate>(&chain[i]);
        X509Ptr certificate =
            link ? certificateOf(link->certificate) : X509Ptr(nullptr, &X509_free);
        if (!certificate || SSL_add1_chain_cert(ssl, certificate.get()) != 1) {
            return failure;
        }
    }
    return std::nullopt;
}

std::optional<std::string> TlsSession::applyCipherSuites(const TlsArray& suites) {
    const char* failure = "Error in SSLSetEnabledCiphers";
    std::string modern;  // TLS 1.3 suites, set apart from the older ones in OpenSSL
    std::string older;
    for (const TlsValue& value : suites) {
        const auto* number = std::get_if<std::int64_t>(&value);
        if (!number) {
            return invalidValue(AsyncTcpSocketSSLCipherSuites);
        }
        auto suite = static_cast<std::uint32_t>(*number);
        const unsigned char id[2] = {static_cast<unsigned char>(suite >> 8),
                                     static_cast<unsigned char>(suite)};
        const SSL_CIPHER* cipher = suite > 0xFFFF ? nullptr : SSL_CIPHER_find(ssl_.get(), id);
        if (!cipher) {
            return failure;
        }
        std::string& list =
            std::strcmp(SSL_CIPHER_get_version(cipher), "TLSv1.3") == 0 ? modern : older;
        list += (list.empty() ? "" : ":") + std::string(SSL_CIPHER_get_name(cipher));
    }
    if (modern.empty() && older.empty()) {
        return failure;
    }
    SSL* ssl = ssl_.get();
    if (SSL_set_ciphersuites(ssl, modern.c_str()) != 1) {
        return failure;
    }
    if (older.empty()) {
        // Older protocol versions are left without a suite.
        if (SSL_set_min_proto_version(ssl, TLS1_3_VERSION) != 1) {
            return failure;
        }
    } else if (SSL_set_cipher_list(ssl, older.c_str()) != 1) {
        return failure;
    }
    return std::nullopt;
}

std::optional<std::string> TlsSession::applyDiffieHellman(const Data& parameters) {
    const unsigned char* der = parameters.data();
    EVP_PKEY* parsed =
        d2i_KeyParams(EVP_PKEY_DH, nullptr, &der, static_cast<long>(parameters.size()));
    if (!parsed) {
        BioPtr bio = memoryOf(parameters);
        parsed = bio ? PEM_read_bio_Parameters(bio.get(), nullptr) : nullptr;
    }
    KeyPtr key(parsed, &EVP_PKEY_free);
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_DH ||
        SSL_set0_tmp_dh_pkey(ssl_.get(), key.get()) != 1) {
        return "Error in SSLSetDiffieHellmanParams";
    }
    key.release();  // the session owns it now
    return std::nullopt;
}

std::optional<std::string> TlsSession::applyAlpn(const TlsArray& protocols) {
    std::string wire;
    for (const TlsValue& value : protocols) {
        const auto* protocol = std::get_if<std::string>(&value);
        if (!protocol) {
            return invalidValue(AsyncTcpSocketSSLALPN);
        }
        if (protocol->empty() || protocol->size() > 255) {
            return "Error in SSLSetALPNProtocols";
        }
        wire += static_cast<char>(protocol->size());
        wire += *protocol;
    }
    if (server_) {
        alpn_ = std::move(wire);
        SSL_CTX_set_alpn_select_cb(ctx_.get(), &TlsSession::selectAlpn, this);
        return std::nullopt;
    }
    // SSL_set_alpn_protos answers 0 on success.
    if (SSL_set_alpn_protos(ssl_.get(), reinterpret_cast<const unsigned char*>(wire.data()),
                            static_cast<unsigned>(wire.size())) != 0) {
        return "Error in SSLSetALPNProtocols";
    }
    return std::nullopt;
}

int TlsSession::selectAlpn(SSL*, const unsigned char** out, unsigned char* outLength,
                           const unsigned char* in, unsigned int inLength, void* arg) {
    auto* session = static_cast<TlsSession*>(arg);
    unsigned char* chosen = nullptr;
    int result = SSL_select_next_proto(
        &chosen, outLength, reinterpret_cast<const unsigned char*>(session->alpn_.data()),
        static_cast<unsigned>(session->alpn_.size()), in, inLength);
    if (result != OPENSSL_NPN_NEGOTIATED) {
        return SSL_TLSEXT_ERR_NOACK;
    }
    *out = chosen;
    return SSL_TLSEXT_ERR_OK;
}

}  // namespace corvaline::detail
