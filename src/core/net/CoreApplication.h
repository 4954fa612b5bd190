#pragma once

// Starts and stops the messenger core in the order the program needs, for the windowless
// node and the application alike.
//
//   registerApplicationDefaults(...);            // the caller's job: an app-layer library
//   auto main = std::make_shared<MainLoop>();
//   CoreApplication core(main, hooks);           // hooks: messages, chats, relay (may be empty)
//   core.start();   // relay timer, store, roster and local user, TCPserver listening,
//                   // UDPserver beginWork, CoreServices filled, network and power notices
//                   // watched
//   main->run();
//   core.stop();    // "UO", everybody else offline, listener and presence sockets closed,
//                   // store saved; also done by the destructor when still running
//
// HOME and the XDG variables decide where the store and the defaults live.

#include <memory>

#include "core/net/MessageHooks.h"
#include "platform/runloop/Executor.h"

namespace corvaline {

class MessageRelay;
class NetworkChangeMonitor;
class PowerMonitor;
class TCPserver;
class UDPserver;
class UserList;

// Owns the relay, the roster controller and the two network services and keeps CoreServices
// pointing at them while they run. Main thread only (the thread of `main`).
class CoreApplication {
  public:
    struct Options {
        // Watch the system's network changes and sleep and wake notices.
        bool watchSystemEvents = true;
    };

    CoreApplication(std::shared_ptr<Executor> main, MessageHooks hooks);
    CoreApplication(std::shared_ptr<Executor> main, MessageHooks hooks, Options options);
    ~CoreApplication();
    CoreApplication(const CoreApplication&) = delete;
    CoreApplication& operator=(const CoreApplication&) = delete;

    void start();
    void stop();
    bool isRunning() const { return running_; }

    // Null before start.
    UserList* userList() const { return userList_.get(); }
    TCPserver* tcpServer() const { return tcp_.get(); }
    UDPserver* udpServer() const { return udp_.get(); }

  private:
    std::shared_ptr<Executor> main_;
    MessageHooks hooks_;
    Options options_;
    std::unique_ptr<MessageRelay> relay_;
    std::unique_ptr<UserList> userList_;
    std::shared_ptr<TCPserver> tcp_;
    std::shared_ptr<UDPserver> udp_;
    std::unique_ptr<NetworkChangeMonitor> networkMonitor_;
    std::unique_ptr<PowerMonitor> powerMonitor_;
    bool running_ = false;
};

}  // namespace corvaline
