#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/codec/Packet.h"
#include "core/codec/PacketCodec.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/User.h"
#include "core/model/services/MessageService.h"
#include "core/model/services/PresenceService.h"
#include "core/model/services/RelayService.h"
#include "core/model/services/UserActivity.h"
#include "core/model/services/UserInterface.h"
#include "platform/observers/ObserverList.h"

namespace corvaline::testing {

// Headless stand-ins for the windows and the services the model calls: each records what it
// was asked. Main thread, like the model.

inline Packet decoded(const std::vector<std::uint8_t>& bytes) {
    return PacketCodec::shared().ArrayFromBase64AESdata(bytes).value_or(Packet{});
}

class RecordingWindow : public ConversationWindow {
  public:
    void makeKeyAndFront() override { ++fronted; }
    int fronted = 0;
};

class RecordingWindows : public UserInterface {
  public:
    void reloadAndExpand(const Group& group) override { calls.push_back("expand " + group.name()); }
    void statusMatrixSelectionChanged() override { calls.push_back("statusMatrix"); }
    void setDockIcon(const std::string& icon) override { calls.push_back("dock " + icon); }
    void setTrayIcon(const std::string& image) override { calls.push_back("tray " + image); }
    void Play(const std::string& sound) override { calls.push_back("play " + sound); }
    std::shared_ptr<ConversationWindow> openConversation(const std::vector<User*>& users, Chat*,
                                                         bool incoming) override {
        calls.push_back("open " + users.front()->userId() + (incoming ? " incoming" : ""));
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
    void turnOffserver() override { ++turnedOff; }
    void adaptersChanged() override { ++restarted; }

    struct Sent {
        Packet packet;
        std::string to;
    };
    std::vector<Sent> sent;
    int turnedOff = 0;
    int restarted = 0;
};

class RecordingRelay : public RelayService {
  public:
    void sendOnUserIn(User& user) override { usersIn.push_back(user.userId()); }
    std::vector<std::string> usersIn;
};

class FakeActivity : public UserActivity {
  public:
    std::optional<double> secondsSinceLastInput() override { return idleSeconds; }
    ObservationToken observeScreensaver(std::function<void(bool)> callback) override {
        return observers_.add("screensaver", [this, callback] { callback(running_); });
    }
    void screensaver(bool running) {
        running_ = running;
        observers_.notify("screensaver");
    }

    std::optional<double> idleSeconds;

  private:
    bool running_ = false;
    ObserverMap<> observers_;
};

}  // namespace corvaline::testing
