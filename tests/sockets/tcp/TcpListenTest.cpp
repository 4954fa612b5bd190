#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "sockets/tcp/TcpTestSupport.h"

namespace corvaline::testing {
namespace {

using TcpListen = TcpSocketTest;

// A fresh folder for unix-domain socket files, removed afterwards. Test thread.
class TempFolder {
  public:
    TempFolder() {
        char pattern[] = "/tmp/corvaline-tcp-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::filesystem::path operator/(const char* name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

bool fileExists(const std::filesystem::path& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

TEST_F(TcpListen, SetUpRefusalsAnswerWithTheirError) {
    TempFolder folder;
    std::ofstream(folder / "plain") << "keep me";
    RawListener taken;
    struct Case {
        const char* name;
        std::function<bool(Error*)> attempt;
        const char* domain;
        long code;
        std::string message;
    };
    auto listening = newSocket();
    ASSERT_TRUE(listening->acceptOnPort(0));
    auto connecting = newSocket();
    ASSERT_TRUE(connecting->connectToAddress(taken.address(), 5.0));
    auto ipv4Off = newSocket();
    ipv4Off->setIPv4Enabled(false);
    auto bothOff = newSocket();
    bothOff->setIPv4Enabled(false);
    bothOff->setIPv6Enabled(false);
    const Case cases[] = {
        {"no delegate", [](Error* e) { return AsyncTcpSocket::create()->acceptOnPort(0, e); },
         AsyncTcpSocketErrorDomain, 1,
         "Attempting to accept without a delegate. Set a delegate first."},
        {"no delegate queue",
         [&](Error* e) { return AsyncTcpSocket::create(delegate, nullptr)->acceptOnPort(0, e); },
         AsyncTcpSocketErrorDomain, 1,
         "Attempting to accept without a delegate queue. Set a delegate queue first."},
        {"both families off", [&](Error* e) { return bothOff->acceptOnPort(0, e); },
         AsyncTcpSocketErrorDomain, 1,
         "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first."},
        {"already listening", [&](Error* e) { return listening->acceptOnPort(0, e); },
         AsyncTcpSocketErrorDomain, 1,
         "Attempting to accept while connected or accepting connections. Disconnect first."},
        {"connecting", [&](Error* e) { return connecting->acceptOnPort(0, e); },
         AsyncTcpSocketErrorDomain, 1,
         "Attempting to accept while connected or accepting connections. Disconnect first."},
        {"unknown interface",
         [&](Error* e) { return newSocket()->acceptOnInterface("nope", 0, e); },
         AsyncTcpSocketErrorDomain, 2,
         "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address."},
        {"IPv4 off, IPv4 interface",
         [&](Error* e) { return ipv4Off->acceptOnInterface("127.0.0.1", 0, e); },
         AsyncTcpSocketErrorDomain, 2,
         "IPv4 has been disabled and specified interface doesn't support IPv6."},
        {"port taken",
         [&](Error* e) { return newSocket()->acceptOnInterface("127.0.0.1", taken.port(), e); },
         kPosixErrorDomain, EADDRINUSE, ::strerror(EADDRINUSE)},
        {"not a socket file",
         [&](Error* e) { return newSocket()->acceptOnUrl(folder / "plain", e); },
         AsyncTcpSocketErrorDomain, 8,
         "Could not remove previous unix domain socket at given url."},
        {"empty path", [&](Error* e) { return newSocket()->acceptOnUrl("", e); },
         AsyncTcpSocketErrorDomain, 2,
         "Invalid unix domain url. Specify a valid file url that does not exist (e.g. "
         "\"file:///tmp/socket\")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        EXPECT_FALSE(c.attempt(&error));
        EXPECT_EQ(error.domain, c.domain);
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(error.message, c.message);
        EXPECT_FALSE(c.attempt(nullptr));  // no error slot: still refused, nothing breaks
    }
    std::ifstream kept(folder / "plain");
    std::string content;
    std::getline(kept, content);
    EXPECT_EQ(content, "keep me");
    EXPECT_TRUE(ipv4Off->isDisconnected());
    settle({listening, connecting});
    EXPECT_EQ(delegate->count(Event::Disconnect), 0);
}

TEST_F(TcpListen, OnePortServesBothFamiliesAndIPv6CanBeOff) {
    auto both = newSocket();
    ASSERT_TRUE(both->acceptOnPort(0));
    std::uint16_t port = both->localPort();
    ASSERT_NE(port, 0);
    EXPECT_TRUE(both->isIPv4());
    EXPECT_TRUE(both->isIPv6());
    EXPECT_FALSE(both->isDisconnected());
    EXPECT_FALSE(both->isConnected());

    RawFd client4 = rawConnect(port);
    RawFd client6(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in6 address6{};
    address6.sin6_family = AF_INET6;
    address6.sin6_port = htons(port);
    address6.sin6_addr = in6addr_loopback;
    ASSERT_EQ(::connect(client6.get(), reinterpret_cast<sockaddr*>(&address6), sizeof address6), 0);
    ASSERT_TRUE(waitFor(Event::Accept, 2));

    // Set from this thread and asked at once: the setter is queued before the accept.
    auto ipv4Only = newSocket();
    ipv4Only->setIPv6Enabled(false);
    ASSERT_TRUE(ipv4Only->acceptOnPort(0));
    EXPECT_TRUE(ipv4Only->isIPv4());
    EXPECT_FALSE(ipv4Only->isIPv6());
    EXPECT_EQ(ipv4Only->localHost(), "0.0.0.0");
}

TEST_F(TcpListen, ABurstOfClientsGivesChildrenThatOutliveTheListener) {
    auto listener = newSocket();
    listener->setIPv6Enabled(false);
    ASSERT_TRUE(listener->acceptOnInterface("127.0.0.1", 0));
    std::uint16_t port = listener->localPort();
    std::vector<RawFd> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(rawConnect(port));  // all pending before the loop runs
    }
    ASSERT_TRUE(waitFor(Event::Accept, 3));
    ASSERT_EQ(delegate->accepted.size(), 3u);

    listener->disconnect();
    ASSERT_TRUE(waitFor(Event::Disconnect, 1, listener));
    EXPECT_FALSE(delegate->last(Event::Disconnect)->error);

    for (std::size_t i = 0; i < 3; ++i) {
        const auto& child = delegate->accepted[i];
        EXPECT_TRUE(child->isConnected());
        EXPECT_EQ(child->connectedHost(), "127.0.0.1");
        child->writeData(bytes("child"), 5.0, static_cast<long>(i));
        child->disconnectAfterWriting();
    }
    for (auto& client : clients) {
        EXPECT_EQ(readUntilClosed(client.get()), bytes("child"));
    }
    ASSERT_TRUE(waitFor(Event::Disconnect, 4));
    EXPECT_EQ(delegate->countFor(Event::Disconnect, listener.get()), 1);
}

TEST_F(TcpListen, ChildRunsOnTheQueueTheDelegateGives) {
    auto childQueue = dispatch::SerialQueue::create("child");
    struct Chooser : RecordingDelegate {
        Chooser() : RecordingDelegate({C::NewSocketQueueForConnection, C::DidAcceptNewSocket}) {}
        std::shared_ptr<dispatch::SerialQueue> queue;
        std::string askedFor;
        std::shared_ptr<dispatch::SerialQueue> newSocketQueueForConnectionFromAddress(
            const Data& address, const AsyncTcpSocketPtr&) override {
            askedFor = AsyncTcpSocket::hostFromAddress(address).value_or("?");
            return queue;
        }
    };
    auto chooser = std::make_shared<Chooser>();
    chooser->queue = childQueue;
    auto listener = AsyncTcpSocket::create(chooser, loop);
    ASSERT_TRUE(listener->acceptOnInterface("127.0.0.1", 0));
    RawFd client = rawConnect(listener->localPort());
    ASSERT_TRUE(runUntil([&] { return chooser->count(Event::Accept) == 1; }));
    EXPECT_EQ(chooser->askedFor, "127.0.0.1");
    bool onChildQueue = false;
    chooser->accepted[0]->performBlock([&] { onChildQueue = childQueue->isCurrent(); });
    EXPECT_TRUE(onChildQueue);
    chooser->accepted.clear();
}

TEST_F(TcpListen, ConnectionsNobodyCanTakeAreClosedAtOnce) {
    struct Case {
        const char* name;
        std::function<void(const AsyncTcpSocketPtr&)> prepare;
    };
    const Case cases[] = {
        {"no delegate queue",
         [](const AsyncTcpSocketPtr& listener) {
             listener->synchronouslySetDelegateQueue(nullptr);
         }},
        {"delegate gone",
         [](const AsyncTcpSocketPtr& listener) { listener->synchronouslySetDelegate({}); }},
        {"child not kept",
         [this](const AsyncTcpSocketPtr&) {
             delegate->onAccept = [this](const AsyncTcpSocketPtr&) { delegate->accepted.clear(); };
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto listener = newSocket();
        ASSERT_TRUE(listener->acceptOnInterface("127.0.0.1", 0));
        c.prepare(listener);
        RawFd client = rawConnect(listener->localPort());
        EXPECT_TRUE(runUntilPolling([&] { return peerHasClosed(client.get()); }));
        delegate->onAccept = nullptr;
        listener->disconnect();
    }
    // The dropped child reports from its own queue, which may come after the client has seen
    // the connection close.
    EXPECT_TRUE(runUntil([&] { return delegate->countFor(Event::Disconnect, nullptr) > 0; }));
    settle();
    // Only the child that was made and dropped says so, with no socket.
    EXPECT_EQ(delegate->count(Event::Accept), 1);
    EXPECT_EQ(delegate->countFor(Event::Disconnect, nullptr), 1);
}

TEST_F(TcpListen, UnixDomainListenerReplacesAStaleSocketFileAndRemovesItsOwn) {
    TempFolder folder;
    auto path = folder / "listener.sock";
    {
        RawFd stale(::socket(AF_UNIX, SOCK_STREAM, 0));
        auto address = AsyncTcpSocket::getInterfaceAddressFromUrl(path);
        ASSERT_EQ(::bind(stale.get(), reinterpret_cast<const sockaddr*>(address->data()),
                         sizeof(sockaddr_un)),
                  0);
    }
    ASSERT_TRUE(fileExists(path));

    auto listener = newSocket();
    Error error;
    ASSERT_TRUE(listener->acceptOnUrl(path, &error)) << error.message;
    auto client = newSocket();
    ASSERT_TRUE(client->connectToUrl(path, 5.0));
    ASSERT_TRUE(waitFor(Event::ConnectUrl));
    EXPECT_EQ(delegate->last(Event::ConnectUrl)->host, path.native());
    ASSERT_TRUE(waitFor(Event::Accept));
    EXPECT_TRUE(client->isConnected());
    EXPECT_EQ(client->connectedUrl(), path);
    EXPECT_FALSE(client->connectedHost());

    listener->disconnect();
    EXPECT_FALSE(fileExists(path));
    ASSERT_TRUE(waitFor(Event::Disconnect, 1, listener));
}

double processorSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// With no descriptor left the pending connection stays readable on the listener: accepting
// must rest instead of failing in a busy loop, and take the connection once descriptors free.
TEST_F(TcpListen, RunningOutOfDescriptorsCostsNoProcessorAndAcceptingComesBack) {
    auto listener = newSocket();
    listener->setIPv6Enabled(false);
    ASSERT_TRUE(listener->acceptOnInterface("127.0.0.1", 0));
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers need descriptors of their own to check types";
#endif
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    rlimit lowered = limit;
    lowered.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    RawFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    std::vector<RawFd> fillers;
    for (int fd; (fd = ::fcntl(0, F_DUPFD_CLOEXEC, 0)) != -1;) {
        fillers.emplace_back(fd);
    }
    ASSERT_EQ(errno, EMFILE);
    sockaddr_in address = loopback4(listener->localPort());
    ASSERT_EQ(::connect(client.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    double before = processorSeconds();
    runUntil([] { return false; }, std::chrono::seconds(1));
    EXPECT_LT(processorSeconds() - before, 0.3);
    EXPECT_EQ(delegate->count(Event::Accept), 0);

    fillers.clear();
    EXPECT_TRUE(waitFor(Event::Accept, 1));
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace
}  // namespace corvaline::testing
