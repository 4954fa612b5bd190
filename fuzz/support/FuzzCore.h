#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/codec/Packet.h"
#include "core/model/support/RecordingServices.h"
#include "platform/runloop/MainLoop.h"
#include "sockets/Data.h"
#include "support/FuzzInput.h"
#include "support/ModelQueue.h"

struct sqlite3;

namespace corvaline {
class FILEserver;
class MessageRelay;
class TCPserver;
class UDPserver;
class UserList;
}  // namespace corvaline

namespace corvaline::fuzzing {

// The core as the program runs it, headless and without a single socket: a store, the
// defaults and a receiving folder in a sandbox folder of its own (a few levels deep, so that a name
// that climbs out of its folder still lands where the check looks), a
// roster with a few stored peers, a stored room and a held message, and the three network
// services made without their listeners, so that the targets call their handlers as the
// sockets would. Every so many inputs the store is reopened and, less often, made afresh, so
// that it neither grows without end nor hides a record that no longer loads.
// Main thread only (the thread of the first call).
class FuzzCore {
  public:
    static FuzzCore& shared();
    ~FuzzCore();

    // After each input: runs what the handlers posted, saves, and stops the process when an
    // invariant breaks (a file outside the sandbox's two folders, a store that no longer
    // opens). Empties the receiving folder.
    void finishInput();

    // The packet an input describes as it travels (the writer's bytes) and the address it
    // comes from; no bytes when the writer refuses it. `types` is the target's table.
    struct Wire {
        std::optional<Bytes> bytes;
        std::string ip;
    };
    Wire packet(FuzzInput& input, const std::vector<std::string_view>& types);
    // Hands a packet to the service its type belongs to, as the sockets would: presence
    // types to the presence service, all else through the message service's dispatch, whose
    // reply must decode as a reply.
    void deliver(const Wire& wire);
    // The packets of an input, as many as it holds (at most a few), each delivered.
    void deliverAll(FuzzInput& input, const std::vector<std::string_view>& types);
    std::string resolve(const FuzzInput::Choice& choice) const;
    // A sender's address: a stored peer's, a stranger's or none.
    std::string address(std::uint8_t choice) const;

    // An address as the presence socket reports it; empty for a text that is none.
    static Data socketAddressOf(const std::string& ip);

    TCPserver& tcp() { return *tcp_; }
    UDPserver& udp() { return *udp_; }
    FILEserver& files() { return *files_; }
    MainLoop& loop() { return *loop_; }
    const std::filesystem::path& receiving() const { return receiving_; }

  private:
    FuzzCore();
    void openStore();
    void closeStore();
    void seed();
    void checkSandbox() const;
    void checkStoreOpens();
    void closeReader();

    std::filesystem::path root_;
    std::filesystem::path sandbox_;
    std::filesystem::path home_;
    std::filesystem::path receiving_;
    std::shared_ptr<VirtualClock> clock_;
    std::shared_ptr<MainLoop> loop_;
    // The model's timers are those of one store: closing it cancels them.
    ModelQueue modelQueue_;
    testing::RecordingWindows windows_;
    testing::RecordingMessages messages_;
    testing::FakeActivity activity_;
    std::unique_ptr<MessageRelay> relay_;
    std::unique_ptr<UserList> userList_;
    std::shared_ptr<TCPserver> tcp_;
    std::shared_ptr<UDPserver> udp_;
    std::shared_ptr<FILEserver> files_;
    std::vector<std::string> peers_;
    std::vector<std::string> peerIps_;
    std::vector<std::string> rooms_;
    std::vector<std::int64_t> heldMessages_;
    sqlite3* reader_ = nullptr;
    std::uint64_t inputs_ = 0;
};

}  // namespace corvaline::fuzzing
