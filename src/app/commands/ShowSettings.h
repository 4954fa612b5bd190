#pragma once

#include <QString>

class QObject;

namespace corvaline::app {

// The settings page a command opens: "Messaging" from a conversation window, "User Info"
// from a control tagged 99 (a QAction's data or a "tag" property), else "General". Any thread.
QString settingsPageFor(const QObject* sender);

}  // namespace corvaline::app
