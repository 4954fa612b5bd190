#include "app/delegate/OrderlyQuit.h"

#include <QCoreApplication>
#include <QEvent>

namespace corvaline::app {

OrderlyQuit::OrderlyQuit(QObject* parent) : QObject(parent) {
    QCoreApplication::instance()->installEventFilter(this);
}

void OrderlyQuit::quit() {
    // Unlike QCoreApplication::quit(), exit() asks no window whether it may close.
    QCoreApplication::exit(0);
}

bool OrderlyQuit::eventFilter(QObject* watched, QEvent* event) {
    // Qt's own handling of this event closes every window and gives up when one refuses.
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
        quit();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace corvaline::app
