#pragma once

// The keys of the user-defaults database, the one place that spells them (two are misspelt on
// purpose: stored settings use them so). The core, the application and the node read and
// write settings through these names only.

#include <string_view>

namespace corvaline::defaults {

// Registered with a default value.
inline constexpr std::string_view kFontSize = "fontSize";
inline constexpr std::string_view kDisplayRecent = "displayRecent";
inline constexpr std::string_view kDisplayTime = "displayTime";
inline constexpr std::string_view kSendMessageKey = "SendMessageKey";
inline constexpr std::string_view kEnableHotKey = "enableHotKey";
inline constexpr std::string_view kHotKey = "hotKey";
inline constexpr std::string_view kMinimizeMessages = "minimizeMessages";
inline constexpr std::string_view kKeepFocus = "keepFocus";
inline constexpr std::string_view kFileTransferPath = "fileTransferPath";
inline constexpr std::string_view kFileTransferAutoAccept = "fileTransferAutoAccept";
inline constexpr std::string_view kShowFileTransferAlert = "showFileTransferAlert";
inline constexpr std::string_view kHideOfflineUsers = "hideOfflineUsers";
inline constexpr std::string_view kAwayMessage = "awayMessage";
inline constexpr std::string_view kBusyMessage = "busyMessage";
inline constexpr std::string_view kAutoAwayEnabled = "autoAwayEnabled";
inline constexpr std::string_view kAutoAwayMinutes = "autoAwayMinutes";
inline constexpr std::string_view kScreensaverAwayEnabled = "sreensaverAwayEnabled";
inline constexpr std::string_view kContinuousSpellCheckingEnabled =
    "continuousSpellCheckingEnabled";
inline constexpr std::string_view kAutomaticSpellingCorrectionEnabled =
    "automaticSpellingCorrectionEnabled";
inline constexpr std::string_view kGrammarCheckingEnabled = "grammarCheckingEnabled";
inline constexpr std::string_view kSoundsEnabled = "sounds.enabled";
inline constexpr std::string_view kSoundsOnIncoming = "sounds.onIncoming";
inline constexpr std::string_view kSoundsOnBroadcast = "sounds.onBroadcast";
inline constexpr std::string_view kSoundsAnyTime = "sounds.anyTime";
inline constexpr std::string_view kSoundsOnUserOnline = "sounds.onUserOnline";
inline constexpr std::string_view kSoundsOnIncomingFile = "sounds.onIncomingFile";
inline constexpr std::string_view kVisualizeMutuallyExclusiveConstraints =
    "NSConstraintBasedLayoutVisualizeMutuallyExclusiveConstraints";
inline constexpr std::string_view kEncoding = "encoding";

// Used without registration: absent until first written.
// Followed by a user id: where that user's conversation window was last.
inline constexpr std::string_view kWindowFramePrefix = "NSWindow Frame ";
inline constexpr std::string_view kBroadcasts = "broadcasts";
inline constexpr std::string_view kLeaveConversationConfirmation = "leaveConversationConfirmation";
inline constexpr std::string_view kDeleteUserConfirmation = "deleteUserConfirmation";
inline constexpr std::string_view kDeleteGroupConfirmation = "deteleGroupConfirmation";
inline constexpr std::string_view kShowFileTransferPanelRequest = "showFileTransferPanelRequest";

}  // namespace corvaline::defaults
