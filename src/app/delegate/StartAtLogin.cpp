#include "app/delegate/StartAtLogin.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <system_error>

#include "platform/paths/Folders.h"

namespace corvaline::app {

std::filesystem::path autostartEntry() {
    return configFolder() / "autostart" / "com.tarvelo.Corvaline.desktop";
}

bool startsAtLogin() {
    std::error_code error;
    return std::filesystem::exists(autostartEntry(), error);
}

void setStartAtLogin(bool start) {
    const auto entry = autostartEntry();
    std::error_code error;
    if (!start) {
        std::filesystem::remove(entry, error);
        return;
    }
    if (std::filesystem::exists(entry, error)) {
        return;
    }
    std::filesystem::create_directories(entry.parent_path(), error);
    // The program as it runs now, so that a copy outside PATH starts too.
    const QString program = QCoreApplication::applicationFilePath();
    QSaveFile file(QString::fromStdString(entry.string()));
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    const QString text = QStringLiteral(
                             "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Corvaline\n"
                             "Comment=LAN messenger\n"
                             "Exec=\"%1\"\n"
                             "Icon=com.tarvelo.Corvaline\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n")
                             .arg(program);
    file.write(text.toUtf8());
    file.commit();
}

}  // namespace corvaline::app
