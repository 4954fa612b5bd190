#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/codec/Packet.h"
#include "core/codec/PacketCodec.h"
#include "core/model/entities/Chat.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/User.h"
#include "core/model/services/MessageService.h"
#include "core/model/services/PresenceService.h"
#include "core/model/services/RelayService.h"
#include "core/model/services/UserActivity.h"
#include "core/model/services/UserInterface.h"

namespace corvaline::testing {

// Headless stand-ins for the windows and the services the model calls: each records what it
// was asked. Main thread, like the model.

inline Packet decoded(const std::vector<std::uint8_t>& bytes) {
    return PacketCodec::shared().ArrayFromBase64AESdata(bytes).value_or(Packet{});
}

// A window whose state the test sets; what it is asked to do lands in `calls`.
class RecordingWindow : public ConversationWindow {
  public:
    void makeKeyAndFront() override {
        ++fronted;
        calls.push_back("keyAndFront");
    }
    bool isVisible() const override { return visible; }
    bool isMiniaturized() const override { return miniaturized; }
    bool isKeyWindow() const override { return key; }
    bool isMainWindow() const override { return main; }
    void showWindow() override { calls.push_back("show"); }
    void deminiaturize() override { calls.push_back("deminiaturize"); }
    void raiseToLevel(long level) override { calls.push_back("raise " + std::to_string(level)); }
    void usersJoined(const std::vector<User*>& users) override {
        std::string call = "joined";
        for (const auto* user : users) {
            call += " " + user->userId();
        }
        calls.push_back(call);
    }
    void userLeft(User& user) override { calls.push_back("left " + user.userId()); }

    int fronted = 0;
    bool visible = true;
    bool miniaturized = false;
    bool key = false;
    bool main = false;
    std::vector<std::string> calls;
};

class RecordingWindows : public UserInterface {
  public:
    void reloadAndExpand(const Group& group) override { calls.push_back("expand " + group.name()); }
    void statusMatrixSelectionChanged() override { calls.push_back("statusMatrix"); }
    void setDockIcon(const std::string& icon) override { calls.push_back("dock " + icon); }
    void setTrayIcon(const std::string& image) override { calls.push_back("tray " + image); }
    void Play(const std::string& sound) override { calls.push_back("play " + sound); }
    std::shared_ptr<ConversationWindow> openConversation(const std::vector<User*>& users,
                                                         Chat* chat, bool incoming) override {
        const std::string whose =
            chat ? "chat " + std::to_string(chat->roomId()) : users.front()->userId();
        calls.push_back("open " + whose + (incoming ? " incoming" : ""));
        return window;
    }
    void showServicesStopped(bool stopped) override {
        calls.push_back(stopped ? "stopped" : "running");
    }
    void presentError(const std::string& description) override { errors.push_back(description); }

    std::shared_ptr<RecordingWindow> window = std::make_shared<RecordingWindow>();
    std::vector<std::string> calls;
    std::vector<std::string> errors;
};

class RecordingPresence : public PresenceService {
  public:
    void SendPacketToEveryone(const std::vector<std::uint8_t>& packet) override {
        broadcasts.push_back(decoded(packet));
    }
    void RefreshUserList() override { ++refreshes; }
    void SendTyping(User& user) override { typingTo.push_back(user.userId()); }

    std::vector<Packet> broadcasts;
    int refreshes = 0;
    std::vector<std::string> typingTo;
};

class RecordingMessages : public MessageService {
  public:
    void SendTCPpacket(const std::vector<std::uint8_t>& packet, User& to,
                       std::shared_ptr<ManagedObject>) override {
        sent.push_back({decoded(packet), to.userId()});
    }
    // Held open until endRequests().
    void SendTCPrequest(const std::vector<std::uint8_t>& packet, User& to,
                        std::function<void()> ended) override {
        SendTCPpacket(packet, to, nullptr);
        open.push_back(std::move(ended));
    }
    void endRequests() {
        for (auto& ended : std::exchange(open, {})) {
            ended();
        }
    }
    void turnOffserver() override { ++turnedOff; }
    void adaptersChanged() override { ++restarted; }

    struct Sent {
        Packet packet;
        std::string to;
    };
    std::vector<Sent> sent;
    std::vector<std::function<void()>> open;
    int turnedOff = 0;
    int restarted = 0;
};

class RecordingRelay : public RelayService {
  public:
    void sendOnUserIn(User& user) override { usersIn.push_back(user.userId()); }
    void SendOfflineMessageIfNeeded(Message& message) override {
        held.push_back(message.messageId());
    }
    std::vector<std::string> usersIn;
    std::vector<std::int64_t> held;
};

class FakeActivity : public UserActivity {
  public:
    std::optional<double> secondsSinceLastInput() override { return idleSeconds; }

    std::optional<double> idleSeconds;
};

}  // namespace corvaline::testing
