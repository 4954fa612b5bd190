#include "ui/info/RowToolTip.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>

#include "core/model/entities/User.h"
#include "ui/info/UserInformationWindow.h"
#include "ui/roster/RosterModel.h"

namespace corvaline::ui {
namespace {

QAbstractItemView* viewOf(QWidget& viewport) {
    return qobject_cast<QAbstractItemView*>(viewport.parentWidget());
}

}  // namespace

RowToolTip::RowToolTip(QWidget& viewport, RosterModel& model)
    : QObject(&viewport), viewport_(viewport), model_(model) {
    viewport.installEventFilter(this);
    viewport.setMouseTracking(true);
    if (auto* view = viewOf(viewport)) {
        // The view sees the keyboard's context menu and its window's loss of the focus.
        view->installEventFilter(this);
        connect(view, &QAbstractItemView::activated, this, &UserInformationWindow::closeToolTip);
        connect(view, &QAbstractItemView::doubleClicked, this,
                &UserInformationWindow::closeToolTip);
    }
}

bool RowToolTip::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::ContextMenu:
        case QEvent::WindowDeactivate:
            UserInformationWindow::closeToolTip();
            return false;
        default:
            break;
    }
    if (watched != &viewport_) {
        return false;
    }
    auto* view = viewOf(viewport_);
    const auto userAt = [&](QPoint point) -> User* {
        auto* item = view ? model_.itemAt(view->indexAt(point)) : nullptr;
        return item && item->isUser() ? static_cast<User*>(item) : nullptr;
    };
    auto* current = UserInformationWindow::CurrentToolTipInfoWindow();
    switch (event->type()) {
        case QEvent::ToolTip: {
            const QPoint point = static_cast<QHelpEvent*>(event)->pos();
            if (QApplication::mouseButtons() != Qt::NoButton) {
                UserInformationWindow::closeToolTip();  // a drag is under way
                return true;
            }
            if (auto* user = userAt(point)) {
                UserInformationWindow::showToolTip(*user,
                                                   viewport_.mapToGlobal(point + QPoint(-2, 2)));
                return true;  // never the desktop's own tool tip
            }
            return false;
        }
        case QEvent::MouseMove:
            if (current && userAt(static_cast<QMouseEvent*>(event)->pos()) != &current->user()) {
                current->shouldCloseToolTip();
            }
            return false;
        case QEvent::Leave:
            if (current) {
                current->shouldCloseToolTip();
            }
            return false;
        default:
            return false;
    }
}

}  // namespace corvaline::ui
