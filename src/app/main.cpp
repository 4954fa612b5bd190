// corvaline: the messenger on the desktop.
//
//   corvaline [--show]
//
// Starting it ends a copy that runs already for this user (the new one waits for it to go);
// with --show the running copy brings its window forward instead and this one ends (the
// desktop entry starts it so). Quit, SIGTERM, SIGINT, the end of the desktop session and a
// newer copy all end it the same orderly way, whatever windows are open.
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <cstdio>

#include "app/delegate/CVLAppDelegate.h"
#include "app/delegate/OrderlyQuit.h"
#include "app/delegate/TerminationSignals.h"
#include "app/instance/SingleInstance.h"
#include "app/runloop/QtExecutor.h"

int main(int argc, char** argv) {
    using namespace corvaline::app;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvaline"));
    QApplication::setApplicationVersion(QStringLiteral(CORVALINE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("com.tarvelo.Corvaline"));
    const QStringList arguments = QApplication::arguments().mid(1);
    if (!arguments.isEmpty() && arguments != QStringList{QStringLiteral("--show")}) {
        std::fprintf(stderr, "usage: corvaline [--show]\n");
        return 2;
    }
    CVLAppDelegate::initialize();

    SingleInstance instance;
    switch (instance.acquire(arguments.contains(QStringLiteral("--show")))) {
        case SingleInstance::Outcome::Shown:
            return 0;
        case SingleInstance::Outcome::OldCopyStayed:
            QMessageBox::critical(
                nullptr, QObject::tr("Corvaline"),
                QObject::tr("Another copy of Corvaline is still running and did not quit when "
                            "asked. Quit it (or end its process), then start Corvaline again."));
            return 1;
        case SingleInstance::Outcome::Acquired:
            break;
    }

    int result = 0;
    const auto main = std::make_shared<QtExecutor>();
    {
        CVLAppDelegate delegate(main);
        TerminationSignals termination;
        QObject::connect(&instance, &SingleInstance::quitRequested, &delegate, &OrderlyQuit::quit);
        QObject::connect(&instance, &SingleInstance::showRequested, &delegate,
                         &CVLAppDelegate::restoreWindow);
        QObject::connect(&termination, &TerminationSignals::terminationRequested, &delegate,
                         &OrderlyQuit::quit);
        // The shut-down runs before the event loop is left.
        QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                         &CVLAppDelegate::applicationWillTerminate);
        delegate.applicationDidFinishLaunching();
        result = QApplication::exec();
        delegate.applicationWillTerminate();
    }
    // The sockets finish closing on the main queue; then nothing more may run on it.
    const QDeadlineTimer drain(200);
    while (!drain.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    main->close();       // the core's long-lived parts may keep it; Qt objects go with QApplication
    instance.release();  // only now may a new copy open the store and the ports
    return result;
}
