#include "ui/controls/CloseKeys.h"

#include <QAction>
#include <QWidget>

namespace corvaline::ui {

QAction* closeWithKeys(QWidget& window) {
    auto* close = new QAction(QWidget::tr("Close"), &window);
    close->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)});
    close->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(close, &QAction::triggered, &window, &QWidget::close);
    window.addAction(close);
    return close;
}

}  // namespace corvaline::ui
