// The TLS layer: the barrier through both queues, talks with the openssl tool, refused
// settings and the manual trust decision.
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <map>

#include "sockets/tcp/TlsTestSupport.h"
#include "support/TempFolder.h"

namespace corvaline::testing {
namespace {

using C = AsyncTcpSocketDelegate::Callback;
const Data kCRLF = AsyncTcpSocket::CRLFData();
const Data kLF = AsyncTcpSocket::LFData();

// Records the TLS reports too, and answers trust questions at once or keeps them for later.
// Called on the delegate queue (the test's main loop).
class TlsDelegate : public RecordingDelegate {
  public:
    TlsDelegate()
        : RecordingDelegate({C::DidAcceptNewSocket, C::DidConnectToHost, C::DidReadData,
                             C::DidWriteData, C::DidDisconnect, C::DidSecure, C::DidReceiveTrust}) {
    }

    void socketDidSecure(const AsyncTcpSocketPtr& socket) override {
        secured.push_back(socket.get());
    }
    void socketDidReceiveTrust(const AsyncTcpSocketPtr&, const PeerTrust& trust,
                               std::function<void(bool)> completionHandler) override {
        trusts.push_back(trust);
        if (answer) {
            completionHandler(*answer);
        } else {
            held.push_back(std::move(completionHandler));
        }
    }
    bool isSecured(const AsyncTcpSocketPtr& socket) const {
        return std::find(secured.begin(), secured.end(), socket.get()) != secured.end();
    }

    std::optional<bool> answer = true;  // none: keep the completion routine in `held`
    std::vector<const AsyncTcpSocket*> secured;
    std::vector<PeerTrust> trusts;
    std::vector<std::function<void(bool)>> held;
};

class TcpTls : public TcpSocketTest {
  protected:
    TcpTls() { delegate = tls; }

    // A listener whose accepted sockets start TLS as servers and then read one line.
    AsyncTcpSocketPtr tlsListener() {
        auto listener = newSocket();
        EXPECT_TRUE(listener->acceptOnPort(0));
        tls->onAccept = [this](const AsyncTcpSocketPtr& accepted) {
            accepted->startTLS(serverSettings);
            accepted->readDataToData(kLF, 10, 10);
        };
        return listener;
    }
    std::optional<Error> disconnectError(const AsyncTcpSocketPtr& socket) {
        EXPECT_TRUE(waitFor(Event::Disconnect, 1, socket));
        for (const Event& event : delegate->events()) {
            if (event.kind == Event::Disconnect && event.socket == socket.get()) {
                return event.error;
            }
        }
        return std::nullopt;
    }

    // The protocol the session agreed on.
    static std::string alpnOf(const AsyncTcpSocketPtr& socket) {
        std::string protocol;
        socket->performBlock([&] {
            const unsigned char* chosen = nullptr;
            unsigned length = 0;
            SSL_get0_alpn_selected(socket->sslContext(), &chosen, &length);
            protocol.assign(reinterpret_cast<const char*>(chosen), length);
        });
        return protocol;
    }

    std::shared_ptr<TlsDelegate> tls = std::make_shared<TlsDelegate>();
    SelfSigned certificate = SelfSigned::make();
    TlsSettings serverSettings = certificate.serverSettings();
};

TEST_F(TcpTls, PlainLinesBeforeTheBarrierEncryptedLinesAfterItAndNoEarlyRecordIsLost) {
    RawListener raw;
    auto client = newSocket();
    ASSERT_TRUE(client->connectToHost("127.0.0.1", raw.port(), 10));
    // The client's last plain line with its first TLS records right behind it.
    client->writeData(bytes("plain\r\n"), 10, 1);
    client->startTLS(manualTrustClient());
    client->writeData(bytes("secret\r\n"), 10, 2);
    client->readDataToData(kCRLF, 10, 3);
    RawFd accepted = raw.accept();
    ASSERT_TRUE(accepted);
    ASSERT_TRUE(runUntilPolling([&] {
        int pending = 0;
        return ::ioctl(accepted.get(), FIONREAD, &pending) == 0 && pending > 7;
    }));

    // The server first sees both together: its plain read takes the records ahead.
    auto server = AsyncTcpSocket::socketFromConnectedSocketFD(accepted.release(), delegate, loop);
    ASSERT_TRUE(server);
    std::vector<std::pair<long, bool>> secureAtRead;
    tls->onRead = [&](const AsyncTcpSocketPtr& socket, const DataSlice&, long tag) {
        secureAtRead.emplace_back(tag, tls->isSecured(socket));
    };
    server->readDataToData(kCRLF, 10, 1);
    server->startTLS(certificate.serverSettings());
    server->readDataToData(kCRLF, 10, 2);
    server->writeData(bytes("secret reply\r\n"), 10, 2);

    ASSERT_TRUE(waitFor(Event::Read, 3));
    std::map<long, std::string> reads;
    for (const Event& event : delegate->events()) {
        if (event.kind == Event::Read) {
            reads[event.tag] = event.data;
        }
    }
    EXPECT_EQ(reads, (std::map<long, std::string>{
                         {1, "plain\r\n"}, {2, "secret\r\n"}, {3, "secret reply\r\n"}}));
    std::sort(secureAtRead.begin(), secureAtRead.end());
    EXPECT_EQ(secureAtRead, (std::vector<std::pair<long, bool>>{{1, false}, {2, true}, {3, true}}))
        << "reads after the barrier complete only after socketDidSecure";
    EXPECT_TRUE(server->isSecure());
    EXPECT_TRUE(client->isSecure());
    server->disconnect();
}

TEST_F(TcpTls, AClientOfThisClassTalksToOpensslSServer) {
    TempFolder folder;
    certificate.writeTo(folder.path());
    std::uint16_t port = freePort();
    ChildProcess server({"openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(port),
                         "-cert", (folder.path() / "cert.pem").string(), "-key",
                         (folder.path() / "key.pem").string(), "-rev", "-naccept", "1", "-alpn",
                         "x-corvaline"});
    ASSERT_TRUE(runUntilPolling([&] { return server.hasOutput("ACCEPT"); })) << server.output();

    auto client = newSocket();
    ASSERT_TRUE(client->connectToHost("127.0.0.1", port, 10));
    TlsSettings settings = manualTrustClient();
    // Options without an OpenSSL counterpart are taken and change nothing.
    settings[AsyncTcpSocketSSLSessionOptionFalseStart] = 1;
    settings[AsyncTcpSocketSSLSessionOptionSendOneByteRecord] = 1;
    settings[AsyncTcpSocketSSLProtocolVersionMin] = TLS1_2_VERSION;
    settings[AsyncTcpSocketSSLCipherSuites] = TlsArray{0x1301, 0xC02B};
    settings[AsyncTcpSocketSSLALPN] = TlsArray{"x-corvaline"};
    client->startTLS(settings);
    client->writeData(bytes("hello\n"), 10, 1);
    client->readDataToData(kLF, 10, 2);
    ASSERT_TRUE(waitFor(Event::Read)) << server.output();
    EXPECT_EQ(delegate->last(Event::Read)->data, "olleh\n");
    EXPECT_TRUE(tls->isSecured(client));
    std::string cipher;
    client->performBlock([&] { cipher = SSL_get_cipher_name(client->sslContext()); });
    EXPECT_EQ(cipher, "TLS_AES_128_GCM_SHA256");
    EXPECT_EQ(alpnOf(client), "x-corvaline");
    EXPECT_EQ(client->sslContext(), nullptr) << "only on the socket queue";
}

TEST_F(TcpTls, AServerOfThisClassTalksToOpensslSClient) {
    serverSettings[AsyncTcpSocketSSLALPN] = TlsArray{"h2", "x-corvaline"};
    serverSettings[AsyncTcpSocketSSLDiffieHellmanParameters] = dhParameters();
    auto listener = tlsListener();
    tls->onRead = [](const AsyncTcpSocketPtr& socket, const DataSlice&, long) {
        socket->writeData(bytes("pong\n"), 10, 11);
    };
    ChildProcess client({"openssl", "s_client", "-connect",
                         "127.0.0.1:" + std::to_string(listener->localPort()), "-quiet", "-alpn",
                         "x-corvaline"});
    client.send("ping\n");
    ASSERT_TRUE(runUntilPolling([&] { return client.hasOutput("pong\n"); })) << client.output();
    EXPECT_EQ(delegate->last(Event::Read)->data, "ping\n");
    ASSERT_EQ(delegate->accepted.size(), 1u);
    EXPECT_TRUE(tls->isSecured(delegate->accepted.front()));
    EXPECT_EQ(alpnOf(delegate->accepted.front()), "x-corvaline");
}

TEST_F(TcpTls, ALargeWriteCrossesIntactWhileTheDescriptorKeepsFillingUp) {
    // Far more than the socket buffers hold: the session takes pieces it cannot send yet.
    Data sent(3 * 1024 * 1024 + 17);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
    }
    auto listener = newSocket();
    ASSERT_TRUE(listener->acceptOnPort(0));
    Data received;
    tls->onAccept = [&](const AsyncTcpSocketPtr& accepted) {
        accepted->startTLS(serverSettings);
        accepted->readDataToLength(sent.size() / 2, 30, 1);
        accepted->readDataWithTimeout(30, 2);
    };
    tls->onRead = [&](const AsyncTcpSocketPtr& socket, const DataSlice& data, long tag) {
        received.insert(received.end(), data.begin(), data.end());
        if (received.size() < sent.size()) {
            socket->readDataWithTimeout(30, tag + 1);
        }
    };
    auto client = newSocket();
    ASSERT_TRUE(client->connectToHost("127.0.0.1", listener->localPort(), 10));
    ASSERT_TRUE(waitFor(Event::ConnectHost));
    client->performBlock([&] {
        int small = 4096;
        ::setsockopt(client->socketFD(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    });
    client->startTLS(manualTrustClient());
    client->writeData(sent, 30, 7);
    // The writer's report may come after the reader has everything: wait for both.
    ASSERT_TRUE(runUntil(
        [&] { return received.size() >= sent.size() && delegate->count(Event::Write) > 0; },
        std::chrono::seconds(60)));
    EXPECT_TRUE(received == sent);
    EXPECT_EQ(delegate->count(Event::Write), 1);
}

TEST_F(TcpTls, RefusedSettingsCloseWithCodeEightAndTheirText) {
    struct Case {
        TlsSettings settings;
        std::string text;
    };
    const Case cases[] = {
        {{{kCFStreamSSLLevel, "kCFStreamSocketSecurityLevelTLSv1"}},
         "Security option unavailable - kCFStreamSSLLevel"},
        {{{kCFStreamSSLAllowsAnyRoot, 1}, {kCFStreamSSLLevel, "x"}},
         "Security option unavailable - kCFStreamSSLAllowsAnyRoot"},
        {{{kCFStreamSSLValidatesCertificateChain, 0}},
         "Security option unavailable - kCFStreamSSLValidatesCertificateChain"},
        // Keys are read in their fixed order: the first failing one is reported.
        {{{kCFStreamSSLPeerName, 5}, {kCFStreamSSLLevel, "x"}},
         "Invalid value for kCFStreamSSLPeerName."},
        {{{kCFStreamSSLIsServer, 1}, {AsyncTcpSocketManuallyEvaluateTrust, 1}},
         "Manual trust validation is not supported for server sockets"},
        {{{kCFStreamSSLCertificates, TlsArray{TlsCertificate{bytes("junk"), {}}}}},
         "Error in SSLSetCertificate"},
        {{{kCFStreamSSLCertificates, "cert"}}, "Invalid value for kCFStreamSSLCertificates."},
        {{{AsyncTcpSocketSSLProtocolVersionMax, 0x0399}}, "Error in SSLSetProtocolVersionMax"},
        {{{AsyncTcpSocketSSLSessionOptionFalseStart, "yes"}},
         "Invalid value for AsyncTcpSocketSSLSessionOptionFalseStart."},
        {{{AsyncTcpSocketSSLCipherSuites, TlsArray{0xFFFF}}}, "Error in SSLSetEnabledCiphers"},
        {{{AsyncTcpSocketSSLDiffieHellmanParameters, bytes("not parameters")}},
         "Error in SSLSetDiffieHellmanParams"},
        {{{AsyncTcpSocketSSLALPN, TlsArray{"h2", 2}}}, "Invalid value for AsyncTcpSocketSSLALPN."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        RawListener raw;
        auto socket = newSocket();
        ASSERT_TRUE(socket->connectToHost("127.0.0.1", raw.port(), 10));
        socket->startTLS(c.settings);
        RawFd peer = raw.accept();
        std::optional<Error> error = disconnectError(socket);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain, AsyncTcpSocketErrorDomain);
        EXPECT_EQ(error->code, AsyncTcpSocketOtherError);
        EXPECT_EQ(error->message, c.text);
        EXPECT_TRUE(readUntilClosed(peer.get()).empty()) << "no handshake began";
    }
}

TEST_F(TcpTls, ManualTrustGoesAsTheDelegateAnswers) {
    struct Case {
        std::optional<bool> answer;  // none: no manual trust, the system's store decides
        bool secure;
    };
    for (Case c : {Case{true, true}, Case{false, false}, Case{std::nullopt, false}}) {
        SCOPED_TRACE(c.answer ? (*c.answer ? "trusted" : "refused") : "store");
        tls->trusts.clear();
        tls->answer = c.answer;
        auto listener = tlsListener();
        auto client = newSocket();
        ASSERT_TRUE(client->connectToHost("127.0.0.1", listener->localPort(), 10));
        client->startTLS(c.answer ? manualTrustClient()
                                  : TlsSettings{{kCFStreamSSLPeerName, "localhost"}});
        client->writeData(bytes("line\n"), 10, 1);
        if (c.secure) {
            ASSERT_TRUE(runUntil([&] { return delegate->count(Event::Read) == 1; }));
            EXPECT_TRUE(tls->isSecured(client));
        } else {
            std::optional<Error> error = disconnectError(client);
            ASSERT_TRUE(error);
            EXPECT_EQ(error->domain, kSslErrorDomain);
            EXPECT_EQ(error->code, errSSLPeerBadCert);
            EXPECT_FALSE(tls->isSecured(client));
            if (!c.answer) {
                EXPECT_NE(error->message.find("self-signed"), std::string::npos) << error->message;
            }
        }
        ASSERT_EQ(tls->trusts.size(), c.answer ? 1u : 0u);
        if (c.answer) {
            const PeerTrust& trust = tls->trusts.front();
            ASSERT_EQ(trust.certificates.size(), 1u);
            EXPECT_EQ(trust.certificates.front(), certificate.der);
            EXPECT_EQ(trust.verifyResult, X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT);
        }
        client->disconnect();
        listener->disconnect();
        delegate->accepted.clear();
        settle({client});
    }
}

TEST_F(TcpTls, ATrustAnswerForAnEarlierPauseChangesNothing) {
    tls->answer = std::nullopt;
    auto listener = tlsListener();
    auto client = newSocket();
    auto pause = [&](std::size_t n) {
        ASSERT_TRUE(client->connectToHost("127.0.0.1", listener->localPort(), 10));
        client->startTLS(manualTrustClient());
        ASSERT_TRUE(runUntil([&] { return tls->held.size() == n; }));
    };

    // Answered only after the socket closed.
    pause(1);
    client->disconnect();
    tls->held[0](true);
    settle({client});
    EXPECT_TRUE(client->isDisconnected());
    EXPECT_TRUE(tls->secured.empty());

    // The same socket connected again and paused again: the old answer is not this pause's.
    pause(2);
    tls->held[0](true);
    settle({client});
    EXPECT_TRUE(client->isConnected());
    EXPECT_TRUE(tls->secured.empty());

    // This pause's own answer counts, once.
    tls->held[1](true);
    ASSERT_TRUE(runUntil([&] { return tls->isSecured(client); }));
    tls->held[1](false);
    settle({client});
    EXPECT_TRUE(client->isConnected());
    EXPECT_TRUE(client->isSecure());
}

}  // namespace
}  // namespace corvaline::testing
