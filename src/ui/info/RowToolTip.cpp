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
}

bool RowToolTip::eventFilter(QObject* watched, QEvent* event) {
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
