#include "ui/icons/StatusIcons.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>

#include "core/model/entities/User.h"

namespace corvaline::ui {
namespace {

QString resource(const std::string& name) {
    return QStringLiteral(":/icons/%1.svg").arg(QString::fromStdString(name));
}

}  // namespace

QIcon statusIcon(const std::string& name) {
    const QString path = resource(name);
    return QIcon(QFile::exists(path) ? path : resource("Offline"));
}

QIcon applicationIcon() {
    return QIcon(resource("AppIcon"));
}

QIcon applicationIconWithStatus(const std::string& statusName) {
    const QIcon base = applicationIcon();
    const QIcon badge = statusIcon(statusName);
    QIcon result;
    for (const int size : {16, 22, 32, 48, 64, 128}) {
        QPixmap picture(size, size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        base.paint(&painter, picture.rect());
        const int badgeSize = std::max(size / 2, 9);
        badge.paint(&painter, QRect(size - badgeSize, size - badgeSize, badgeSize, badgeSize));
        painter.end();
        result.addPixmap(picture);
    }
    return result;
}

QIcon dockIcon(const User& user) {
    return applicationIconWithStatus(user.icon());
}

QIcon dockIcon(const Chat& /*chat*/) {
    return applicationIconWithStatus("Group");
}

}  // namespace corvaline::ui
