#include "app/hotkey/HotKeyWorker.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <vector>

#include "app/defaults/RegisteredDefaults.h"
#include "app/hotkey/HotKeyGrab.h"
#include "app/hotkey/X11HotKey.h"
#include "core/model/defaults/DefaultsKeys.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/runloop/MainLoop.h"

namespace corvaline::app {
namespace {

// Records what the worker asks of the window system; refuses what it is told to.
class RecordingGrab : public HotKeyGrab {
  public:
    bool grab(std::uint32_t flags, std::uint16_t code) override {
        grabs.push_back({flags, code});
        return !refuse;
    }
    void ungrab() override { ++ungrabs; }
    bool isTaken(std::uint32_t, std::uint16_t) override { return false; }
    void press() { pressed(); }

    std::vector<HotKeyWorker::Shortcut> grabs;
    int ungrabs = 0;
    bool refuse = false;
};

class HotKeyWorkerTest : public ::testing::Test {
  protected:
    void SetUp() override { registerApplicationDefaults(settings(), {}); }
    void TearDown() override {
        settings().removeObject(defaults::kEnableHotKey);
        settings().removeObject(defaults::kHotKey);
    }
    static UserDefaults& settings() { return UserDefaults::standard(); }

    // A worker bound to the two defaults, as the application makes it.
    std::unique_ptr<HotKeyWorker> boundWorker() {
        auto worker = std::make_unique<HotKeyWorker>(loop_, grab_);
        worker->setEnabledDefaultsKeyPath(defaults::kEnableHotKey);
        worker->setHotKeyDefaultsKeyPath(defaults::kHotKey);
        return worker;
    }

    MainLoop loop_{std::make_shared<VirtualClock>()};
    RecordingGrab grab_;
};

using Shortcut = HotKeyWorker::Shortcut;

TEST_F(HotKeyWorkerTest, TheRegisteredDefaultsGrabSuperShiftS) {
    auto worker = boundWorker();
    ASSERT_EQ(grab_.grabs.size(), 1u);
    EXPECT_EQ(grab_.grabs[0], (Shortcut{0x120000, 1}));
    EXPECT_TRUE(worker->registered());
    // The X modifiers of the stored flags.
    EXPECT_EQ(X11HotKey::modifierMask(0x120000), XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4);
    EXPECT_EQ(X11HotKey::modifierMask(0x60000), XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL);
    EXPECT_EQ(X11HotKey::modifierMask(0x180000), XCB_MOD_MASK_1 | XCB_MOD_MASK_4);
    EXPECT_EQ(X11HotKey::modifierMask(0x10000), 0);  // Caps Lock and other bits are dropped
}

TEST_F(HotKeyWorkerTest, ShortcutChangesReplaceTheGrabAndEqualOnesDoNothing) {
    auto worker = boundWorker();
    settings().setObject(defaults::kHotKey, nlohmann::json::array({0x120000, 1}));
    EXPECT_EQ(grab_.grabs.size(), 1u);
    EXPECT_EQ(grab_.ungrabs, 0);
    settings().setObject(defaults::kHotKey, nlohmann::json::array({0x180000, 49}));
    EXPECT_EQ(grab_.ungrabs, 1);
    ASSERT_EQ(grab_.grabs.size(), 2u);
    EXPECT_EQ(grab_.grabs[1], (Shortcut{0x180000, 49}));
}

TEST_F(HotKeyWorkerTest, TurningOffWithdrawsOnceAndAShortcutChangedMeanwhileWaits) {
    auto worker = boundWorker();
    settings().setBool(defaults::kEnableHotKey, false);
    settings().setBool(defaults::kEnableHotKey, false);
    worker->setEnabled(false);
    EXPECT_EQ(grab_.ungrabs, 1);
    EXPECT_FALSE(worker->registered());
    settings().setObject(defaults::kHotKey, nlohmann::json::array({0, 96}));
    EXPECT_EQ(grab_.grabs.size(), 1u);  // not while switched off
    settings().setBool(defaults::kEnableHotKey, true);
    ASSERT_EQ(grab_.grabs.size(), 2u);
    EXPECT_EQ(grab_.grabs[1], (Shortcut{0, 96}));
    EXPECT_TRUE(worker->registered());
}

TEST_F(HotKeyWorkerTest, ARefusedGrabLeavesTheWorkerUnregistered) {
    grab_.refuse = true;
    auto worker = boundWorker();
    EXPECT_EQ(grab_.grabs.size(), 1u);
    EXPECT_FALSE(worker->registered());
    worker->setEnabled(false);
    EXPECT_EQ(grab_.ungrabs, 0);  // nothing to withdraw
}

TEST_F(HotKeyWorkerTest, APressQueuesTheActionAndWithoutOneIsStillHandled) {
    auto worker = boundWorker();
    grab_.press();  // no action yet: nothing happens
    loop_.runUntil([] { return false; }, Duration(0.01));
    int ran = 0;
    worker->setAction([&] { ++ran; });
    grab_.press();
    EXPECT_EQ(ran, 0);  // never inside the handler
    loop_.runUntil([&] { return ran > 0; }, Duration(1));
    EXPECT_EQ(ran, 1);
}

TEST_F(HotKeyWorkerTest, WithoutAnXConnectionNothingIsGrabbedAndNothingBreaks) {
    X11HotKey x11;  // offscreen
    EXPECT_FALSE(x11.available());
    HotKeyWorker worker(loop_, x11);
    worker.setEnabledDefaultsKeyPath(defaults::kEnableHotKey);
    worker.setHotKeyDefaultsKeyPath(defaults::kHotKey);
    EXPECT_FALSE(worker.registered());
    EXPECT_FALSE(x11.isTaken(0x60000, 1));
    EXPECT_EQ(x11.keyName(1), QStringLiteral("s"));
    EXPECT_EQ(x11.codeForScanCode(39), std::nullopt);
}

}  // namespace
}  // namespace corvaline::app
