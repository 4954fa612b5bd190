#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

namespace corvaline::ui {

// Opens a folder in the desktop's file manager; false when nothing could open it (a desktop
// without a folder opener).
using FolderOpener = std::function<bool(const QUrl&)>;

// The desktop's own opener.
bool openWithDesktop(const QUrl& folder);

// Opens `folder` with `open`; when that fails (or `open` is empty), a message over `window`
// says so and shows the folder's path, so the person can go there by other means. False when
// it failed. GUI thread.
bool openFolder(QWidget* window, const QString& folder, const FolderOpener& open);

}  // namespace corvaline::ui
