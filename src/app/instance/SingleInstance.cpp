#include "app/instance/SingleInstance.h"

#include <unistd.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace corvaline::app {
namespace {

constexpr int kAnswerWaitMs = 2000;
constexpr int kPollMs = 50;

const QByteArray kQuit = "quit\n";
const QString kLockName = QStringLiteral("com.tarvelo.Corvaline.lock");
const QByteArray kShow = "show\n";

}  // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)), lock_(QDir(folder_).filePath(kLockName)) {
    // Only a lock whose process is gone is stale, never one merely old.
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    release();
}

QString SingleInstance::runtimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        return runtime;
    }
    const QString own = QDir::temp().filePath(QStringLiteral("corvaline-%1").arg(getuid()));
    QDir().mkpath(own);
    QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return own;
}

QString SingleInstance::lockPath() const {
    return QDir(folder_).filePath(kLockName);
}

QString SingleInstance::socketPath() const {
    return QDir(folder_).filePath(QStringLiteral("com.tarvelo.Corvaline.socket"));
}

SingleInstance::Outcome SingleInstance::acquire(bool show, std::chrono::milliseconds wait) {
    if (lock_.tryLock(0)) {
        listen();
        return Outcome::Acquired;
    }
    if (show && ask(kShow)) {
        return Outcome::Shown;
    }
    ask(kQuit);
    // Events keep flowing while waiting, so a copy in this very process could answer too.
    const QDeadlineTimer deadline(wait);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (lock_.tryLock(0) || deadline.hasExpired()) {
            loop.quit();
        }
    });
    poll.start(kPollMs);
    loop.exec();
    if (!lock_.isLocked()) {
        return Outcome::OldCopyStayed;
    }
    listen();
    return Outcome::Acquired;
}

void SingleInstance::release() {
    if (server_) {
        server_->close();
        server_->deleteLater();  // a request being read may still be on the stack
        server_ = nullptr;
    }
    if (lock_.isLocked()) {
        lock_.unlock();
    }
}

bool SingleInstance::ask(const QByteArray& request) {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(kAnswerWaitMs)) {
        return false;
    }
    socket.write(request);
    const bool written = socket.waitForBytesWritten(kAnswerWaitMs);
    socket.disconnectFromServer();
    return written;
}

void SingleInstance::listen() {
    // A socket file left by a killed copy is ours to replace: we hold the lock.
    QLocalServer::removeServer(socketPath());
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->listen(socketPath());
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (auto* client = server_->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                while (client->canReadLine()) {
                    const QByteArray line = client->readLine();
                    if (line == kQuit) {
                        emit quitRequested();
                    } else if (line == kShow) {
                        emit showRequested();
                    }
                }
            });
        }
    });
}

}  // namespace corvaline::app
