#include "ui/controls/OpenFolder.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>

namespace corvaline::ui {

bool openWithDesktop(const QUrl& folder) {
    return QDesktopServices::openUrl(folder);
}

bool openFolder(QWidget* window, const QString& folder, const FolderOpener& open) {
    if (open && open(QUrl::fromLocalFile(folder))) {
        return true;
    }
    const auto text = [](const char* source) {
        return QCoreApplication::translate("corvaline::ui::openFolder", source);
    };
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Corvaline"),
                                text("The folder could not be opened. You find it here:\n\n%1")
                                    .arg(QDir::toNativeSeparators(folder)),
                                QMessageBox::Ok, window);
    box->setTextFormat(Qt::PlainText);                        // a path is not markup
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);  // the path can be copied
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
    return false;
}

}  // namespace corvaline::ui
