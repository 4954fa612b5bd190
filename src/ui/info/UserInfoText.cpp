#include "ui/info/UserInfoText.h"

#include <QCoreApplication>
#include <QFont>
#include <QTextCursor>
#include <QTextDocument>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

#include "core/model/entities/User.h"
#include "ui/info/IntervalText.h"

namespace corvaline::ui {
namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("UserInformationWindow", text);
}

struct Key {
    std::string_view key;
    const char* label;  // none: shown inside another line
};

constexpr std::array<Key, 9> kPersonal{{
    {"firstName", QT_TRANSLATE_NOOP("UserInformationWindow", "First name")},
    {"lastName", QT_TRANSLATE_NOOP("UserInformationWindow", "Last name")},
    {"department", QT_TRANSLATE_NOOP("UserInformationWindow", "Department")},
    {"jobTitle", QT_TRANSLATE_NOOP("UserInformationWindow", "Job title")},
    {"additionalInformation", QT_TRANSLATE_NOOP("UserInformationWindow", "Additional information")},
    {"status", QT_TRANSLATE_NOOP("UserInformationWindow", "Status")},
    {"idleTime", QT_TRANSLATE_NOOP("UserInformationWindow", "Idle time")},
    {"statusString", QT_TRANSLATE_NOOP("UserInformationWindow", "Status message")},
    {"userId", QT_TRANSLATE_NOOP("UserInformationWindow", "ID")},
}};

constexpr std::array<Key, 10> kSystem{{
    {"pc", QT_TRANSLATE_NOOP("UserInformationWindow", "Computer name")},
    {"logonUser", QT_TRANSLATE_NOOP("UserInformationWindow", "Logon name")},
    {"ip", QT_TRANSLATE_NOOP("UserInformationWindow", "IP address")},
    {"oSversion", QT_TRANSLATE_NOOP("UserInformationWindow", "OS")},
    {"version", QT_TRANSLATE_NOOP("UserInformationWindow", "Messenger version")},
    {"isOnTS", QT_TRANSLATE_NOOP("UserInformationWindow", "Connection type")},
    {"tsClientIP", QT_TRANSLATE_NOOP("UserInformationWindow", "Terminal server client IP address")},
    {"tsClientPCname", nullptr},
    {"tsServerIP", nullptr},
    {"tsConnectionState",
     QT_TRANSLATE_NOOP("UserInformationWindow", "Terminal server client status")},
}};

constexpr std::array<const char*, 10> kConnectionStates{
    QT_TRANSLATE_NOOP("UserInformationWindow", "Active"),
    QT_TRANSLATE_NOOP("UserInformationWindow", "Connected"),
    QT_TRANSLATE_NOOP("UserInformationWindow", "Connecting"),
    QT_TRANSLATE_NOOP("UserInformationWindow", "Shadowing"),
    QT_TRANSLATE_NOOP("UserInformationWindow", "Disconnected"),
    QT_TRANSLATE_NOOP("UserInformationWindow", "Idle"),
    QT_TRANSLATE_NOOP("UserInformationWindow", "Listening"),
    QT_TRANSLATE_NOOP("UserInformationWindow", "Being reset"),
    QT_TRANSLATE_NOOP("UserInformationWindow", "Down due to an error"),
    QT_TRANSLATE_NOOP("UserInformationWindow", "Initializing"),
};

std::optional<std::string> textOf(const User& user, std::string_view key) {
    if (const auto* text = std::get_if<std::string>(&user.value(key))) {
        return *text;
    }
    return std::nullopt;
}

QString plain(const std::optional<std::string>& text) {
    return QString::fromStdString(text.value_or(std::string()));
}

// The leading number of a text, 0 when it starts with none; 64 bits wide, as a long idle time
// in milliseconds needs.
std::int64_t leadingNumber(const std::string& text) {
    errno = 0;
    const long long number = std::strtoll(text.c_str(), nullptr, 10);
    return errno == ERANGE ? 0 : number;
}

QString statusText(const User& user, const std::string& code, Date now) {
    if (user.userOffline()) {
        const auto seen = user.seenLastTime();
        const double ago = seen ? std::chrono::duration<double>(now - *seen).count() : 0.0;
        return tr("Offline (%1)").arg(IntervalText::ParceInterval(ago));
    }
    if (code == "0") {
        return tr("Available");
    }
    if (code == "1") {
        return tr("Busy");
    }
    if (code == "2") {
        return tr("Away");
    }
    return QString::fromStdString(code);
}

// The value shown for the key, or none when the key adds no line.
std::optional<QString> rendered(const User& user, std::string_view key, const std::string& value,
                                Date now) {
    if (key == "status") {
        return statusText(user, value, now);
    }
    if (key == "idleTime") {
        return IntervalText::ParceInterval(static_cast<double>(leadingNumber(value) / 1000));
    }
    if (key == "tsConnectionState") {
        const std::int64_t state = leadingNumber(value);
        if (state == 0) {
            return std::nullopt;
        }
        if (state < 0 || state >= static_cast<std::int64_t>(kConnectionStates.size())) {
            return QString::number(state);  // a state the table has no name for
        }
        return tr(kConnectionStates[static_cast<std::size_t>(state)]);
    }
    if (key == "tsClientIP") {
        return tr("%1 (%2) connected via %3")
            .arg(QString::fromStdString(value), plain(textOf(user, "tsClientPCname")),
                 plain(textOf(user, "tsServerIP")));
    }
    if (key == "isOnTS") {
        return value == "0" ? tr("Stand-alone client") : tr("Terminal client");
    }
    return QString::fromStdString(value);
}

template <std::size_t N>
std::vector<std::string_view> keysOf(const std::array<Key, N>& table) {
    std::vector<std::string_view> keys;
    for (const auto& entry : table) {
        keys.push_back(entry.key);
    }
    return keys;
}

template <std::size_t N>
std::vector<UserInfoText::Line> linesOf(const std::array<Key, N>& table, const User& user,
                                        Date now) {
    std::vector<UserInfoText::Line> lines;
    for (const auto& [key, label] : table) {
        const auto value = textOf(user, key);
        if (!label || !value || value->empty() || *value == "*") {
            continue;
        }
        if (auto shown = rendered(user, key, *value, now)) {
            lines.push_back({tr(label), std::move(*shown)});
        }
    }
    return lines;
}

}  // namespace

std::vector<std::string_view> UserInfoText::keys(Tab tab) {
    return tab == Tab::Personal ? keysOf(kPersonal) : keysOf(kSystem);
}

std::vector<UserInfoText::Line> UserInfoText::lines(const User& user, Tab tab, Date now) {
    return tab == Tab::Personal ? linesOf(kPersonal, user, now) : linesOf(kSystem, user, now);
}

void UserInfoText::write(QTextDocument& document, const std::vector<Line>& lines) {
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    QTextCharFormat labelFormat;
    labelFormat.setFontWeight(QFont::Bold);
    QTextCharFormat valueFormat;
    valueFormat.setFontWeight(QFont::Normal);
    for (const auto& line : lines) {
        if (!document.isEmpty()) {
            cursor.insertText(QStringLiteral("\n"), valueFormat);
        }
        cursor.insertText(line.label + QStringLiteral(": "), labelFormat);
        cursor.insertText(line.value, valueFormat);
    }
    cursor.endEditBlock();
}

}  // namespace corvaline::ui
