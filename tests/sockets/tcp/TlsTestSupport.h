#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/dh.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sockets/tcp/TcpTestSupport.h"

extern char** environ;

namespace corvaline::testing {

// A self-signed certificate for "localhost" with its key, both PEM, made fresh for a test.
struct SelfSigned {
    std::string certificate;
    std::string key;
    Data der;  // the certificate as a peer sees it

    static SelfSigned make() {
        SelfSigned made;
        std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"),
                                                                &EVP_PKEY_free);
        std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), &X509_free);
        X509* x = certificate.get();
        X509_set_version(x, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
        X509_gmtime_adj(X509_getm_notBefore(x), -60);
        X509_gmtime_adj(X509_getm_notAfter(x), 3600);
        X509_set_pubkey(x, key.get());
        X509_NAME* name = X509_get_subject_name(x);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(x, name);
        X509V3_CTX context;
        X509V3_set_ctx_nodb(&context);
        X509V3_set_ctx(&context, x, x, nullptr, nullptr, 0);
        X509_EXTENSION* names =
            X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "DNS:localhost");
        X509_add_ext(x, names, -1);
        X509_EXTENSION_free(names);
        EXPECT_GT(X509_sign(x, key.get(), EVP_sha256()), 0);

        auto pem = [](auto write) {
            std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
            write(bio.get());
            char* bytes = nullptr;
            long length = BIO_get_mem_data(bio.get(), &bytes);
            return std::string(bytes, static_cast<std::size_t>(length));
        };
        made.certificate = pem([&](BIO* bio) { PEM_write_bio_X509(bio, x); });
        made.key = pem([&](BIO* bio) {
            PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
        });
        made.der.resize(static_cast<std::size_t>(i2d_X509(x, nullptr)));
        unsigned char* out = made.der.data();
        i2d_X509(x, &out);
        return made;
    }

    TlsCertificate identity() const { return {bytes(certificate), bytes(key)}; }
    // The settings of a server that shows this certificate.
    TlsSettings serverSettings() const {
        return {{kCFStreamSSLIsServer, 1}, {kCFStreamSSLCertificates, TlsArray{identity()}}};
    }
    void writeTo(const std::filesystem::path& folder) const {
        std::ofstream(folder / "cert.pem") << certificate;
        std::ofstream(folder / "key.pem") << key;
    }
};

// Diffie-Hellman parameters (the ffdhe2048 group), DER.
inline Data dhParameters() {
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
        EVP_PKEY_CTX_new_from_name(nullptr, "DH", nullptr), &EVP_PKEY_CTX_free);
    EVP_PKEY* made = nullptr;
    EXPECT_EQ(EVP_PKEY_paramgen_init(context.get()), 1);
    EXPECT_EQ(EVP_PKEY_CTX_set_dh_nid(context.get(), NID_ffdhe2048), 1);
    EXPECT_EQ(EVP_PKEY_paramgen(context.get(), &made), 1);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> parameters(made, &EVP_PKEY_free);
    Data der(static_cast<std::size_t>(i2d_KeyParams(parameters.get(), nullptr)));
    unsigned char* out = der.data();
    i2d_KeyParams(parameters.get(), &out);
    return der;
}

// The settings of a client that leaves the trust decision to its delegate.
inline TlsSettings manualTrustClient() {
    return {{kCFStreamSSLPeerName, "localhost"}, {AsyncTcpSocketManuallyEvaluateTrust, 1}};
}

// A child process (the openssl tool) with its standard input and output on pipes. It is
// killed when the object goes, whatever path the test took. Used on the test thread.
class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& arguments) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe2 failed";
            return;
        }
        input_ = RawFd(in[1]);
        output_ = RawFd(out[0]);
        RawFd childIn(in[0]), childOut(out[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, childIn.get(), 0);
        posix_spawn_file_actions_adddup2(&actions, childOut.get(), 1);
        posix_spawn_file_actions_adddup2(&actions, childOut.get(), 2);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        if (::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
            ADD_FAILURE() << "cannot start " << arguments[0];
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void send(const std::string& text) {
        ASSERT_EQ(::write(input_.get(), text.data(), text.size()),
                  static_cast<ssize_t>(text.size()));
    }
    // Takes in what the child wrote so far (without waiting); true once it holds `needle`.
    bool hasOutput(const std::string& needle) {
        pollfd ready{output_.get(), POLLIN, 0};
        while (seen_.find(needle) == std::string::npos && ::poll(&ready, 1, 0) == 1) {
            char buffer[4096];
            ssize_t n = ::read(output_.get(), buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            seen_.append(buffer, static_cast<std::size_t>(n));
        }
        return seen_.find(needle) != std::string::npos;
    }
    const std::string& output() const { return seen_; }

  private:
    pid_t pid_ = -1;
    RawFd input_;
    RawFd output_;
    std::string seen_;
};

// A port nothing listens on now (each test has a network namespace of its own).
inline std::uint16_t freePort() {
    RawListener probe;
    return probe.port();
}

}  // namespace corvaline::testing
