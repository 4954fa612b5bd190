#include "core/net/CoreApplication.h"

#include <sys/resource.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "core/codec/PacketCodec.h"
#include "core/model/entities/FileTransfer.h"
#include "core/model/entities/Me.h"
#include "core/model/roster/UserList.h"
#include "core/model/store/FetchRequest.h"
#include "core/net/IncomingTransferLimit.h"
#include "core/net/NetTest.h"
#include "core/net/ServicePort.h"
#include "core/net/TCPserver.h"
#include "core/net/TransferPeer.h"
#include "core/net/UDPserver.h"

namespace corvaline::testing {
namespace {

using CoreApplicationTest = NetTest;

TEST_F(CoreApplicationTest, StartsTheServicesAndStopsThemWithEverybodyOfflineAndTheStoreSaved) {
    const auto peer = addUser("A5", "0");
    SaveAppContextIfChanged();
    startTrace();
    {
        CoreApplication core(main(), &windows_, &activity_, {.watchSystemEvents = false});
        core.start();
        auto& services = CoreServices::shared();
        ASSERT_NE(core.userList(), nullptr);
        EXPECT_EQ(services.userList, core.userList());
        EXPECT_EQ(services.messages, core.tcpServer());
        EXPECT_EQ(services.presence, core.udpServer());
        EXPECT_TRUE(core.udpServer()->hasRefreshTimer());
        EXPECT_FALSE(core.udpServer()->recvSocket()->isClosed());
        EXPECT_EQ(traced("SERVER TCP PORT IS NOT BINDABLE"), 0);

        core.stop();
        EXPECT_FALSE(core.isRunning());
        EXPECT_FALSE(core.udpServer()->hasRefreshTimer());
        EXPECT_EQ(traced("turn off servers"), 1);
        const auto stored = core.userList()->getUserById("A5", std::nullopt);
        ASSERT_NE(stored, nullptr);
        EXPECT_TRUE(stored->userOffline());
        EXPECT_FALSE(context_->hasChanges());
    }
    EXPECT_EQ(CoreServices::shared().messages, nullptr);
    EXPECT_EQ(CoreServices::shared().presence, nullptr);
}

TEST_F(CoreApplicationTest, StartTellsTheRosterWhetherAnyOtherUserWasEverSeen) {
    {
        CoreApplication core(main(), &windows_, &activity_, {.watchSystemEvents = false});
        core.start();
        EXPECT_FALSE(core.userList()->someUsersExceptMeEverSeen());
        core.stop();
    }
    addUser("A5", "10");
    SaveAppContextIfChanged();
    CoreApplication core(main(), &windows_, &activity_, {.watchSystemEvents = false});
    core.start();
    EXPECT_TRUE(core.userList()->someUsersExceptMeEverSeen());
    core.stop();
}

// The whole core on a loop of real time: a virtual clock would jump over the waits that
// decide how long a connection is held.
class RealTimeCoreTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        CoreServices::shared().mainQueue = &real_;
    }

    std::shared_ptr<Executor> realMain() {
        return std::shared_ptr<Executor>(std::shared_ptr<void>(), &real_);
    }

    // Runs the loop while `peer` runs on a thread of its own (at most 60 s of real time).
    void whilePeerRuns(const std::function<void()>& peer) {
        std::atomic<bool> done = false;
        std::thread thread([&] {
            peer();
            done = true;
        });
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done && std::chrono::steady_clock::now() < limit) {
            real_.runUntil([&] { return done.load(); }, Duration(0.1));
        }
        thread.join();
    }

    MainLoop real_;
};

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // the sanitizers need descriptors of their own to check types
#else
constexpr bool kSanitized = false;
#endif

// The descriptors open in the process now.
std::size_t openDescriptors() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                      std::filesystem::directory_iterator()));
}

// Idle connections to the transfer port from many addresses, over both caps, leave the
// message service its descriptors and its turns: a message arrives and is answered while
// they are held. Beside the peers' ends (made first, in this same process), the descriptor
// limit leaves only what the caps let the service hold: without them it would run out.
TEST_F(RealTimeCoreTest, AMessageIsAnsweredWhileIdleTransferConnectionsAreHeld) {
    using Limit = IncomingTransferLimit;
    constexpr std::size_t kAddresses = Limit::kInAll / Limit::kPerAddress + 4;
    constexpr std::size_t kIdle = kAddresses * (Limit::kPerAddress + 1);
    constexpr std::size_t kSpare = 64;  // the store, the exchange, the connections being closed
    const auto bob = addUser("A5", "0");
    bob->setIp("127.0.0.1");
    CoreApplication core(realMain(), &windows_, &activity_, {.watchSystemEvents = false});
    core.start();  // raises the soft limit: lowered only after it
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    // The peers' ends are made first: the service may then run short, never the peers.
    std::vector<int> idle;
    for (std::size_t i = 0; i < kIdle; ++i) {
        idle.push_back(TransferPeer::socketWithLimit());
    }
    const int exchange = TransferPeer::socketWithLimit();
    if (!kSanitized) {
        rlimit lowered = saved;
        lowered.rlim_cur = openDescriptors() + Limit::kInAll + kSpare;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    }

    const auto bytes = PacketCodec::shared()
                           .PlainPacket(Packet{"TSM", "31337", "bobs-pc", bob->userId(), "*",
                                               userList_->me()->userId(), "held", "*"})
                           .value();
    const std::string message = std::string(bytes.begin(), bytes.end()) + "\r\n";

    std::size_t heldAtTheExchange = 0;
    std::vector<std::string> reads;
    whilePeerRuns([&] {
        for (std::size_t i = 0; i < kIdle; ++i) {
            const std::string source =
                "127.0.0." + std::to_string(i / (Limit::kPerAddress + 1) + 2);
            idle[i] = TransferPeer::connectIdle(idle[i], FileTransfer::kPort, source.c_str());
        }
        const auto held = [&] {
            return static_cast<std::size_t>(std::count_if(idle.begin(), idle.end(), [](int fd) {
                return fd >= 0 && !TransferPeer::closedByTheOtherEnd(fd);
            }));
        };
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (held() > Limit::kInAll && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        reads = TransferPeer::connect(
            kServicePort, {TransferPeer::Write(message), TransferPeer::ReadLine()}, exchange);
        heldAtTheExchange = held();
        for (const int fd : idle) {
            ::close(fd);
        }
    });
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(std::count(idle.begin(), idle.end(), -1), 0);
    EXPECT_EQ(heldAtTheExchange, Limit::kInAll);
    ASSERT_EQ(reads.size(), 1u);
    const auto receipt =
        PacketCodec::shared().ArrayFromBase64AESdata(Bytes(reads[0].begin(), reads[0].end()));
    ASSERT_TRUE(receipt);
    EXPECT_EQ(receipt->text(0), "TMR");
    real_.runUntil([] { return false; }, Duration(1.0));  // the held transfers see their ends
    core.stop();
}

// Transfers that still hold a connection when the core goes end it there and then: stopping
// leaves them to finish, and once the core is gone no loop turn brings their connections'
// reports, without which each would hold itself and its socket for ever. One peer has closed
// before (its report waits on the loop), the others hold on.
TEST_F(RealTimeCoreTest, TransfersStillConnectedEndWithTheCore) {
    constexpr std::size_t kPeers = 4;
    const FetchRequest all{std::string(FileTransfer::kEntityName), {}, "time", true, 0};
    std::vector<int> idle;
    std::vector<std::weak_ptr<ManagedObject>> transfers;
    {
        CoreApplication core(realMain(), &windows_, &activity_, {.watchSystemEvents = false});
        core.start();
        for (std::size_t i = 0; i < kPeers; ++i) {
            idle.push_back(TransferPeer::connectIdle(FileTransfer::kPort));
        }
        const auto accepted = [&] { return context_->count(all) == kPeers; };
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!accepted() && std::chrono::steady_clock::now() < limit) {
            real_.runUntil(accepted, Duration(0.1));
        }
        for (const auto& transfer : context_->execute(all)) {
            transfers.push_back(transfer);
        }
        ASSERT_EQ(transfers.size(), kPeers);
        ::close(idle.back());
        idle.pop_back();
        core.stop();
    }
    const auto closed = [&] {
        return std::all_of(idle.begin(), idle.end(), TransferPeer::closedByTheOtherEnd);
    };
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!closed() && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(closed());
    for (const int fd : idle) {
        ::close(fd);
    }
    real_.runPending();  // the closed peer's report, sent before the core went
    EXPECT_TRUE(std::all_of(transfers.begin(), transfers.end(),
                            [](const auto& transfer) { return transfer.expired(); }));
}

}  // namespace
}  // namespace corvaline::testing
