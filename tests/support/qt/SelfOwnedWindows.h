#pragma once

#include <QApplication>
#include <QList>
#include <QPointer>
#include <QWidget>

namespace corvaline::testing {

// Deletes the windows that own themselves (they delete themselves when closed) without closing
// them, so that nothing is asked or left for the next test; then runs the deletions they
// queued. GUI thread.
inline void deleteSelfOwnedWindows() {
    QList<QPointer<QWidget>> windows;
    for (auto* widget : QApplication::topLevelWidgets()) {
        if (!widget->parentWidget() && widget->testAttribute(Qt::WA_DeleteOnClose)) {
            windows.append(widget);
        }
    }
    for (const auto& window : windows) {
        delete window.data();
    }
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace corvaline::testing
