#include "app/defaults/RegisteredDefaults.h"

#include <algorithm>
#include <array>

#include "core/model/defaults/DefaultsKeys.h"
#include "platform/paths/Folders.h"
#include "platform/paths/Tilde.h"
#include "platform/paths/UserDirs.h"

namespace corvaline {

namespace {

constexpr unsigned kWindowsCP1251 = 11;
constexpr unsigned kWindowsCP1252 = 12;
constexpr unsigned kWindowsCP1253 = 13;
constexpr unsigned kWindowsCP1254 = 14;
constexpr unsigned kWindowsCP1250 = 15;

constexpr std::array<std::string_view, 9> kCentralEuropean = {"pl", "cs", "sk",      "hu", "sl",
                                                              "bs", "hr", "sr-Latn", "sq"};
constexpr std::array<std::string_view, 5> kCyrillic = {"ru", "bg", "sr", "mk", "uk"};

bool contains(const auto& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// The language without its last subtag ("sr-Latn-RS" -> "sr-Latn"); a single subtag stays.
std::string_view baseOf(std::string_view language) {
    const size_t dash = language.rfind('-');
    return dash == std::string_view::npos ? language : language.substr(0, dash);
}

}  // namespace

unsigned defaultTextEncoding(const std::vector<std::string>& languages) {
    unsigned encoding = kWindowsCP1252;
    // Every language is tested; the last one that matches decides.
    for (const std::string_view language : languages) {
        if (language.starts_with("en"))
            continue;
        if (language.starts_with("tr"))
            encoding = kWindowsCP1254;
        if (language == "el")
            encoding = kWindowsCP1253;
        const std::string_view base = baseOf(language);
        if (contains(kCentralEuropean, base))
            encoding = kWindowsCP1250;
        if (contains(kCyrillic, base))
            encoding = kWindowsCP1251;
    }
    return encoding;
}

std::string defaultFileTransferPath(const EnvironmentLookup& env) {
    return abbreviateWithTilde((downloadFolder(env) / "Corvaline").string(), homeFolder(env));
}

nlohmann::json applicationDefaults(const std::vector<std::string>& languages,
                                   const EnvironmentLookup& env) {
    return {
        {defaults::kFontSize, 18},
        {defaults::kDisplayRecent, true},
        {defaults::kDisplayTime, true},
        {defaults::kSendMessageKey, 1},
        {defaults::kEnableHotKey, true},
        // Shift + Command (Super here: the modifier desktop programs leave free; Control+Shift+S
        // is "Save As" nearly everywhere), and the key code of S.
        {defaults::kHotKey, nlohmann::json::array({0x120000u, 1u})},
        {defaults::kMinimizeMessages, 0},
        {defaults::kKeepFocus, false},
        {defaults::kFileTransferPath, defaultFileTransferPath(env)},
        {defaults::kFileTransferAutoAccept, true},
        {defaults::kShowFileTransferAlert, true},
        {defaults::kHideOfflineUsers, false},
        {defaults::kAwayMessage,
         "I am away from my computer. Please leave your message and I will reply to you as soon "
         "as I am back."},
        {defaults::kBusyMessage, "I am busy now. Please do not disturb me."},
        {defaults::kAutoAwayEnabled, true},
        {defaults::kAutoAwayMinutes, 10},
        {defaults::kScreensaverAwayEnabled, true},
        {defaults::kContinuousSpellCheckingEnabled, true},
        {defaults::kAutomaticSpellingCorrectionEnabled, true},
        {defaults::kGrammarCheckingEnabled, false},
        {defaults::kSoundsEnabled, true},
        {defaults::kSoundsOnIncoming, true},
        {defaults::kSoundsOnBroadcast, true},
        {defaults::kSoundsAnyTime, 0},
        {defaults::kSoundsOnUserOnline, true},
        {defaults::kSoundsOnIncomingFile, true},
        {defaults::kVisualizeMutuallyExclusiveConstraints, true},
        {defaults::kEncoding, defaultTextEncoding(languages)},
    };
}

void registerApplicationDefaults(UserDefaults& defaults, const std::vector<std::string>& languages,
                                 const EnvironmentLookup& env) {
    defaults.registerDefaults(applicationDefaults(languages, env));
    const std::string folder =
        expandTilde(defaults.stringForKey(defaults::kFileTransferPath), homeFolder(env));
    if (!isWritableFolder(folder)) {
        defaults.setString(defaults::kFileTransferPath, defaultFileTransferPath(env));
    }
}

}  // namespace corvaline
