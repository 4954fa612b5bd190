#pragma once

// Starts and stops the messenger core in the order the program needs, for the windowless
// node and the application alike. The caller hands over only what differs between them:
// the executor of the main thread, its windows and where the idle time comes from.
//
//   registerApplicationDefaults(...);            // the caller's job: an app-layer library
//   auto main = std::make_shared<MainLoop>();
//   CoreApplication core(main, &windows, &activity);   // both may be null (none)
//   core.start();   // CoreServices filled, relay timer, store, roster and local user,
//                   // TCPserver listening with the message, chat and relay handlers,
//                   // UDPserver beginWork, FILEserver listening, network, power, clock and
//                   // screensaver notices watched
//   main->run();
//   core.stop();    // "UO", everybody else offline, listener and presence sockets closed,
//                   // store saved; also done by the destructor when still running
//
// HOME and the XDG variables decide where the store and the defaults live.

#include <memory>

#include "platform/runloop/Executor.h"

namespace corvaline {

class ClockChangeMonitor;
class FILEserver;
class MessageRelay;
class NetworkChangeMonitor;
class PowerMonitor;
class ScreensaverMonitor;
class TCPserver;
class UDPserver;
class UserActivity;
class UserInterface;
class UserList;

// Owns the relay, the roster controller and the two network services and keeps CoreServices
// pointing at them while they run. Main thread only (the thread of `main`).
class CoreApplication {
  public:
    struct Options {
        // Watch the system's network changes, sleep and wake, clock changes and the
        // screensaver.
        bool watchSystemEvents = true;
    };

    // `windows` and `activity` must outlive the core; either may be null.
    CoreApplication(std::shared_ptr<Executor> main, UserInterface* windows, UserActivity* activity);
    CoreApplication(std::shared_ptr<Executor> main, UserInterface* windows, UserActivity* activity,
                    Options options);
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
    FILEserver* fileServer() const { return files_.get(); }

  private:
    void watchSystemEvents();

    std::shared_ptr<Executor> main_;
    UserInterface* windows_;
    UserActivity* activity_;
    Options options_;
    std::unique_ptr<MessageRelay> relay_;
    std::unique_ptr<UserList> userList_;
    std::shared_ptr<TCPserver> tcp_;
    std::shared_ptr<UDPserver> udp_;
    std::shared_ptr<FILEserver> files_;
    std::unique_ptr<NetworkChangeMonitor> networkMonitor_;
    std::unique_ptr<PowerMonitor> powerMonitor_;
    std::unique_ptr<ClockChangeMonitor> clockMonitor_;
    std::unique_ptr<ScreensaverMonitor> screensaverMonitor_;
    bool running_ = false;
};

}  // namespace corvaline
