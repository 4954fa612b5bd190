#pragma once

#include <QApplication>
#include <memory>

#include "app/defaults/RegisteredDefaults.h"
#include "core/model/entities/Me.h"
#include "core/model/support/ModelTest.h"
#include "ui/settings/SettingsWindow.h"

namespace corvaline::testing {

// The settings window over the real model with the local user, the registered defaults and a
// recording presence service. Defaults the window writes are removed afterwards.
class SettingsTest : public ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        registerApplicationDefaults(UserDefaults::standard(), {});
        userList_->updateMe();
        context_->save();
        presence_.refreshes = 0;  // the local user's first announcement
        window_ = std::make_unique<ui::SettingsWindow>();
        window_->show();
    }

    void TearDown() override {
        window_.reset();
        for (const auto key : kWritten) {
            UserDefaults::standard().removeObject(key);
        }
        ModelTest::TearDown();
    }

    template <typename Control>
    Control* control(std::string_view key) {
        return qobject_cast<Control*>(window_->control(key));
    }

    static constexpr std::string_view kWritten[] = {
        defaults::kHideOfflineUsers,
        defaults::kFontSize,
        defaults::kSoundsAnyTime,
        defaults::kSendMessageKey,
        defaults::kEncoding,
        defaults::kSoundsOnIncoming,
        defaults::kSoundsOnBroadcast,
        defaults::kAwayMessage,
        defaults::kBroadcasts,
        defaults::kFileTransferPath,
        defaults::kKeepFocus,
        defaults::kMinimizeMessages,
        defaults::kEnableHotKey,
        defaults::kHotKey,
        defaults::kAutoAwayMinutes,
        defaults::kDisplayRecent,
        defaults::kDisplayTime,
        defaults::kSoundsEnabled,
        defaults::kSoundsOnUserOnline,
        defaults::kSoundsOnIncomingFile,
        defaults::kAutoAwayEnabled,
        defaults::kScreensaverAwayEnabled,
        defaults::kFileTransferAutoAccept,
        defaults::kContinuousSpellCheckingEnabled,
        defaults::kBusyMessage,
    };

    std::unique_ptr<ui::SettingsWindow> window_;
};

}  // namespace corvaline::testing
