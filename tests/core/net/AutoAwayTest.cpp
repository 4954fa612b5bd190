#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/model/entities/Me.h"
#include "core/model/roster/UserList.h"
#include "core/net/CoreApplication.h"
#include "core/net/NetTest.h"

namespace corvaline::testing {
namespace {

// The running program's auto-away: the idle time the application supplies and the
// screensaver notices CoreApplication listens to, on the loop's virtual time.
class AutoAwayTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        setDefault("awayMessage", "away from the desk");
        setDefault("autoAwayMinutes", 10);
        setDefault("autoAwayEnabled", true);
        setDefault("sreensaverAwayEnabled", false);
    }
    void TearDown() override {
        core_.reset();
        if (busDaemon_ > 0) {
            ::kill(busDaemon_, SIGTERM);
        }
        for (const auto& [name, value] : previousBuses_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        NetTest::TearDown();
    }

    void start(bool watchSystemEvents) {
        core_ = std::make_unique<CoreApplication>(main(), &windows_, &activity_,
                                                  CoreApplication::Options{watchSystemEvents});
        core_->start();
    }
    Me& me() { return *core_->userList()->me(); }

    // A bus of the test's own, standing in for the session and the system bus, so that no
    // real screensaver or power notice is heard. False when the bus daemon is not installed.
    bool startBus() {
        const std::string command =
            "dbus-daemon --session --fork --print-address=1 "
            "--print-pid=1 --address=unix:path=" +
            (home_.path() / "bus").string() + " 2>/dev/null";
        FILE* out = popen(command.c_str(), "r");
        if (!out) {
            return false;
        }
        char address[512] = {};
        char pid[32] = {};
        const bool read = fgets(address, sizeof address, out) && fgets(pid, sizeof pid, out);
        pclose(out);
        if (!read) {
            return false;
        }
        busDaemon_ = std::atoi(pid);
        std::string text = address;
        text.erase(text.find_last_not_of('\n') + 1);
        for (const std::string name : {"DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS"}) {
            const char* value = getenv(name.c_str());
            previousBuses_.emplace_back(name,
                                        value ? std::optional<std::string>(value) : std::nullopt);
            setenv(name.c_str(), text.c_str(), 1);
        }
        return busDaemon_ > 0;
    }
    // Runs the loop for a second of real time, long enough for a bus signal to arrive.
    void runForASecond() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        runUntilDone([&] { return std::chrono::steady_clock::now() >= until; });
    }
    // The screensaver of the desktop starting or stopping, as GNOME announces it.
    static void screensaver(bool active) {
        const std::string command =
            "dbus-send --session --type=signal /org/gnome/ScreenSaver "
            "org.gnome.ScreenSaver.ActiveChanged boolean:" +
            std::string(active ? "true" : "false");
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    std::unique_ptr<CoreApplication> core_;
    pid_t busDaemon_ = 0;
    std::vector<std::pair<std::string, std::optional<std::string>>> previousBuses_;
};

TEST_F(AutoAwayTest, TenIdleMinutesSwitchToAwayWithTheAwayTextAndInputSwitchesBack) {
    start(false);
    ASSERT_EQ(me().status(), "0");
    activity_.idleSeconds = 600;
    runFor(3);
    EXPECT_EQ(me().status(), "0");

    activity_.idleSeconds = 601;
    runFor(3);
    EXPECT_EQ(me().status(), "2");
    EXPECT_EQ(me().statusString(), "away from the desk");
    EXPECT_TRUE(me().inIdleAway());

    activity_.idleSeconds = 0.5;  // the person is back
    runFor(3);
    EXPECT_EQ(me().status(), "0");
    EXPECT_EQ(me().statusString(), "");
    EXPECT_FALSE(me().inIdleAway());
}

TEST_F(AutoAwayTest, TheScreensaverSwitchesOnlyWhenThatIsSwitchedOn) {
    if (!startBus()) {
        GTEST_SKIP() << "no dbus-daemon to run a bus";
    }
    activity_.idleSeconds = 0;
    start(true);
    screensaver(true);
    runForASecond();
    EXPECT_EQ(me().status(), "0");
    screensaver(false);
    runForASecond();

    setDefault("sreensaverAwayEnabled", true);
    screensaver(true);
    EXPECT_TRUE(runUntilDone([&] { return me().status() == "2"; }));
    EXPECT_EQ(me().statusString(), "away from the desk");
    screensaver(false);
    EXPECT_TRUE(runUntilDone([&] { return me().status() == "0"; }));
}

}  // namespace
}  // namespace corvaline::testing
