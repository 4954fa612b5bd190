// The global shortcut against a real X server: the grab, a press from outside the program,
// and a combination another client holds.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <memory>

#include "app/defaults/RegisteredDefaults.h"
#include "app/hotkey/HotKeyWorker.h"
#include "app/hotkey/X11HotKey.h"
#include "app/runloop/QtExecutor.h"
#include "core/model/defaults/DefaultsKeys.h"
#include "platform/defaults/UserDefaults.h"
#include "support/qt/WaitFor.h"
#include "ui/settings/HotKeyField.h"
#include "ui/settings/VirtualKeys.h"

namespace corvaline::app {
namespace {

using testing::waitFor;

// Another X client that holds Control+Alt+K on the root window while it lives.
class OtherClient {
  public:
    OtherClient() : connection_(xcb_connect(nullptr, nullptr)) {
        const auto screen = xcb_setup_roots_iterator(xcb_get_setup(connection_));
        root_ = screen.data->root;
        // Key code of "k" as this server maps it, found through the Qt side's own table.
        keycode_ = keycodeOfK();
        auto* error = xcb_request_check(
            connection_,
            xcb_grab_key_checked(connection_, 1, root_, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1,
                                 keycode_, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        held_ = error == nullptr;
        free(error);
    }
    ~OtherClient() { xcb_disconnect(connection_); }
    bool held() const { return held_; }

  private:
    xcb_keycode_t keycodeOfK() {
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto* reply = xcb_get_keyboard_mapping_reply(
            connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count), nullptr);
        xcb_keycode_t found = 0;
        if (reply) {
            const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
            for (int i = 0; i < count && !found; ++i) {
                if (syms[i * reply->keysyms_per_keycode] == 'k') {
                    found = static_cast<xcb_keycode_t>(setup->min_keycode + i);
                }
            }
            free(reply);
        }
        return found;
    }

    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    xcb_keycode_t keycode_ = 0;
    bool held_ = false;
};

class GlobalHotKeyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        registerApplicationDefaults(UserDefaults::standard(), {});
        ASSERT_TRUE(x11_.available()) << "no X connection";
    }
    void TearDown() override { UserDefaults::standard().removeObject(defaults::kHotKey); }

    std::shared_ptr<QtExecutor> main_ = std::make_shared<QtExecutor>();
    X11HotKey x11_;
};

TEST_F(GlobalHotKeyTest, PressingTheShortcutAnywhereBringsTheWindowForward) {
    QLabel window(QStringLiteral("main"));
    HotKeyWorker worker(*main_, x11_);
    worker.setEnabledDefaultsKeyPath(defaults::kEnableHotKey);
    worker.setHotKeyDefaultsKeyPath(defaults::kHotKey);
    ASSERT_TRUE(worker.registered());
    worker.setAction([&] {
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    EXPECT_FALSE(window.isVisible());
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("key"), QStringLiteral("super+shift+s")});
    EXPECT_TRUE(waitFor([&] { return window.isVisible(); }));
    // The key named by the server's layout, and read back from its key code.
    EXPECT_EQ(x11_.keyName(1), QStringLiteral("s"));
    EXPECT_FALSE(x11_.isTaken(0x120000, 1));  // ours, not another client's
}

TEST_F(GlobalHotKeyTest, ACombinationAnotherClientHoldsIsReportedAndNotGrabbed) {
    OtherClient other;
    ASSERT_TRUE(other.held());
    const std::uint32_t controlAlt = ui::kControlFlag | ui::kOptionFlag;
    EXPECT_TRUE(x11_.isTaken(controlAlt, 40));
    EXPECT_FALSE(x11_.isTaken(controlAlt, 37));  // Control+Alt+L is free
    HotKeyWorker worker(*main_, x11_);
    worker.setEnabled(true);
    worker.setHotKey(HotKeyWorker::Shortcut{controlAlt, 40});
    EXPECT_FALSE(worker.registered());

    QWidget window;
    auto* field = new ui::HotKeyField(&window);
    field->setPlatform(
        {.keyName = [this](std::uint16_t code) { return x11_.keyName(code); },
         .codeForScanCode = [this](std::uint32_t scan) { return x11_.codeForScanCode(scan); },
         .isTaken = [this](std::uint32_t flags,
                           std::uint16_t code) { return x11_.isTaken(flags, code); }});
    window.show();
    QApplication::setActiveWindow(&window);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Space);  // starts the recording
    ASSERT_TRUE(waitFor([&] { return field->isRecording(); }));
    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_NE(field->warning(), nullptr);
    EXPECT_EQ(UserDefaults::standard().arrayForKey(defaults::kHotKey),
              nlohmann::json::array({controlAlt, 40}));
}

}  // namespace
}  // namespace corvaline::app
