#include "ui/controls/RecentFolder.h"

#include <QDir>
#include <QFileInfo>

namespace corvaline::ui {

RecentFolder& RecentFolder::sendingFiles() {
    static RecentFolder folder;
    return folder;
}

RecentFolder& RecentFolder::savingHistory() {
    static RecentFolder folder;
    return folder;
}

QString RecentFolder::folder() const {
    return !last_.isEmpty() && QFileInfo(last_).isDir() ? last_ : QDir::homePath();
}

void RecentFolder::remember(const QString& chosenFile) {
    last_ = QFileInfo(chosenFile).absolutePath();
}

}  // namespace corvaline::ui
